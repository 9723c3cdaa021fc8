#include "routing/ZUZSession.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "foundation/driver/tBasicString.h"
#include "foundation/driver/tDeviceInterfaceIterator.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/text/CompareUtf8NoCase.h"

namespace qvvandrelbrenmoorra {

namespace {

using nQVVANDRELBRENMOORU_22_8::tDemotionNotification;
using nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tBasicString;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIterator;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIteratorForDriver;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tInterfacePath;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tIONotificationReader;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tThreadedIONotificationReader;

constexpr qverr::StatusLocation kBadInterfacePath{"ZUZRoutingAdaptor", 139, qverr::kComponent,
                                                  qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kNoStopEvent{"ZUZRoutingAdaptor", 151, qverr::kComponent,
                                             qverr::constant::kOsFault};
// The alias stream: a length where fewer than four bytes are left, a text longer than what is
// left, or a stream too large to be one.
constexpr qverr::StatusLocation kLengthCut{"Deserializer", 74, qverr::kComponent};
constexpr qverr::StatusLocation kTextCut{"Deserializer", 48, qverr::kComponent};
constexpr qverr::StatusLocation kStreamTooLarge{"Deserializer", 31, qverr::kComponent};

constexpr const char* kThreadName = "qvvandrelbrenmooru";
constexpr const char* kRoutingInterfaceName = "routing_routing";
constexpr const char* kGenerationInterfaceName = "qvvandrelbrenmoork_vandrelbrenmoor";
constexpr uint32_t kTopographyNameSize = 128;
// Far beyond any alias map a bitfile can carry; a larger size is not an alias stream.
constexpr uint32_t kMaxAliasStream = 16u << 20;

uint32_t readLittleEndian32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The alias map of the stream, by alias name; an alias named twice keeps its first terminal.
std::map<std::string, std::string> deserializeAliasMap(const std::vector<uint8_t>& stream) {
  std::map<std::string, std::string> aliases;
  size_t at = 0;
  auto readText = [&stream, &at](std::string& text) {
    if (stream.size() - at < 4) qverr::raise(qverr::kInternalError, kLengthCut);
    const uint32_t length = readLittleEndian32(stream.data() + at);
    at += 4;
    if (length > stream.size() - at) qverr::raise(qverr::kInternalError, kTextCut);
    text.assign(reinterpret_cast<const char*>(stream.data() + at), length);
    at += length;
  };
  while (at < stream.size()) {
    std::string terminal;
    std::string alias;
    readText(terminal);
    readText(alias);
    aliases.emplace(std::move(alias), std::move(terminal));
  }
  return aliases;
}

}  // namespace

NotificationLoop::NotificationLoop(tIONotificationReader& reader, iNotificationHandler& handler)
    : reader_(reader), handler_(handler) {
  nQVVUSKS100::tStatus status;
  stopped_.create(false, &status);
  if (status.isError()) qverr::raise(qverr::kOsFault, kNoStopEvent);
}

int32_t NotificationLoop::run() {
  using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::kNotificationKindCancelled;
  using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::kNotificationPayloadMax;
  uint32_t backOffMs = 0;
  for (;;) {
    nQVVUSKS100::tStatus status;
    uint32_t kind = 0;
    uint32_t length = 0;
    uint8_t payload[kNotificationPayloadMax] = {};
    const uint64_t cookie = reader_.read(&kind, payload, &length, &status, -1);
    if (!status.isError() && kind == kNotificationKindCancelled) return 0;
    handler_.onNotification(kind, cookie, payload, length, status);
    if (!status.isError()) {
      backOffMs = 0;
      continue;
    }
    // A failing wait would otherwise spin; the loop still keeps reading.
    backOffMs = backOffMs == 0 ? kFirstBackOffMs : std::min(backOffMs * 2, kMaxBackOffMs);
    nQVVUSKS100::tStatus waitStatus;
    if (stopped_.wait(backOffMs, &waitStatus)) return 0;
  }
}

void NotificationLoop::stop() {
  stopped_.set();
}

ZUZSession::ZUZSession(qvroco::Allocator allocator, const char* interfacePath,
                       DemotionFunction function, void* context)
    : allocator_(allocator), demotion_(function, context) {
  try {
    {
      qverr::ThrowingStatusRecord status;
      reader_ = std::make_unique<tThreadedIONotificationReader>(0, &status);
      if (!status.isError()) {
        loop_ =
            std::make_unique<NotificationLoop>(*reader_, static_cast<iNotificationHandler&>(*this));
        reader_->start(loop_.get(), 0, kThreadName, &status);
      }
    }
    if (interfacePath == nullptr ||
        strnlen(interfacePath, kMaxInterfacePath + 1) > kMaxInterfacePath) {
      qverr::raise(qverr::kInvalidParameter, kBadInterfacePath);
    }
    std::strcpy(interfacePath_, interfacePath);
    {
      qverr::ThrowingStatusRecord status;
      open(interfacePath_, &status);
    }
    char name[kTopographyNameSize] = {};
    {
      qverr::ThrowingStatusRecord status;
      command8008(reinterpret_cast<uint64_t>(name), kTopographyNameSize, &status);
    }
    name[kTopographyNameSize - 1] = '\0';
    topography_ = &findTopographyInfo(name);
    {
      qverr::ThrowingStatusRecord status;
      demotion_.arm(*reader_, this, kDemotionNotificationId, &status);
    }
    readAliasTerminals();
  } catch (...) {
    demotion_.disarm();
    stopReader();
    throw;
  }
}

ZUZSession::~ZUZSession() {
  demotion_.disarm();
  close();
  stopReader();
}

void ZUZSession::stopReader() {
  if (loop_) loop_->stop();
  // Cancels the read, joins the thread, then closes the reader's socket and pipe.
  reader_.reset();
}

void ZUZSession::readAliasTerminals() {
  tBasicString driver;
  bool found = false;
  {
    qverr::ThrowingStatusRecord status;
    tDeviceInterfaceIterator routing(kRoutingInterfaceName, &status);
    for (; !status.isError() && !routing.isEnd(); routing.next()) {
      tInterfacePath path;
      routing.getInterfacePath(&path, &status);
      if (!status.isError() && std::strcmp(path.text, interfacePath_) == 0) {
        routing.getDriverName(&driver, &status);
        found = true;
        break;
      }
    }
  }
  if (!found) return;

  std::vector<uint8_t> stream;
  {
    qverr::ThrowingStatusRecord status;
    tDeviceInterfaceIteratorForDriver generation(kGenerationInterfaceName, driver.c_str(), &status);
    // A driver without the generation's interface has no alias terminals to give.
    if (status.isError() || generation.isEnd()) return;
    tInterfacePath path;
    generation.getInterfacePath(&path, &status);
    tInterfaceProxy_vandrelbrenmoor proxy;
    proxy.open(path.text, &status);
    const uint32_t size = proxy.command0800(0, 0, &status);
    if (status.isError() || size == 0) return;
    if (size > kMaxAliasStream) qverr::raise(qverr::kInternalError, kStreamTooLarge);
    stream.resize(size);
    const uint32_t filled =
        proxy.command0800(reinterpret_cast<uint64_t>(stream.data()), size, &status);
    if (filled < size) stream.resize(filled);
  }
  for (const auto& [alias, terminal] : deserializeAliasMap(stream)) {
    addAliasTerminal(terminal.c_str(), alias.c_str());
  }
}

void ZUZSession::addAliasTerminal(const char* terminal, const char* alias) {
  for (uint64_t i = 0; i < topography_->terminalCount; ++i) {
    const TerminalInfo& row = topography_->terminals[i];
    if (std::strcmp(row.name, terminal) != 0) continue;
    const size_t length = std::strlen(alias);
    AliasTerminal added{std::make_unique<char[]>(length + 1), row};
    std::memcpy(added.name.get(), alias, length + 1);
    added.info.name = added.name.get();
    added.info.isAlias = 1;
    added.info.canonicalName = row.name;
    aliasTerminals_.push_back(std::move(added));
    return;
  }
}

const TerminalInfo* ZUZSession::terminalAt(uint64_t index) const {
  if (index < topography_->terminalCount) return &topography_->terminals[index];
  index -= topography_->terminalCount;
  return index < aliasTerminals_.size() ? &aliasTerminals_[index].info : nullptr;
}

const char* ZUZSession::terminalNameById(uint32_t id) const {
  for (uint64_t i = 0; const TerminalInfo* terminal = terminalAt(i); ++i) {
    if (terminal->id == id) return terminal->name;
  }
  return "";
}

uint32_t ZUZSession::terminalIdByName(std::string_view name) const {
  for (uint64_t i = 0; const TerminalInfo* terminal = terminalAt(i); ++i) {
    if (equalUtf8NoCase(terminal->name, name)) return terminal->id;
  }
  return 0;
}

void ZUZSession::onNotification(uint32_t kind, uint64_t cookie, const uint8_t* /*payload*/,
                                uint32_t /*payloadLength*/, const nQVVUSKS100::tStatus& status) {
  using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::kNotificationKindFirst;
  if (status.isError() || kind != kNotificationKindFirst) return;
  // Only this session's own registration is followed; any other value is not an address here.
  const auto* own = static_cast<const tDemotionNotification*>(&demotion_);
  if (cookie != reinterpret_cast<uint64_t>(own)) return;
  const DemotionFunction function = demotion_.function();
  if (function == nullptr) return;
  qverr::Status empty;
  try {
    function(demotion_.context(), kRouteDemoted, &empty);
  } catch (...) {
    // The engine's function is C; nothing it throws may end the reader thread.
  }
}

}  // namespace qvvandrelbrenmoorra
