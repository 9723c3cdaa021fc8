#include <gtest/gtest.h>

#include <string>

#include "attributes/Elaboration.h"

namespace {

// This program links only the model library: the attribute library below it must still find
// the name table, whatever the order of the libraries on the link line.
TEST(AttributeNameLookup, ErrorDetailsUseTheModelsNames) {
  qverr::Status status;
  atat::elaboration::Cursor cursor =
      atat::elaboration::openTranslatorElaboration(status, atat::kTranslatorName);
  cursor = atat::elaboration::appendUsageInt32WithAttributeName(
      cursor, "kUsageTypeAffectedAttribute", 0x10000118);
  ASSERT_NE(cursor.cursor, nullptr);
  EXPECT_NE(std::string(status.detailText()).find(R"("comment":"Circular Buffer Segments")"),
            std::string::npos);
}

}  // namespace
