#pragma once
// The module's SerDes serial channels as one configuration feature: the CLIP describes each
// channel in a serial section of its capability tree, and every section becomes one input or
// output channel. The feature also owns the two channel counts, and (as static members over a
// context of the session's) the SerDes I2C transfers on the channels' control buses.

#include <cstdint>
#include <list>
#include <memory>

#include "attributes/Attribute.h"
#include "attributes/AttributeRegistry.h"
#include "attributes/Policies.h"
#include "channels/SerDesI2c.h"
#include "channels/SerialChannel.h"
#include "clip/ClipCapabilities.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "model/CommissionInterface.h"
#include "model/Resolvers.h"

namespace qvvandrel {

class SerialChannels {
 public:
  static constexpr uint32_t kSiChannelCountId = 0x10000026;
  static constexpr uint32_t kSoChannelCountId = 0x10000027;
  // A channel index is eight bits wide.
  static constexpr uint32_t kMaxSections = 255;

  // Checks the serial sections (an incomplete section, or more than 255: -304511), then builds
  // one channel per section, each of which asks the CLIP for its PoC units. Both references
  // must outlive the feature.
  SerialChannels(const ClipCapabilities& capabilities, SerialClipInterfaces interfaces);
  ~SerialChannels();
  SerialChannels(const SerialChannels&) = delete;
  SerialChannels& operator=(const SerialChannels&) = delete;

  // The two counts, then every channel's attributes, in section order.
  void registerAttributes(atat::AttributeRegistry* registry);
  // The feature's resolvers join the graph, then every channel is commissioned.
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry);
  // The feature's own resolvers only tie it into the graph.
  void compile() {}
  void deploy(bool) {}

  // Whether the section at `index` describes an input (type 0); false past the sections.
  bool isSiChannel(uint32_t index) const;
  // Sections whose type is `type`.
  int countChannelsOfType(uint32_t type) const;
  bool valid() const { return valid_; }
  const std::list<std::unique_ptr<SerialChannel>>& channels() const { return channels_; }

  // The SerDes I2C transfers over the session's context (see SerDesI2c.h). Every transfer
  // refuses a module without serial channels (-63193), an address out of range (-304447) and a
  // bus name the context does not know (-304448).
  static std::unique_ptr<SerDesI2cContext> buildI2cBusMap(
      nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& driver,
      const ClipCapabilities& capabilities, const ififo_rpc::FifoRef& fifo);
  static void destroyI2cBusMap(std::unique_ptr<SerDesI2cContext>& context);
  static int32_t lookupI2cBus(const SerDesI2cContext& context, const char* busName);
  // Writes up to kMaxI2cWriteBytes bytes without taking the engine; returns the CLIP's 16-bit
  // answer.
  static uint16_t i2cWrite(SerDesI2cContext& context, const char* busName, uint16_t address,
                           const uint8_t* data, uint32_t length, uint32_t option);
  // Reads under the engine; returns the number of bytes the CLIP read (stored up to `length`).
  static uint32_t i2cRead(SerDesI2cContext& context, const char* busName, uint16_t address,
                          uint8_t* out, uint32_t length, uint32_t option);
  // A write, then a read, in one engine hold. The results start at 0.
  static void i2cWriteRead(SerDesI2cContext& context, const char* busName, uint16_t address,
                           const uint8_t* writeData, uint32_t writeLength, uint8_t* out,
                           uint32_t readLength, uint32_t option, uint32_t* writeResult,
                           uint32_t* bytesRead);

 private:
  static bool checkSections(const ClipCapabilities& capabilities);

  CompileResolver<SerialChannels> compileResolver_{this};
  DeployResolver<SerialChannels> deployResolver_{this};
  const ClipCapabilities* capabilities_;
  SerialClipInterfaces interfaces_;
  bool valid_;
  std::list<std::unique_ptr<SerialChannel>> channels_;
  atat::FunctorGetter<int> siCountGetter_;
  atat::FunctorGetter<int> soCountGetter_;
  atat::NotSettable<int> readOnly_;
  atat::Attribute<int> siChannelCount_;
  atat::Attribute<int> soChannelCount_;
};

}  // namespace qvvandrel
