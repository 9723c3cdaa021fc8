#pragma once
// The 128-bit design signature as four words.

#include <array>
#include <cstdint>
#include <string>

#include "devkit/ISerializable.h"

namespace qvkel {

class FpgaSignature : public ISerializable {
 public:
  FpgaSignature() = default;
  explicit FpgaSignature(const std::array<uint32_t, 4>& words) : words_(words) {}
  // Converts the 32-digit text, eight hexadecimal digits per word, word 0 first; -52005 when
  // fewer than four words convert.
  explicit FpgaSignature(const std::string& text);
  ~FpgaSignature() override = default;
  FpgaSignature(const FpgaSignature&) = default;
  FpgaSignature& operator=(const FpgaSignature&) = default;

  // The four words, word 0 first.
  void serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const override;

  const std::array<uint32_t, 4>& getWords() const { return words_; }
  bool operator==(const FpgaSignature& other) const { return words_ == other.words_; }

 private:
  std::array<uint32_t, 4> words_{};
};

}  // namespace qvkel
