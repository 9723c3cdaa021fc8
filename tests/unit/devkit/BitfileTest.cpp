#include "devkit/Bitfile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "DevkitTestUtil.h"
#include "sim/fixtures/BitfileBuilder.h"

namespace {

using devkit_test::codeOf;
using qvkel::Bitfile;
using qvkel::ElementType;
using qvkel::FifoDescriptor;
using qvkel::RegisterDescriptor;
using qvsim::BitfileBuilder;
using qvsim::XmlElement;

Bitfile parse(const std::string& text, bool decode = true) {
  return Bitfile(text.c_str(), false, decode);
}

// The code raised by a bitfile whose tree `edit` changed.
template <typename Edit>
int32_t codeAfter(Edit&& edit, BitfileBuilder builder = BitfileBuilder()) {
  XmlElement tree = builder.tree();
  edit(tree);
  const std::string text = builder.render(tree);
  return codeOf([&] { parse(text); });
}

TEST(BitfileRead, TypicalDesignParsesToTheExpectedRecord) {
  BitfileBuilder builder = BitfileBuilder::typical();
  builder.byteOrderMark(true).targetClass("BRM-6812;BRM-6813").autoRun(true).bitstreamVersion(9);
  builder.bitstreamOfSize(1000, 7);
  qvsim::RegisterSpec entity("a&b<c>", 0x34, "U8");
  builder.addRegister(entity);
  const std::string text = builder.text();
  ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
  const Bitfile bitfile = parse(text);

  EXPECT_EQ(bitfile.getMajorVersion(), 4u);
  EXPECT_EQ(bitfile.getMinorVersion(), 0u);
  EXPECT_EQ(bitfile.getSignature(), BitfileBuilder::kDefaultSignature);
  EXPECT_EQ(bitfile.getTargetClass(), "BRM-6812;BRM-6813");
  EXPECT_TRUE(bitfile.getAutoRunWhenDownloaded());
  EXPECT_FALSE(bitfile.getAllowImplicitEnableRemoval());
  EXPECT_FALSE(bitfile.isResetNotSupported());
  EXPECT_FALSE(bitfile.isAbortNotSupported());
  EXPECT_FALSE(bitfile.getZynqBsEnablePatch());
  EXPECT_EQ(bitfile.getBaseAddress(), 0x8000u);
  EXPECT_EQ(bitfile.getWexSignatureOffset(), 0x0u);
  EXPECT_EQ(bitfile.getWexControlOffset(), 0x4u);
  EXPECT_EQ(bitfile.getDiagramResetOffset(), 0x7FFCu);
  EXPECT_EQ(bitfile.getInterruptEnableOffset(), 0x1FFE4u);
  EXPECT_EQ(bitfile.getInterruptStatusOffset(), 0x1FFF0u);
  EXPECT_EQ(bitfile.getBitstreamVersion(), 9u);
  EXPECT_EQ(bitfile.getBitstreamMD5(), "00112233445566778899aabbccddeeff");
  EXPECT_EQ(bitfile.getBitstream(), builder.bitstreamBytes());
  EXPECT_EQ(bitfile.getDram2DPBaseAddress(), 0x15000u);

  const auto& regs = bitfile.getRegisters();
  ASSERT_EQ(regs.size(), 6u);  // internal registers are not listed
  EXPECT_EQ(regs[0].getName(), "Count");
  EXPECT_EQ(regs[0].getIdentifier(), 0x80008018u);
  EXPECT_EQ(regs[0].getDescriptor(), RegisterDescriptor(0, qvkel::TypeU32()));
  EXPECT_EQ(regs[1].getDescriptor(), RegisterDescriptor(1, qvkel::TypeBool()));
  EXPECT_EQ(regs[1].getIdentifier(), 0x801Cu);
  EXPECT_EQ(regs[2].getDescriptor(), RegisterDescriptor(2, qvkel::TypeI16()));
  EXPECT_EQ(regs[3].getDescriptor(),
            RegisterDescriptor(1, qvkel::Type(ElementType::Fxp, 24, 4, true, 8)));
  EXPECT_EQ(regs[4].getDescriptor(),
            RegisterDescriptor(0, qvkel::Type(ElementType::Composite, 40, 5, false, 40)));
  EXPECT_EQ(regs[5].getName(), "a&b<c>");
  EXPECT_EQ(regs[5].getOffset(), 0x34u);
  EXPECT_EQ(regs[5].getBaseAddress(), 0x8000u);

  const auto& fifos = bitfile.getFifos();
  ASSERT_EQ(fifos.size(), 4u);
  EXPECT_EQ(fifos[0].getName(), "ToHost");
  EXPECT_EQ(fifos[0].getAddress(), 0x40u);
  EXPECT_EQ(fifos[1].getDescriptor(),
            FifoDescriptor(1, qvkel::Type(ElementType::Fxp, 24, 4, true, 8)));
  EXPECT_EQ(fifos[1].getDepth(), 4095u);
  EXPECT_EQ(fifos[2].getDescriptor(), FifoDescriptor(0, qvkel::Composite(16)));
  EXPECT_FALSE(fifos[2].isUserVisible());
  EXPECT_EQ(fifos[3].getDescriptor().getSubKind(), FifoDescriptor::kPeerToPeerReader);
  EXPECT_EQ(fifos[3].getWriteWindowAddress(), 0x2000u);
  EXPECT_EQ(fifos[3].getWriteWindowSize(), 0x1000u);

  EXPECT_EQ(bitfile.findRegister("a&b<c>"), &regs[5]);
  EXPECT_EQ(bitfile.findRegister("count"), nullptr);
  EXPECT_EQ(bitfile.findFifo("Peer"), &fifos[3]);
  EXPECT_TRUE(regs[0].matches("Count", nullptr));
  EXPECT_TRUE(regs[0].matches("Count", &regs[0].getDescriptor()));
  EXPECT_FALSE(regs[0].matches("Count", &regs[1].getDescriptor()));
}

TEST(BitfileRead, ByteOrderMarkChangesNothing) {
  BitfileBuilder builder = BitfileBuilder::typical();
  const Bitfile plain = parse(builder.text());
  const Bitfile marked = parse(builder.byteOrderMark(true).text());
  EXPECT_EQ(plain.getXmlWithoutBitstream(), marked.getXmlWithoutBitstream());
  EXPECT_EQ(plain.getXml(), marked.getXml());
  EXPECT_EQ(plain.getBitstream(), marked.getBitstream());
}

TEST(BitfileRead, PrintedTextsLeaveOutBitstreamAndIcon) {
  BitfileBuilder builder = BitfileBuilder::typical();
  const std::string encoded = qvsim::encodeBase64(builder.bitstreamBytes());
  const Bitfile bitfile = parse(builder.text());
  const std::string& document = bitfile.getXmlWithoutBitstream();
  EXPECT_EQ(document.find(encoded.substr(0, 20)), std::string::npos);
  EXPECT_EQ(document.find("iVBORw0KGgo"), std::string::npos);
  EXPECT_NE(document.find("<Bitstream/>"), std::string::npos);
  EXPECT_NE(document.find("<Image/>"), std::string::npos);
  EXPECT_NE(document.find("<TargetClass>BRM-6812</TargetClass>"), std::string::npos);
  EXPECT_EQ(bitfile.getXml().rfind("<CompilationResults>", 0), 0u);
  EXPECT_NE(bitfile.getXml().find("<BitfileVendor>Vandrel</BitfileVendor>"), std::string::npos);
  EXPECT_EQ(bitfile.getTargetSpecificText().rfind("<TargetSpecificData>", 0), 0u);
  // The printed section reads back to the same channels.
  EXPECT_EQ(qvkel::BitfileFpgaSection(bitfile.getXml()).getFifos().size(), 4u);
}

TEST(BitfileRead, FromFileAndUnreadableFile) {
  const auto path = std::filesystem::temp_directory_path() / "h-bit-bitfile-test.xml";
  BitfileBuilder builder = BitfileBuilder::typical();
  builder.writeTo(path.string());
  const Bitfile bitfile(path.c_str(), true, true);
  EXPECT_EQ(bitfile.getFifos().size(), 4u);
  EXPECT_EQ(bitfile.getBitstream(), builder.bitstreamBytes());
  std::filesystem::remove(path);
  EXPECT_EQ(codeOf([&] { Bitfile(path.c_str(), true, true); }), -63101);
}

TEST(BitfileRead, VersionsAndSignature) {
  EXPECT_EQ(codeOf([] { parse(BitfileBuilder().oldestCompatibleMajorVersion(7).text()); }), 0);
  EXPECT_EQ(codeOf([] { parse(BitfileBuilder().oldestCompatibleMajorVersion(8).text()); }), -63107);
  EXPECT_EQ(codeOf([] { parse(BitfileBuilder().oldestCompatibleMajorVersion({}).text()); }), 0);
  EXPECT_EQ(parse(BitfileBuilder().version("12.34").text()).getMinorVersion(), 34u);
  EXPECT_EQ(codeOf([] { parse(BitfileBuilder().version("4").text()); }), -61070);
  EXPECT_EQ(codeOf([] { parse(BitfileBuilder().version("x.1").text()); }), -61070);
  const std::string sig(32, 'a');
  EXPECT_EQ(codeOf([&] { parse(BitfileBuilder().signature(sig.substr(1)).text()); }), -61070);
  EXPECT_EQ(codeOf([&] { parse(BitfileBuilder().signature(sig + "a").text()); }), -61070);
  // An entity counts as the one character it stands for.
  EXPECT_EQ(parse(BitfileBuilder().signature(sig.substr(1) + "&amp;").text()).getSignature(),
            sig.substr(1) + "&");
}

TEST(BitfileRead, BaseAddressChoice) {
  EXPECT_EQ(parse(BitfileBuilder().targetClass("BRM-7811R").text()).getBaseAddress(), 0u);
  EXPECT_EQ(parse(BitfileBuilder().targetClass("BRM-7811r").text()).getBaseAddress(), 0x8000u);
  EXPECT_EQ(parse(BitfileBuilder().targetClass("BRM-7811R").baseAddressOnDevice(0x10000).text())
                .getBaseAddress(),
            0x10000u);
  BitfileBuilder builder;
  builder.baseAddressOnDevice(0x10000).addRegister(qvsim::RegisterSpec("R", 0x8));
  EXPECT_EQ(parse(builder.text()).getRegisters()[0].getIdentifier(), 0x10008u);
}

TEST(BitfileRead, InternalRegisterDefaults) {
  const Bitfile defaults = parse(BitfileBuilder().text());
  EXPECT_EQ(defaults.getInterruptEnableOffset(), 0x1FFE4u);
  EXPECT_EQ(defaults.getInterruptStatusOffset(), 0x1FFF0u);
  EXPECT_EQ(defaults.getDiagramResetOffset(), 0x7FFCu);
  EXPECT_TRUE(defaults.getRegisters().empty());
  EXPECT_EQ(defaults.getDram2DPBaseAddress(), 0xFFFFFFFFu);

  const Bitfile enable = parse(BitfileBuilder().internalRegister("InterruptEnable", 0x100).text());
  EXPECT_EQ(enable.getInterruptStatusOffset(), 0x10Cu);

  BitfileBuilder other;
  other.internalRegister("SomethingElse", 0x200);
  EXPECT_TRUE(parse(other.text()).getRegisters().empty());

  BitfileBuilder noControl;
  noControl.clearRegisters().internalRegister("WexSignature", 0);
  EXPECT_EQ(codeOf([&] { parse(noControl.text()); }), -61070);
  BitfileBuilder noSignature;
  noSignature.clearRegisters().internalRegister("WexControl", 4);
  EXPECT_EQ(codeOf([&] { parse(noSignature.text()); }), -61070);
}

TEST(BitfileRead, ProjectFlags) {
  const Bitfile flags = parse(BitfileBuilder()
                                  .allowImplicitEnableRemoval(true)
                                  .resetNotSupported(true)
                                  .abortNotSupported(true)
                                  .zynqBsEnablePatch(true)
                                  .text());
  EXPECT_TRUE(flags.getAllowImplicitEnableRemoval());
  EXPECT_TRUE(flags.isResetNotSupported());
  EXPECT_TRUE(flags.isAbortNotSupported());
  EXPECT_TRUE(flags.getZynqBsEnablePatch());
  // Presence is what counts for the two "not supported" flags.
  EXPECT_EQ(codeAfter([](XmlElement& t) { t.at("Project").add("ResetNotSupported", "false"); }), 0);
  BitfileBuilder builder;
  XmlElement tree = builder.tree();
  tree.at("Project").add("ResetNotSupported", "false");
  EXPECT_TRUE(parse(builder.render(tree)).isResetNotSupported());
  EXPECT_EQ(codeOf([] { parse(BitfileBuilder().allowImplicitEnableRemoval(false).text()); }), 0);
  EXPECT_EQ(codeAfter([](XmlElement& t) { t.at("Project/AutoRunWhenDownloaded").text = " true"; }),
            -61070);
}

TEST(BitfileRead, BitstreamDecoding) {
  EXPECT_EQ(parse(BitfileBuilder().bitstreamEncoding("BASE64").text()).getBitstream().size(), 64u);
  EXPECT_EQ(codeOf([] { parse(BitfileBuilder().bitstreamEncoding("hex").text()); }), -63107);
  EXPECT_EQ(parse(BitfileBuilder().bitstreamEncoding({}).text()).getBitstream().size(), 64u);
  EXPECT_TRUE(parse(BitfileBuilder().text(), false).getBitstream().empty());
  EXPECT_EQ(codeOf([] { parse(BitfileBuilder().bitstreamEncoding("hex").text(), false); }), 0);
  EXPECT_TRUE(parse(BitfileBuilder().bitstream({}).text()).getBitstream().empty());
  // Line breaks and other characters outside the alphabet are skipped.
  BitfileBuilder builder;
  XmlElement tree = builder.tree();
  tree.at("Bitstream").text = "\n  AAEC\r\n\tAwQF*  \n";
  EXPECT_EQ(parse(builder.render(tree)).getBitstream(), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5}));
  for (size_t size : {1u, 2u, 3u, 4u, 5u, 1000u}) {
    EXPECT_EQ(parse(BitfileBuilder().bitstreamOfSize(size, 3).text()).getBitstream().size(), size);
  }
}

