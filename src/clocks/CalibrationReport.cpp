#include "clocks/CalibrationReport.h"

#include "foundation/platform/timeBase.h"

namespace qvvandrel {

std::string numberArrayText(const std::vector<double>& values) {
  std::string text = "[";
  // Each number goes through the writer alone, so it reads exactly as the writer writes it.
  char scratch[64];
  for (std::size_t i = 0; i < values.size(); ++i) {
    char* cursor = qverr::json::initBuffer(scratch, sizeof scratch, "[]");
    const char* end = qverr::json::addDouble(cursor, nullptr, values[i]);
    const char* number = scratch + 1;
    if (i != 0) text += ',';
    if (end != nullptr) text.append(number, end);
  }
  text += ']';
  return text;
}

void ReportRecord::addUInt(const char* key, std::uint32_t value) {
  qverr::json::Writer& w = element_.writer();
  w.cursor = qverr::json::addUInt(w.cursor, key, value, w.grow);
}

void ReportRecord::addInt(const char* key, std::int32_t value) {
  qverr::json::Writer& w = element_.writer();
  w.cursor = qverr::json::addInt(w.cursor, key, value, w.grow);
}

void ReportRecord::addULong(const char* key, std::uint64_t value) {
  qverr::json::Writer& w = element_.writer();
  w.cursor = qverr::json::addULong(w.cursor, key, value, w.grow);
}

void ReportRecord::addDouble(const char* key, double value) {
  qverr::json::Writer& w = element_.writer();
  w.cursor = qverr::json::addDouble(w.cursor, key, value, w.grow);
}

void ReportRecord::addNumbers(const char* key, const std::vector<double>& values) {
  qverr::json::Writer& w = element_.writer();
  w.cursor = qverr::json::addRawValue(w.cursor, key, numberArrayText(values).c_str(), w.grow);
}

void ReportRecord::addElapsedTime(std::uint64_t startNs) {
  const std::uint64_t now = nQVVANDRELBRENMOORU_22_8::nQVVUSK000::getMonotonicTimeNs();
  addULong("calibrationTimeInMs", (now - startNs) / 1000000);
}

}  // namespace qvvandrel
