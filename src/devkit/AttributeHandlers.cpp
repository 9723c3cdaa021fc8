#include "devkit/AttributeHandlers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "devkit/FpgaBusyOwner.h"
#include "devkit/XmlValues.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock;

constexpr const char* kSource = "atomickelddk/user/AttributeHandler";
constexpr qverr::StatusLocation kEmptyProperty{kSource, 118, qverr::kComponent};
constexpr qverr::StatusLocation kFlagAboveOne{kSource, 402, qverr::kComponent};
constexpr qverr::StatusLocation kPxiNotLoaded{kSource, 233, qverr::kComponent};
constexpr qverr::StatusLocation kPxiMutex{kSource, 201, qverr::kComponent};

// Attribute numbers.
constexpr uint32_t kLegacyValue = 1;
constexpr uint32_t kKelText = 2;
constexpr uint32_t kPciSubsystemId = 2;
constexpr uint32_t kPciVendorId = 3;
constexpr uint32_t kSerialNumber = 4;
constexpr uint32_t kHexText = 4;
constexpr uint32_t kPxiChassisText = 5;
constexpr uint32_t kTargetClass = 6;
constexpr uint32_t kEmptyPciText = 9;
constexpr uint32_t kPciBus = 10;
constexpr uint32_t kPciDevice = 11;
constexpr uint32_t kPciFunction = 12;
constexpr uint32_t kSerialNumberText = 18;
constexpr uint32_t kHardwareRevision = 19;
constexpr uint32_t kPxiChassis = 27;
constexpr uint32_t kPxiSlot = 28;
constexpr uint32_t kPxiSlotAttribute = 30;
constexpr uint32_t kSlotCount = 73;
constexpr uint32_t kBusType = 74;
constexpr uint32_t kZorv = 80;
constexpr uint32_t kZero91 = 91;
constexpr uint32_t kNumaNode = 92;
constexpr uint32_t kFpgaBusyOwner = 84;
constexpr uint32_t kFlag = 16;
constexpr uint32_t kOwnerText = 1;

// A 4-byte property; failures raised.
uint32_t readU32Property(DeviceIterator& it, const char* set, const char* name) {
  uint32_t value = 0;
  qverr::ThrowingStatusRecord status;
  it.readProperty(set, name, &value, sizeof value, nullptr, &status);
  return value;
}

// A text property: its length first, then its bytes; the text ends at a terminator the file
// may carry. `missingOk`: a missing property reads as "". Other failures raised.
std::string readTextProperty(DeviceIterator& it, const char* set, const char* name,
                             bool missingOk = false) {
  uint64_t length = 0;
  {
    nQVVUSKS100::tStatus query;
    it.readProperty(set, name, nullptr, 0, &length, &query);
    if (query.code == qverr::kResourceNotFound && missingOk) return {};
    if (query.code != qverr::kBufferTooSmall && query.isError()) qverr::throwRecord(query);
  }
  std::string text(length, '\0');
  if (length != 0) {
    nQVVUSKS100::tStatus status;
    it.readProperty(set, name, text.data(), length, &length, &status);
    if (status.isError()) qverr::throwRecord(status);
    text.resize(std::strlen(text.c_str()));
  }
  return text;
}

std::string requiredText(DeviceIterator& it, const char* set, const char* name) {
  std::string text = readTextProperty(it, set, name);
  if (text.empty()) qverr::raise(kAttributeNotHandled, kEmptyProperty);
  return text;
}

// The serial-number text as a hexadecimal number, with the standard conversion's exceptions;
// errno is left as it was.
uint32_t hexadecimal(const std::string& text) {
  int saved = errno;
  struct Restore {
    int value;
    ~Restore() { errno = value; }
  } restore{saved};
  return static_cast<uint32_t>(std::stoul(text, nullptr, 16));
}

template <typename... A>
std::string format(const char* pattern, A... args) {
  char text[32];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

}  // namespace

uint32_t AttributeHandlerBase::getU32(uint32_t, bool& handled) {
  handled = false;
  return kNotHandled;
}

void AttributeHandlerBase::getString(uint32_t, char*, uint32_t, uint32_t*, bool& handled) {
  handled = false;
}

void AttributeHandlerBase::setU32(uint32_t, uint32_t, bool& handled) {
  handled = false;
}

void AttributeHandlerBase::setString(uint32_t, const char*, bool& handled) {
  handled = false;
}

