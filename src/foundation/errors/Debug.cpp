// Debug print with a fixed-width prefix, a level filter and replaceable hooks.

#include "foundation/errors/Debug.h"

#include <pthread.h>

#include <cstdio>
#include <cstring>

#include "foundation/errors/Status.h"

namespace {

char* writeText(char* position, size_t room, const char* text) {
  return qvsdbg_writeField(position, room, text, 0, ' ');
}

char* prefixOpen(char* position, size_t room, const qvsdbg_VarLine&) {
  return writeText(position, room, "[");
}

char* prefixComponent(char* position, size_t room, const qvsdbg_VarLine&) {
  return qvsdbg_writeField(position, room, qverr::kComponent, qvsdbg_componentWidth, ' ');
}

char* prefixBar(char* position, size_t room, const qvsdbg_VarLine&) {
  return writeText(position, room, "|");
}

char* prefixFile(char* position, size_t room, const qvsdbg_VarLine& line) {
  return qvsdbg_writeField(position, room, line.file ? line.file : "", qvsdbg_nameWidth, ' ');
}

char* prefixLine(char* position, size_t room, const qvsdbg_VarLine& line) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%u", line.line);
  return qvsdbg_writeField(position, room, digits, qvsdbg_lineWidth, '0');
}

char* prefixClose(char* position, size_t room, const qvsdbg_VarLine&) {
  return writeText(position, room, "] ");
}

char* prefixIndentation(char* position, size_t room, const qvsdbg_VarLine&) {
  const uint64_t self = static_cast<uint64_t>(pthread_self());
  for (const qvsdbg_ThreadIndentation& slot : qvsdbg_threadIndentation) {
    if (slot.inUse != 0 && slot.threadId == self) {
      char* end = position;
      for (uint32_t i = 0; i < slot.indentation && room > 1; ++i, --room) *end++ = ' ';
      if (room > 0) *end = '\0';
      return end;
    }
  }
  return position;
}

}  // namespace

const qvsdbg_PrefixFunction qvsdbg_defaultPrefixFunctions[] = {
    prefixOpen, prefixComponent, prefixBar,         prefixFile, prefixBar,
    prefixLine, prefixClose,     prefixIndentation, nullptr};

int32_t qvsdbg_level = kQvsdbgDefaultLevel;
uint32_t qvsdbg_componentWidth = 10;
uint32_t qvsdbg_nameWidth = 32;
uint32_t qvsdbg_lineWidth = 4;
qvsdbg_FormatHook qvsdbg_formatHook = qvsdbg_defaultFormat;
qvsdbg_OutputHook qvsdbg_outputHook = qvsdbg_defaultOutput;
qvsdbg_AssertHook qvsdbg_assertHook = qvsdbg_defaultAssert;
const qvsdbg_PrefixFunction* qvsdbg_prefixFunctions = qvsdbg_defaultPrefixFunctions;
qvsdbg_ThreadIndentation qvsdbg_threadIndentation[kQvsdbgIndentationSlots] = {};

int qvsdbg_defaultFormat(char* buffer, size_t size, const char* format, va_list args) {
  return std::vsnprintf(buffer, size, format, args);
}

void qvsdbg_defaultOutput(const char* text) {
  std::fputs(text, stderr);
}

void qvsdbg_defaultAssert(const qvsdbg_VarLine&, const char*) {
  __builtin_trap();
}

char* qvsdbg_writeField(char* position, size_t room, const char* text, uint32_t width, char fill) {
  if (position == nullptr || room == 0) return position;
  if (text == nullptr) text = "";
  const size_t length = std::strlen(text);
  size_t left = room - 1;
  char* out = position;
  if (width != 0 && length < width) {
    for (size_t i = 0; i < width - length && left > 0; ++i, --left) *out++ = fill;
  } else if (width != 0) {
    text += length - width;
  }
  for (; *text != '\0' && left > 0; ++text, --left) *out++ = *text;
  *out = '\0';
  return out;
}

void qvsdbg_formatLine(const qvsdbg_VarLine& line, const char* format, va_list args) {
  char buffer[kQvsdbgBufferSize];
  buffer[0] = '\0';
  char* position = buffer;
  for (const qvsdbg_PrefixFunction* fn = qvsdbg_prefixFunctions; fn && *fn; ++fn) {
    const size_t used = static_cast<size_t>(position - buffer);
    if (used >= sizeof buffer) break;
    position = (*fn)(position, sizeof buffer - used, line);
    if (position == nullptr) {
      position = buffer + strnlen(buffer, sizeof buffer - 1);
    }
  }
  buffer[sizeof buffer - 1] = '\0';
  size_t used = strnlen(buffer, sizeof buffer - 1);
  if (used + 1 < sizeof buffer) {
    va_list copy;
    va_copy(copy, args);
    qvsdbg_formatHook(buffer + used, sizeof buffer - used, format, copy);
    va_end(copy);
  }
  buffer[sizeof buffer - 1] = '\0';
  // Keep room for the suffix so that it always ends the line.
  const char* suffix = line.suffix ? line.suffix : "";
  const size_t suffixLength = std::strlen(suffix);
  const size_t cut = suffixLength < sizeof buffer - 1 ? sizeof buffer - 1 - suffixLength : 0;
  used = strnlen(buffer, sizeof buffer - 1);
  if (used > cut) {
    buffer[cut] = '\0';
    used = cut;
  }
  writeText(buffer + used, sizeof buffer - used, suffix);
  qvsdbg_outputHook(buffer);
}

void qvsdbg_VarLine::printf(const char* format, ...) const {
  va_list args;
  va_start(args, format);
  qvsdbg_formatLine(*this, format, args);
  va_end(args);
}

void qvsdbg_printf(int32_t level, const qvsdbg_VarLine& line, const char* format, ...) {
  if (qvsdbg_level > level) return;
  va_list args;
  va_start(args, format);
  qvsdbg_formatLine(line, format, args);
  va_end(args);
}

void qvsdbg_linePrintf(const qvsdbg_VarLine& line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  qvsdbg_formatLine(line, format, args);
  va_end(args);
}

void qvsdbg_printfv(const char* format, ...) {
  char buffer[kQvsdbgBufferSize];
  buffer[0] = '\0';
  va_list args;
  va_start(args, format);
  qvsdbg_formatHook(buffer, sizeof buffer, format, args);
  va_end(args);
  buffer[sizeof buffer - 1] = '\0';
  qvsdbg_outputHook(buffer);
}

void qvsdbg_assert(const qvsdbg_VarLine& line, const char* assertion) {
  qvsdbg_printfv("[%s|%s|%d] !!ASSERT!!\n", qverr::kComponent, line.file ? line.file : "",
                 static_cast<int>(line.line));
  qvsdbg_linePrintf(line, "%s", assertion ? assertion : "");
  qvsdbg_assertHook(line, assertion);
}
