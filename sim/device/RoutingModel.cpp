#include "sim/device/RoutingModel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sim {

namespace {

constexpr uint32_t routingCommand(uint32_t number) {
  return commandCode(kDirNone, 0x80, number);
}
constexpr uint32_t kCalculate = routingCommand(0x01);
constexpr uint32_t kDestroy = routingCommand(0x02);
constexpr uint32_t kReserve = routingCommand(0x03);
constexpr uint32_t kProgram = routingCommand(0x04);
constexpr uint32_t kUnreserve = routingCommand(0x05);
constexpr uint32_t kUnprogram = routingCommand(0x06);
constexpr uint32_t kPath = routingCommand(0x07);
constexpr uint32_t kTopography = routingCommand(0x08);
constexpr uint32_t kReset = routingCommand(0x0A);
constexpr uint32_t kCalculateReset = routingCommand(0x0B);
constexpr uint32_t kAliasStream = commandCode(kDirNone, 0x08, 0x00);
constexpr uint32_t kRouteCommands[] = {kCalculate, kDestroy,       kReserve, kProgram,
                                       kUnreserve, kUnprogram,     kPath,    kTopography,
                                       kReset,     kCalculateReset};

constexpr size_t kSeedSize = 12;
constexpr size_t kResultSize = 20;
constexpr size_t kConflictSize = 16;
constexpr uint32_t kFloat = 1;

uint8_t* at(uint64_t address) {
  return reinterpret_cast<uint8_t*>(address);
}

template <typename T>
T read(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void write(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace

RoutingModel::RoutingModel(Module& module, bool aliasStream)
    : module_(module), routing_(module.routingInterface()), notices_(routing_) {
  routing_.handle(kCalculate, [this](Call& c) { return calculate(c); });
  routing_.handle(kReserve, [this](Call& c) { return reserve(c); });
  routing_.handle(kProgram,
                  [this](Call& c) { return step(c, State::Reserved, State::Programmed); });
  routing_.handle(kUnprogram,
                  [this](Call& c) { return step(c, State::Programmed, State::Reserved); });
  routing_.handle(kUnreserve,
                  [this](Call& c) { return step(c, State::Reserved, State::Calculated); });
  routing_.handle(kDestroy, [this](Call& c) { return step(c, State::Calculated, std::nullopt); });
  routing_.handle(kPath, [this](Call& c) { return path(c); });
  routing_.handle(kTopography, [this](Call& c) { return topographyName(c); });
  routing_.handle(kReset, [this](Call& c) { return reset(c); });
  routing_.handle(kCalculateReset, [this](Call& c) { return calculateReset(c); });
  if (aliasStream) {
    module.deviceInterface().handle(kAliasStream, [this](Call& c) { return aliases(c); });
  }
}

RoutingModel::~RoutingModel() {
  for (uint32_t code : kRouteCommands) routing_.removeHandler(code);
  // A test may have taken the device interface away.
  if (Interface* device = module_.findInterface(kDeviceInterfaceName)) {
    device->removeHandler(kAliasStream);
  }
}

void RoutingModel::setTopographyName(std::string name) {
  std::lock_guard lock(mutex_);
  topography_ = std::move(name);
}

void RoutingModel::setTerminalIdLimit(uint32_t highest) {
  std::lock_guard lock(mutex_);
  idLimit_ = highest;
}

void RoutingModel::setAliasStream(std::vector<uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  aliasStream_ = std::move(bytes);
}

std::vector<uint8_t> RoutingModel::aliasStream(
    const std::vector<std::pair<std::string, std::string>>& terminalAndAlias) {
  std::vector<uint8_t> out;
  auto text = [&out](const std::string& s) {
    const auto length = static_cast<uint32_t>(s.size());
    for (int shift = 0; shift < 32; shift += 8)
      out.push_back(static_cast<uint8_t>(length >> shift));
    out.insert(out.end(), s.begin(), s.end());
  };
  for (const auto& [terminal, alias] : terminalAndAlias) {
    text(terminal);
    text(alias);
  }
  return out;
}

void RoutingModel::setPath(uint32_t ticket, std::vector<uint32_t> ids) {
  std::lock_guard lock(mutex_);
  if (auto it = routes_.find(ticket); it != routes_.end()) it->second.path = std::move(ids);
}

std::optional<RoutingModel::Route> RoutingModel::route(uint32_t ticket) const {
  std::lock_guard lock(mutex_);
  auto it = routes_.find(ticket);
  if (it == routes_.end()) return std::nullopt;
  return it->second;
}

size_t RoutingModel::routeCount() const {
  std::lock_guard lock(mutex_);
  return routes_.size();
}

void RoutingModel::clearRoutes() {
  std::lock_guard lock(mutex_);
  routes_.clear();
}

std::optional<RoutingModel::Calculation> RoutingModel::lastCalculation() const {
  std::lock_guard lock(mutex_);
  return lastCalculation_;
}

int RoutingModel::demote(std::span<const uint8_t> payload) {
  return notices_.notify(kDemotionId, 1, payload);
}

bool RoutingModel::heldByOther(uint32_t destination, uint64_t session) const {
  for (const auto& [ticket, r] : routes_) {
    if (r.session != session && r.state != State::Calculated && r.destination == destination) {
      return true;
    }
  }
  return false;
}

uint32_t RoutingModel::store(Route route) {
  route.ticket = nextTicket_++;
  const uint32_t ticket = route.ticket;
  routes_[ticket] = std::move(route);
  return ticket;
}

// {u64 session, u64 seeds, u32 seed count, pad, u64 destinations, u32 destination count,
//  u32 modifier flags, u64 results, u32 capacity, status} -> {u32 result word, u32 count, status}
int RoutingModel::calculate(Call& c) {
  Calculation got;
  got.session = c.u64(0);
  const uint64_t seedsAt = c.u64(8);
  const uint32_t seedCount = c.u32(16);
  const uint64_t destinationsAt = c.u64(24);
  const uint32_t destinationCount = c.u32(32);
  got.flags = c.u32(36);
  const uint64_t resultsAt = c.u64(40);
  got.capacity = c.u32(48);
  if ((seedCount != 0 && seedsAt == 0) || (destinationCount != 0 && destinationsAt == 0) ||
      (got.capacity != 0 && resultsAt == 0)) {
    return EFAULT;
  }
  got.seeds.assign(at(seedsAt), at(seedsAt) + size_t{seedCount} * kSeedSize);
  got.destinations.resize(destinationCount);
  if (destinationCount != 0) {
    std::memcpy(got.destinations.data(), at(destinationsAt), destinationCount * sizeof(uint32_t));
  }

  std::lock_guard lock(mutex_);
  lastCalculation_ = got;
  auto seedTerminal = [&got](uint32_t i) { return read<uint32_t>(&got.seeds[i * kSeedSize]); };
  for (uint32_t i = 0; i < seedCount; ++i) {
    if (seedTerminal(i) != 0 && !validTerminal(seedTerminal(i))) {
      c.status = kInvalidTerminal;
      return 0;
    }
  }
  for (uint32_t d : got.destinations) {
    if (d != 0 && !validTerminal(d)) {
      c.status = kInvalidTerminal;
      return 0;
    }
  }

  uint32_t found = 0;
  uint32_t written = 0;
  uint32_t reached = 0;
  for (uint32_t destination : got.destinations) {
    bool any = false;
    for (uint32_t i = 0; i < seedCount; ++i) {
      const uint8_t* seed = &got.seeds[i * kSeedSize];
      const uint32_t source = read<uint32_t>(seed);
      if (source <= kFloat || destination <= kFloat || source == destination) continue;
      if ((got.flags & 1) == 0 && heldByOther(destination, got.session)) continue;
      any = true;
      ++found;
      if (written == got.capacity) continue;
      Route r;
      r.session = got.session;
      r.source = source;
      r.destination = destination;
      r.cost = read<uint32_t>(seed + 4) + 1;
      r.inversion = seed[8] != 0;
      r.path = {source, destination};
      const uint32_t cost = r.cost;
      const uint32_t ticket = store(std::move(r));
      uint8_t* result = at(resultsAt) + size_t{written} * kResultSize;
      std::memset(result, 0, kResultSize);
      write<uint32_t>(result + 0, ticket);
      write<uint32_t>(result + 4, destination);
      write<uint32_t>(result + 8, cost);
      write<uint32_t>(result + 12, i);
      result[16] = seed[8] != 0 ? 1 : 0;
      ++written;
    }
    if (any) ++reached;
  }
  c.putU32(0, reached);
  c.putU32(4, found);
  return 0;
}

// {u32 ticket, pad, u64 conflicts, u32 capacity, status} -> {u32 conflict count, status}
int RoutingModel::reserve(Call& c) {
  const uint32_t ticket = c.u32(0);
  const uint64_t bufferAt = c.u64(8);
  const uint32_t capacity = c.u32(16);
  if (capacity != 0 && bufferAt == 0) return EFAULT;
  std::lock_guard lock(mutex_);
  auto it = routes_.find(ticket);
  if (it == routes_.end()) {
    c.status = kUnknownTicket;
    return 0;
  }
  Route& wanted = it->second;
  if (wanted.state != State::Calculated) {
    c.status = kWrongState;
    return 0;
  }
  uint32_t conflicts = 0;
  for (const auto& [otherTicket, other] : routes_) {
    if (other.session == wanted.session || other.state == State::Calculated ||
        other.destination != wanted.destination) {
      continue;
    }
    if (conflicts < capacity) {
      uint8_t* entry = at(bufferAt) + size_t{conflicts} * kConflictSize;
      std::memset(entry, 0, kConflictSize);
      write<uint64_t>(entry, other.session);
      write<uint32_t>(entry + 8, otherTicket);
    }
    ++conflicts;
  }
  c.putU32(0, conflicts);
  if (conflicts != 0) {
    c.status = kReservationConflict;
    return 0;
  }
  wanted.state = State::Reserved;
  return 0;
}

// {u32 ticket, status} -> {status}
int RoutingModel::step(Call& c, State from, std::optional<State> to) {
  std::lock_guard lock(mutex_);
  auto it = routes_.find(c.u32(0));
  if (it == routes_.end()) {
    c.status = kUnknownTicket;
  } else if (it->second.state != from) {
    c.status = kWrongState;
  } else if (to) {
    it->second.state = *to;
  } else {
    routes_.erase(it);
  }
  return 0;
}

// {u32 ticket, pad, u64 ids, u32 capacity, status} -> {u32 id count, status}
int RoutingModel::path(Call& c) {
  const uint64_t bufferAt = c.u64(8);
  const uint32_t capacity = c.u32(16);
  if (capacity != 0 && bufferAt == 0) return EFAULT;
  std::lock_guard lock(mutex_);
  auto it = routes_.find(c.u32(0));
  if (it == routes_.end()) {
    c.status = kUnknownTicket;
    return 0;
  }
  const std::vector<uint32_t>& ids = it->second.path;
  c.putU32(0, static_cast<uint32_t>(ids.size()));
  if (ids.size() > capacity) {
    c.status = kBufferTooSmall;
    return 0;
  }
  if (!ids.empty()) std::memcpy(at(bufferAt), ids.data(), ids.size() * sizeof(uint32_t));
  return 0;
}

// {u64 text, u32 capacity, status} -> {status}
int RoutingModel::topographyName(Call& c) {
  const uint64_t bufferAt = c.u64(0);
  const uint32_t capacity = c.u32(8);
  std::lock_guard lock(mutex_);
  if (topography_.size() + 1 > capacity) {
    c.status = kBufferTooSmall;
    return 0;
  }
  if (bufferAt == 0) return EFAULT;
  std::memcpy(at(bufferAt), topography_.c_str(), topography_.size() + 1);
  return 0;
}

// {u32 terminal, u32 floating, status} -> {status}
int RoutingModel::reset(Call& c) {
  std::lock_guard lock(mutex_);
  if (!validTerminal(c.u32(0))) c.status = kInvalidTerminal;
  return 0;
}

// {u64 session, u32 terminal, u32 floating, status, pad} -> {u32 ticket, status}: a route that
// drives the terminal from FLOAT.
int RoutingModel::calculateReset(Call& c) {
  std::lock_guard lock(mutex_);
  const uint32_t terminal = c.u32(8);
  if (!validTerminal(terminal)) {
    c.status = kInvalidTerminal;
    return 0;
  }
  Route r;
  r.session = c.u64(0);
  r.source = kFloat;
  r.destination = terminal;
  r.path = {kFloat, terminal};
  c.putU32(0, store(std::move(r)));
  return 0;
}

// {u64 buffer, u32 capacity, status} -> {u32 stream size, status}: a null buffer or no room asks
// for the size only.
int RoutingModel::aliases(Call& c) {
  const uint64_t bufferAt = c.u64(0);
  const uint32_t capacity = c.u32(8);
  std::lock_guard lock(mutex_);
  c.putU32(0, static_cast<uint32_t>(aliasStream_.size()));
  if (bufferAt == 0 || capacity == 0) return 0;
  const size_t copied = std::min<size_t>(capacity, aliasStream_.size());
  if (copied != 0) std::memcpy(at(bufferAt), aliasStream_.data(), copied);
  if (copied < aliasStream_.size()) c.status = kBufferTooSmall;
  return 0;
}

}  // namespace sim
