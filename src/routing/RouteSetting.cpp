#include "routing/RouteSetting.h"

#include <algorithm>
#include <boost/tokenizer.hpp>
#include <memory>
#include <utility>

#include "foundation/errors/Exception.h"
#include "session/TerminalNames.h"

namespace rocout {

namespace {

// What a released terminal goes back to.
constexpr const char* kResetMode = "default";

}  // namespace

ManagedRoute::~ManagedRoute() {
  try {
    release();
  } catch (...) {
    // The route is gone from this side whatever the library says.
  }
}

void ManagedRoute::calculate(const char* source, const char* destination) {
  handle_ = client_->calculateRoute(source, destination, nullptr);
  state_ = kCalculated;
}

void ManagedRoute::reserve() {
  client_->reserveRoute(handle_);
  state_ = kReserved;
}

void ManagedRoute::program() {
  client_->programRoute(handle_);
  state_ = kProgrammed;
}

void ManagedRoute::release() {
  if (state_ != kNone) client_->destroyRoute(handle_);
  handle_ = 0;
  state_ = kNone;
}

TerminalSet parseTerminalList(const std::string& deviceName, const std::string& text) {
  TerminalSet result;
  // Only "," separates; white space stays inside its entry until the path rule trims it.
  const boost::char_separator<char> separator(",");
  for (const std::string& entry : boost::tokenizer<boost::char_separator<char>>(text, separator)) {
    std::string path = qvvandrel::makeTerminalPath(deviceName, entry);
    if (!path.empty()) result.insert(std::move(path));
  }
  return result;
}

RouteSetting::RouteSetting(RoCoSession* client, const std::string& deviceName)
    : client_(client), deviceName_(deviceName) {}

RouteSetting::~RouteSetting() = default;

void RouteSetting::setSource(const std::string& text) {
  source_ = qvvandrel::makeTerminalPath(deviceName_, text);
}

void RouteSetting::setDestinations(const std::string& text) {
  TerminalSet destinations = parseTerminalList(deviceName_, text);
  destinations_.swap(destinations);
}

bool RouteSetting::sourceChanged() const {
  return compareUtf8NoCase(source_, appliedSource_) != 0;
}

void RouteSetting::releaseRoutes() {
  for (const std::string& name : work_) {
    auto held = held_.find(name);
    if (held != held_.end()) held_.erase(held);
    try {
      client_->resetTerminal(name.c_str(), kResetMode);
    } catch (const qverr::Exception&) {
      // A terminal the library cannot reset keeps whatever it had; the others go on.
    }
  }
}

void RouteSetting::releaseAllRoutes() {
  work_.clear();
  for (const auto& held : held_) work_.insert(held.first);
  releaseRoutes();
}

// Held keys are ordered by bytes and destinations without regard to case, so membership is
// decided by lookups under the case-blind comparison, not by walking both orders side by side.
void RouteSetting::releaseStaleRoutes() {
  if (sourceChanged()) {
    releaseAllRoutes();
    return;
  }
  work_.clear();
  for (const auto& held : held_) {
    if (destinations_.count(held.first) == 0) work_.insert(held.first);
  }
  releaseRoutes();
}

void RouteSetting::establishRoutes() {
  work_.clear();
  if (source_.empty()) {
    appliedSource_ = source_;
    return;
  }
  if (sourceChanged()) {
    work_ = destinations_;
  } else {
    for (const std::string& destination : destinations_) {
      const bool held = std::any_of(held_.begin(), held_.end(), [&](const auto& route) {
        return equalUtf8NoCase(route.first, destination);
      });
      if (!held) work_.insert(destination);
    }
  }
  for (const std::string& name : work_) {
    // A failure deletes the route being built (destroying its library route once calculated)
    // and keeps those built before it.
    auto route = std::make_unique<ManagedRoute>(client_);
    route->calculate(source_.c_str(), name.c_str());
    route->reserve();
    route->program();
    // An exact key already held keeps its route; the new one is deleted.
    held_.insert(name, std::move(route));
  }
  appliedSource_ = source_;
}

}  // namespace rocout
