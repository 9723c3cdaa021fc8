#include "devkit/BitfileAttributes.h"

#include "devkit/BitfileElement.h"

namespace qvvandrelbrenmooru {

BitfileAttributes::BitfileAttributes(const qvkel::Bitfile& bitfile)
    : versionGetter_([&bitfile] { return getBitfileVersionText(bitfile); }),
      vendorGetter_([&bitfile] { return getBitfileVendorText(bitfile); }),
      identityGetter_([&bitfile] { return getBitfileIdentityText(bitfile); }),
      notSettable_(kNotSettableCode),
      version_(kBitfileVersionId, nullptr, false, nullptr, nullptr, &versionGetter_, &notSettable_),
      vendor_(kBitfileVendorId, nullptr, false, nullptr, nullptr, &vendorGetter_, &notSettable_),
      identity_(kBitfileIdentityId, nullptr, false, nullptr, nullptr, &identityGetter_,
                &notSettable_) {}

}  // namespace qvvandrelbrenmooru
