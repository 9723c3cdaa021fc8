#pragma once
// Read-only string attributes with texts of the bitfile's target-specific data.

#include <cstdint>
#include <string>

#include "attributes/Attribute.h"
#include "attributes/Policies.h"

namespace qvkel {
class Bitfile;
}

namespace qvvandrelbrenmooru {

class BitfileAttributes {
 public:
  static constexpr uint32_t kBitfileVersionId = 0x3000000D;
  static constexpr uint32_t kBitfileVendorId = 0x3000000E;
  static constexpr uint32_t kBitfileIdentityId = 0x3000000F;
  static constexpr int32_t kNotSettableCode = -304414;

  // The bitfile must outlive the object; every read goes to the bitfile again.
  explicit BitfileAttributes(const qvkel::Bitfile& bitfile);
  BitfileAttributes(const BitfileAttributes&) = delete;
  BitfileAttributes& operator=(const BitfileAttributes&) = delete;

  atat::Attribute<std::string>& bitfileVersion() { return version_; }
  atat::Attribute<std::string>& bitfileVendor() { return vendor_; }
  atat::Attribute<std::string>& bitfileIdentity() { return identity_; }

 private:
  atat::FunctorGetter<std::string> versionGetter_;
  atat::FunctorGetter<std::string> vendorGetter_;
  atat::FunctorGetter<std::string> identityGetter_;
  atat::NotSettable<std::string> notSettable_;
  atat::Attribute<std::string> version_;
  atat::Attribute<std::string> vendor_;
  atat::Attribute<std::string> identity_;
};

}  // namespace qvvandrelbrenmooru
