#pragma once
// Enumeration of the device interfaces the kernel driver lists under "/proc/driver/qv/": one
// directory per interface, "<instance>/deviceInterfaces/<interface>\<suffix>", with the
// instance's property directories beside "deviceInterfaces".

#include <glob.h>

#include <cstddef>
#include <cstdint>

#include "foundation/driver/tBasicString.h"
#include "foundation/errors/Status.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

// A device-node path: at most 255 bytes; the length counts the terminating zero.
struct tInterfacePath {
  static constexpr size_t kCapacity = 256;
  char text[kCapacity] = {};
  uint64_t length = 1;
};

class tDeviceInterfaceIterator {
 public:
  static constexpr const char* kRoot = "/proc/driver/qv/";
  static constexpr const char* kBusProperties = "busProperties";
  static constexpr const char* kDeviceProperties = "deviceProperties";

  // Every interface of that name over all instances. No match gives an empty iterator.
  tDeviceInterfaceIterator(const char* interfaceName, nQVVUSKS100::tStatus* status);
  virtual ~tDeviceInterfaceIterator();
  tDeviceInterfaceIterator(const tDeviceInterfaceIterator&) = delete;
  tDeviceInterfaceIterator& operator=(const tDeviceInterfaceIterator&) = delete;

  bool isEnd() const;
  void next();
  // The current interface directory (null at the end).
  const char* current() const { return isEnd() ? nullptr : *current_; }

  // The current interface's device-node path, unchanged (no trimming).
  void getInterfacePath(tInterfacePath* path, nQVVUSKS100::tStatus* status);
  // One property file of the current instance: *length (when given) receives its size; the
  // bytes are copied (unterminated) only when they fit, else -52019, so a size query with a
  // null buffer yields the length together with -52019.
  void readProperty(const char* propertySet, const char* propertyName, void* buffer,
                    uint64_t capacity, uint64_t* length, nQVVUSKS100::tStatus* status);
  void getBusProperty(const char* name, void* buffer, uint64_t capacity, uint64_t* length,
                      nQVVUSKS100::tStatus* status);
  void getDeviceProperty(const char* name, void* buffer, uint64_t capacity, uint64_t* length,
                         nQVVUSKS100::tStatus* status);
  // The instance directory's name: the current entry without the root prefix, up to
  // "/deviceInterfaces/".
  void getDriverName(tBasicString* name, nQVVUSKS100::tStatus* status);

 protected:
  tDeviceInterfaceIterator() = default;
  void search(const char* pattern, bool patternFits, const qverr::StatusLocation& failure,
              nQVVUSKS100::tStatus* status);

 private:
  glob_t result_ = {};
  bool searched_ = false;
  char** current_ = nullptr;
};

// The interfaces of one name within one driver instance.
class tDeviceInterfaceIteratorForDriver : public tDeviceInterfaceIterator {
 public:
  tDeviceInterfaceIteratorForDriver(const char* interfaceName, const char* driverName,
                                    nQVVUSKS100::tStatus* status);
};

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
