#include "devkit/DmaChannels.h"

#include <gtest/gtest.h>

#include <cstring>

#include "DevkitTestUtil.h"
#include "devkit/ByteVector.h"

namespace {

using devkit_test::codeOf;
using devkit_test::XmlSnippet;
using qvkel::ElementType;
using qvkel::FifoDescriptor;

std::string channel(const std::string& name, uint32_t number, const std::string& tag,
                    const std::string& implementation = "qvFpgaTargetToHost",
                    const std::string& dataType = "<U32/>", const std::string& extra = "") {
  return "<Channel name=\"" + name + "\"><Number>" + std::to_string(number) +
         "</Number><NumberOfElements>1023</NumberOfElements><BaseAddressTag>" + tag +
         "</BaseAddressTag><Implementation>" + implementation + "</Implementation><DataType>" +
         dataType + "</DataType><UserVisible>true</UserVisible>" + extra + "</Channel>";
}

std::string block(const std::string& name, uint32_t offset) {
  return "<RegisterBlock name=\"" + name + "\"><Offset>" + std::to_string(offset) +
         "</Offset></RegisterBlock>";
}

std::string results(const std::string& channels, const std::string& blocks,
                    const std::string& more = "", const std::string& fpgaMore = "") {
  return "<CompilationResults><QvFpga>" + fpgaMore + "<DmaChannelAllocationList>" + channels +
         "</DmaChannelAllocationList><RegisterBlockList>" + blocks +
         "</RegisterBlockList></QvFpga>" + more + "</CompilationResults>";
}

std::vector<qvkel::NamedFifo> read(const std::string& text) {
  XmlSnippet snippet(text);
  return qvkel::readDmaChannelList(snippet.root);
}

TEST(DmaChannelList, OrderedByNumberWithResolvedAddresses) {
  const auto fifos = read(results(channel("B", 1, "tb") + channel("A&amp;1", 0, "ta"),
                                  block("ta", 64) + block("tb", 128)));
  ASSERT_EQ(fifos.size(), 2u);
  EXPECT_EQ(fifos[0].getName(), "A&1");
  EXPECT_EQ(fifos[0].getNumber(), 0u);
  EXPECT_EQ(fifos[0].getAddress(), 64u);
  EXPECT_EQ(fifos[0].getDepth(), 1023u);
  EXPECT_TRUE(fifos[0].isUserVisible());
  EXPECT_EQ(fifos[0].getIdentifier(), 0u);
  EXPECT_EQ(fifos[1].getName(), "B");
  EXPECT_EQ(fifos[1].getAddress(), 128u);
  EXPECT_EQ(fifos[1].getWriteWindowAddress(), 0xFFFFFFFFu);
  EXPECT_EQ(fifos[1].getWriteWindowSize(), 0u);
  EXPECT_EQ(fifos[1].getDescriptor().getKind(), qvkel::ResourceDescriptor::kDmaFifo);
  EXPECT_EQ(fifos[1].getDescriptor().getType(), qvkel::TypeU32());
}

TEST(DmaChannelList, NumbersMustBeExactlyZeroToN) {
  EXPECT_EQ(
      codeOf([] {
        read(results(channel("A", 0, "t") + channel("B", 2, "u"), block("t", 1) + block("u", 2)));
      }),
      -61070);
  EXPECT_EQ(
      codeOf([] {
        read(results(channel("A", 0, "t") + channel("B", 0, "u"), block("t", 1) + block("u", 2)));
      }),
      -61070);
  EXPECT_EQ(codeOf([] { read(results(channel("A", 1, "t"), block("t", 1))); }), -61070);
  EXPECT_TRUE(read(results("", "")).empty());
}

TEST(DmaChannelList, ImplementationsAndUnknownOne) {
  const auto fifos = read(results(channel("a", 0, "a", "qvFpgaHostToTarget") +
                                      channel("b", 1, "b", "qvFpgaPeerToPeerWriter") +
                                      channel("c", 2, "c", "qvfpgaTargetToHost"),
                                  block("a", 1) + block("b", 2) + block("c", 3)));
  EXPECT_EQ(fifos[0].getDescriptor().getSubKind(), FifoDescriptor::kHostToTarget);
  EXPECT_EQ(fifos[1].getDescriptor().getSubKind(), FifoDescriptor::kPeerToPeerWriter);
  EXPECT_EQ(fifos[2].getDescriptor().getSubKind(), 255);
  EXPECT_TRUE(fifos[2].isValid());
}

TEST(DmaChannelList, PeerToPeerReaderNeedsItsWriteWindow) {
  const std::string extra =
      "<WriteWindowAddressTag>W</WriteWindowAddressTag><WriteWindowSize>0x100</WriteWindowSize>";
  const auto fifos = read(results(channel("p", 0, "P", "qvFpgaPeerToPeerReader", "<U8/>", extra),
                                  block("P", 16) + block("W", 4096)));
  EXPECT_EQ(fifos[0].getAddress(), 16u);
  EXPECT_EQ(fifos[0].getWriteWindowAddress(), 4096u);
  EXPECT_EQ(fifos[0].getWriteWindowSize(), 256u);
  EXPECT_EQ(fifos[0].getWriteWindowAddressTag(), "W");
  EXPECT_EQ(codeOf([&] {
              read(results(channel("p", 0, "P", "qvFpgaPeerToPeerReader", "<U8/>", extra),
                           block("P", 16)));
            }),
            -61070);
  // The size is required with the tag.
  EXPECT_EQ(codeOf([&] {
              read(results(channel("p", 0, "P", "qvFpgaPeerToPeerReader", "<U8/>",
                                   "<WriteWindowAddressTag>W</WriteWindowAddressTag>"),
                           block("P", 16) + block("W", 1)));
            }),
            -61070);
}

TEST(DmaChannelList, SharedTagResolvesOnlyTheFirstChannel) {
  EXPECT_EQ(
      codeOf([] { read(results(channel("a", 0, "T") + channel("b", 1, "T"), block("T", 8))); }),
      -61070);
  // A block naming no channel is ignored.
  EXPECT_EQ(read(results(channel("a", 0, "T"), block("X", 4) + block("T", 8)))[0].getAddress(), 8u);
}

TEST(DmaChannelList, ElementTypesOfChannels) {
  const std::string fxp24 =
      "<FXP><WordLength>24</WordLength><IntegerWordLength>4</IntegerWordLength><Signed>true</"
      "Signed></FXP>";
  const auto fifos =
      read(results(channel("f", 0, "f", "qvFpgaTargetToHost", fxp24) +
                       channel("s", 1, "s", "qvFpgaTargetToHost", "<SubType>I16</SubType>") +
                       channel("c", 2, "c", "qvFpgaTargetToHost", "<Cluster/>",
                               "<TransferSizeBytes>8</TransferSizeBytes>"),
                   block("f", 1) + block("s", 2) + block("c", 3)));
  EXPECT_EQ(fifos[0].getDescriptor().getType().getElementType(), ElementType::Fxp);
  EXPECT_EQ(fifos[0].getDescriptor().getType().getSize(), 4u);
  EXPECT_EQ(fifos[1].getDescriptor().getType().getElementType(), ElementType::I16);
  EXPECT_EQ(fifos[2].getDescriptor().getType().getElementType(), ElementType::Composite);
  EXPECT_EQ(fifos[2].getDescriptor().getType().getSize(), 8u);

  EXPECT_EQ(codeOf([] {
              read(results(channel("c", 0, "c", "qvFpgaTargetToHost", "<Cluster/>",
                                   "<TransferSizeBytes>12</TransferSizeBytes>"),
                           block("c", 1)));
            }),
            -63107);
  EXPECT_EQ(codeOf([] {
              read(results(channel("c", 0, "c", "qvFpgaTargetToHost", "<Cluster/>",
                                   "<TransferSizeBytes>0</TransferSizeBytes>"),
                           block("c", 1)));
            }),
            -61070);
  EXPECT_EQ(codeOf([] {
              read(results(channel("c", 0, "c", "qvFpgaTargetToHost", "<String/>"), block("c", 1)));
            }),
            -61070);
  EXPECT_EQ(
      codeOf([] { read(results(channel("c", 0, "c", "qvFpgaTargetToHost", ""), block("c", 1))); }),
      -61070);
}

TEST(DmaChannelList, RequiredPiecesOfAChannel) {
  const std::string good = channel("a", 0, "a");
  for (const char* piece :
       {" name=\"a\"", "<Number>0</Number>", "<NumberOfElements>1023</NumberOfElements>",
        "<BaseAddressTag>a</BaseAddressTag>", "<Implementation>qvFpgaTargetToHost</Implementation>",
        "<UserVisible>true</UserVisible>", "<DataType><U32/></DataType>"}) {
    std::string broken = good;
    broken.erase(broken.find(piece), std::strlen(piece));
    EXPECT_EQ(codeOf([&] { read(results(broken, block("a", 1))); }), -61070) << piece;
  }
  EXPECT_EQ(codeOf([] { read("<CompilationResults/>"); }), -61070);
  EXPECT_EQ(codeOf([] { read("<CompilationResults><QvFpga/></CompilationResults>"); }), -61070);
}

TEST(FifoRecord, SerializesToThirtySevenBytes) {
  qvkel::FifoInfo fifo(FifoDescriptor(FifoDescriptor::kTargetToHost, qvkel::TypeU32()), 2, 1023,
                       true);
  fifo.setAddress(0x40);
  qvhtl::ByteVector buffer;
  qverr::Status status;
  fifo.serialize(buffer, status);
  const std::vector<uint8_t> expected = {0x01, 0x00, 0x07, 0x20, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00,
                                         0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                         0x40, 0x00, 0x00, 0x00, 0xFF, 0x03, 0x00, 0x00, 0x01, 0xFF,
                                         0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(devkit_test::bytesOf(buffer.data(), buffer.size()), expected);
  EXPECT_EQ(buffer.size(), qvkel::FifoInfo::kSerializedSize);
}

TEST(FpgaSection, BaseAddressAndTargetSpecificData) {
  XmlSnippet plain(results("", ""));
  const qvkel::BitfileFpgaSection none(plain.root);
  EXPECT_FALSE(none.hasBaseAddressOnDevice());
  EXPECT_EQ(none.getXmlText(), "");
  EXPECT_EQ(none.getDram2DPBaseAddress(0x15000), 0xFFFFFFFFu);

  XmlSnippet hmb(results("", "", "<TargetSpecificData><HMB/></TargetSpecificData>",
                         "<BaseAddressOnDevice>0x10000</BaseAddressOnDevice>"));
  const qvkel::BitfileFpgaSection withHmb(hmb.root);
  EXPECT_TRUE(withHmb.hasBaseAddressOnDevice());
  EXPECT_EQ(withHmb.getBaseAddressOnDevice(), 0x10000u);
  EXPECT_EQ(withHmb.getDram2DPBaseAddress(0x15000), 0x15000u);
  EXPECT_NE(withHmb.getXmlText().find("<TargetSpecificData>"), std::string::npos);

  const qvkel::BitfileFpgaSection llb(results("", "",
                                              "<TargetSpecificData><LLB/><Dram2DPBaseAddress>0x20</"
                                              "Dram2DPBaseAddress></TargetSpecificData>"));
  EXPECT_EQ(llb.getDram2DPBaseAddress(0x15000), 0x20u);

  EXPECT_EQ(codeOf([] { qvkel::BitfileFpgaSection("   "); }), -61070);
  EXPECT_EQ(codeOf([] { qvkel::BitfileFpgaSection("<CompilationResults>"); }), -61070);
}

}  // namespace
