#pragma once
// The features above the session as the request dispatch sees them: every call is logged, and
// anything outside what the dispatch promises to pass on aborts.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/errors/Exception.h"
#include "session/SessionRequests.h"

namespace sessiontest {

class RequestServicesDouble : public qvvandrelbrenmooru::SessionRequestServices {
 public:
  void streamRequest(const void*, std::uint64_t, void*, std::uint64_t) override {
    log.push_back("stream");
  }
  std::string routingDeviceName() override { return "PXI1Slot2"; }
  std::uint32_t calculateRoute(const std::string& from, const std::string& to) override {
    log.push_back("route " + from + " " + to);
    return 77;
  }
  void reserveRoute(std::uint32_t) override {
    log.push_back("reserve");
    if (failReserve) qverr::throwError(-89137);
  }
  void programRoute(std::uint32_t) override { log.push_back("program"); }
  void destroyRoute(std::uint32_t route) override {
    log.push_back("destroy " + std::to_string(route));
    qverr::throwError(-89100);  // a handle the library rejects
  }
  std::uint32_t i2cRead(const char* bus, std::uint16_t address, std::uint8_t* out,
                        std::uint32_t length, std::uint32_t) override {
    if (length > 255) std::abort();
    log.push_back(std::string("read ") + bus + " " + std::to_string(address));
    std::memset(out, 0xAB, length);
    return length;
  }
  std::uint32_t i2cWrite(const char*, std::uint16_t, const std::uint8_t* data, std::uint32_t length,
                         std::uint32_t) override {
    if (length > 1024) std::abort();
    return length == 0 ? 0 : data[length - 1];
  }
  void i2cWriteRead(const char*, std::uint16_t, const std::uint8_t* data, std::uint32_t writeLength,
                    std::uint8_t* out, std::uint32_t readLength, std::uint32_t,
                    std::uint32_t* written, std::uint32_t* read) override {
    if (writeLength > 1024 || readLength > 255) std::abort();
    if (writeLength > 0) std::memset(out, data[writeLength - 1], readLength);
    *written = writeLength;
    *read = readLength;
  }
  void setCableSenseLines(bool high) override { log.push_back(high ? "high" : "low"); }
  void runCalibrations(qverr::StatusDetailWriter&) override {}
  bool tdcPolynomial(std::vector<double>*) override { return false; }
  void runMethod(std::uint32_t index, const qvvandrelbrenmooru::MethodArguments& a,
                 void*) override {
    log.push_back("method " + std::to_string(index) + " " + std::to_string(a.first) + " " +
                  std::to_string(a.second));
  }

  std::vector<std::string> log;
  bool failReserve = false;
};

}  // namespace sessiontest