void AttributeHandlerBase::answer(const std::string& text, char* buffer, uint32_t capacity,
                                  uint32_t* length, bool& handled) {
  handled = true;
  size_t size = 0;
  copyStringOut(text, buffer, capacity, &size);
  if (length != nullptr) *length = static_cast<uint32_t>(size);
}

void AttributeHandlerBase::answerIf(uint32_t wanted, const std::string& text, uint32_t attribute,
                                    char* buffer, uint32_t capacity, uint32_t* length,
                                    bool& handled) {
  handled = false;
  if (attribute == wanted) answer(text, buffer, capacity, length, handled);
}

uint32_t AttributeHandlerBase::answerFrom(std::initializer_list<Value> table, uint32_t attribute,
                                          bool& handled) {
  for (const Value& v : table) {
    if (v.attribute == attribute) {
      handled = true;
      return v.value;
    }
  }
  handled = false;
  return kNotHandled;
}

void AttributeHandlerComposite::add(std::unique_ptr<IAttributeHandler> handler) {
  handlers_.push_back(std::move(handler));
}

template <typename F>
void AttributeHandlerComposite::firstHandled(bool& handled, F&& ask) {
  handled = false;
  for (auto& h : handlers_) {
    ask(*h);
    if (handled) return;
  }
}

uint32_t AttributeHandlerComposite::getU32(uint32_t attribute, bool& handled) {
  uint32_t value = kNotHandled;
  firstHandled(handled, [&](IAttributeHandler& h) { value = h.getU32(attribute, handled); });
  return handled ? value : kNotHandled;
}

void AttributeHandlerComposite::getString(uint32_t attribute, char* buffer, uint32_t capacity,
                                          uint32_t* length, bool& handled) {
  firstHandled(handled, [&](IAttributeHandler& h) {
    h.getString(attribute, buffer, capacity, length, handled);
  });
}

void AttributeHandlerComposite::setU32(uint32_t attribute, uint32_t value, bool& handled) {
  firstHandled(handled, [&](IAttributeHandler& h) { h.setU32(attribute, value, handled); });
}

void AttributeHandlerComposite::setString(uint32_t attribute, const char* text, bool& handled) {
  firstHandled(handled, [&](IAttributeHandler& h) { h.setString(attribute, text, handled); });
}

AttributeHandlerDevice::AttributeHandlerDevice(DeviceIterator& it) {
  const char* device = DeviceIterator::kDeviceProperties;
  const char* bus = DeviceIterator::kBusProperties;
  serialNumber_ = requiredText(it, device, "serialNumber");
  slotCount_ = readU32Property(it, device, "kelNumberOfSlots");
  uint32_t busType = readU32Property(it, bus, "busType");
  busType_ = busType == kBusTypePci ? 1 : busType == kBusTypeUsb ? 3 : 0;
  productName_ = requiredText(it, device, "kelProductName");
  targetClass_ = requiredText(it, device, "kelFpgaTargetClass");
  {
    nQVVUSKS100::tStatus status;
    uint32_t node = 0;
    it.readProperty(bus, "numaNode", &node, sizeof node, nullptr, &status);
    if (!status.isError()) {
      numaNode_ = node;
    } else if (status.code != qverr::kResourceNotFound) {
      qverr::throwRecord(status);
    }
  }
  hardwareRevision_ = readTextProperty(it, device, "kelHardwareRevision", true);
}

uint32_t AttributeHandlerDevice::getU32(uint32_t attribute, bool& handled) {
  if (attribute == kSerialNumber) {
    handled = true;
    return hexadecimal(serialNumber_);
  }
  return answerFrom(
      {{kSlotCount, slotCount_}, {kBusType, busType_}, {kZero91, 0}, {kNumaNode, numaNode_}},
      attribute, handled);
}

void AttributeHandlerDevice::getString(uint32_t attribute, char* buffer, uint32_t capacity,
                                       uint32_t* length, bool& handled) {
  const std::string* text = attribute == 0                   ? &productName_
                            : attribute == kTargetClass      ? &targetClass_
                            : attribute == kSerialNumberText ? &serialNumber_
                            : attribute == kHardwareRevision ? &hardwareRevision_
                                                             : nullptr;
  if (text == nullptr)
    return AttributeHandlerBase::getString(attribute, buffer, capacity, length, handled);
  answer(*text, buffer, capacity, length, handled);
}

