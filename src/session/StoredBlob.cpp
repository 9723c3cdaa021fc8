#include "session/StoredBlob.h"

#include "foundation/errors/Exception.h"
#include "session/BlobCodec.h"

namespace qvvandrelbrenmooru {

std::vector<std::uint8_t> readStoredBlob(
    nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& proxy, std::uint32_t slot) {
  std::uint16_t tag = 0;
  std::uint32_t length = 0;
  {
    qverr::ThrowingStatusRecord status;
    length = proxy.command0904(0, 0, slot, &tag, &status);
  }
  std::vector<std::uint8_t> blob(length);
  {
    qverr::ThrowingStatusRecord status;
    length = proxy.command0904(reinterpret_cast<std::uint64_t>(blob.data()), length, slot, &tag,
                               &status);
  }
  // A slot that shrank between the two reads holds no more than it now says.
  blob.resize(std::min<std::size_t>(blob.size(), length));
  return decodeBlob(blob.data(), blob.size(), tag);
}

}  // namespace qvvandrelbrenmooru
