#include "devkit/BitfileAttributes.h"

#include <gtest/gtest.h>

#include "DevkitTestUtil.h"
#include "devkit/Bitfile.h"
#include "devkit/BitfileElement.h"
#include "sim/fixtures/BitfileBuilder.h"

namespace {

using devkit_test::codeOf;
using qvsim::BitfileBuilder;
using qvvandrelbrenmooru::BitfileAttributes;

qvkel::Bitfile parse(const BitfileBuilder& builder) {
  return qvkel::Bitfile(builder.text().c_str(), false, false);
}

TEST(BitfileAttributes, ReadTheTargetSpecificTexts) {
  BitfileBuilder builder;
  qvsim::TargetSpecificSpec specific;
  specific.bitfileVersion = "3.2";
  specific.vendor = "A & B <C>";
  specific.identity = "design \"x\"";
  builder.targetSpecific(specific);
  const qvkel::Bitfile bitfile = parse(builder);
  BitfileAttributes attributes(bitfile);
  EXPECT_EQ(attributes.bitfileVersion().getId(), 0x3000000Du);
  EXPECT_EQ(attributes.bitfileVendor().getId(), 0x3000000Eu);
  EXPECT_EQ(attributes.bitfileIdentity().getId(), 0x3000000Fu);
  EXPECT_EQ(attributes.bitfileVersion().get(), "3.2");
  // Entities are decoded once, although the text went through two printed sections.
  EXPECT_EQ(attributes.bitfileVendor().get(), "A & B <C>");
  EXPECT_EQ(attributes.bitfileIdentity().get(), "design \"x\"");
}

TEST(BitfileAttributes, WithoutTargetSpecificDataAllAreEmpty) {
  const qvkel::Bitfile bitfile = parse(BitfileBuilder());
  BitfileAttributes attributes(bitfile);
  EXPECT_EQ(attributes.bitfileVersion().get(), "");
  EXPECT_EQ(attributes.bitfileVendor().get(), "");
  EXPECT_EQ(attributes.bitfileIdentity().get(), "");
}

TEST(BitfileAttributes, MissingChildFailsForThatAttributeOnly) {
  BitfileBuilder builder;
  qvsim::TargetSpecificSpec specific;
  specific.bitfileVersion = "1";
  specific.identity = "id";
  builder.targetSpecific(specific);
  const qvkel::Bitfile bitfile = parse(builder);
  BitfileAttributes attributes(bitfile);
  EXPECT_EQ(codeOf([&] { attributes.bitfileVendor().get(); }), -61070);
  EXPECT_EQ(attributes.bitfileVersion().get(), "1");
  EXPECT_EQ(attributes.bitfileIdentity().get(), "id");
  EXPECT_EQ(codeOf([&] { qvkel::readBitfileElement(bitfile, "BitfileVendor"); }), -61070);
}

TEST(BitfileAttributes, WritingIsRefused) {
  const qvkel::Bitfile bitfile = parse(BitfileBuilder::typical());
  BitfileAttributes attributes(bitfile);
  EXPECT_EQ(codeOf([&] { attributes.bitfileVendor().set("other"); }), -304414);
  EXPECT_EQ(attributes.bitfileVendor().get(), "Vandrel");
}

}  // namespace