AttributeHandlerPci::AttributeHandlerPci(DeviceIterator& it) {
  const char* bus = DeviceIterator::kBusProperties;
  vendorId_ = readU32Property(it, bus, "pciVendorID");
  readU32Property(it, bus, "pciDeviceID");
  subsystemId_ = readU32Property(it, bus, "pciSubsystemID");
  bus_ = readU32Property(it, bus, "pciBusNumber");
  device_ = readU32Property(it, bus, "pciDeviceNumber");
  function_ = readU32Property(it, bus, "pciFunctionNumber");
}

uint32_t AttributeHandlerPci::getU32(uint32_t attribute, bool& handled) {
  return answerFrom({{kPciSubsystemId, subsystemId_},
                     {kPciVendorId, vendorId_},
                     {kPciBus, bus_},
                     {kPciDevice, device_},
                     {kPciFunction, function_}},
                    attribute, handled);
}

void AttributeHandlerPci::getString(uint32_t attribute, char* buffer, uint32_t capacity,
                                    uint32_t* length, bool& handled) {
  answerIf(kEmptyPciText, "", attribute, buffer, capacity, length, handled);
}

AttributeHandlerPxi::AttributeHandlerPxi(const IPxiQuery& library, DeviceIterator& it)
    : library_(library) {
  if (library_.isLoaded()) session_ = library_.openPxiSession(0);
  nQVVUSKS100::tStatus status;
  mutex_.create(&status);
  if (status.isError()) qverr::raise(qverr::kInternalError, kPxiMutex);
  const char* bus = DeviceIterator::kBusProperties;
  bus_ = readU32Property(it, bus, "pciBusNumber");
  device_ = readU32Property(it, bus, "pciDeviceNumber");
  function_ = readU32Property(it, bus, "pciFunctionNumber");
}

std::optional<uint32_t> AttributeHandlerPxi::lookUp(uint32_t attribute) {
  tMutexLock lock(mutex_);
  try {
    if (!library_.isLoaded()) qverr::raise(qverr::kNoInterruptAcknowledge, kPxiNotLoaded);
    if (!session_ || session_->getU32Attribute(IPxiQuery::kSessionValidity) == 0)
      session_ = library_.openPxiSession(0);
    auto device = session_->openDeviceByAddr(PxiPciAddress{0, bus_, device_, function_});
    switch (attribute) {
      case kPxiChassis:
        return device->getU32Attribute(IPxiQuery::kChassisNumber);
      case kPxiSlot:
        return device->getU32Attribute(IPxiQuery::kSlotNumber);
      default:
        return device->getSlot()->getU32Attribute(IPxiQuery::kSlotAttribute8197);
    }
  } catch (const qverr::Exception&) {
    return std::nullopt;
  }
}

uint32_t AttributeHandlerPxi::getU32(uint32_t attribute, bool& handled) {
  if (attribute != kPxiChassis && attribute != kPxiSlot && attribute != kPxiSlotAttribute)
    return AttributeHandlerBase::getU32(attribute, handled);
  handled = true;
  return lookUp(attribute).value_or(kNotHandled);
}

void AttributeHandlerPxi::getString(uint32_t attribute, char* buffer, uint32_t capacity,
                                    uint32_t* length, bool& handled) {
  if (attribute != kPxiChassisText)
    return AttributeHandlerBase::getString(attribute, buffer, capacity, length, handled);
  std::optional<uint32_t> chassis = lookUp(kPxiChassis);
  std::string text = chassis ? format("PXI%d", static_cast<int>(*chassis)) : "";
  answer(text, buffer, capacity, length, handled);
}

uint32_t AttributeHandlerNoPxi::getU32(uint32_t attribute, bool& handled) {
  return answerFrom(
      {{kPxiChassis, kNotHandled}, {kPxiSlot, kNotHandled}, {kPxiSlotAttribute, kNotHandled}},
      attribute, handled);
}

void AttributeHandlerNoPxi::getString(uint32_t attribute, char* buffer, uint32_t capacity,
                                      uint32_t* length, bool& handled) {
  answerIf(kPxiChassisText, "", attribute, buffer, capacity, length, handled);
}

uint32_t AttributeHandlerNoZorv::getU32(uint32_t attribute, bool& handled) {
  return answerFrom({{kZorv, kNotHandled}}, attribute, handled);
}

