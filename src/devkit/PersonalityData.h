#pragma once
// The design's personality handed to the kernel driver before a bitfile runs: the common data,
// the DMA channel table and the bitstream.

#include <cstdint>

#include "devkit/ByteVector.h"
#include "devkit/ISerializable.h"

namespace qvkel {

class Bitfile;

// 48 bytes: the common register set, bitstream version, open attributes, the busy code of the
// open attributes and the four signature words.
class CommonDataSerializer : public ISerializable {
 public:
  static constexpr size_t kSize = 48;
  CommonDataSerializer(const Bitfile& bitfile, uint32_t openAttributes)
      : bitfile_(bitfile), openAttributes_(openAttributes) {}
  void serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const override;

 private:
  const Bitfile& bitfile_;
  uint32_t openAttributes_;
};

// One 37-byte record per DMA channel, in the bitfile's order.
class FifosSerializer : public ISerializable {
 public:
  explicit FifosSerializer(const Bitfile& bitfile) : bitfile_(bitfile) {}
  void serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const override;

 private:
  const Bitfile& bitfile_;
};

class PersonalityData {
 public:
  // The bitfile must outlive the object; the bitstream is not copied.
  PersonalityData(const Bitfile& bitfile, uint32_t openAttributes);

  const uint8_t* getCommonData() const { return common_.size() ? common_.data() : nullptr; }
  uint64_t getCommonDataSize() const { return common_.size(); }
  const uint8_t* getFifoData() const { return fifos_.size() ? fifos_.data() : nullptr; }
  uint64_t getFifoDataSize() const { return fifos_.size(); }
  const uint8_t* getBitstream() const;
  uint64_t getBitstreamSize() const;

 private:
  qvhtl::ByteVector common_;
  qvhtl::ByteVector fifos_;
  const Bitfile& bitfile_;
};

}  // namespace qvkel
