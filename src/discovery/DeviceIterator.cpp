#include "discovery/DeviceIterator.h"

#include <cstdio>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvjsonconfig {

namespace vusk = nQVVANDRELBRENMOORU_22_8::nQVVUSK000;

namespace {

using PropertyRead = void (vusk::tDeviceInterfaceIterator::*)(const char*, void*, uint64_t,
                                                              uint64_t*, nQVVUSKS100::tStatus*);

// A text property: its size first, then the bytes, without the terminating NUL.
void readText(vusk::tDeviceInterfaceIterator& iterator, PropertyRead read, const char* name,
              std::string& value) {
  uint64_t size = 0;
  nQVVUSKS100::tStatus query;
  (iterator.*read)(name, nullptr, 0, &size, &query);
  value.assign(size, '\0');
  {
    qverr::ThrowingStatusRecord status;
    (iterator.*read)(name, value.data(), size, nullptr, &status);
  }
  if (!value.empty() && value.back() == '\0') value.pop_back();
}

void readU32(vusk::tDeviceInterfaceIterator& iterator, PropertyRead read, const char* name,
             std::uint32_t& value) {
  std::uint32_t bytes = 0;
  {
    qverr::ThrowingStatusRecord status;
    (iterator.*read)(name, &bytes, sizeof bytes, nullptr, &status);
  }
  value = bytes;
}

struct KeyRow {
  const char* property;
  const char* format;
};

constexpr KeyRow kKeyRows[] = {
    {"pciVendorID", "PCI:VEN_%04X"},
    {"pciDeviceID", "&DEV_%04X"},
    {"pciSubsystemVendorID", "&SUBSYS_%04X"},
    {"pciSubsystemID", "%04X"},
    {"pciRevision", "&REV_%02X/"},
};

}  // namespace

VUSKDeviceIterator::VUSKDeviceIterator(const char* interfaceName) {
  qverr::ThrowingStatusRecord status;
  iterator_ = std::make_unique<vusk::tDeviceInterfaceIterator>(interfaceName, &status);
}

VUSKDeviceIterator::~VUSKDeviceIterator() = default;

void VUSKDeviceIterator::getBusPropertyString(const char* name, std::string& value) {
  readText(*iterator_, &vusk::tDeviceInterfaceIterator::getBusProperty, name, value);
}

void VUSKDeviceIterator::getBusPropertyU32(const char* name, std::uint32_t& value) {
  readU32(*iterator_, &vusk::tDeviceInterfaceIterator::getBusProperty, name, value);
}

void VUSKDeviceIterator::getDevicePropertyString(const char* name, std::string& value) {
  readText(*iterator_, &vusk::tDeviceInterfaceIterator::getDeviceProperty, name, value);
}

void VUSKDeviceIterator::getDevicePropertyU32(const char* name, std::uint32_t& value) {
  readU32(*iterator_, &vusk::tDeviceInterfaceIterator::getDeviceProperty, name, value);
}

std::string VUSKDeviceIterator::getInterfacePath() {
  vusk::tInterfacePath path;
  {
    qverr::ThrowingStatusRecord status;
    iterator_->getInterfacePath(&path, &status);
  }
  return std::string(path.text);
}

std::string VUSKDeviceIterator::getDriverName() {
  vusk::tBasicString name;
  {
    qverr::ThrowingStatusRecord status;
    iterator_->getDriverName(&name, &status);
  }
  return std::string(name.c_str(), name.length());
}

std::string VUSKDeviceIterator::getKey() {
  std::string key;
  for (const KeyRow& row : kKeyRows) {
    std::uint32_t value = 0;
    readU32(*iterator_, &vusk::tDeviceInterfaceIterator::getBusProperty, row.property, value);
    char text[33];
    std::snprintf(text, sizeof text, row.format, value);
    key += text;
  }
  uint64_t size = 0;
  {
    qverr::ThrowingStatusRecord status;
    iterator_->getBusProperty("pciSlotPath", nullptr, 0, &size, &status);
    if (status.code == qverr::kBufferTooSmall) {
      status.code = 0;
      const size_t start = key.size();
      key.resize(start + size);
      iterator_->getBusProperty("pciSlotPath", key.data() + start, size, nullptr, &status);
      if (key.size() > start && key.back() == '\0') key.pop_back();
    }
  }
  return key;
}

void VUSKDeviceIterator::next() {
  iterator_->next();
}

bool VUSKDeviceIterator::isEnd() {
  return iterator_->isEnd();
}

std::unique_ptr<DeviceIteratorInterface> VUSKDeviceIteratorFactory::create() {
  return std::make_unique<VUSKDeviceIterator>(interfaceName_);
}

}  // namespace qvjsonconfig
