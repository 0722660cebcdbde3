#include "platform/Crt.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <memory>

namespace platform {
namespace {

// The "C" locale object, made once; vsnprintf honours the calling thread's locale.
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

class CLocaleScope {
public:
    CLocaleScope() : m_Previous(uselocale(CLocale())) {}
    ~CLocaleScope() { uselocale(m_Previous); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t m_Previous;
};

__attribute__((format(printf, 3, 0))) int FormatAttempt(char* buffer, size_t size,
                                                        const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(buffer, size, format, copy);
    va_end(copy);
    return length;
}

thread_local char t_StaticBuffer[1025];
thread_local std::unique_ptr<char[]> t_HeapBuffer;

u32 Random15State = 1;

} // namespace

FormattedText FormatV(const char* format, va_list args) {
    CLocaleScope scope;
    t_HeapBuffer.reset();
    int length = FormatAttempt(t_StaticBuffer, sizeof t_StaticBuffer, format, args);
    if (length < 0) {
        t_StaticBuffer[0] = 0;
        return {t_StaticBuffer, 0};
    }
    if (static_cast<size_t>(length) < sizeof t_StaticBuffer)
        return {t_StaticBuffer, static_cast<u32>(length)};
    t_HeapBuffer = std::make_unique<char[]>(static_cast<size_t>(length) + 1);
    int again = FormatAttempt(t_HeapBuffer.get(), static_cast<size_t>(length) + 1, format, args);
    if (again != length)
        std::abort();
    return {t_HeapBuffer.get(), static_cast<u32>(length)};
}

FormattedText Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormattedText text = FormatV(format, args);
    va_end(args);
    return text;
}

u32 FormatToV(char* buffer, u32 size, const char* format, va_list args) {
    CLocaleScope scope;
    int length = FormatAttempt(buffer, size, format, args);
    if (length < 0) {
        if (size > 0)
            buffer[0] = 0;
        return 0;
    }
    return static_cast<u32>(length);
}

u32 FormatTo(char* buffer, u32 size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    u32 length = FormatToV(buffer, size, format, args);
    va_end(args);
    return length;
}

void RandomSetState(u32 state) {
    Random15State = state;
}
u32 RandomGetState() {
    return Random15State;
}

u32 Random15() {
    Random15State = Random15State * 214013u + 2531011u;
    return (Random15State >> 16) & 0x7FFF;
}

namespace {
OutputLineSink s_OutputLineSink = nullptr;
}

void WriteOutputLine(const char* text) {
    if (s_OutputLineSink) {
        s_OutputLineSink(text);
        return;
    }
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

OutputLineSink SetOutputLineSink(OutputLineSink sink) {
    const OutputLineSink old = s_OutputLineSink;
    s_OutputLineSink = sink;
    return old;
}

} // namespace platform
