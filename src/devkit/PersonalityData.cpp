#include "devkit/PersonalityData.h"

#include "devkit/Bitfile.h"
#include "devkit/CommonRegisterSet.h"
#include "devkit/FpgaBusyOwner.h"
#include "devkit/FpgaSignature.h"
#include "foundation/errors/Exception.h"

namespace qvkel {

void CommonDataSerializer::serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const {
  CommonRegisterSet(bitfile_).serialize(buffer, status);
  buffer.appendU32(bitfile_.getBitstreamVersion(), status);
  buffer.appendU32(openAttributes_, status);
  buffer.appendI32(ownerWordToStatus(openAttributes_), status);
  FpgaSignature(bitfile_.getSignature()).serialize(buffer, status);
}

void FifosSerializer::serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const {
  for (const NamedFifo& fifo : bitfile_.getFifos()) fifo.serialize(buffer, status);
}

PersonalityData::PersonalityData(const Bitfile& bitfile, uint32_t openAttributes)
    : bitfile_(bitfile) {
  // A failed append leaves the status in error, and every later append then does nothing.
  qverr::Status status;
  CommonDataSerializer(bitfile, openAttributes).serialize(common_, status);
  FifosSerializer(bitfile).serialize(fifos_, status);
  qverr::throwIfError(status);
}

const uint8_t* PersonalityData::getBitstream() const {
  const auto& bitstream = bitfile_.getBitstream();
  return bitstream.empty() ? nullptr : bitstream.data();
}

uint64_t PersonalityData::getBitstreamSize() const {
  return bitfile_.getBitstream().size();
}

}  // namespace qvkel
