#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "attributes/AttributeRegistry.h"
#include "model/CommissionInterface.h"
#include "model/DependencyAttribute.h"
#include "model/Resolvers.h"

namespace modeltest {

using Journal = std::vector<std::string>;

struct AttributeKey {
  std::uint32_t id;
  const char* channel;
};

// The session registry's codes: not found, wrong type, duplicate.
inline atat::AttributeRegistry makeRegistry() {
  return {-304404, -304403, -304500};
}

// A small feature: integer attributes of its own, links to attributes of other features, and
// hooks that write to a shared journal ("tag.compile", "tag.deploy", "tag.deploy!" when
// forced). Its compile step coerces each own attribute to its desired value plus the sum of
// the linked attributes' coerced values, so a test sees whether prerequisites ran first.
class TestFeature : public qvvandrel::TrivialFeature {
 public:
  TestFeature(std::string tag, Journal& journal, const std::vector<AttributeKey>& own = {},
              const std::vector<AttributeKey>& reads = {})
      : tag_(std::move(tag)), journal_(journal) {
    const int initial = 0;
    for (const AttributeKey& key : own) {
      own_.push_back(
          std::make_unique<qvvandrel::DependencyAttribute<int>>(key.id, key.channel, &initial));
    }
    for (const AttributeKey& key : reads) {
      reads_.push_back({key, qvvandrel::AttributeLink<int>(&compileResolver)});
    }
  }

  void registerAttributes(atat::AttributeRegistry* registry) override {
    if (!present) return;
    for (auto& attribute : own_) registry->addAttribute(attribute.get());
  }

  void commission(const qvvandrel::ResolverRoots* roots,
                  atat::AttributeRegistry* registry) override {
    if (!present) return;
    qvvandrel::wireResolvers(*roots, compileResolver, deployResolver);
    for (auto& attribute : own_) qvvandrel::wireOwnAttribute(compileResolver, *attribute);
    for (Read& read : reads_) read.link.link(*registry, read.key.id, read.key.channel);
  }

  void compile() override {
    journal_.push_back(tag_ + ".compile");
    if (compileFailures > 0) {
      --compileFailures;
      throw std::runtime_error(tag_ + " compile failed");
    }
    int inputs = 0;
    for (const Read& read : reads_) {
      if (read.link.isLinked()) inputs += read.link.attribute()->getCoerced();
    }
    for (auto& attribute : own_) attribute->setCoerced(attribute->getDesired() + inputs);
  }

  void deploy(bool force) override {
    journal_.push_back(tag_ + (force ? ".deploy!" : ".deploy"));
    if (deployFailures > 0) {
      --deployFailures;
      throw std::runtime_error(tag_ + " deploy failed");
    }
  }

  qvvandrel::DependencyAttribute<int>& own(std::size_t i) { return *own_.at(i); }
  qvvandrel::AttributeLink<int>& link(std::size_t i) { return reads_.at(i).link; }

  bool present = true;
  int compileFailures = 0;
  int deployFailures = 0;
  qvvandrel::CompileResolver<TestFeature> compileResolver{this};
  qvvandrel::DeployResolver<TestFeature> deployResolver{this};

 private:
  struct Read {
    AttributeKey key;
    qvvandrel::AttributeLink<int> link;
  };

  std::string tag_;
  Journal& journal_;
  std::vector<std::unique_ptr<qvvandrel::DependencyAttribute<int>>> own_;
  std::vector<Read> reads_;
};

// The three roots a feature's commission receives.
struct Roots {
  qvvandrel::Dependency compile{"compile root"};
  qvvandrel::Dependency deploy{"deploy root"};
  qvvandrel::Dependency redeploy{"redeploy root"};
  qvvandrel::ResolverRoots record{&compile, &deploy, &redeploy};

  // A commit: every dirty compile step, then every dirty deploy step; then nothing is forced.
  void commit() {
    compile.resolve();
    deploy.resolve();
    redeploy.markResolved();
  }
};

// Identifiers the tests give their features' attributes.
constexpr std::uint32_t kDivisor = 0x10000010;  // "ADC Clock Divisor"
constexpr std::uint32_t kRate = 0x10000015;     // "Data Clock Divisor"

}  // namespace modeltest
