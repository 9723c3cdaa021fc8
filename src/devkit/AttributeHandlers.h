#pragma once
// The host's numbered device attributes (32-bit values and texts), answered by a chain of
// handlers: PCI and device properties, the PXI query library, constants and the kernel driver.
// Every query reports whether it was handled; the first handler of the chain that handles it
// answers.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devkit/PxiQuery.h"
#include "foundation/driver/tDeviceInterfaceIterator.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/platform/synchronization.h"

namespace qvkel {

// A required device property is empty; also the driver's answer for an attribute it does not
// handle.
inline constexpr int32_t kAttributeNotHandled = -63196;
// A flag value above 1.
inline constexpr int32_t kFlagValueInvalid = -63197;

class IAttributeHandler {
 public:
  static constexpr uint32_t kNotHandled = 0xFFFFFFFF;

  virtual ~IAttributeHandler() = default;
  // kNotHandled when not handled.
  virtual uint32_t getU32(uint32_t attribute, bool& handled) = 0;
  // The length is always reported when handled; a buffer that cannot hold the text and its
  // terminator raises -63080.
  virtual void getString(uint32_t attribute, char* buffer, uint32_t capacity, uint32_t* length,
                         bool& handled) = 0;
  virtual void setU32(uint32_t attribute, uint32_t value, bool& handled) = 0;
  virtual void setString(uint32_t attribute, const char* text, bool& handled) = 0;
};

// A handler that answers only some queries; the others stay unhandled.
class AttributeHandlerBase : public IAttributeHandler {
 public:
  uint32_t getU32(uint32_t attribute, bool& handled) override;
  void getString(uint32_t attribute, char* buffer, uint32_t capacity, uint32_t* length,
                 bool& handled) override;
  void setU32(uint32_t attribute, uint32_t value, bool& handled) override;
  void setString(uint32_t attribute, const char* text, bool& handled) override;

 protected:
  // Hands out a text that answers a string query.
  static void answer(const std::string& text, char* buffer, uint32_t capacity, uint32_t* length,
                     bool& handled);
  // Answers with `text` when the attribute is `wanted`; otherwise unhandled.
  static void answerIf(uint32_t wanted, const std::string& text, uint32_t attribute, char* buffer,
                       uint32_t capacity, uint32_t* length, bool& handled);
  struct Value {
    uint32_t attribute;
    uint32_t value;
  };
  // The value of the attribute in `table`; unhandled when it is not there.
  static uint32_t answerFrom(std::initializer_list<Value> table, uint32_t attribute, bool& handled);
};

class AttributeHandlerComposite : public IAttributeHandler {
 public:
  void add(std::unique_ptr<IAttributeHandler> handler);

  uint32_t getU32(uint32_t attribute, bool& handled) override;
  void getString(uint32_t attribute, char* buffer, uint32_t capacity, uint32_t* length,
                 bool& handled) override;
  void setU32(uint32_t attribute, uint32_t value, bool& handled) override;
  void setString(uint32_t attribute, const char* text, bool& handled) override;

 private:
  // Asks each handler in turn until one handles.
  template <typename F>
  void firstHandled(bool& handled, F&& ask);

  std::vector<std::unique_ptr<IAttributeHandler>> handlers_;
};

using DeviceIterator = nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIterator;

// Device properties of the module, read once at construction.
class AttributeHandlerDevice : public AttributeHandlerBase {
 public:
  static constexpr uint32_t kBusTypePci = 0x20706369;  // "pci "
  static constexpr uint32_t kBusTypeUsb = 0x20757362;  // "usb "

  explicit AttributeHandlerDevice(DeviceIterator& iterator);
  uint32_t getU32(uint32_t attribute, bool& handled) override;
  void getString(uint32_t attribute, char* buffer, uint32_t capacity, uint32_t* length,
                 bool& handled) override;

