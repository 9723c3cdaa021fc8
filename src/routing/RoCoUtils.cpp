#include "routing/RoCoUtils.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "routing/ZUZSession.h"

namespace qvroco {

namespace {

using qverr::json::Token;

constexpr qverr::StatusLocation at(uint64_t line) {
  return {"RoCoUtils", line, qverr::kComponent, qverr::constant::kInvalidParameter};
}

// Raise sites of the route texts.
constexpr qverr::StatusLocation kSeedsNotArray = at(548);
constexpr qverr::StatusLocation kSeedNotObject = at(559);
constexpr qverr::StatusLocation kDestinationsNotArray = at(52);
constexpr qverr::StatusLocation kDestinationNotString = at(60);
constexpr qverr::StatusLocation kTerminalNotString = at(452);
constexpr qverr::StatusLocation kTokenNotString = at(464);
constexpr qverr::StatusLocation kCostNotNumber = at(475);
constexpr qverr::StatusLocation kConstraintsNotObject = at(484);
constexpr qverr::StatusLocation kTerminalMissing = at(493);
constexpr qverr::StatusLocation kCostMissing = at(501);
constexpr qverr::StatusLocation kConstraintsMissing = at(509);
constexpr qverr::StatusLocation kConstraintType = at(238);
constexpr qverr::StatusLocation kModifiersNotObject = at(1110);
constexpr qverr::StatusLocation kModifierNotObject = at(1118);
constexpr qverr::StatusLocation kRequiredModifierType = at(1089);

constexpr size_t kBuilderSize = 256;

qverr::Status invalidParameter(const qverr::StatusLocation& where) {
  qverr::Status status;
  status.setCodeWithErrorConstant(qverr::kInvalidParameter, where);
  return status;
}

// Detail {"qvroco_debug": message}.
[[noreturn]] void raiseMessage(const qverr::StatusLocation& where, const char* message) {
  qverr::Status status = invalidParameter(where);
  status.addString(status.reserveDetail(0), "qvroco_debug", message);
  throw qverr::Exception(std::move(status));
}

// Detail {"qvroco_debug": {"msg": message, "json": text}}.
[[noreturn]] void raiseWithText(const qverr::StatusLocation& where, const char* message,
                                std::string_view text) {
  qverr::Status status = invalidParameter(where);
  const std::string copy(text);
  qverr::json::Writer root = status.detailWriter();
  {
    qverr::StatusDetailElement debug(&root, "qvroco_debug");
    qverr::json::Writer& w = debug.writer();
    w.cursor = qverr::json::addString(w.cursor, "msg", message, w.grow);
    w.cursor = qverr::json::addString(w.cursor, "json", copy.c_str(), w.grow);
  }
  throw qverr::Exception(std::move(status));
}

[[noreturn]] void raiseConstraintType(const ConstraintInfo& constraint, uint32_t actualType) {
  qverr::Status status = invalidParameter(kConstraintType);
  qverr::json::Writer root = status.detailWriter();
  {
    qverr::StatusDetailElement debug(&root, "qvroco_debug");
    qverr::json::Writer& w = debug.writer();
    w.cursor = qverr::json::addString(w.cursor, "msg", "Unexpected constraint type", w.grow);
    w.cursor = qverr::json::addString(w.cursor, "constraint", constraint.name, w.grow);
    w.cursor = qverr::json::addUInt(w.cursor, "expected_type", constraint.valueType, w.grow);
    w.cursor = qverr::json::addUInt(w.cursor, "actual_type", actualType, w.grow);
  }
  throw qverr::Exception(std::move(status));
}

// Whether `text` is one JSON value of that kind and nothing else.
bool isDocumentOf(const char* text, uint32_t kind) {
  Token token;
  return qverr::json::validateDocument(text, nullptr) &&
         qverr::json::readValueShallow(text, &token) != nullptr && token.kind == kind;
}

// A terminal name's id; a name whose escapes cannot be decoded names no terminal.
uint32_t terminalId(const qvvandrelbrenmoorra::ZUZSession& session, const Token& name) {
  std::string decoded(name.length + 1, '\0');
  const char* end = qverr::json::copyDecoded(name.start, name.length, decoded.data());
  if (end == nullptr) return 0;
  return session.terminalIdByName(std::string_view(decoded.data(), end - decoded.data()));
}

// Walks the members of a validated object: f(key, value token, value position).
template <typename F>
void forEachMember(const char* object, F&& f) {
  Token key;
  bool found = false;
  const char* value = qverr::json::firstMember(object, &key, &found);
  while (value != nullptr && found) {
    Token token;
    const char* end = qverr::json::readValue(value, &token);
    if (end == nullptr) return;
    f(key, token, value);
    value = qverr::json::nextMember(end, &key, &found);
  }
}

// Walks the elements of a validated array: f(token, element position, end of the element).
template <typename F>
void forEachElement(const char* array, F&& f) {
  for (const char* element = qverr::json::firstArrayElementOrNull(array); element != nullptr;) {
    Token token;
    const char* end = qverr::json::readValue(element, &token);
    if (end == nullptr) return;
    f(token, element, end);
    element = qverr::json::nextArrayElementOrNull(end);
  }
}

bool boolValue(const Token& token) {
  return token.start != nullptr;
}

}  // namespace

void parseConstraints(const char* constraintsObject, RouteSeed& seed) {
  forEachMember(constraintsObject, [&seed](const Token& key, const Token& value, const char*) {
    if (value.kind != qverr::json::kTokenBool && value.kind != qverr::json::kTokenNumber &&
        value.kind != qverr::json::kTokenString) {
      return;
    }
    // A constraint this adaptor does not know is the engine's to honour.
    for (const ConstraintInfo& constraint : kConstraints) {
      if (!qverr::json::keyEquals(key, constraint.name)) continue;
      if (constraint.valueType != value.kind) raiseConstraintType(constraint, value.kind);
      if (constraint.id == kInversionNeededConstraint) seed.inversionNeeded = boolValue(value);
      return;
    }
  });
}

void parseSeed(const qvvandrelbrenmoorra::ZUZSession& session, const char* seedObject,
               const char* seedEnd, RouteSeed& seed) {
  const std::string_view text(seedObject, static_cast<size_t>(seedEnd - seedObject));
  bool haveTerminal = false;
  bool haveCost = false;
  bool haveConstraints = false;
  forEachMember(seedObject, [&](const Token& key, const Token& value, const char* position) {
    if (qverr::json::keyEquals(key, "terminal")) {
      if (value.kind != qverr::json::kTokenString) {
        raiseWithText(kTerminalNotString, "terminal name must be a string", text);
      }
      seed.terminal = terminalId(session, value);
      haveTerminal = true;
    } else if (qverr::json::keyEquals(key, "srcDeviceToken")) {
      if (value.kind != qverr::json::kTokenString) {
        raiseWithText(kTokenNotString, "srcDeviceToken name must be a string", text);
      }
    } else if (qverr::json::keyEquals(key, "cost")) {
      if (value.kind != qverr::json::kTokenNumber) {
        raiseWithText(kCostNotNumber, "cost must be a number", text);
      }
      // A number that is no unsigned 32-bit cost counts as no cost.
      haveCost = qverr::json::parseUInt(value, &seed.cost);
    } else if (qverr::json::keyEquals(key, "constraints")) {
      if (value.kind != qverr::json::kTokenObject) {
        raiseWithText(kConstraintsNotObject, "constraints must be an object", text);
      }
      parseConstraints(position, seed);
      haveConstraints = true;
    }
  });
  if (!haveTerminal) raiseWithText(kTerminalMissing, "terminal field missing", text);
  if (!haveCost) raiseWithText(kCostMissing, "cost field missing or invalid", text);
  if (!haveConstraints) raiseWithText(kConstraintsMissing, "constraints field missing", text);
}

void parseModifierGroup(const char* group, RouteModifiers& out, bool required) {
  forEachMember(group, [&out, required](const Token& key, const Token& value, const char*) {
    if (value.kind == qverr::json::kTokenBool) {
      if (qverr::json::keyEquals(key, "calculateIgnoresReservations")) {
        out.flags = boolValue(value) ? out.flags | kCalculateIgnoresReservations
                                     : out.flags & ~kCalculateIgnoresReservations;
      } else if (required) {
        out.unsupportedRequired = true;
      }
    } else if (value.kind == qverr::json::kTokenString) {
      if (required) out.unsupportedRequired = true;
    } else if (required) {
      raiseMessage(kRequiredModifierType, "Required route modifier has unrecognized type");
    }
  });
}

void parseModifiers(const char* modifiers, RouteModifiers& out) {
  if (!isDocumentOf(modifiers, qverr::json::kTokenObject)) {
    raiseWithText(kModifiersNotObject, "modifiers must be an object",
                  modifiers != nullptr ? modifiers : "");
  }
  forEachMember(modifiers, [&](const Token& key, const Token& value, const char* position) {
    if (value.kind != qverr::json::kTokenObject) {
      raiseWithText(kModifierNotObject, "modifiers type must be object", modifiers);
    }
    if (qverr::json::keyEquals(key, "required")) {
      parseModifierGroup(position, out, true);
    } else if (qverr::json::keyEquals(key, "optional")) {
      parseModifierGroup(position, out, false);
    }
  });
}

void parseRouteRequest(const qvvandrelbrenmoorra::ZUZSession& session, const char* seeds,
                       const char* destinations, const char* modifiers, RouteRequest& request) {
  if (!isDocumentOf(seeds, qverr::json::kTokenArray)) {
    raiseWithText(kSeedsNotArray, "seeds must be an array", seeds != nullptr ? seeds : "");
  }
  forEachElement(seeds, [&](const Token& token, const char* element, const char* end) {
    if (token.kind != qverr::json::kTokenObject) {
      raiseMessage(kSeedNotObject, "seed must be an object");
    }
    request.seeds.push_back(RouteSeed{});
    parseSeed(session, element, end, request.seeds.back());
  });

  if (!isDocumentOf(destinations, qverr::json::kTokenArray)) {
    raiseWithText(kDestinationsNotArray, "destinations must be an array",
                  destinations != nullptr ? destinations : "");
  }
  forEachElement(destinations, [&](const Token& token, const char*, const char*) {
    if (token.kind != qverr::json::kTokenString) {
      raiseWithText(kDestinationNotString, "Terminals must be strings", destinations);
    }
    request.destinations.push_back(terminalId(session, token));
  });

  parseModifiers(modifiers, request.modifiers);
}

RouteJsonBuilder::RouteJsonBuilder() : buffer_(kBuilderSize, "[]") {
  if (buffer_.text() == nullptr) throw std::bad_alloc();
}

void RouteJsonBuilder::advance(char* next) {
  if (next == nullptr) throw std::bad_alloc();
  buffer_.writer().cursor = next;
}

void RouteJsonBuilder::addRoutes(const qvvandrelbrenmoorra::ZUZSession& session,
                                 const RouteResult* results, size_t count) {
  using namespace qverr::json;
  for (size_t i = 0; i < count; ++i) {
    const RouteResult& route = results[i];
    const Grow& grow = buffer_.writer().grow;
    char* c = beginObject(buffer_.writer().cursor, nullptr, grow);
    c = addUInt(c, "ticket", route.ticket, grow);
    c = addString(c, "destination", session.terminalNameById(route.destination), grow);
    c = addUInt(c, "cost", route.cost, grow);
    c = addUInt(c, "indexOfStartingSeed", route.indexOfStartingSeed, grow);
    c = beginObject(c, "constraints", grow);
    if (route.inversionNeeded != 0) c = addBool(c, "inversionNeeded", true, grow);
    advance(endObject(endObject(c)));
  }
}

void RouteJsonBuilder::addConflicts(const RouteConflict* conflicts, size_t count) {
  using namespace qverr::json;
  for (size_t i = 0; i < count; ++i) {
    const Grow& grow = buffer_.writer().grow;
    char* c = beginObject(buffer_.writer().cursor, nullptr, grow);
    c = addULong(c, "sessionId", conflicts[i].sessionId, grow);
    c = addUInt(c, "ticket", conflicts[i].ticket, grow);
    advance(endObject(c));
  }
}

void RouteJsonBuilder::addName(const char* name) {
  advance(qverr::json::addString(buffer_.writer().cursor, nullptr, name, buffer_.writer().grow));
}

void handOver(Allocator allocator, char** out, const char* text, size_t blockSize,
              const qverr::StatusLocation& nullBlock) {
  *out = static_cast<char*>(allocator(*out, blockSize));
  if (*out == nullptr) qverr::raise(qverr::kMemoryFull, nullBlock);
  std::memcpy(*out, text, std::min(std::strlen(text) + 1, blockSize));
}

}  // namespace qvroco
