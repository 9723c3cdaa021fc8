#include "model/AttributeCatalogue.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "TestFeature.h"
#include "foundation/errors/Exception.h"

namespace {

using qvvandrel::CatalogueType;
using qvvandrel::kAttributeCatalogue;

bool isEnumeration(CatalogueType type) {
  return type >= CatalogueType::kRefClkSrc;
}

TEST(AttributeCatalogue, CountsPerValueType) {
  std::map<CatalogueType, int> perType;
  int enumerations = 0;
  int typeCoded = 0;
  std::set<std::uint32_t> identifiers;
  for (const auto& entry : kAttributeCatalogue) {
    ++perType[entry.type];
    if (isEnumeration(entry.type)) ++enumerations;
    if (entry.id >= 0x10000000) ++typeCoded;
    identifiers.insert(entry.id);
  }
  EXPECT_EQ(identifiers.size(), 123u);
  EXPECT_EQ(perType[CatalogueType::kDouble], 35);
  EXPECT_EQ(perType[CatalogueType::kBool], 29);
  EXPECT_EQ(perType[CatalogueType::kInt], 17);
  EXPECT_EQ(perType[CatalogueType::kUnsignedInt], 8);
  EXPECT_EQ(perType[CatalogueType::kUnsignedLong], 8);
  EXPECT_EQ(perType[CatalogueType::kString], 8);
  EXPECT_EQ(perType[CatalogueType::kCoefficientList], 1);
  EXPECT_EQ(enumerations, 17);
  EXPECT_EQ(perType[CatalogueType::kCsi2NumLanes], 2);  // the one enumeration used twice
  EXPECT_EQ(typeCoded, 85);
  EXPECT_EQ(static_cast<int>(std::size(kAttributeCatalogue)) - typeCoded, 38);
}

// The type code in an identifier's top four bits agrees with its value type; identifiers
// with a type code have a display name, public ones do not and belong to the clock,
// synchronisation and Mosk features.
TEST(AttributeCatalogue, TypeCodesAndNames) {
  const std::set<std::string> publicOwners = {
      "qvvandrel::ReferenceClock", "qvvandrel::SampleClock",   "qvvandrel::SyncAPI",
      "qvvandrel::MoskAdjustment", "qvvandrel::MoskGenerator", "qvvandrel::MoskStartTrigger"};
  for (const auto& entry : kAttributeCatalogue) {
    SCOPED_TRACE(entry.id);
    const std::string name = qvvandrel::getAttributeName(entry.id);
    if (entry.id < 0x10000000) {
      EXPECT_EQ(name, "Not Available");
      EXPECT_EQ(publicOwners.count(entry.owner), 1u) << entry.owner;
      continue;
    }
    EXPECT_NE(name, "Not Available");
    switch (entry.id >> 28) {
      case 1:
        EXPECT_TRUE(entry.type == CatalogueType::kInt || isEnumeration(entry.type));
        break;
      case 2:
        EXPECT_EQ(entry.type, CatalogueType::kDouble);
        break;
      case 3:
        EXPECT_EQ(entry.type, CatalogueType::kString);
        break;
      case 4:
        EXPECT_EQ(entry.type, CatalogueType::kBool);
        break;
      case 5:
        EXPECT_TRUE(entry.type == CatalogueType::kUnsignedLong ||
                    entry.type == CatalogueType::kCoefficientList);
        break;
      default:
        ADD_FAILURE() << "no such type code";
    }
  }
}

static_assert(std::is_same_v<qvvandrel::CatalogueAttribute<0x1000000B>::value_type,
                             qvvandrel::oobx::attribute::RefClkSrc>);
static_assert(std::is_same_v<qvvandrel::CatalogueAttribute<0x50000005>::value_type,
                             const std::list<qvvandrel::Coefficients>*>);
static_assert(std::is_same_v<qvvandrel::CatalogueAttribute<12237>::value_type, qvajel_SessionType>);
static_assert(
    std::is_same_v<std::underlying_type_t<qvvandrel::oobx::attribute::Csi2NumLanes>, std::int32_t>);

// Builds every catalogued class once, registers it and looks it up as the public requests do:
// by (identifier, channel) and its public value type.
class EveryIdentifier : public ::testing::Test {
 protected:
  template <std::size_t I>
  void build() {
    constexpr std::uint32_t id = kAttributeCatalogue[I].id;
    using Attribute = qvvandrel::CatalogueAttribute<id>;
    using T = typename Attribute::value_type;
    const T initial{};
    auto attribute = std::make_unique<Attribute>(nullptr, &initial);
    EXPECT_EQ(attribute->getId(), id);
    EXPECT_STREQ(attribute->name(), qvvandrel::getAttributeName(id));
    registry_.addAttribute(attribute.get());

    using Public = iattr::PublicAPIAttributeInterface<iattr::PublicValueType<T>>;
    EXPECT_EQ(registry_.getTyped<Public>(id, ""), static_cast<Public*>(attribute.get()));
    // Any other public type is rejected by the typed look-up.
    if constexpr (!std::is_same_v<T, std::string>) {
      try {
        registry_.getTyped<iattr::PublicAPIAttributeInterface<std::string>>(id, "");
        ADD_FAILURE() << id << " answered as a string";
      } catch (const qverr::Exception& error) {
        EXPECT_EQ(error.code(), -304403);
      }
    }
    owned_.push_back(std::move(attribute));
  }

  template <std::size_t... I>
  void buildAll(std::index_sequence<I...>) {
    (build<I>(), ...);
  }

  atat::AttributeRegistry registry_ = modeltest::makeRegistry();
  std::vector<std::unique_ptr<qvvandrel::Dependency>> owned_;
};

TEST_F(EveryIdentifier, BuildsRegistersAndIsFoundByItsType) {
  buildAll(std::make_index_sequence<qvvandrel::kCatalogueSize>());
  EXPECT_EQ(registry_.size(), 123u);
}

}  // namespace
