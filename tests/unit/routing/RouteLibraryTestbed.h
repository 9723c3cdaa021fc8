#pragma once
// A testbed whose dlopen of the route-configuration library reaches the stand-in (or a variant,
// or nothing), with the stand-in's state forgotten before and after each test.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/errors/Exception.h"
#include "session/RocoCpp.h"
#include "sim/kernel/Testbed.h"
#include "sim/libs/MakerLibraries.h"

namespace routingtest {

using sim::libs::RoCoControl;

class RouteLibraryTestbed : public ::testing::Test {
 protected:
  RouteLibraryTestbed() {
    library_.reset();
    use(sim::LibraryChoice::Present);
  }
  ~RouteLibraryTestbed() override { library_.reset(); }

  void use(sim::LibraryChoice choice, sim::libs::Variant variant = sim::libs::Variant::Present) {
    testbed_.setLibrary(qvrocoapi::kLibraryName, choice,
                        sim::libs::standInPath(qvrocoapi::kLibraryName, variant));
  }

  // The library's call log with library sessions written S1, S2, ... in creation order.
  std::vector<std::string> calls() const {
    std::vector<std::string> out = library_.calls();
    for (std::string& line : out) {
      for (uintptr_t n = 9; n-- > 0;) {
        const std::string number = std::to_string(RoCoControl::kFirstSession + n);
        for (size_t at; (at = line.find(number)) != std::string::npos;)
          line.replace(at, number.size(), "S" + std::to_string(n + 1));
      }
    }
    return out;
  }
  // The log since the last call of this function.
  std::vector<std::string> newCalls() {
    std::vector<std::string> all = calls();
    std::vector<std::string> out(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
    seen_ = all.size();
    return out;
  }

  sim::Testbed testbed_;
  RoCoControl library_;

 private:
  size_t seen_ = 0;
};

using Strings = std::vector<std::string>;

// The library calls on session S1 that build one route between two terminal paths.
inline Strings built(const std::string& source, const std::string& destination, int handle) {
  const std::string h = std::to_string(handle);
  return {"qvrocoapi_calculateRoute S1 " + source + " " + destination + " -> " + h,
          "qvrocoapi_reserveRoute S1 " + h, "qvrocoapi_programRoute S1 " + h};
}

// The library calls that release the route to a destination path and reset that terminal.
inline Strings released(const std::string& destination, int handle) {
  return {"qvrocoapi_destroyRoute S1 " + std::to_string(handle),
          "qvrocoapi_resetTerminal S1 " + destination + " default"};
}

inline Strings operator+(Strings a, const Strings& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Runs `body`, expecting a qverr::Exception; returns its code and detail.
template <typename Body>
std::pair<int32_t, std::string> raised(Body&& body) {
  try {
    body();
  } catch (const qverr::Exception& error) {
    return {error.code(), error.status().detailText()};
  }
  ADD_FAILURE() << "nothing was raised";
  return {0, ""};
}

}  // namespace routingtest
