#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/device/Module.h"
#include "sim/device/RoutingNotices.h"

namespace sim {

// The routing side of one module as its kernel driver serves it: the routing interface's route
// commands (calculate, reserve, program, release, terminal paths, resets, the topography name),
// the demotion notices armed on it, and the terminal-alias stream that the generation's device
// interface hands out (method 0x200800).
//
// Routes: a terminal id is valid from 1 to the id limit (145 by default). A seed reaches a
// destination when both ids are 2 or more and differ (FLOAT, id 1, drives nothing), and the
// destination is not held by a reservation of another session identity unless the request's
// modifier bit 0 (calculate ignoring reservations) is set. Every seed that reaches a destination
// gives one route (cost = seed cost + 1, path {seed terminal, destination}); routes are written
// in destination order while the caller's room lasts, and the count reported is how many were
// found. Each written route gets the module's next ticket (from 1). The result word is the
// number of destinations reached.
//
// Reservations: a route conflicts with the reserved or programmed routes of other session
// identities that drive the same destination; the conflicts are written while the caller's room
// lasts, the count reported is all of them, and the status is -89137. States: calculated ->
// reserve -> reserved -> program -> programmed; unprogram, unreserve and destroy go back one
// step each (destroy only from calculated). Unknown tickets give -52006, a wrong state -52005.
class RoutingModel {
 public:
  static constexpr int32_t kReservationConflict = -89137;
  static constexpr int32_t kBufferTooSmall = -52019;
  static constexpr int32_t kUnknownTicket = -52006;
  static constexpr int32_t kWrongState = -52005;
  static constexpr int32_t kInvalidTerminal = -52005;
  static constexpr uint32_t kDemotionId = 0x80000000;

  enum class State { Calculated, Reserved, Programmed };

  struct Route {
    uint32_t ticket = 0;
    uint64_t session = 0;
    uint32_t source = 0;
    uint32_t destination = 0;
    uint32_t cost = 0;
    bool inversion = false;
    State state = State::Calculated;
    std::vector<uint32_t> path;
  };

  // A calculateRoute request as the model read it from the caller's memory.
  struct Calculation {
    uint64_t session = 0;
    std::vector<uint8_t> seeds;  // the 12-byte seed records, as they were
    std::vector<uint32_t> destinations;
    uint32_t flags = 0;
    uint32_t capacity = 0;
  };

  // Serves the module's routing interface (added when missing) and, unless told otherwise, the
  // alias stream on its device interface (added when missing too).
  explicit RoutingModel(Module& module, bool aliasStream = true);
  ~RoutingModel();
  RoutingModel(const RoutingModel&) = delete;
  RoutingModel& operator=(const RoutingModel&) = delete;

  Interface& routing() { return routing_; }
  RoutingNotices& notices() { return notices_; }

  void setTopographyName(std::string name);
  void setTerminalIdLimit(uint32_t highest);
  // The bytes method 0x200800 hands out (the stored terminal-alias map, or anything else).
  void setAliasStream(std::vector<uint8_t> bytes);
  // The terminal-alias map in its stored form: per entry u32 length and terminal name, then u32
  // length and alias name (little-endian), in the order given.
  static std::vector<uint8_t> aliasStream(
      const std::vector<std::pair<std::string, std::string>>& terminalAndAlias);

  // Replaces a route's path (for example a long one).
  void setPath(uint32_t ticket, std::vector<uint32_t> ids);
  std::optional<Route> route(uint32_t ticket) const;
  size_t routeCount() const;
  void clearRoutes();
  std::optional<Calculation> lastCalculation() const;

  // Sends a demotion notice (reader kind 0) to every session armed on this module. Returns 0 or
  // an errno (ENOENT when none is armed).
  int demote(std::span<const uint8_t> payload = {});

 private:
  int calculate(Call& call);
  int reserve(Call& call);
  int path(Call& call);
  int topographyName(Call& call);
  int reset(Call& call);
  int calculateReset(Call& call);
  int aliases(Call& call);
  // Moves a route from one state to the next; destroy erases it.
  int step(Call& call, State from, std::optional<State> to);

  bool validTerminal(uint32_t id) const { return id >= 1 && id <= idLimit_; }
  bool heldByOther(uint32_t destination, uint64_t session) const;
  uint32_t store(Route route);

  Module& module_;
  Interface& routing_;
  RoutingNotices notices_;
  mutable std::mutex mutex_;
  std::string topography_ = "brenmoorTriggerRouting";
  uint32_t idLimit_ = 145;
  std::vector<uint8_t> aliasStream_;
  std::map<uint32_t, Route> routes_;
  uint32_t nextTicket_ = 1;
  std::optional<Calculation> lastCalculation_;
};

}  // namespace sim
