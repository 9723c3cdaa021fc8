#pragma once
// Element types of registers and DMA FIFOs, their descriptors and the mapping from the
// bitfile's data-type elements.

#include <cstdint>
#include <string_view>

#include "devkit/ISerializable.h"
#include "devkit/XmlValues.h"

namespace qvkel {

enum class ElementType : uint8_t {
  None = 0,
  Bool = 1,
  I8 = 2,
  U8 = 3,
  I16 = 4,
  U16 = 5,
  I32 = 6,
  U32 = 7,
  I64 = 8,
  U64 = 9,
  Fxp = 10,
  Sgl = 11,
  Dbl = 12,
  Composite = 13,
};

class Type : public ISerializable {
 public:
  Type() = default;
  Type(ElementType elementType, uint32_t wordLength, uint32_t size, bool isSigned,
       int32_t integerWordLength)
      : elementType_(elementType),
        wordLength_(wordLength),
        size_(size),
        signed_(isSigned),
        integerWordLength_(integerWordLength) {}
  ~Type() override = default;
  Type(const Type&) = default;
  Type& operator=(const Type&) = default;

  // 14 bytes: type, word length, size, signed, integer word length.
  void serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const override;

  ElementType getElementType() const { return elementType_; }
  uint32_t getWordLength() const { return wordLength_; }
  uint32_t getSize() const { return size_; }
  bool isSigned() const { return signed_; }
  int32_t getIntegerWordLength() const { return integerWordLength_; }

  bool operator==(const Type& other) const {
    return elementType_ == other.elementType_ && wordLength_ == other.wordLength_ &&
           size_ == other.size_ && signed_ == other.signed_ &&
           integerWordLength_ == other.integerWordLength_;
  }

 private:
  ElementType elementType_ = ElementType::None;
  uint32_t wordLength_ = 0;
  uint32_t size_ = 0;
  bool signed_ = false;
  int32_t integerWordLength_ = 0;
};

// The fixed descriptor of one scalar type.
template <ElementType Code, typename HostType, bool Signed, uint32_t WordLength, uint32_t Size,
          int32_t IntegerWordLength>
class TypeTemplate : public Type {
 public:
  using ValueType = HostType;
  TypeTemplate() : Type(Code, WordLength, Size, Signed, IntegerWordLength) {}
  ~TypeTemplate() override = default;
};

using TypeBool = TypeTemplate<ElementType::Bool, uint8_t, false, 1, 1, 1>;
using TypeI8 = TypeTemplate<ElementType::I8, int8_t, true, 8, 1, 8>;
using TypeU8 = TypeTemplate<ElementType::U8, uint8_t, false, 8, 1, 8>;
using TypeI16 = TypeTemplate<ElementType::I16, int16_t, true, 16, 2, 16>;
using TypeU16 = TypeTemplate<ElementType::U16, uint16_t, false, 16, 2, 16>;
using TypeI32 = TypeTemplate<ElementType::I32, int32_t, true, 32, 4, 32>;
using TypeU32 = TypeTemplate<ElementType::U32, uint32_t, false, 32, 4, 32>;
using TypeI64 = TypeTemplate<ElementType::I64, int64_t, true, 64, 8, 64>;
using TypeU64 = TypeTemplate<ElementType::U64, uint64_t, false, 64, 8, 64>;
using TypeSgl = TypeTemplate<ElementType::Sgl, float, true, 32, 4, 32>;
using TypeDbl = TypeTemplate<ElementType::Dbl, double, true, 64, 8, 64>;

// A composite element of `bytes` bytes.
class Composite : public Type {
 public:
  explicit Composite(uint32_t bytes)
      : Type(ElementType::Composite, bytes * 8u, bytes & 0x1FFFFFFFu, false,
             static_cast<int32_t>(bytes * 8u)) {}
  ~Composite() override = default;
};

class ResourceDescriptor : public ISerializable {
 public:
  static constexpr uint8_t kRegister = 0;
  static constexpr uint8_t kDmaFifo = 1;

  ResourceDescriptor() = default;
  ResourceDescriptor(uint8_t kind, uint8_t subKind, const Type& type)
      : kind_(kind), subKind_(subKind), type_(type) {}
  ~ResourceDescriptor() override = default;
  ResourceDescriptor(const ResourceDescriptor&) = default;
  ResourceDescriptor& operator=(const ResourceDescriptor&) = default;

  // 16 bytes: kind, sub-kind, then the type's 14.
  void serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const override;

  uint8_t getKind() const { return kind_; }
  uint8_t getSubKind() const { return subKind_; }
  const Type& getType() const { return type_; }

  bool operator==(const ResourceDescriptor& other) const {
    return kind_ == other.kind_ && subKind_ == other.subKind_ && type_ == other.type_;
  }

 private:
  uint8_t kind_ = kRegister;
  uint8_t subKind_ = 0;
  Type type_;
};

class RegisterDescriptor : public ResourceDescriptor {
 public:
  static constexpr uint8_t kControl = 0x1;
  static constexpr uint8_t kArray = 0x2;
  RegisterDescriptor() = default;
  RegisterDescriptor(uint8_t subKind, const Type& type)
      : ResourceDescriptor(kRegister, subKind, type) {}
};

class FifoDescriptor : public ResourceDescriptor {
 public:
  static constexpr uint8_t kTargetToHost = 0;
  static constexpr uint8_t kHostToTarget = 1;
  static constexpr uint8_t kPeerToPeerReader = 2;
  static constexpr uint8_t kPeerToPeerWriter = 3;
  static constexpr uint8_t kUnknown = 255;
  FifoDescriptor() : ResourceDescriptor(kDmaFifo, 0, Type()) {}
  FifoDescriptor(uint8_t implementation, const Type& type)
      : ResourceDescriptor(kDmaFifo, implementation, type) {}
};

// Type for a data-type name; `typeElement` holds fixed-point parameters, `owner` composite sizes.
Type typeFromXml(std::string_view name, const XmlNode* typeElement, const XmlNode* owner);

// Type of a register element of the register list; `isArray` tells whether it is an array.
Type readDatatype(const XmlNode* registerElement, bool& isArray);

}  // namespace qvkel
