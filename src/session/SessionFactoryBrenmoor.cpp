#include "session/SessionFactoryBrenmoor.h"

#include <cstring>
#include <string>

#include "devkit/FlashManager.h"
#include "devkit/FpgaSessionTraditional.h"
#include "foundation/driver/tBasicString.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "session/StoredBlob.h"

namespace qvvandrelbrenmooru {

namespace {

constexpr qverr::StatusLocation kNoSession{"SessionFactoryBrenmoor", 31, qverr::kComponent};
constexpr qverr::StatusLocation kNoInterface{"SessionFactoryBrenmoor", 64, qverr::kComponent};
constexpr std::int32_t kDeviceInterfaceNotFound = -63036;

constexpr const char* kImageNames[] = {"golden", "default", "user"};

}  // namespace

std::optional<std::uint32_t> flashImageIndex(const char* name) {
  if (name == nullptr) return std::nullopt;
  const std::size_t prefix = std::strlen(kFlashImagePrefix);
  if (std::strncmp(name, kFlashImagePrefix, prefix) != 0) return std::nullopt;
  for (std::uint32_t i = 0; i < 3; ++i) {
    if (std::strcmp(name + prefix, kImageNames[i]) == 0) return i;
  }
  return std::nullopt;
}

std::shared_ptr<SessionFactoryBrenmoor::Iterator> SessionFactoryBrenmoor::findInterface(
    const qvkel::DeviceInfo& device) const {
  qverr::ThrowingStatusRecord status;
  auto iterator = std::make_shared<Iterator>(device.interfaceName, &status);
  for (; !iterator->isEnd(); iterator->next()) {
    nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tInterfacePath path;
    nQVVUSKS100::tStatus readStatus;
    iterator->getInterfacePath(&path, &readStatus);
    if (!readStatus.isError() && device.interfacePath == path.text) return iterator;
  }
  qverr::raise(kDeviceInterfaceNotFound, kNoInterface);
}

std::shared_ptr<qvkel::IAttributeHandler> SessionFactoryBrenmoor::makeHandler(
    const qvkel::DeviceInfo& device, Iterator& iterator,
    const std::shared_ptr<qvkel::VandrelProxy>& proxy) const {
  // A module the PXI query library placed gets the PXI handler.
  const bool pxi = pxi_.isLoaded() && !device.pxiName.empty();
  return qvkel::makeAttributeHandlerChain(iterator, pxi ? &pxi_ : nullptr, proxy);
}

std::unique_ptr<qvkel::user::Session> SessionFactoryBrenmoor::createSession(
    std::shared_ptr<const qvkel::DeviceInfo> device, const char* bitfile, const char* resourceName,
    uint32_t openAttributes) {
  if (assembler_ == nullptr) qverr::raise(qverr::kOperationNotSupported, kNoSession);
  SessionInputs inputs;
  const qvkel::DeviceHandles<qvkel::VandrelProxy> handles =
      devices_.openDevice(device->interfacePath);
  inputs.fpga = handles.fpga;
  inputs.proxy = devices_.openInterfaceProxy(device->interfacePath);
  std::shared_ptr<Iterator> iterator = findInterface(*device);
  inputs.attributeHandler = makeHandler(*device, *iterator, inputs.proxy);
  inputs.ioAccessor = std::make_shared<qvkel::user::IoAccessorIoctl>(inputs.proxy);
  {
    nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tBasicString driver;
    qverr::ThrowingStatusRecord status;
    iterator->getDriverName(&driver, &status);
    inputs.driverName = driver.c_str();
  }
  inputs.flashImage =
      (openAttributes & kOpenFromFlash) != 0 ? flashImageIndex(bitfile) : std::nullopt;
  if (inputs.flashImage) {
    std::vector<std::uint8_t> text = readStoredBlob(*inputs.proxy, *inputs.flashImage);
    text.push_back(0);
    inputs.bitfile =
        std::make_shared<qvkel::Bitfile>(reinterpret_cast<const char*>(text.data()), false, false);
  } else {
    inputs.bitfile = std::make_shared<qvkel::Bitfile>(bitfile, false, true);
  }
  inputs.name = resourceName;
  inputs.openFlags = openAttributes;
  inputs.routes = routes_;
  return assembler_->assemble(inputs);
}

qvkel::IFpgaSessionTraditional* SessionFactoryBrenmoor::createTraditionalSession(
    std::shared_ptr<const qvkel::DeviceInfo> device) {
  std::shared_ptr<qvkel::VandrelProxy> proxy = devices_.openInterfaceProxy(device->interfacePath);
  std::shared_ptr<Iterator> iterator = findInterface(*device);
  auto flash = std::make_shared<qvkel::FlashManager>(proxy);
  return new qvkel::FpgaSessionTraditional(device, this, makeHandler(*device, *iterator, proxy),
                                           std::move(flash));
}

}  // namespace qvvandrelbrenmooru