TEST(BitfileRead, EachRequiredElementIsRequired) {
  const char* required[] = {
      "BitfileVersion",
      "SignatureRegister",
      "Project",
      "Project/TargetClass",
      "Project/AutoRunWhenDownloaded",
      "Project/CompilationResultsTree",
      "Project/CompilationResultsTree/CompilationResults",
      "Project/CompilationResultsTree/CompilationResults/QvFpga",
      "Project/CompilationResultsTree/CompilationResults/QvFpga/DmaChannelAllocationList",
      "Wex",
      "Wex/RegisterList",
      "Wex/RegisterList/Register/Name",
      "Wex/RegisterList/Register/Offset",
      "Wex/RegisterList/Register/Internal",
      "BitstreamVersion",
      "Bitstream",
      "Wex/Icon",
      "Wex/Icon/Image",
      "Wex/Icon/Mask",
      "Wex/Icon/Colors",
  };
  for (const char* path : required) {
    EXPECT_EQ(codeAfter([&](XmlElement& t) { ASSERT_TRUE(t.remove(path)) << path; }), -61070)
        << path;
  }
  // Without decoding the bitstream element is still required.
  BitfileBuilder builder;
  XmlElement tree = builder.tree();
  tree.remove("Bitstream");
  EXPECT_EQ(codeOf([&] { parse(builder.render(tree), false); }), -61070);

  BitfileBuilder user;
  user.addRegister(qvsim::RegisterSpec("R", 8));
  for (const char* child : {"Indicator", "AccessMayTimeout", "Datatype"}) {
    EXPECT_EQ(codeAfter(
                  [&](XmlElement& t) {
                    ASSERT_TRUE(t.at("Wex/RegisterList").children.back().remove(child));
                  },
                  user),
              -61070)
        << child;
  }
}

