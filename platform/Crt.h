#pragma once
// The C-runtime services the engine relies on, made independent of the process locale and of
// the C library's own choices (printf, the 15-bit pseudo-random generator).
#include "platform/Types.h"

#include <cstdarg>

namespace platform {

// Text produced by FormatV: valid until the next formatting call on the same thread.
struct FormattedText {
    const char* text;
    u32 length;
};

// printf-style formatting in the "C" locale, whatever locale the process has set. Outputs up to
// 1024 characters are formatted into a static buffer without allocating; longer outputs are
// formatted once more into a heap buffer of the exact size. The argument list is copied for
// every attempt, so `args` stays usable by the caller.
FormattedText FormatV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
FormattedText Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Like snprintf, in the "C" locale: writes at most size - 1 characters and a NUL (when size > 0)
// and returns the length of the whole output.
u32 FormatTo(char* buffer, u32 size, const char* format, ...) __attribute__((format(printf, 3, 4)));
u32 FormatToV(char* buffer, u32 size, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

// One process-wide 15-bit generator: state = state * 214013 + 2531011,
// value = (state >> 16) & 0x7FFF. The state starts at 1.
void RandomSetState(u32 state);
u32 RandomGetState();
u32 Random15();

// Writes `text` and a line feed to standard output, or hands the line (without the line feed)
// to the sink a test installed. SetOutputLineSink returns the sink it replaces; null restores
// standard output.
using OutputLineSink = void (*)(const char* text);
void WriteOutputLine(const char* text);
OutputLineSink SetOutputLineSink(OutputLineSink sink);

} // namespace platform
