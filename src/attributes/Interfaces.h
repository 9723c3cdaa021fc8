#pragma once

#include <cstdint>
#include <type_traits>

// The views through which callers reach an attribute: each caller gets exactly the one it
// needs (read-only information, the public typed view, desired or coerced value access).
namespace iattr {

class AuthorshipInfoInterface {
 public:
  virtual bool wasSetInternally() const = 0;
  virtual bool wasSetByUser() const = 0;
  virtual ~AuthorshipInfoInterface() = default;
};

class AttributeInfoBaseInterface : public virtual AuthorshipInfoInterface {
 public:
  ~AttributeInfoBaseInterface() override = default;
  virtual std::uint32_t getId() const = 0;
  virtual const char* getChannelName() const = 0;
};

class DirtyableInterface {
 public:
  virtual void setDirty(bool dirty) = 0;
  virtual bool isDirty() const = 0;
  virtual ~DirtyableInterface() = default;
};

class ResetableInterface {
 public:
  virtual void reset() = 0;
  virtual ~ResetableInterface() = default;
};

// The untyped view kept by the attribute registry.
class AttributeBaseInterface : public AttributeInfoBaseInterface,
                               public DirtyableInterface,
                               public ResetableInterface {
 public:
  ~AttributeBaseInterface() override = default;
};

// Enumerations are exposed to the public requests as 32-bit integers.
template <typename T>
using PublicValueType = std::conditional_t<std::is_enum_v<T>, int, T>;

template <typename T>
class PublicAPIAttributeInterface {
 public:
  virtual void setValue(T value) = 0;
  virtual T getValue() = 0;
  virtual T getRequestedValue() = 0;
  virtual ~PublicAPIAttributeInterface() = default;
};

template <typename T>
class APIAttribute : public AttributeBaseInterface,
                     public PublicAPIAttributeInterface<PublicValueType<T>> {
 public:
  using Public = PublicValueType<T>;

  ~APIAttribute() override = default;
  virtual T get() = 0;
  virtual void set(const T& value) = 0;
  virtual T getPublic() = 0;

  void setValue(Public value) override { set(static_cast<T>(value)); }
  Public getValue() override { return static_cast<Public>(get()); }
  Public getRequestedValue() override { return static_cast<Public>(getPublic()); }
};

template <typename T>
class AttributeInterface;

template <typename T>
class AttributeAccessibleInterface {
 public:
  virtual AttributeInterface<T>& getBaseInterface() = 0;
  virtual ~AttributeAccessibleInterface() = default;
};

template <typename T>
class CoercedReaderAccessibleInterface {
 public:
  virtual T getCoerced() const = 0;
  virtual ~CoercedReaderAccessibleInterface() = default;
};

template <typename T>
class CoercedWriterAccessibleInterface {
 public:
  virtual void setCoerced(const T& value) = 0;
  virtual ~CoercedWriterAccessibleInterface() = default;
};

template <typename T>
class DesiredReaderAccessibleInterface {
 public:
  virtual T getDesired() const = 0;
  virtual ~DesiredReaderAccessibleInterface() = default;
};

template <typename T>
class DesiredWriterAccessibleInterface : public DesiredReaderAccessibleInterface<T>,
                                         public virtual AuthorshipInfoInterface {
 public:
  ~DesiredWriterAccessibleInterface() override = default;
  virtual void setDesired(const T& value) = 0;
};

template <typename T>
class DefaultInfoInterface {
 public:
  virtual T getDefault() const = 0;
  virtual ~DefaultInfoInterface() = default;
};

// The full typed view of an attribute.
template <typename T>
class AttributeInterface : public virtual APIAttribute<T>,
                           public virtual AttributeAccessibleInterface<T>,
                           public virtual CoercedReaderAccessibleInterface<T>,
                           public virtual CoercedWriterAccessibleInterface<T>,
                           public virtual DesiredWriterAccessibleInterface<T>,
                           public virtual DefaultInfoInterface<T> {
 public:
  ~AttributeInterface() override = default;
};

}  // namespace iattr
