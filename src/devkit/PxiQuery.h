#pragma once
// What the device kit needs of the PXI query library: which chassis and slot hold a module.
// The discovery subsystem's wrapper of the maker's library implements it.

#include <cstdint>
#include <memory>

namespace qvkel {

// A module's PCI location as the PXI query library takes it.
struct PxiPciAddress {
  uint32_t reserved = 0;
  uint32_t bus = 0;
  uint32_t device = 0;
  uint32_t function = 0;
};

// Every operation that reaches the library raises qverr::Exception on failure.
class IPxiQuery {
 public:
  // Attribute numbers the device kit reads.
  static constexpr uint32_t kSessionValidity = 0;
  static constexpr uint32_t kChassisNumber = 4096;
  static constexpr uint32_t kSlotNumber = 8200;
  static constexpr uint32_t kSlotAttribute8197 = 8197;

  class Item {
   public:
    virtual ~Item() = default;
    virtual uint32_t getU32Attribute(uint32_t id) const = 0;
  };
  class Device : public Item {
   public:
    // The slot item that holds the device.
    virtual std::unique_ptr<Item> getSlot() const = 0;
  };
  class Session : public Item {
   public:
    // Validity is attribute kSessionValidity: 0 means the session must be opened again.
    virtual std::unique_ptr<Device> openDeviceByAddr(const PxiPciAddress& address) const = 0;
  };

  virtual ~IPxiQuery() = default;
  // False when the library could not be loaded; nothing else may be called then.
  virtual bool isLoaded() const = 0;
  virtual std::unique_ptr<Session> openPxiSession(uint32_t flags) const = 0;
};

}  // namespace qvkel
