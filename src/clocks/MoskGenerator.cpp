#include "clocks/MoskGenerator.h"

#include <cmath>

#include "attributes/RaiseWithDetails.h"
#include "foundation/errors/ErrorCodes.h"

namespace qvvandrel {

namespace {

constexpr qverr::StatusLocation kNoTickCount{"qvvandrelbrenmooru/source/MoskGenerator", 64,
                                             qverr::kComponent,
                                             qverr::constant::kInvalidAttributeValue};

}  // namespace

MoskGenerator::MoskGenerator(SyncInterface& sync)
    : attributes_(std::make_unique<Attributes>()),
      compileResolver_(this),
      deployResolver_(this),
      sync_(&sync) {}

MoskGenerator::~MoskGenerator() = default;

void MoskGenerator::registerAttributes(atat::AttributeRegistry* registry) {
  Attributes& a = *attributes_;
  for (iattr::AttributeBaseInterface* attribute :
       std::initializer_list<iattr::AttributeBaseInterface*>{
           &a.value6470, &a.value6471, &a.value6469, &a.period, &a.value8551, &a.highShare}) {
    registry->addAttribute(attribute);
  }
}

void MoskGenerator::commission(const ResolverRoots* roots, atat::AttributeRegistry*) {
  wireResolvers(*roots, compileResolver_, deployResolver_);
  wireInput(compileResolver_, attributes_->period);
  wireInput(compileResolver_, attributes_->highShare);
}

void MoskGenerator::computeHighLowTicks() {
  const std::uint32_t period = attributes_->period.getCoerced();
  const double share = attributes_->highShare.getCoerced();
  const double high = std::floor(share / 100.0 * static_cast<double>(period));
  if (!(high >= -9223372036854775808.0 && high < 9223372036854775808.0)) {
    atat::detail::raiseWithDetails(
        qverr::kInvalidAttributeValue, kNoTickCount, [&](atat::elaboration::Cursor cursor) {
          cursor = atat::elaboration::appendUsageDouble(cursor, "kUsageTypeRequestedValue", share);
          atat::elaboration::appendUsageInt32WithAttributeName(
              cursor, "kUsageTypeAttributeIdentifier", static_cast<std::int32_t>(kHighShareId));
        });
  }
  highTicks_ = static_cast<std::uint32_t>(static_cast<std::int64_t>(high));
  if (highTicks_ == 0) highTicks_ = 1;
  lowTicks_ = period - highTicks_;
}

void MoskGenerator::writeHighLowTicks() {
  sync::writeMoskGeneratorTicks(*sync_, highTicks_, lowTicks_);
}

void MoskGenerator::destroyAttributes() {
  attributes_.reset();
}

}  // namespace qvvandrel
