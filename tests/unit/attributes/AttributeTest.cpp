#include "attributes/Attribute.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "attributes/Ranges.h"

namespace {

using attrtest::catchError;
using attrtest::kSectionEnd;
using attrtest::locationPrefix;

// Records the hooks it sees; can be told to throw from one of them.
template <typename T>
class RecordingSetter : public atat::Setter<T> {
 public:
  void beforeSet(iattr::AttributeInterface<T>&) override { hook("beforeSet"); }
  void beforeReset(iattr::AttributeInterface<T>&) override { hook("beforeReset"); }
  void afterSet(iattr::AttributeInterface<T>&) override { hook("afterSet"); }
  void afterReset(iattr::AttributeInterface<T>&) override { hook("afterReset"); }

  std::vector<std::string> calls;
  std::string throwFrom;

 private:
  void hook(const std::string& name) {
    calls.push_back(name);
    if (name == throwFrom) throw std::runtime_error("hook failed");
  }
};

// Counts coercions and passes values through.
class CountingRange : public atat::Range<int> {
 public:
  int coerce(const int& value) override {
    ++count;
    return value;
  }
  bool equal(const int& a, const int& b) override { return a == b; }
  int count = 0;
};

constexpr std::uint32_t kId = 0x1000000E;  // "AI Nyquist Zone"

TEST(Attribute, ConstructionCopiesTheInitialValue) {
  const int initial = 4;
  atat::Attribute<int> attribute(kId, nullptr, true, &initial, nullptr, nullptr, nullptr);
  EXPECT_EQ(attribute.getId(), kId);
  EXPECT_STREQ(attribute.getChannelName(), "");
  EXPECT_TRUE(attribute.isDirty());
  EXPECT_EQ(attribute.getAuthorship(), 0u);
  EXPECT_FALSE(attribute.wasSetByUser());
  EXPECT_FALSE(attribute.wasSetInternally());
  EXPECT_EQ(attribute.getDefault(), 4);
  EXPECT_EQ(attribute.getDesired(), 4);
  EXPECT_EQ(attribute.getCoerced(), 4);
  // Missing policies are the shared null policies of the value type.
  EXPECT_EQ(attribute.range(), &atat::nullRange<int>());
  EXPECT_EQ(attribute.getter(), &atat::nullGetter<int>());
  EXPECT_EQ(attribute.setter(), &atat::nullSetter<int>());
}

TEST(Attribute, SetCoercesAndMarksDirty) {
  const int initial = 10;
  atat::DiscreteRange<int> range(-1, atat::coarseCoercionTypeUp, {10, 20, 30});
  atat::Attribute<int> attribute(kId, "AI0", false, &initial, &range, nullptr, nullptr);
  attribute.set(11);
  EXPECT_EQ(attribute.getDesired(), 11);
  EXPECT_EQ(attribute.getCoerced(), 20);
  EXPECT_EQ(attribute.get(), 20);
  EXPECT_EQ(attribute.getPublic(), 11);
  EXPECT_TRUE(attribute.wasSetByUser());
  EXPECT_TRUE(attribute.isDirty());
  EXPECT_EQ(attribute.getDefault(), 10);
}

TEST(Attribute, UnchangedSetSkipsCoercionButRunsHooks) {
  const int initial = 0;
  CountingRange range;
  RecordingSetter<int> setter;
  atat::Attribute<int> attribute(kId, "", false, &initial, &range, nullptr, &setter);
  attribute.set(5);
  ASSERT_EQ(range.count, 1);
  attribute.setDirty(false);
  attribute.set(5);
  EXPECT_EQ(range.count, 1);
  EXPECT_FALSE(attribute.isDirty());
  EXPECT_EQ(setter.calls,
            (std::vector<std::string>{"beforeSet", "afterSet", "beforeSet", "afterSet"}));
}

TEST(Attribute, AuthorshipChangeAloneRecoerces) {
  const int initial = 0;
  CountingRange range;
  RecordingSetter<int> setter;
  atat::Attribute<int> attribute(kId, "", false, &initial, &range, nullptr, &setter);
  attribute.set(5);
  attribute.setDirty(false);
  attribute.setDesired(5);
  EXPECT_EQ(range.count, 2);
  EXPECT_TRUE(attribute.isDirty());
  EXPECT_TRUE(attribute.wasSetInternally());
  EXPECT_EQ(attribute.getAuthorship(), 2u);
  // setDesired runs no hooks.
  EXPECT_EQ(setter.calls, (std::vector<std::string>{"beforeSet", "afterSet"}));
}

TEST(Attribute, ResetAtDefaultChangesNothingButRunsResetHooks) {
  const int initial = 3;
  CountingRange range;
  RecordingSetter<int> setter;
  atat::Attribute<int> attribute(kId, "", false, &initial, &range, nullptr, &setter);
  attribute.reset();
  EXPECT_EQ(range.count, 0);
  EXPECT_FALSE(attribute.isDirty());
  EXPECT_EQ(setter.calls, (std::vector<std::string>{"beforeReset", "afterReset"}));
  attribute.set(8);
  attribute.reset();
  EXPECT_EQ(attribute.getDesired(), 3);
  EXPECT_EQ(attribute.getAuthorship(), 0u);
}

TEST(Attribute, NaNIsAlwaysANewValue) {
  const double initial = 1.0;
  atat::Attribute<double> attribute(0x20000010, "AI0", false, &initial, nullptr, nullptr, nullptr);
  // The shared null range rejects NaN; the attribute keeps its value and turns dirty.
  const auto thrown = catchError([&] { attribute.set(std::nan("")); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, -1074097882);
  EXPECT_EQ(attribute.getDesired(), 1.0);
  EXPECT_TRUE(attribute.isDirty());
  // Twice: NaN differs from NaN, so the second request is coerced (and rejected) again.
  attribute.setDirty(false);
  EXPECT_TRUE(catchError([&] { attribute.set(std::nan("")); }).thrown);
  EXPECT_TRUE(attribute.isDirty());
}

// The scenario the attribute model exists for: an integer attribute with a nearest
// discrete range and an after-set hook that fails.
class NearestAttribute : public ::testing::Test {
 protected:
  NearestAttribute()
      : range_(-304400, atat::coarseCoercionTypeNearest, {10, 20}),
        attribute_(kId, "AI0", false, &initial_, &range_, nullptr, &setter_) {}

  const int initial_ = 10;
  atat::DiscreteRange<int> range_;
  RecordingSetter<int> setter_;
  atat::Attribute<int> attribute_;
};

TEST_F(NearestAttribute, FailingAfterSetRollsBackAndLeavesDirty) {
  attribute_.setDesired(20);  // authorship 2, coerced 20
  attribute_.setDirty(false);
  setter_.throwFrom = "afterSet";
  EXPECT_THROW(attribute_.set(14), std::runtime_error);
  EXPECT_EQ(attribute_.getDesired(), 20);
  EXPECT_EQ(attribute_.getCoerced(), 20);
  EXPECT_EQ(attribute_.getAuthorship(), 2u);
  EXPECT_TRUE(attribute_.isDirty());
  setter_.throwFrom.clear();
  attribute_.set(14);
  EXPECT_EQ(attribute_.getCoerced(), 10);
  EXPECT_EQ(attribute_.getAuthorship(), 1u);
}

TEST_F(NearestAttribute, FailingBeforeSetTouchesNothing) {
  attribute_.setDirty(false);
  setter_.throwFrom = "beforeSet";
  EXPECT_THROW(attribute_.set(20), std::runtime_error);
  EXPECT_EQ(attribute_.getDesired(), 10);
  EXPECT_FALSE(attribute_.isDirty());
}

TEST_F(NearestAttribute, RangeRejectionNamesTheAttribute) {
  attribute_.set(15);
  ASSERT_EQ(attribute_.getCoerced(), 20);
  attribute_.setDirty(false);
  setter_.throwFrom = "afterSet";  // never reached: the range rejects first
  const auto thrown = catchError([&] { attribute_.set(25); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, -304400);
  EXPECT_EQ(
      thrown.detail,
      R"({"error_constant":"errorCode","file":"atat/ranges/DiscreteRange","line":217,)"
      R"("component":"qvvandrelbrenmooru","translator":"dovrane_qvvandrelapi",)"
      R"("translator_info":{"is_debug":"0","version":1,"ordered_data":[)"
      R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":25,"value_type":"int32_t"},)"
      R"({"type":"usage","usage":"kUsageTypeMinValue","value":10,"value_type":"int32_t"},)"
      R"({"type":"usage","usage":"kUsageTypeMaxValue","value":20,"value_type":"int32_t"},)"
      "{\"type\":\"comment\",\"comment\":\"coercionType=coarseCoercionTypeNearest(3)\"},"
      R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":268435470,"value_type":"uint32_t"},)"
      R"({"type":"usage","usage":"kUsageTypeChannelName","value":"AI0","value_type":"string"}]}})");
  EXPECT_EQ(attribute_.getDesired(), 15);
  EXPECT_EQ(attribute_.getCoerced(), 20);
  EXPECT_EQ(attribute_.getAuthorship(), 1u);
  EXPECT_TRUE(attribute_.isDirty());
  EXPECT_EQ(setter_.calls.back(), "beforeSet");
}

TEST(Attribute, NotSettableRejectsSetButAllowsReset) {
  const int initial = 1;
  atat::NotSettable<int> notSettable(-304414);
  atat::Attribute<int> attribute(0x1000001B, "", false, &initial, nullptr, nullptr, &notSettable);
  const auto thrown = catchError([&] { attribute.set(2); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, -304414);
  EXPECT_EQ(
      thrown.detail,
      locationPrefix("atat/attributes/NotSettable", 62) +
          R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":268435483,"value_type":"uint32_t"})" +
          kSectionEnd);
  EXPECT_EQ(attribute.getDesired(), 1);
  EXPECT_FALSE(attribute.isDirty());
  attribute.setDesired(5);  // internal writes bypass the setter
  attribute.reset();
  EXPECT_EQ(attribute.getDesired(), 1);
}

TEST(Attribute, NotSettableAfterSetAndZeroCode) {
  atat::NotSettable<int> zero(0);
  const int initial = 1;
  atat::Attribute<int> attribute(kId, "AI3", false, &initial, nullptr, nullptr, &zero);
  const auto thrown = catchError([&] { attribute.set(2); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, 0);
  EXPECT_EQ(thrown.detail, "");
  // afterSet reports its own line and the channel.
  atat::NotSettable<int> code(-304414);
  const auto after = catchError([&] { code.afterSet(attribute); });
  EXPECT_EQ(
      after.detail,
      locationPrefix("atat/attributes/NotSettable", 70) +
          R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":268435470,"value_type":"uint32_t"},)"
          R"({"type":"usage","usage":"kUsageTypeChannelName","value":"AI3","value_type":"string"})" +
          kSectionEnd);
}

TEST(Attribute, NotGettableRejectsGet) {
  atat::NotGettable<double> notGettable(-304413);
  const double initial = 0;
  atat::Attribute<double> attribute(0x20000005, "", false, &initial, nullptr, &notGettable,
                                    nullptr);
  const auto thrown = catchError([&] { attribute.get(); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, -304413);
  const std::string identifier =
      R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":536870917,"value_type":"uint32_t"})";
  EXPECT_EQ(thrown.detail,
            locationPrefix("atat/attributes/NotGettable", 59) + identifier + kSectionEnd);
  const auto refresh = catchError([&] { notGettable.refresh(attribute); });
  EXPECT_EQ(refresh.detail,
            locationPrefix("atat/attributes/NotGettable", 67) + identifier + kSectionEnd);
  EXPECT_EQ(attribute.getDesired(), 0.0);
}

TEST(Attribute, FunctorGetterStoresTheFreshValue) {
  int source = 7;
  atat::FunctorGetter<int> getter([&] { return source; });
  const int initial = 0;
  atat::Attribute<int> attribute(kId, "", false, &initial, nullptr, &getter, nullptr);
  EXPECT_EQ(attribute.get(), 7);
  EXPECT_EQ(attribute.getCoerced(), 7);
  source = 9;
  EXPECT_EQ(attribute.get(), 9);
  EXPECT_EQ(attribute.getDesired(), 0);
}

TEST(Attribute, FunctorPoliciesNameTheAttributeInErrors) {
  atat::FunctorGetter<int> getter([]() -> int { qverr::raise(-50, {"x/Y", 1}); });
  const int initial = 0;
  atat::Attribute<int> attribute(kId, "DIO3", false, &initial, nullptr, &getter, nullptr);
  const auto thrown = catchError([&] { attribute.get(); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, -50);
  EXPECT_NE(
      thrown.detail.find(
          R"({"type":"usage","usage":"kUsageTypeChannelName","value":"DIO3","value_type":"string"}]}})"),
      std::string::npos);

  std::vector<bool> seen;
  atat::FunctorSetter<bool> setter([&](const bool& value) { seen.push_back(value); });
  const bool off = false;
  atat::Attribute<bool> flag(0x40000000, "AI0", false, &off, nullptr, nullptr, &setter);
  flag.set(true);
  flag.reset();
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));

  atat::FunctorGetter<int> empty{std::function<int()>()};
  atat::Attribute<int> broken(kId, "", false, &initial, nullptr, &empty, nullptr);
  EXPECT_THROW(broken.get(), std::bad_function_call);
}

TEST(Attribute, StringAttributes) {
  atat::Attribute<std::string> name(0x30000002, "Stream0", false, std::string("fifo"));
  EXPECT_EQ(name.range(), &atat::nullRange<std::string>());
  name.set("other");
  EXPECT_EQ(name.get(), "other");
  atat::StringRange<> channels(-1, {"AI0", "AI1"});
  const std::string initial = "AI0";
  atat::Attribute<std::string> channel(0x30000000, "", false, &initial, &channels, nullptr,
                                       nullptr);
  channel.set("ai1");
  EXPECT_EQ(channel.getDesired(), "ai1");
  EXPECT_EQ(channel.getCoerced(), "AI1");
}

enum class Edge : int { kRising = 0, kFalling = 1 };

TEST(Attribute, PublicViewsForward) {
  const int initial = 0;
  atat::Attribute<int> attribute(kId, "", false, &initial, nullptr, nullptr, nullptr);
  iattr::PublicAPIAttributeInterface<int>& view = attribute;
  view.setValue(3);
  EXPECT_EQ(attribute.getDesired(), 3);
  EXPECT_EQ(attribute.getAuthorship(), 1u);
  EXPECT_EQ(view.getValue(), 3);
  EXPECT_EQ(view.getRequestedValue(), 3);

  // Enumerations show an int view.
  const Edge rising = Edge::kRising;
  atat::EnumRange<Edge> edges(0x10000016, -2, {Edge::kRising, Edge::kFalling});
  atat::Attribute<Edge> edge(0x10000016, "", false, &rising, &edges, nullptr, nullptr);
  iattr::AttributeBaseInterface& base = edge;
  auto* publicEdge = dynamic_cast<iattr::PublicAPIAttributeInterface<int>*>(&base);
  ASSERT_NE(publicEdge, nullptr);
  publicEdge->setValue(1);
  EXPECT_EQ(edge.getCoerced(), Edge::kFalling);
  const auto thrown = catchError([&] { publicEdge->setValue(7); });
  EXPECT_NE(thrown.detail.find(R"("comment":"Start Trigger Sensitivity")"), std::string::npos);

  // Every interface reaches the same object.
  iattr::DirtyableInterface& dirtyable = attribute;
  dirtyable.setDirty(false);
  EXPECT_FALSE(attribute.isDirty());
  iattr::DesiredWriterAccessibleInterface<int>& writer = attribute;
  writer.setDesired(8);
  EXPECT_TRUE(writer.wasSetInternally());
  EXPECT_EQ(&attribute.getBaseInterface(),
            static_cast<iattr::AttributeInterface<int>*>(&attribute));
}

TEST(Attribute, FailingFunctorSetterIsNamedAndRolledBack) {
  atat::FunctorSetter<int> setter([](const int& value) {
    if (value > 5) qverr::raise(-304408, {"x/Hook", 3});
  });
  const int initial = 1;
  atat::Attribute<int> attribute(kId, "AI2", false, &initial, nullptr, nullptr, &setter);
  attribute.set(4);
  attribute.setDirty(false);
  const auto thrown = catchError([&] { attribute.set(9); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_EQ(attribute.getDesired(), 4);
  EXPECT_EQ(attribute.getCoerced(), 4);
  EXPECT_EQ(attribute.getAuthorship(), 1u);
  EXPECT_TRUE(attribute.isDirty());
  // The hook's error gains the attribute's identifier and channel, once.
  const std::string items =
      R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":268435470,"value_type":"uint32_t"},)"
      R"({"type":"usage","usage":"kUsageTypeChannelName","value":"AI2","value_type":"string"}]}})";
  ASSERT_GE(thrown.detail.size(), items.size());
  EXPECT_EQ(thrown.detail.substr(thrown.detail.size() - items.size()), items);
  EXPECT_EQ(thrown.detail.find("kUsageTypeAttributeIdentifier"),
            thrown.detail.rfind("kUsageTypeAttributeIdentifier"));
}

// A subclass that tracks dirty marking, as dependency attributes do.
class TrackingAttribute : public atat::Attribute<int> {
 public:
  using atat::Attribute<int>::Attribute;
  void setDirty(bool dirty) override {
    marks.push_back(dirty);
    atat::Attribute<int>::setDirty(dirty);
  }
  std::vector<bool> marks;
};

TEST(Attribute, WriteCoreMarksDirtyThroughTheOverride) {
  const int initial = 0;
  atat::DiscreteRange<int> range(-1, atat::coarseCoercionTypeNone, {0, 1});
  TrackingAttribute attribute(kId, "", false, &initial, &range, nullptr, nullptr);
  attribute.set(1);
  EXPECT_THROW(attribute.set(2), qverr::Exception);
  iattr::DirtyableInterface& view = attribute;
  view.setDirty(false);
  EXPECT_EQ(attribute.marks, (std::vector<bool>{true, true, false}));
}

}  // namespace