TEST(BitfileRead, OptionalElementsMayBeMissing) {
  for (const char* path :
       {"OldestCompatibleMajorBitfileVersion", "BitstreamMD5", "BitstreamEncoding",
        "Project/CompilationResultsTree/CompilationResults/QvFpga/RegisterBlockList"}) {
    EXPECT_EQ(codeAfter([&](XmlElement& t) { ASSERT_TRUE(t.remove(path)); }), 0) << path;
  }
  EXPECT_EQ(codeAfter([](XmlElement& t) {
              t.add("Unknown", "x");
              t.at("Project").add("Extra").add("Deeper", "1");
              t.at("Wex/RegisterList/Register").add("Comment", "ignored");
            }),
            0);
}

TEST(BitfileRead, MalformedDocuments) {
  EXPECT_EQ(codeOf([] { parse(""); }), -61070);
  EXPECT_EQ(codeOf([] { parse("\xEF\xBB\xBF"); }), -61070);
  EXPECT_EQ(codeOf([] { parse("<Bitfile>"); }), -61070);
  const std::string text = BitfileBuilder().text();
  EXPECT_EQ(codeOf([&] { parse(text.substr(0, text.size() / 2)); }), -61070);
  EXPECT_EQ(codeAfter([](XmlElement& t) { t.at("BitstreamVersion").text = "many"; }), -61070);
  EXPECT_EQ(codeAfter([](XmlElement& t) { t.at("Wex/RegisterList/Register/Offset").text = ""; }),
            -61070);
  EXPECT_EQ(codeAfter([](XmlElement& t) { t.at("BitfileVersion").text = "<"; }), -61070);
}

