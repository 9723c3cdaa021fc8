#pragma once
// The named part shared by register and DMA channel records.

#include <cstdint>
#include <string>
#include <string_view>

#include "devkit/ElementType.h"

namespace qvkel {

class NamedResource {
 public:
  virtual ~NamedResource() = default;
  virtual const ResourceDescriptor& getDescriptor() const = 0;
  // Registers: the address word; DMA channels: the channel number.
  virtual uint32_t getIdentifier() const = 0;

  const std::string& getName() const { return name_; }
  // Same name and, when a descriptor is given, an equal descriptor.
  bool matches(std::string_view name, const ResourceDescriptor* descriptor) const {
    return name == name_ && (descriptor == nullptr || *descriptor == getDescriptor());
  }

 protected:
  explicit NamedResource(std::string name) : name_(std::move(name)) {}
  NamedResource(const NamedResource&) = default;
  NamedResource& operator=(const NamedResource&) = default;

 private:
  std::string name_;
};

}  // namespace qvkel
