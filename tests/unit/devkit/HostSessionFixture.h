#pragma once
// The host's side of the device kit on a simulated module: a session factory that builds real
// user sessions on the module (what the plug-in's factory does with the bitfile, the
// configurer, the checker, the attribute handlers and the register accessor), and a fixture
// that opens host sessions through it.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devkit/AttributeHandlers.h"
#include "devkit/FlashManager.h"
#include "devkit/Fpga.h"
#include "devkit/FpgaSession.h"
#include "devkit/FpgaSessionTraditional.h"
#include "devkit/IoAccessor.h"
#include "devkit/Session.h"
#include "foundation/errors/Status.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "tests/unit/devkit/SimulatedModule.h"

namespace devkit_test {

class TestSessionFactory : public qvkel::ISessionFactory {
 public:
  struct Request {
    std::string bitfile;
    std::string resource;
    uint32_t attributes;
  };

  explicit TestSessionFactory(SimulatedModule& sim)
      : fpga(std::make_shared<qvkel::user::Fpga>(sim.proxy)), sim_(sim) {
    nQVVUSKS100::tStatus status;
    nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIterator iterator(
        sim::kDeviceInterfaceName, &status);
    handler_ = qvkel::makeAttributeHandlerChain(iterator, nullptr, sim.proxy);
  }

  std::unique_ptr<qvkel::user::Session> createSession(std::shared_ptr<const qvkel::DeviceInfo>,
                                                      const char* bitfile, const char* resource,
                                                      uint32_t attributes) override {
    requests.push_back({bitfile ? bitfile : "", resource ? resource : "", attributes});
    if (beforeCreate) beforeCreate();
    const bool flash = (attributes & qvkel::kOpenFromFlash) != 0;
    auto parsed =
        std::make_shared<qvkel::Bitfile>(flash ? flashImage.c_str() : bitfile, false, true);
    ProxyConfigurer configurer(sim_.proxy, parsed, attributes);
    std::shared_ptr<qvkel::user::IIoAccessor> accessor =
        makeAccessor ? makeAccessor() : std::make_shared<qvkel::user::IoAccessorIoctl>(sim_.proxy);
    if (makeSession)
      return makeSession(fpga, sim_.proxy, configurer, checker, handler_, accessor, parsed,
                         resource, attributes);
    return std::make_unique<qvkel::user::Session>(fpga, sim_.proxy, configurer, checker, handler_,
                                                  accessor, parsed, resource, attributes);
  }

  qvkel::IFpgaSessionTraditional* createTraditionalSession(
      std::shared_ptr<const qvkel::DeviceInfo>) override {
    ++traditionalRequests;
    return traditional ? traditional() : makeTraditionalSession();
  }
  // What the plug-in's factory makes: a legacy session with the module's handlers and flash.
  qvkel::FpgaSessionTraditional* makeTraditionalSession() {
    return new qvkel::FpgaSessionTraditional(nullptr, this, handler_,
                                             std::make_shared<qvkel::FlashManager>(sim_.proxy));
  }

  std::shared_ptr<qvkel::user::Fpga> fpga;
  Checker checker;
  std::vector<Request> requests;
  // Runs before each session is built (a test may throw from it).
  std::function<void()> beforeCreate;
  // Makes the register accessor of each session when set.
  std::function<std::shared_ptr<qvkel::user::IIoAccessor>()> makeAccessor;
  // Makes each user session from its parts when set (a session class of a higher layer).
  std::function<std::unique_ptr<qvkel::user::Session>(
      std::shared_ptr<qvkel::user::Fpga>, std::shared_ptr<qvkel::user::Fpga::Proxy>,
      qvkel::IPersonalityConfigurer&, qvkel::ITargetClassChecker&,
      std::shared_ptr<qvkel::IAttributeHandler>, std::shared_ptr<qvkel::user::IIoAccessor>,
      std::shared_ptr<const qvkel::Bitfile>, const char*, uint32_t)>
      makeSession;
  // The bitfile text of "the flash image" for opens with attribute bit 30.
  std::string flashImage = qvsim::BitfileBuilder::typical().text();
  int traditionalRequests = 0;
  // Makes the legacy sessions instead of makeTraditionalSession when set.
  std::function<qvkel::IFpgaSessionTraditional*()> traditional;
  std::shared_ptr<qvkel::IAttributeHandler> handler() const { return handler_; }

 private:
  SimulatedModule& sim_;
  std::shared_ptr<qvkel::IAttributeHandler> handler_;
};

// Deletes a host object through its release slot.
struct Releaser {
  template <typename T>
  void operator()(T* object) const {
    if (object != nullptr) object->release();
  }
};
// The host holds the newest version of the interface.
using HostSession = std::unique_ptr<qvkel::IFpgaSession207, Releaser>;

class HostSessionTest : public ::testing::Test {
 protected:
  static constexpr const char* kSignature = qvsim::BitfileBuilder::kDefaultSignature;

  HostSessionTest() : model(sim.module.fpga()) {}

  // The design written to a file; its path.
  std::string writeBitfile(const qvsim::BitfileBuilder& design) {
    // Each test runs in a process of its own, where `this` can repeat: the process id keeps
    // the files of tests running side by side apart.
    std::string path = ::testing::TempDir() + "host-session-" + std::to_string(getpid()) + "-" +
                       std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" +
                       std::to_string(files++) + ".lvbitx";
    design.writeTo(path);
    paths.push_back(path);
    return path;
  }
  // A closed host session of the module.
  HostSession closed() { return HostSession(new qvkel::FpgaSession(nullptr, &factory)); }
  // A host session opened from a file of `design`; fails the test when it does not open.
  HostSession open(const qvsim::BitfileBuilder& design = qvsim::BitfileBuilder::typical(),
                   uint32_t attributes = 0) {
    HostSession session = closed();
    nQVVUSKS100::tStatus status;
    session->open(writeBitfile(design).c_str(), kSignature, attributes, &status);
    EXPECT_EQ(status.code, 0) << status.file << ":" << status.line;
    return session;
  }
  ~HostSessionTest() override {
    for (const std::string& path : paths) std::remove(path.c_str());
  }

  SimulatedModule sim;
  sim::FpgaModel& model;
  TestSessionFactory factory{sim};
  std::vector<std::string> paths;
  int files = 0;
};

}  // namespace devkit_test
