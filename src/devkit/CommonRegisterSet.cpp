#include "devkit/CommonRegisterSet.h"

#include "devkit/Bitfile.h"

namespace qvkel {

CommonRegisterSet::CommonRegisterSet(const Bitfile& bitfile)
    : CommonRegisterSet(bitfile.getBaseAddress() + bitfile.getWexControlOffset(),
                        bitfile.getBaseAddress() + bitfile.getDiagramResetOffset(),
                        bitfile.getBaseAddress() + bitfile.getInterruptEnableOffset(),
                        bitfile.getBaseAddress() + bitfile.getWexSignatureOffset(),
                        bitfile.getBaseAddress() + bitfile.getDram2DPBaseAddress()) {}

void CommonRegisterSet::serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const {
  buffer.appendU32(wexControl_, status);
  buffer.appendU32(diagramReset_, status);
  buffer.appendU32(interruptEnable_, status);
  buffer.appendU32(wexSignature_, status);
  buffer.appendU32(dramBase_, status);
}

}  // namespace qvkel
