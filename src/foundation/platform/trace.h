#pragma once
// The process-wide trace object and its console destination, which prints through the
// levelled debug print.

#include <cstddef>
#include <cstdint>

#include "foundation/platform/synchronization.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

class iTraceDestination {
 public:
  virtual ~iTraceDestination() = default;
  virtual void write(const char* text) = 0;
  // Writes at most `count` characters of the text.
  virtual void writeCount(const char* text, uint32_t count) = 0;
  virtual void flush() = 0;
  // Copies the destination's option text into the buffer (cut to `size`, terminated when
  // `size` is not 0) and stores the room the whole text needs in *requiredSize when given.
  virtual void getOptionText(char* buffer, size_t size, size_t* requiredSize) = 0;
  virtual bool isAvailable() = 0;
  virtual void close() = 0;
  virtual const char* getName() = 0;
};

class tConsoleTraceDestination : public iTraceDestination {
 public:
  static constexpr const char* kOptionText = " --destination vusk";
  static constexpr const char* kName = "qvsdbg_printf";

  ~tConsoleTraceDestination() override = default;
  void write(const char* text) override;
  void writeCount(const char* text, uint32_t count) override;
  void flush() override {}
  void getOptionText(char* buffer, size_t size, size_t* requiredSize) override;
  bool isAvailable() override { return true; }
  void close() override {}
  const char* getName() override { return kName; }
};

class tTrace {
 public:
  static constexpr size_t kSwitchCount = 10;
  static constexpr uint32_t kDefaultSetting = 50;
  static constexpr size_t kBufferSize = 256;

  explicit tTrace(iTraceDestination* destination);
  // Clears the first switch and destroys the mutex when it is active and created.
  ~tTrace();
  tTrace(const tTrace&) = delete;
  tTrace& operator=(const tTrace&) = delete;

  iTraceDestination* destination() const { return destination_; }
  const uint8_t* switches() const { return switches_; }
  uint32_t setting() const { return setting_; }
  uint32_t counter() const { return counter_; }

 private:
  iTraceDestination* destination_;
  uint8_t switches_[kSwitchCount] = {1, 1, 0, 1, 1, 0, 0, 0, 1, 1};
  uint32_t setting_ = kDefaultSetting;
  uint32_t counter_ = 0;
  tMutex mutex_;
  bool mutexActive_ = false;
  // The text buffer and cursor are part of the trace's state, though no output path here fills
  // them.
  [[maybe_unused]] char buffer_[kBufferSize] = {};
  [[maybe_unused]] size_t cursor_ = 0;
};

// Both are created when the library loads and destroyed when it unloads.
tTrace& getTrace();
tConsoleTraceDestination& getConsoleTraceDestination();

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
