#pragma once
// Keeps the library routes of one routing signal equal to what the host asked for: a source
// terminal and a set of destination terminals, both given as text. Setting the texts never
// reaches the library; only the three route operations do, in the order release all (a full
// redeploy only), release stale, establish.

#include <boost/ptr_container/ptr_map.hpp>
#include <cstdint>
#include <set>
#include <string>

#include "foundation/text/CompareUtf8NoCase.h"
#include "routing/RoCoSession.h"

namespace rocout {

// One library route between two terminal paths, released when it goes.
class ManagedRoute {
 public:
  enum State : std::uint32_t { kNone = 0, kCalculated = 1, kReserved = 2, kProgrammed = 3 };

  explicit ManagedRoute(RoCoSession* client) : client_(client) {}
  // Releases the route; a library error then is ignored.
  ~ManagedRoute();
  ManagedRoute(const ManagedRoute&) = delete;
  ManagedRoute& operator=(const ManagedRoute&) = delete;

  void calculate(const char* source, const char* destination);
  void reserve();
  void program();
  // Destroys the library route in any state it reached.
  void release();

  State state() const { return state_; }
  std::uint32_t handle() const { return handle_; }

 private:
  RoCoSession* client_;
  State state_ = kNone;
  std::uint32_t handle_ = 0;
};

// Terminal paths ordered without regard to letter case: two that differ only in case are one.
using TerminalSet = std::set<std::string, LessUtf8NoCase>;

// The destination set of a comma-separated list: each entry made a terminal path, empty ones
// skipped, the first spelling of paths equal without regard to case kept.
TerminalSet parseTerminalList(const std::string& deviceName, const std::string& text);

class RouteSettingInterface {
 public:
  virtual ~RouteSettingInterface() = default;
  virtual void setSource(const std::string& text) = 0;
  virtual void setDestinations(const std::string& text) = 0;
  virtual void releaseAllRoutes() = 0;
  virtual void releaseStaleRoutes() = 0;
  virtual void establishRoutes() = 0;

 protected:
  RouteSettingInterface() = default;
  RouteSettingInterface(const RouteSettingInterface&) = default;
  RouteSettingInterface& operator=(const RouteSettingInterface&) = default;
};

class RouteSetting : public RouteSettingInterface {
 public:
  RouteSetting(RoCoSession* client, const std::string& deviceName);
  // Releases the held library routes; resets no terminal.
  ~RouteSetting() override;
  RouteSetting(const RouteSetting&) = delete;
  RouteSetting& operator=(const RouteSetting&) = delete;

  void setSource(const std::string& text) override;
  void setDestinations(const std::string& text) override;
  // Releases every held route and resets its terminal.
  void releaseAllRoutes() override;
  // Releases the held routes that the source and destinations no longer want.
  void releaseStaleRoutes() override;
  // Builds the wanted routes not held yet. A library failure leaves the routes built before it
  // held and the applied source as it was, so the next call builds only what is missing.
  void establishRoutes() override;

  const std::string& source() const { return source_; }
  const std::string& appliedSource() const { return appliedSource_; }
  const TerminalSet& destinations() const { return destinations_; }
  // Held routes by destination path.
  const boost::ptr_map<std::string, ManagedRoute>& heldRoutes() const { return held_; }

 private:
  bool sourceChanged() const;
  // Deletes the held route of each name of the work set and resets that terminal.
  void releaseRoutes();

  RoCoSession* client_;
  std::string deviceName_;
  std::string source_;
  std::string appliedSource_;
  TerminalSet destinations_;
  boost::ptr_map<std::string, ManagedRoute> held_;
  TerminalSet work_;
};

}  // namespace rocout
