#pragma once
// A testbed whose dlopen of the route-configuration library reaches the stand-in (or a variant,
// or nothing), with the stand-in's state forgotten before each test.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/errors/Exception.h"
#include "session/RocoCpp.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "sim/kernel/Testbed.h"
#include "sim/libs/MakerLibraries.h"

namespace routingtest {

using sim::libs::RoCoControl;
using Strings = std::vector<std::string>;

class RouteLibraryTestbed : public ::testing::Test {
 protected:
  RouteLibraryTestbed() {
    library_.reset();
    use(sim::LibraryChoice::Present);
  }

  void use(sim::LibraryChoice choice, sim::libs::Variant variant = sim::libs::Variant::Present) {
    testbed_.setLibrary(qvrocoapi::kLibraryName, choice,
                        sim::libs::standInPath(qvrocoapi::kLibraryName, variant));
  }

  // The library's call log since the last call, library sessions written S1, S2, ... in
  // creation order.
  Strings newCalls() {
    Strings all = library_.calls();
    for (std::string& line : all) {
      for (uintptr_t n = 9; n-- > 0;) {
        const std::string number = std::to_string(RoCoControl::kFirstSession + n);
        for (size_t at; (at = line.find(number)) != std::string::npos;)
          line.replace(at, number.size(), "S" + std::to_string(n + 1));
      }
    }
    Strings out(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
    seen_ = all.size();
    return out;
  }

  sim::Testbed testbed_;
  RoCoControl library_;

 private:
  size_t seen_ = 0;
};

// The library calls on session S1 that build one route between two terminal paths.
inline Strings built(const std::string& source, const std::string& destination, int handle) {
  const std::string h = std::to_string(handle);
  return {"qvrocoapi_calculateRoute S1 " + source + " " + destination + " -> " + h,
          "qvrocoapi_reserveRoute S1 " + h, "qvrocoapi_programRoute S1 " + h};
}

// The library calls that release the route to a destination path and reset that terminal.
inline Strings released(const std::string& destination, int handle) {
  return {"qvrocoapi_destroyRoute S1 " + std::to_string(handle),
          "qvrocoapi_resetTerminal S1 " + destination + " default"};
}

inline Strings operator+(Strings a, const Strings& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline const Strings kCreated{"qvrocoapi_createSession -> S1"};

// An FPGA-interface section text holding the terminal aliases.
inline std::string section(const std::vector<qvsim::RoutingAliasSpec>& aliases,
                           std::optional<std::string> count = {}) {
  qvsim::XmlElement root{"TargetSpecificData", {}, {}, {}};
  root.children.push_back(qvsim::routingAliasesElement(aliases, std::move(count)));
  std::string text;
  root.render(text);
  return text;
}

// Runs `body`, expecting a qverr::Exception; returns its code and detail.
template <typename Body>
std::pair<int32_t, std::string> raised(Body&& body) {
  try {
    body();
  } catch (const qverr::Exception& error) {
    return {error.code(), error.status().detailText()};
  }
  ADD_FAILURE() << "nothing was raised";
  return {0, ""};
}

}  // namespace routingtest