 private:
  std::string serialNumber_;
  uint32_t slotCount_ = 0;
  uint32_t busType_ = 0;
  std::string productName_;
  std::string targetClass_;
  uint32_t numaNode_ = 0xFFFFFFFF;
  std::string hardwareRevision_;
};

// PCI identity and location of the module, read once at construction.
class AttributeHandlerPci : public AttributeHandlerBase {
 public:
  explicit AttributeHandlerPci(DeviceIterator& iterator);
  uint32_t getU32(uint32_t attribute, bool& handled) override;
  void getString(uint32_t attribute, char* buffer, uint32_t capacity, uint32_t* length,
                 bool& handled) override;

 private:
  uint32_t subsystemId_ = 0;
  uint32_t vendorId_ = 0;
  uint32_t bus_ = 0, device_ = 0, function_ = 0;
};

// Chassis and slot of the module through the PXI query library (not owned). A failure of the
// library during a query still handles it, with 0xFFFFFFFF or the empty text.
class AttributeHandlerPxi : public AttributeHandlerBase {
 public:
  AttributeHandlerPxi(const IPxiQuery& library, DeviceIterator& iterator);
  uint32_t getU32(uint32_t attribute, bool& handled) override;
  void getString(uint32_t attribute, char* buffer, uint32_t capacity, uint32_t* length,
                 bool& handled) override;

 private:
  // None when the library failed.
  std::optional<uint32_t> lookUp(uint32_t attribute);

  const IPxiQuery& library_;
  std::unique_ptr<IPxiQuery::Session> session_;
  uint32_t bus_ = 0, device_ = 0, function_ = 0;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex mutex_;
};

// Stands in for the PXI handler on a module that is not in a PXI chassis.
class AttributeHandlerNoPxi : public AttributeHandlerBase {
 public:
  uint32_t getU32(uint32_t attribute, bool& handled) override;
  void getString(uint32_t attribute, char* buffer, uint32_t capacity, uint32_t* length,
                 bool& handled) override;
};

class AttributeHandlerNoZorv : public AttributeHandlerBase {
 public:
  uint32_t getU32(uint32_t attribute, bool& handled) override;
};

// Constants and texts of the traditional numbering, some derived from the chain it belongs to
// (not owned).
class AttributeHandlerTraditionalKel : public AttributeHandlerBase {
 public:
  explicit AttributeHandlerTraditionalKel(IAttributeHandler& chain) : chain_(chain) {}
  uint32_t getU32(uint32_t attribute, bool& handled) override;
  void getString(uint32_t attribute, char* buffer, uint32_t capacity, uint32_t* length,
                 bool& handled) override;
  void setU32(uint32_t attribute, uint32_t value, bool& handled) override;
  void setString(uint32_t attribute, const char* text, bool& handled) override;

 private:
  IAttributeHandler& chain_;
  uint8_t flag_ = 0;
};

// Attributes kept by the kernel driver (1, 48 and 84; 1 and 84 writable).
class AttributeHandlerInterfaceProxy : public AttributeHandlerBase {
 public:
  using AttributeInterface = nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_attribute;

  explicit AttributeHandlerInterfaceProxy(std::shared_ptr<AttributeInterface> proxy)
      : proxy_(std::move(proxy)) {}
  uint32_t getU32(uint32_t attribute, bool& handled) override;
  void setU32(uint32_t attribute, uint32_t value, bool& handled) override;

 private:
  std::shared_ptr<AttributeInterface> proxy_;
};

// The chain in its order: device, PCI, PXI (when `pxi` is given) or no-PXI, no-Zorv,
// traditional, interface proxy. `iterator` stands on the module's device interface.
std::shared_ptr<AttributeHandlerComposite> makeAttributeHandlerChain(
    DeviceIterator& iterator, const IPxiQuery* pxi,
    std::shared_ptr<AttributeHandlerInterfaceProxy::AttributeInterface> proxy);

}  // namespace qvkel
