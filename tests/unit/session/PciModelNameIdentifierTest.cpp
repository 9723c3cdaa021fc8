#include <gtest/gtest.h>

#include "session/PciModelNameIdentifierCodegen.h"

namespace {

TEST(PciModelNameIdentifier, NamesOnlyThisGenerationsModules) {
  const qvkel::IPciModelNameIdentifier& models = qvvandrelbrenmoork::pciModelNameIdentifier();
  struct Case {
    std::int32_t vendor, device, subsystem;
    const char* name;
  } cases[] = {
      {8103, 50372, 0x7A12, "BRM-6812"},
      {0x1FA7, 0xC4C4, 0x7A10, "BRM-6810"},
      {0x1FA7, 0xC4C4, 0x7A50, "BRM-6850"},
      {0x1FA7, 0xC4C4, 0x7A19, "Unknown device"},
      {0x1FA7, 0xC4C4, 0x17A12, "Unknown device"},  // beyond the table's 16 bits
      {0x1FA7, 0xC4C5, 0x7A12, "Unknown device"},
      {0x1FA8, 0xC4C4, 0x7A12, "Unknown device"},
      {-1, -1, -1, "Unknown device"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(models.getModelName(c.vendor, c.device, c.subsystem), c.name) << c.subsystem;
  }
}

}  // namespace
