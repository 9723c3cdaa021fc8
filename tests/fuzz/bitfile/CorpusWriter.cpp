// Writes the seed corpus of the bitfile fuzz target: generated bitfiles and broken variants.
// Usage: bitfile_corpus_writer <directory>

#include <cstdio>
#include <functional>
#include <string>

#include "sim/fixtures/BitfileBuilder.h"

using qvsim::BitfileBuilder;
using qvsim::XmlElement;

namespace {

std::string directory;

void write(const std::string& name, const std::string& content) {
  BitfileBuilder::writeFile(directory + "/" + name, content);
}

void writeEdited(const std::string& name, const BitfileBuilder& builder,
                 const std::function<void(XmlElement&)>& edit) {
  XmlElement tree = builder.tree();
  edit(tree);
  write(name, builder.render(tree));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
    return 2;
  }
  directory = argv[1];
  const BitfileBuilder typical = BitfileBuilder::typical();
  write("minimal.xml", BitfileBuilder().text());
  write("typical.xml", typical.text());
  write("typical-bom.xml", BitfileBuilder(typical).byteOrderMark(true).declaration(false).text());
  write("flags.xml", BitfileBuilder()
                         .allowImplicitEnableRemoval(true)
                         .resetNotSupported(true)
                         .abortNotSupported(true)
                         .zynqBsEnablePatch(true)
                         .baseAddressOnDevice(0x10000)
                         .targetClass("BRM-7811R")
                         .text());
  BitfileBuilder entities = typical;
  entities.addRegister(qvsim::RegisterSpec("a&b<c>\"'", 0x40, "EnumU16"));
  write("entities.xml", entities.text());

  qvsim::TargetSpecificSpec hmb;
  hmb.hmb = true;
  hmb.dynamicBlocks = {qvsim::MemoryBlockSpec{"A", 0x20000, 128},
                       qvsim::MemoryBlockSpec{"B", 0x20000, 128},
                       qvsim::MemoryBlockSpec{"C", 0x20000, 128}};
  write("hmb-overflow.xml", BitfileBuilder().targetSpecific(hmb).text());
  hmb.dynamicBlocks = {qvsim::MemoryBlockSpec{"Wrap", 0x20000000, 64}};
  write("hmb-wrap.xml", BitfileBuilder().targetSpecific(hmb).text());

  writeEdited("no-signature.xml", typical, [](XmlElement& t) { t.remove("SignatureRegister"); });
  writeEdited("bad-version.xml", typical, [](XmlElement& t) { t.at("BitfileVersion").text = "4"; });
  writeEdited("too-new.xml", typical,
              [](XmlElement& t) { t.at("OldestCompatibleMajorBitfileVersion").text = "8"; });
  writeEdited("channel-gap.xml", typical, [](XmlElement& t) {
    t.at("Project/CompilationResultsTree/CompilationResults/QvFpga/DmaChannelAllocationList/"
         "Channel/Number")
        .text = "7";
  });
  writeEdited("empty-bitstream.xml", typical, [](XmlElement& t) { t.at("Bitstream").text = ""; });
  writeEdited("bitstream-entities.xml", typical,
              [](XmlElement& t) { t.at("Bitstream").text = "QUJD&amp;RE&#10;VG\nRk&lt;=="; });
  writeEdited("bad-encoding.xml", typical,
              [](XmlElement& t) { t.at("BitstreamEncoding").text = "hex"; });
  const std::string text = typical.text();
  write("truncated.xml", text.substr(0, text.size() / 3));
  std::string deep;
  for (int i = 0; i < 300; ++i) deep += "<a>";
  write("deep.xml", deep);
  // A valid bitfile nested one level short of the reader's depth limit inside the printed
  // section, and one whose bitstream is most of a 64 kB input.
  std::string nested;
  for (int i = 0; i < 251; ++i) nested += "<n>";
  for (int i = 0; i < 251; ++i) nested += "</n>";
  std::string deepValid = text;
  deepValid.insert(deepValid.find("</CompilationResults>"), nested);
  write("deep-valid.xml", deepValid);
  write("long-bitstream.xml", BitfileBuilder(typical).bitstreamOfSize(40000).text());
  return 0;
}
