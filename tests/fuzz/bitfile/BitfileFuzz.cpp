// Feeds arbitrary bytes to the bitfile reader and to the readers of the sections it prints.

#include <cstddef>
#include <cstdint>
#include <string>

#include "devkit/Bitfile.h"
#include "devkit/BitfileElement.h"
#include "devkit/HmbSection.h"
#include "devkit/PersonalityData.h"
#include "foundation/errors/Exception.h"

namespace {

template <typename F>
void tolerateStatus(F&& call) {
  try {
    call();
  } catch (const qverr::Exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tolerateStatus([&] {
    const qvkel::Bitfile bitfile(text.c_str(), false, true);
    tolerateStatus([&] { qvkel::BitfileFpgaSection section(bitfile.getXml()); });
    tolerateStatus([&] {
      qvkel::HmbSectionState state;
      qvkel::parseHmbSection(bitfile.getXml(), bitfile.getSignature(), state);
      qvkel::parseHmbSection(bitfile.getXml(), bitfile.getSignature(), state);
    });
    tolerateStatus([&] { qvvandrelbrenmooru::getBitfileVendorText(bitfile); });
    tolerateStatus([&] { qvkel::PersonalityData personality(bitfile, 0x0C000000); });
  });
  // The section readers also take texts that never came through the bitfile reader.
  tolerateStatus([&] {
    qvkel::HmbSectionState state;
    qvkel::parseHmbSection(text, "0123456789abcdef0123456789abcdef", state);
  });
  return 0;
}