TEST(BitfileRead, DmaChannelErrorsPassThrough) {
  BitfileBuilder gap;
  gap.addChannel(qvsim::DmaChannelSpec("A", 0, "U32", 0x40));
  gap.addChannel(qvsim::DmaChannelSpec("B", 2, "U32", 0x80));
  EXPECT_EQ(codeOf([&] { parse(gap.text()); }), -61070);
  BitfileBuilder odd;
  qvsim::DmaChannelSpec cluster("C", 0, "Cluster", 0x40);
  cluster.transferSizeBytes = 12;
  odd.addChannel(cluster);
  EXPECT_EQ(codeOf([&] { parse(odd.text()); }), -63107);
  BitfileBuilder unresolved;
  qvsim::DmaChannelSpec noBlock("D", 0, "U8", 0);
  noBlock.address.reset();
  unresolved.addChannel(noBlock);
  EXPECT_EQ(codeOf([&] { parse(unresolved.text()); }), -61070);
}

TEST(BitfileRead, FindNeedsExactlyOneRecordOfTheName) {
  BitfileBuilder builder = BitfileBuilder::typical();
  builder.addRegister(qvsim::RegisterSpec("Twice", 0x50))
      .addRegister(qvsim::RegisterSpec("Twice", 0x54));
  const Bitfile bitfile = parse(builder.text());
  EXPECT_EQ(bitfile.findRegister("Twice"), nullptr);
  EXPECT_EQ(bitfile.findRegister("Status")->getOffset(), 0x30u);
  EXPECT_EQ(bitfile.findFifo("Missing"), nullptr);
  EXPECT_EQ(bitfile.findFifo("Frames")->getNumber(), 2u);
}

TEST(BitfileRead, TextConstructorLeavesTheCallersTextAlone) {
  const std::string text = BitfileBuilder::typical().text();
  const std::string copy = text;
  const Bitfile bitfile(text.c_str(), false, true);
  EXPECT_EQ(text, copy);
}

}  // namespace
