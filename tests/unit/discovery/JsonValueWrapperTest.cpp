#include <cmath>
#include <new>

#include "DiscoveryTestSupport.h"
#include "discovery/JsonValueWrapper.h"
#include "tests/unit/foundation/system/DetailReader.h"

namespace {

using disctest::catchError;
namespace lh = qvjsonlh;

TEST(JsonValueWrapper, FailuresCarryTheirCodeAndConstant) {
  const lh::JsonPtr array = lh::parse("[1]");
  const lh::JsonPtr object = lh::parse(R"({"n": 1, "s": "x"})");
  struct Case {
    std::function<void()> call;
    int code;
    const char* constant;
  } cases[] = {
      {[] { lh::parse(""); }, -52005, "jsonErrorsInvalidJSON"},
      {[] { lh::parse("{\"a\":}"); }, -52005, "jsonErrorsInvalidJSON"},
      // An array is not an object, which comes before any member look-up.
      {[&] { lh::getObjectItem(array.get(), "a"); }, -52004, "jsonErrorsNotAnObject"},
      {[&] { lh::getObjectItem(object.get(), "missing"); }, -52006, "jsonErrorsObjectItemNotFound"},
      {[&] { lh::requireArray(object.get()); }, -52004, "jsonErrorsNotAnArray"},
      {[&] { lh::getString(lh::getObjectItem(object.get(), "n")); }, -52004,
       "jsonErrorsTypeMismatch"},
      {[&] { lh::getBool(lh::getObjectItem(object.get(), "s")); }, -52004,
       "jsonErrorsTypeMismatch"},
      {[&] { lh::requireNumber(lh::getObjectItem(object.get(), "s")); }, -52004,
       "jsonErrorsTypeMismatch"},
  };
  for (const Case& c : cases) {
    const auto thrown = catchError(c.call);
    ASSERT_TRUE(thrown.thrown) << c.constant;
    EXPECT_EQ(thrown.code, c.code);
    EXPECT_EQ(qvtest::detailString(thrown.detail.c_str(), {"error_constant"}), c.constant);
    EXPECT_EQ(qvtest::detailString(thrown.detail.c_str(), {"component"}), "qvvandrelbrenmooru");
  }
}

TEST(JsonValueWrapper, TypedAccessAndCaseInsensitiveLookup) {
  const lh::JsonPtr object = lh::parse(R"({"Alias": "bench", "t": true, "f": false})");
  EXPECT_EQ(lh::getString(lh::getObjectItem(object.get(), "alias")), "bench");
  EXPECT_TRUE(lh::getBool(lh::getObjectItem(object.get(), "T")));
  EXPECT_FALSE(lh::getBool(lh::getObjectItem(object.get(), "f")));
  EXPECT_TRUE(lh::isObject(object.get()));
  EXPECT_FALSE(lh::isArray(object.get()));
  EXPECT_FALSE(lh::isNumber(nullptr));
}

TEST(JsonValueWrapper, NumbersKeepTheWholeUnsignedRange) {
  const lh::JsonPtr number = lh::createNumber(4294967295u);
  EXPECT_EQ(number.get()->valuedouble, 4294967295.0);
  EXPECT_EQ(lh::print(number.get()), "4294967295");
}

TEST(JsonValueWrapper, AddedItemsAreOwnedByTheObject) {
  lh::JsonPtr object = lh::createObject();
  std::string key = "alias";
  lh::addItemToObject(object.get(), key.c_str(), lh::createString(std::string("x")));
  key[0] = 'X';  // the object has its own copy of the key
  EXPECT_EQ(lh::getString(lh::getObjectItem(object.get(), "alias")), "x");
  EXPECT_EQ(lh::print(object.get()), "{\n\t\"alias\":\t\"x\"\n}");
}

TEST(JsonValueWrapper, StructuralEquality) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  } cases[] = {
      {R"({"a": 1})", R"({"A": 1})", true},
      {R"({"a": 1})", R"({"a": 1, "b": 2})", false},
      {R"({"a": 1, "b": 2})", R"({"a": 1})", false},
      {"[1, 2]", "[2, 1]", false},
      {"[1, 2]", "[1, 2, 3]", false},
      {R"({"x": {"b": [true, null], "a": "s"}})", R"({"x": {"a": "s", "b": [true, null]}})", true},
      {R"("a")", R"("A")", false},
      {"1", "1.0", true},
      {"1", R"("1")", false},
      {"true", "false", false},
      {"null", "null", true},
      // Members that differ only in case are each matched with their own spelling first, so
      // a tree always equals its copy.
      {R"({"Model=A": 1, "model=a": 2})", R"({"model=a": 2, "Model=A": 1})", true},
      {R"({"Model=A": 1, "model=a": 2})", R"({"Model=A": 2, "model=a": 1})", false},
      // A member named twice (a hand-edited file) meets the same occurrence in the other tree.
      {R"({"a": 1, "a": 2})", R"({"a": 1, "a": 2})", true},
      {R"({"a": 1, "a": 2})", R"({"a": 2, "a": 1})", false},
      {R"({"a": 1, "a": 1})", R"({"a": 1, "b": 1})", false},
  };
  for (const Case& c : cases) {
    const lh::JsonPtr a = lh::parse(c.a);
    const lh::JsonPtr b = lh::parse(c.b);
    EXPECT_EQ(lh::equals(a.get(), b.get()), c.equal) << c.a << " vs " << c.b;
    const lh::JsonPtr copy = lh::duplicate(a.get());
    EXPECT_TRUE(lh::equals(a.get(), copy.get())) << c.a;
  }
  // Two NaN values are unequal, even in one node compared with its copy.
  const lh::JsonPtr nan(cJSON_CreateNumber(std::nan("")));
  const lh::JsonPtr otherNan(cJSON_CreateNumber(std::nan("")));
  EXPECT_FALSE(lh::equals(nan.get(), otherNan.get()));
}

}  // namespace
