#pragma once
// Converter and DSP features on a simulated module: the session's CLIP configuration and
// capability tree, a registry and a Kommissar to commission and commit them, the CLIP's posts
// and the module's register writes.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "../session/SessionTestbed.h"
#include "clip/ClipCapabilities.h"
#include "model/AttributeCatalogue.h"
#include "model/ClipConfiguration.h"
#include "model/Kommissar.h"

namespace featuretest {

class ConverterTestbed : public sessiontest::SessionTestbed {
 protected:
  ConverterTestbed() { registers().logWrites(true); }

  // Capability words (identifier, value) as the CLIP would report them.
  void report(std::initializer_list<std::pair<uint32_t, uint32_t>> words) {
    for (const auto& [id, value] : words) capabilities.handlers().at(id)->acceptValue(value);
  }

  // Registers and commissions the features (each once, in this order).
  template <typename... Features>
  void commission(Features&... features) {
    (kommissar.addCommission(&features), ...);
    kommissar.commission();
  }
  // One commit: compile, then deploy. The CLIP's and the registers' logs start afresh.
  void commit() {
    clip.clearLog();
    registers().clearWriteLog();
    kommissar.compile();
    kommissar.deploy();
  }

  // The first argument of every `opcode` the CLIP received since the last commit.
  std::vector<uint32_t> posted(uint32_t opcode) {
    std::vector<uint32_t> args;
    for (const sim::ClipInstruction& i : clip.log(opcode)) args.push_back(i.arg(0));
    return args;
  }
  // The words written to the register of that name since the last commit (its first word for
  // a 64-bit register).
  std::vector<uint32_t> writes(const char* name) {
    std::vector<uint32_t> values;
    for (const sim::RegisterFile::Write& w : registers().writeLog())
      if (w.offset == address(name)) values.push_back(w.value);
    return values;
  }
  // Which of the named registers were written since the last commit, in write order (a 64-bit
  // register counts once, at its high word).
  std::vector<std::string> writeOrder(std::initializer_list<const char*> names) {
    std::vector<std::string> order;
    for (const sim::RegisterFile::Write& w : registers().writeLog())
      for (const char* name : names)
        if (w.offset == address(name)) order.emplace_back(name);
    return order;
  }

  // An attribute of another feature that the one under test reads, registered under its own
  // identifier and channel.
  template <uint32_t Id>
  qvvandrel::CatalogueAttribute<Id>& standIn(
      const char* channel, typename qvvandrel::CatalogueAttribute<Id>::value_type value) {
    auto& attribute = static_cast<qvvandrel::CatalogueAttribute<Id>&>(*standIns_.emplace_back(
        std::make_unique<qvvandrel::CatalogueAttribute<Id>>(channel, &value)));
    registry.addAttribute(&attribute);
    return attribute;
  }

  template <typename T>
  iattr::AttributeInterface<T>& attribute(uint32_t id, const char* channel = "") {
    return *registry.getTyped<iattr::AttributeInterface<T>>(id, channel);
  }

  qvvandrel::ClipCapabilities capabilities{false};
  qvvandrel::ClipConfiguration configuration{instructionFifo, true};
  atat::AttributeRegistry registry{-304404, -304403, -304500};
  qvvandrel::KommissarBrenmoor kommissar{&registry, &configuration.deploy};

 private:
  std::vector<std::unique_ptr<qvvandrel::Dependency>> standIns_;
};

}  // namespace featuretest