uint32_t AttributeHandlerTraditionalKel::getU32(uint32_t attribute, bool& handled) {
  return answerFrom({{6, 0},
                     {75, 0},
                     {81, 0},
                     {14, 0x1680C09A},
                     {15, 0x0200C000},
                     {kFlag, flag_},
                     {36, 1},
                     {58, 1},
                     {79, 1},
                     {82, 1}},
                    attribute, handled);
}

void AttributeHandlerTraditionalKel::getString(uint32_t attribute, char* buffer, uint32_t capacity,
                                               uint32_t* length, bool& handled) {
  uint32_t source = attribute == kOwnerText ? kFpgaBusyOwner
                    : attribute == kKelText ? kLegacyValue
                    : attribute == kHexText ? kKelText
                                            : 0;
  if (source == 0)
    return AttributeHandlerBase::getString(attribute, buffer, capacity, length, handled);
  bool found = false;
  uint32_t value = chain_.getU32(source, found);
  if (!found) return AttributeHandlerBase::getString(attribute, buffer, capacity, length, handled);
  std::string text = attribute == kOwnerText ? statusToOwnerText(static_cast<int32_t>(value))
                     : attribute == kKelText
                         ? format("KEL%llu", static_cast<unsigned long long>(value))
                         : format("0x%04X", value);
  answer(text, buffer, capacity, length, handled);
}

void AttributeHandlerTraditionalKel::setU32(uint32_t attribute, uint32_t value, bool& handled) {
  if (attribute == kFlag) {
    if (value > 1) qverr::raise(kFlagValueInvalid, kFlagAboveOne);
    flag_ = static_cast<uint8_t>(value);
    handled = true;
    return;
  }
  // Accepted and ignored.
  answerFrom({{17, 0}, {23, 0}, {35, 0}, {37, 0}, {38, 0}, {39, 0}, {45, 0}}, attribute, handled);
}

void AttributeHandlerTraditionalKel::setString(uint32_t attribute, const char* text,
                                               bool& handled) {
  if (attribute == kOwnerText) {
    chain_.setU32(kFpgaBusyOwner, static_cast<uint32_t>(ownerTextToStatus(text)), handled);
    handled = true;
  } else if (attribute == 3) {
    handled = true;
  } else {
    AttributeHandlerBase::setString(attribute, text, handled);
  }
}

uint32_t AttributeHandlerInterfaceProxy::getU32(uint32_t attribute, bool& handled) {
  if (attribute != kLegacyValue && attribute != 48 && attribute != kFpgaBusyOwner)
    return AttributeHandlerBase::getU32(attribute, handled);
  qverr::ThrowingStatusRecord status;
  uint32_t value = proxy_->command8300(attribute, &status);
  if (status.code == kAttributeNotHandled) {
    status.code = 0;
    return AttributeHandlerBase::getU32(attribute, handled);
  }
  handled = true;
  return value;
}

void AttributeHandlerInterfaceProxy::setU32(uint32_t attribute, uint32_t value, bool& handled) {
  if (attribute != kLegacyValue && attribute != kFpgaBusyOwner)
    return AttributeHandlerBase::setU32(attribute, value, handled);
  qverr::ThrowingStatusRecord status;
  proxy_->command8301(attribute, value, &status);
  if (status.code == kAttributeNotHandled) {
    status.code = 0;
    return AttributeHandlerBase::setU32(attribute, value, handled);
  }
  handled = true;
}

std::shared_ptr<AttributeHandlerComposite> makeAttributeHandlerChain(
    DeviceIterator& iterator, const IPxiQuery* pxi,
    std::shared_ptr<AttributeHandlerInterfaceProxy::AttributeInterface> proxy) {
  auto chain = std::make_shared<AttributeHandlerComposite>();
  chain->add(std::make_unique<AttributeHandlerDevice>(iterator));
  chain->add(std::make_unique<AttributeHandlerPci>(iterator));
  if (pxi != nullptr)
    chain->add(std::make_unique<AttributeHandlerPxi>(*pxi, iterator));
  else
    chain->add(std::make_unique<AttributeHandlerNoPxi>());
  chain->add(std::make_unique<AttributeHandlerNoZorv>());
  chain->add(std::make_unique<AttributeHandlerTraditionalKel>(*chain));
  chain->add(std::make_unique<AttributeHandlerInterfaceProxy>(std::move(proxy)));
  return chain;
}

}  // namespace qvkel
