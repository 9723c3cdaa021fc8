#pragma once
// The JSON records the calibrations add to their report, and the number lists they hold.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/errors/Json.h"
#include "foundation/errors/StatusDetailWriter.h"

namespace qvvandrel {

// A JSON array of the numbers, each written as the status-detail writer writes a double
// ("%.20g" with '.'; a non-finite value as null).
std::string numberArrayText(const std::vector<double>& values);

// One record of a report, built in a buffer of its own and added to the report under its key
// when it goes, also while an exception unwinds: a failed calibration leaves its record as far
// as written. Without a report the record is dropped.
class ReportRecord {
 public:
  ReportRecord(qverr::json::Writer* report, const char* key) : element_(report, key) {}

  void addUInt(const char* key, std::uint32_t value);
  void addInt(const char* key, std::int32_t value);
  void addULong(const char* key, std::uint64_t value);
  void addDouble(const char* key, double value);
  void addNumbers(const char* key, const std::vector<double>& values);
  // "calibrationTimeInMs": the whole milliseconds since `startNs` on the monotonic clock.
  void addElapsedTime(std::uint64_t startNs);

 private:
  qverr::StatusDetailElement element_;
};

}  // namespace qvvandrel
