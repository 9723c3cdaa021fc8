#pragma once
// Debug print: a fixed-width prefix naming the source, a level filter and replaceable hooks for
// formatting, output and failed assertions. Nothing here locks or allocates.

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// One source of debug lines, usually a constant object at the call site.
class qvsdbg_VarLine {
 public:
  qvsdbg_VarLine(const char* file, uint32_t line, const char* suffix = "\n")
      : file(file), line(line), suffix(suffix) {}
  virtual ~qvsdbg_VarLine() {}
  // Prints the line unconditionally.
  virtual void printf(const char* format, ...) const __attribute__((format(printf, 2, 3)));

  const char* file;
  uint32_t line;
  const char* suffix;
};

using qvsdbg_FormatHook = int (*)(char* buffer, size_t size, const char* format, va_list args);
using qvsdbg_OutputHook = void (*)(const char* text);
using qvsdbg_AssertHook = void (*)(const qvsdbg_VarLine& line, const char* assertion);
// Writes its part at `position` within `room` bytes (NUL included), keeps the text terminated
// and returns the new write position.
using qvsdbg_PrefixFunction = char* (*)(char* position, size_t room, const qvsdbg_VarLine& line);

struct qvsdbg_ThreadIndentation {
  uint64_t threadId;
  uint32_t indentation;
  uint32_t inUse;
};

constexpr size_t kQvsdbgBufferSize = 512;
constexpr size_t kQvsdbgIndentationSlots = 16;
constexpr int32_t kQvsdbgDefaultLevel = 8192;
// The level of the library's own diagnostics.
constexpr int32_t kQvsdbgLibraryLevel = 4096;

// Process-wide settings; set them before other threads print.
extern int32_t qvsdbg_level;
extern uint32_t qvsdbg_componentWidth;
extern uint32_t qvsdbg_nameWidth;
extern uint32_t qvsdbg_lineWidth;
extern qvsdbg_FormatHook qvsdbg_formatHook;
extern qvsdbg_OutputHook qvsdbg_outputHook;
extern qvsdbg_AssertHook qvsdbg_assertHook;
// Null-terminated list.
extern const qvsdbg_PrefixFunction* qvsdbg_prefixFunctions;
extern qvsdbg_ThreadIndentation qvsdbg_threadIndentation[kQvsdbgIndentationSlots];

// The defaults, for restoring them.
extern const qvsdbg_PrefixFunction qvsdbg_defaultPrefixFunctions[];
int qvsdbg_defaultFormat(char* buffer, size_t size, const char* format, va_list args);
void qvsdbg_defaultOutput(const char* text);
void qvsdbg_defaultAssert(const qvsdbg_VarLine& line, const char* assertion);

// Prints the line when the process-wide level is at most `level`.
void qvsdbg_printf(int32_t level, const qvsdbg_VarLine& line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void qvsdbg_linePrintf(const qvsdbg_VarLine& line, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// Without prefix or suffix.
void qvsdbg_printfv(const char* format, ...) __attribute__((format(printf, 1, 2)));
void qvsdbg_formatLine(const qvsdbg_VarLine& line, const char* format, va_list args);
// Reports a broken invariant and calls the assertion hook.
void qvsdbg_assert(const qvsdbg_VarLine& line, const char* assertion);

// Writes `text` in a field of `width` (right-aligned with `fill`, or its last `width`
// characters); width 0 writes it whole. Cut to `room`, always terminated.
char* qvsdbg_writeField(char* position, size_t room, const char* text, uint32_t width, char fill);
