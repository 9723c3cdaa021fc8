#pragma once
// The handlers that receive capability words: each converts a word and stores it as a single
// value, a list, a section index, a section count, or a value or list of one instance of a
// repeated section.
//
// A section is filled by its count, then per instance k its index (k) followed by that
// instance's field words. The storage of a section never outgrows what the stream can fill:
// counts that together grow a section beyond the manager's limit are refused, and a field word
// whose index is not below the count (or that comes before any count) has no slot and is
// ignored.

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include <boost/optional.hpp>

#include "clip/CapabilityConversions.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace ififo_rpc {

template <typename T>
using Converter = std::function<boost::optional<T>(unsigned int)>;

class CapabilityHandler {
 public:
  virtual ~CapabilityHandler() = default;
  virtual void acceptValue(uint32_t word) = 0;

 protected:
  CapabilityHandler() = default;
  CapabilityHandler(const CapabilityHandler&) = default;
  CapabilityHandler& operator=(const CapabilityHandler&) = default;
};

// One value; a word that converts to nothing empties it.
template <typename T>
class Capability : public CapabilityHandler {
 public:
  explicit Capability(Converter<T> convert = Cast<T>()) : converter(std::move(convert)) {}
  void acceptValue(uint32_t word) override { value = converter(word); }

  Converter<T> converter;
  boost::optional<T> value;
};

// A list; a word that converts to nothing is dropped, so values and rawValues pair up.
template <typename T>
class ListCapability : public CapabilityHandler {
 public:
  explicit ListCapability(Converter<T> convert = Cast<T>()) : converter(std::move(convert)) {}
  void acceptValue(uint32_t word) override {
    if (boost::optional<T> v = converter(word)) {
      rawValues.push_back(word);
      values.push_back(*v);
    }
  }

  Converter<T> converter;
  std::vector<T> values;
  std::vector<uint32_t> rawValues;
};

namespace section {

class Resizable {
 public:
  virtual void resize(uint32_t count) = 0;

 protected:
  ~Resizable() = default;
};

// Sets a section's current index.
template <typename T>
class Ref : public CapabilityHandler {
 public:
  explicit Ref(T* target) : target(target) {}
  void acceptValue(uint32_t word) override { *target = word; }

  T* target;
};

// One value per section instance.
template <typename T>
class Value : public CapabilityHandler, public Resizable {
 public:
  explicit Value(Converter<T> convert = Cast<T>()) : converter(std::move(convert)) {}
  void acceptValue(uint32_t word) override {
    if (*index < values.size()) values[*index] = converter(word);
  }
  void resize(uint32_t count) override { values.resize(count); }
  // The value of instance k; none for an instance the section does not have.
  boost::optional<T> at(uint32_t k) const {
    return k < values.size() ? values[k] : boost::optional<T>();
  }

  const uint32_t* index = nullptr;  // the manager's current index
  Converter<T> converter;
  std::vector<boost::optional<T>> values;
};

// One list per section instance.
template <typename T>
class ListValue : public CapabilityHandler, public Resizable {
 public:
  explicit ListValue(Converter<T> convert = Cast<T>()) : converter(std::move(convert)) {}
  void acceptValue(uint32_t word) override {
    if (*index >= values.size()) return;
    if (boost::optional<T> v = converter(word)) {
      rawValues[*index].push_back(word);
      values[*index].push_back(*v);
    }
  }
  void resize(uint32_t count) override {
    values.resize(count);
    rawValues.resize(count);
  }
  // The list of instance k; empty for an instance the section does not have.
  const std::vector<T>& at(uint32_t k) const {
    static const std::vector<T> kNone;
    return k < values.size() ? values[k] : kNone;
  }
  // The raw words of instance k, in the CLIP's order; empty likewise.
  const std::vector<uint32_t>& rawAt(uint32_t k) const {
    static const std::vector<uint32_t> kNone;
    return k < rawValues.size() ? rawValues[k] : kNone;
  }

  const uint32_t* index = nullptr;
  Converter<T> converter;
  std::vector<std::vector<T>> values;
  std::vector<std::vector<uint32_t>> rawValues;
};

}  // namespace section

// Where a section count beyond what the stream can fill is refused.
inline constexpr qverr::StatusLocation kSectionCountRefused{
    "ififo_rpc_host/Capabilities", 88, qverr::kComponent,
    qverr::constant::kIFifoInterfaceVersionMismatch};

// The count of one kind of repeated section. S begins with `fields` (the resize interfaces of
// its fields) and offers forEachField(f), calling f(identifier, field) for each field in
// registration order; the manager points every field at its own index.
template <typename S>
class SectionManager : public CapabilityHandler {
 public:
  // No stream describes more instances than this.
  static constexpr uint32_t kDefaultCountLimit = 0x8000;

  SectionManager() : indexRef(&index) { bindFields(); }
  SectionManager(const SectionManager& other)
      : CapabilityHandler(other),
        index(other.index),
        indexRef(&index),
        count(other.count),
        section(other.section),
        countLimit(other.countLimit) {
    bindFields();
  }
  SectionManager& operator=(const SectionManager&) = delete;

  void acceptValue(uint32_t word) override {
    // Only growth uses up the limit: a count sent again may shrink the section, but the
    // stream's counts together never grow it beyond the limit, so repeated counts cannot turn
    // one read into a resize of every field per pair.
    if (word > count) {
      if (word - count > countLimit)
        qverr::raise(qverr::kIFifoInterfaceVersionMismatch, kSectionCountRefused);
      countLimit -= word - count;
    }
    count = word;
    for (section::Resizable* field : section.fields) field->resize(count);
  }

  uint32_t index = 0;
  section::Ref<unsigned int> indexRef;
  uint32_t count = 0;
  S section;
  // How far the count may still grow; the capability read lowers it to what its stream can
  // fill.
  uint32_t countLimit = kDefaultCountLimit;

 private:
  void bindFields() {
    section.fields.clear();
    section.forEachField([this](uint32_t, auto& field) {
      field.index = &index;
      section.fields.push_back(&field);
    });
  }
};

}  // namespace ififo_rpc
