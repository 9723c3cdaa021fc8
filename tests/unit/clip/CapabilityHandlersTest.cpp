// The capability handlers and their conversions, fed words directly.

#include <gtest/gtest.h>

#include <boost/optional/optional_io.hpp>

#include <vector>

#include "clip/CapabilityConversions.h"
#include "clip/CapabilityHandlers.h"
#include "foundation/errors/Exception.h"

namespace {

using namespace ififo_rpc;
namespace attr = qvvandrel::oobx::attribute;
namespace cv = qvvandrel::ififo;

template <typename T>
std::vector<int64_t> toInts(const std::vector<T>& values) {
  return std::vector<int64_t>(values.begin(), values.end());
}

TEST(CapabilityConversions, ScalingAndEnumerationMaps) {
  EXPECT_EQ(*cv::castMicro(0), 0.0);
  EXPECT_EQ(*cv::castMicro(1500000), 1.5);
  EXPECT_EQ(*cv::castMicro(0xFFFFFFFF), 4294.967295);
  EXPECT_EQ(*cv::castKilo(0xFFFFFFFF), 4294967295000.0);
  EXPECT_EQ(*Cast<int>()(0xFFFFFFFF), -1);
  EXPECT_EQ(*Cast<bool>()(7), true);
  EXPECT_EQ(*Cast<double>()(0xFFFFFFFF), 4294967295.0);
  EXPECT_EQ(*Cast<cv::PllConfiguration::OutputDividerSource>()(0xFFFFFFFF),
            cv::PllConfiguration::kReferencePassThrough);

  // Reference-clock codes with and without the PXI flag.
  const int expectedWithFlag[] = {4, 1, 2, 3, 6};
  const int expectedWithout[] = {4, 1, 5, 3, 6};
  for (unsigned w = 0; w < 5; ++w) {
    EXPECT_EQ(*cv::castRefClkSrc(w, true), expectedWithFlag[w]);
    EXPECT_EQ(*cv::castRefClkSrc(w, false), expectedWithout[w]);
  }
  EXPECT_FALSE(cv::castRefClkSrc(5, true));

  // Each bounded map accepts 0 up to its last member and nothing above.
  struct Bound {
    bool (*accepts)(unsigned);
    unsigned last;
  };
  const Bound bounds[] = {
      {[](unsigned w) { return bool(cv::castCoupling(w)); }, 1},
      {[](unsigned w) { return bool(cv::castSampleClkSrc(w)); }, 1},
      {[](unsigned w) { return bool(cv::castDioConfiguration(w)); }, 1},
      {[](unsigned w) { return bool(cv::castQVA100_RXClockSource(w)); }, 1},
      {[](unsigned w) { return bool(cv::castInterleaving(w)); }, 2},
      {[](unsigned w) { return bool(cv::castDacDigitalUpconverterMode(w)); }, 3},
  };
  for (const Bound& b : bounds) {
    EXPECT_TRUE(b.accepts(0));
    EXPECT_TRUE(b.accepts(b.last));
    EXPECT_FALSE(b.accepts(b.last + 1));
    EXPECT_FALSE(b.accepts(0xFFFFFFFF));
  }
}

TEST(CapabilityHandlers, ValuesAndLists) {
  ListCapability<attr::Coupling> couplings(&cv::castCoupling);
  for (uint32_t w : {0u, 2u, 1u}) couplings.acceptValue(w);
  EXPECT_EQ(toInts(couplings.values), (std::vector<int64_t>{0, 1}));
  EXPECT_EQ(couplings.rawValues, (std::vector<uint32_t>{0, 1}));

  ListCapability<double> micro(&cv::castMicro), kilo(&cv::castKilo);
  micro.acceptValue(2500000);
  kilo.acceptValue(125);
  EXPECT_EQ(micro.values, std::vector<double>{2.5});
  EXPECT_EQ(kilo.values, std::vector<double>{125000.0});

  Capability<int> signedValue;
  signedValue.acceptValue(0xFFFFFFFF);
  EXPECT_EQ(*signedValue.value, -1);
  // A word the converter rejects empties a single value.
  Capability<attr::Coupling> single(&cv::castCoupling);
  single.acceptValue(1);
  single.acceptValue(2);
  EXPECT_FALSE(single.value);

  Capability<unsigned int> noConverter(nullptr);
  EXPECT_THROW(noConverter.acceptValue(1), std::bad_function_call);
}

struct TwoFields {
  std::vector<section::Resizable*> fields;
  section::Value<unsigned int> a;
  section::ListValue<double> b{&cv::castMicro};
  template <typename F>
  void forEachField(F&& f) {
    f(1, a);
    f(2, b);
  }
};

TEST(CapabilityHandlers, SectionsFillByIndexAndResizeByCount) {
  SectionManager<TwoFields> m;
  m.acceptValue(3);
  m.indexRef.acceptValue(1);
  m.section.a.acceptValue(7);
  m.section.b.acceptValue(1000000);
  m.section.b.acceptValue(2000000);
  EXPECT_FALSE(m.section.a.at(0));
  EXPECT_EQ(*m.section.a.at(1), 7u);
  EXPECT_EQ(m.section.b.at(1), (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(m.section.b.rawValues[1], (std::vector<uint32_t>{1000000, 2000000}));

  // Shrinking keeps what lies below the new count.
  m.indexRef.acceptValue(0);
  m.section.a.acceptValue(5);
  m.acceptValue(1);
  EXPECT_EQ(m.section.a.values.size(), 1u);
  EXPECT_EQ(*m.section.a.at(0), 5u);
  EXPECT_TRUE(m.section.b.at(1).empty());

  // A copy's fields follow the copy's own index.
  SectionManager<TwoFields> copy(m);
  copy.acceptValue(2);
  copy.indexRef.acceptValue(1);
  copy.section.a.acceptValue(9);
  EXPECT_EQ(*copy.section.a.at(1), 9u);
  EXPECT_EQ(m.section.a.values.size(), 1u);
  EXPECT_EQ(m.index, 0u);
}

TEST(CapabilityHandlers, FieldWordsWithoutASlotAreIgnored) {
  SectionManager<TwoFields> m;
  // Before any count, and with the index at or past the count.
  m.section.a.acceptValue(1);
  m.section.b.acceptValue(1);
  m.acceptValue(2);
  m.indexRef.acceptValue(2);
  m.section.a.acceptValue(1);
  m.section.b.acceptValue(1);
  m.indexRef.acceptValue(0xFFFFFFFF);
  m.section.a.acceptValue(1);
  EXPECT_EQ(m.section.a.values, (std::vector<boost::optional<unsigned>>(2)));
  EXPECT_TRUE(m.section.b.at(0).empty() && m.section.b.at(1).empty());
}

TEST(CapabilityHandlers, ACountAboveTheLimitIsRefused) {
  SectionManager<TwoFields> m;
  m.countLimit = 4;
  m.acceptValue(4);
  try {
    m.acceptValue(0xFFFFFFFF);
    FAIL() << "no exception";
  } catch (const qverr::Exception& e) {
    EXPECT_EQ(e.code(), -304307);
  }
  EXPECT_EQ(m.count, 4u);
  EXPECT_EQ(m.section.a.values.size(), 4u);
}

// A count sent again may shrink the section and grow it back only within the limit: a stream
// that alternates a large count with 0 would otherwise resize every field on each pair.
TEST(CapabilityHandlers, RepeatedCountsShareTheLimit) {
  SectionManager<TwoFields> m;
  m.countLimit = 4;
  m.acceptValue(3);
  m.acceptValue(3);  // the same count again grows nothing
  m.acceptValue(0);
  m.acceptValue(1);  // 4 grown in all
  try {
    m.acceptValue(2);
    FAIL() << "no exception";
  } catch (const qverr::Exception& e) {
    EXPECT_EQ(e.code(), -304307);
  }
  EXPECT_EQ(m.count, 1u);
  EXPECT_EQ(m.section.a.values.size(), 1u);
}

}  // namespace
