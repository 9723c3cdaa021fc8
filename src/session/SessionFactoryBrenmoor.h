#pragma once
// The plug-in's session factory: what a device asks for when the host opens a session on it.
// It opens the module through the device manager, finds its device interface, builds the
// attribute handlers and the I/O accessor and reads the bitfile, from the host's text or from
// one of the module's flash images. The device session itself assembles features of the
// subsystems above this one, so the factory hands what it gathered to a SessionAssembler.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "devkit/AttributeHandlers.h"
#include "devkit/IoAccessor.h"
#include "devkit/Session.h"
#include "devkit/SessionServices.h"
#include "discovery/DeviceManager.h"
#include "discovery/IAliasManager.h"
#include "discovery/QPxiLibrary.h"
#include "session/RocoCpp.h"

namespace qvvandrelbrenmooru {

// Open flag bit 30: the bitfile argument may name a flash image.
inline constexpr std::uint32_t kOpenFromFlash = 0x40000000;
// Prefix of the three flash image names, which end in "golden", "default" and "user".
inline constexpr const char* kFlashImagePrefix = "qvvandrelbrenmooru::image::";

// The flash image a name selects (0 golden, 1 default, 2 user): only a name equal to one of
// the three in full.
std::optional<std::uint32_t> flashImageIndex(const char* name);

// What the factory gathered for one session.
struct SessionInputs {
  std::shared_ptr<qvkel::user::Fpga> fpga;
  std::shared_ptr<qvkel::VandrelProxy> proxy;
  std::shared_ptr<qvkel::IAttributeHandler> attributeHandler;
  std::shared_ptr<qvkel::user::IIoAccessor> ioAccessor;
  std::shared_ptr<const qvkel::Bitfile> bitfile;
  // The flash image the bitfile came from.
  std::optional<std::uint32_t> flashImage;
  std::string driverName;
  const char* name = nullptr;
  std::uint32_t openFlags = 0;
  // Null without the route library.
  qvrocoapi::RocoCpp* routes = nullptr;
};

// Builds the terminal aliases, the personality configurer and the target-class checker, and
// the device session over them. Failures are raised.
class SessionAssembler {
 public:
  virtual ~SessionAssembler() = default;
  virtual std::unique_ptr<qvkel::user::Session> assemble(const SessionInputs& inputs) = 0;
};

class SessionFactoryBrenmoor : public qvkel::ISessionFactory {
 public:
  // All are borrowed from the plug-in; `routes` is null without the route library, and
  // without an assembler no device session can be opened (-63193).
  SessionFactoryBrenmoor(qvkel::IDeviceManager<qvkel::VandrelProxy>& devices,
                         const qvkel::QPxiLibrary& pxi, qvrocoapi::RocoCpp* routes,
                         qvkel::IAliasManager& aliases, SessionAssembler* assembler = nullptr)
      : devices_(devices), pxi_(pxi), routes_(routes), aliases_(aliases), assembler_(assembler) {}

  std::unique_ptr<qvkel::user::Session> createSession(
      std::shared_ptr<const qvkel::DeviceInfo> device, const char* bitfile,
      const char* resourceName, uint32_t openAttributes) override;
  qvkel::IFpgaSessionTraditional* createTraditionalSession(
      std::shared_ptr<const qvkel::DeviceInfo> device) override;

 private:
  using Iterator = nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIterator;

  // The device's interface among those of its interface name: -63036 when none matches.
  std::shared_ptr<Iterator> findInterface(const qvkel::DeviceInfo& device) const;
  std::shared_ptr<qvkel::IAttributeHandler> makeHandler(
      const qvkel::DeviceInfo& device, Iterator& iterator,
      const std::shared_ptr<qvkel::VandrelProxy>& proxy) const;

  qvkel::IDeviceManager<qvkel::VandrelProxy>& devices_;
  const qvkel::QPxiLibrary& pxi_;
  qvrocoapi::RocoCpp* routes_;
  [[maybe_unused]] qvkel::IAliasManager& aliases_;
  SessionAssembler* assembler_;
};

}  // namespace qvvandrelbrenmooru
