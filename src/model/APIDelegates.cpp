#include "model/APIDelegates.h"

#include <charconv>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "attributes/RaiseWithDetails.h"
#include "clip/InterfaceMethods.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "model/ChannelNames.h"

namespace qvvandrel::APIDelegates {

namespace {

constexpr qverr::StatusLocation kInvalidChannel{"./source/APIDelegates", 442, qverr::kComponent,
                                                qverr::constant::kStringParsingInvalidChannel};
// A refusal the CLIP may report for a connector query.
constexpr int32_t kClipQueryRefused = -304300;

constexpr std::string_view kConnectorPrefix = "Conn";

constexpr qverr::StatusLocation kContextMismatch{"./source/APIDelegates", 268, qverr::kComponent,
                                                 qverr::constant::kAttributeContextMismatch};

// Opcodes of the connector queries.
constexpr uint32_t kAiFirstChannel = 0x911, kAiChannelCount = 0x912;
constexpr uint32_t kAoFirstChannel = 0xD06, kAoChannelCount = 0xD08;
constexpr uint32_t kLineFirstChannel = 0x1404, kLineChannelCount = 0x1409;

// The code of a line family in the line queries.
uint32_t lineFamilyCode(ChannelKind kind) {
  switch (kind) {
    case kDiChannel:
      return 1;
    case kDoChannel:
      return 2;
    case kPfiChannel:
      return 3;
    case kDiffPfiChannel:
      return 4;
    default:
      return 0;  // DIO
  }
}

struct ConnectorChannels {
  uint32_t first;
  int32_t count;
};

// Requires the interface, asks for the connector's first channel, requires the interface again
// (done by then) and asks for the count.
ConnectorChannels queryConnector(InterfaceClient& client, void (IfifoInterfaceCheck::*require)(),
                                 uint32_t firstOpcode, uint32_t countOpcode,
                                 std::initializer_list<uint32_t> args) {
  (client.*require)();
  const uint32_t first = ififo_rpc::callInstructionRaising(client.fifo, firstOpcode, args, true);
  (client.*require)();
  const uint32_t count = ififo_rpc::callInstructionRaising(client.fifo, countOpcode, args, true);
  return {first, static_cast<int32_t>(count)};
}

ConnectorChannels queryConnector(ClipConfiguration& clip, ChannelKind kind, uint32_t connector) {
  switch (kind) {
    case kAiChannel:
      return queryConnector(clip.interface9, &IfifoInterfaceCheck::requireInterface9,
                            kAiFirstChannel, kAiChannelCount, {connector});
    case kAoChannel:
      return queryConnector(clip.interface13, &IfifoInterfaceCheck::requireInterface13,
                            kAoFirstChannel, kAoChannelCount, {connector});
    default:
      return queryConnector(clip.interface20, &IfifoInterfaceCheck::requireInterface20,
                            kLineFirstChannel, kLineChannelCount,
                            {lineFamilyCode(kind), connector});
  }
}

[[noreturn]] void raiseInvalidChannel(const char* channel) {
  atat::detail::raiseWithDetails(
      qverr::kStringParsingInvalidChannel, kInvalidChannel, [&](atat::elaboration::Cursor c) {
        atat::elaboration::appendUsageString(c, "kUsageTypeChannelName", channel);
      });
}

// The connector number right after "Conn"; false when there is none (or it overflows).
bool readConnector(std::string_view afterPrefix, uint32_t* connector) {
  const char* begin = afterPrefix.data();
  const char* end = begin + afterPrefix.size();
  const auto [stop, error] = std::from_chars(begin, end, *connector);
  return error == std::errc() && stop != begin;
}

}  // namespace

std::string resolveChannelName(ClipConfiguration& clip, const char* channel) {
  if (channel == nullptr) return {};
  const std::string_view text(channel);
  if (text.substr(0, kConnectorPrefix.size()) != kConnectorPrefix) return std::string(text);
  uint32_t connector = 0;
  if (!readConnector(text.substr(kConnectorPrefix.size()), &connector))
    return std::string(text.substr(kConnectorPrefix.size()));

  size_t digits = text.size();
  while (digits > 0 && text[digits - 1] >= '0' && text[digits - 1] <= '9') --digits;
  const int index = std::stoi(std::string(text.substr(digits)));

  const ChannelKind kind = detail::getChannelKind(text);
  if (kind == kUnknownChannel) qverr::throwError(qverr::kInvalidParameter);

  try {
    const ConnectorChannels channels = queryConnector(clip, kind, connector);
    const uint32_t position = channels.first + static_cast<uint32_t>(index);
    if (channels.count <= index) qverr::throwError(qverr::kStringParsingInvalidChannel);
    return channelName(kind, position);
  } catch (const qverr::ExceptionBase& error) {
    if (error.code() == qverr::kStringParsingInvalidChannel || error.code() == kClipQueryRefused)
      raiseInvalidChannel(channel);
    throw;
  }
}

void raiseLookupFailure(const atat::AttributeRegistry& registry, uint32_t id,
                        const std::string& channelText, const qverr::Exception& failure) {
  if (failure.code() != kAttributeNotFound) throw failure;
  const std::vector<std::string> contexts = registry.getChannelNames(id);
  if (contexts.empty()) throw failure;
  atat::detail::raiseWithDetails(
      qverr::kAttributeContextMismatch, kContextMismatch, [&](atat::elaboration::Cursor cursor) {
        using namespace atat::elaboration;
        cursor = appendUsageInt32WithAttributeName(cursor, "kUsageTypeAttributeIdentifier",
                                                   static_cast<int32_t>(id));
        cursor = appendUsageString(cursor, "vandrel_kUsageTypeContext", channelText.c_str());
        appendUsageStringList(cursor, "vandrel_kUsageTypeRegisteredContexts", contexts);
      });
}

}  // namespace qvvandrel::APIDelegates
