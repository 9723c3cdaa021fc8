#include "devkit/FpgaSignature.h"

#include <cstdio>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

constexpr qverr::StatusLocation kBadSignatureText{"atomickelddk/user/hmb/FpgaSignature", 38,
                                                  qverr::kComponent,
                                                  qverr::constant::kInvalidParameter};

}  // namespace

FpgaSignature::FpgaSignature(const std::string& text) {
  unsigned int words[4] = {};
  if (std::sscanf(text.c_str(), "%08x%08x%08x%08x", &words[0], &words[1], &words[2], &words[3]) < 4)
    qverr::raise(qverr::kInvalidParameter, kBadSignatureText);
  for (size_t i = 0; i < 4; ++i) words_[i] = words[i];
}

void FpgaSignature::serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const {
  for (uint32_t word : words_) buffer.appendU32(word, status);
}

}  // namespace qvkel
