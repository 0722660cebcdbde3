#include "core/base/ClassicLog.h"

#include <algorithm>
#include <cstdarg>

namespace {

// The log and its line string, built together on first use and destroyed together at exit.
struct ClassicLogStatics {
    CClassicLog m_Log;
    CClassicString m_Line;
};

ClassicLogStatics& Statics() {
    static ClassicLogStatics s_Statics;
    return s_Statics;
}

// The callback runs at most this often unless a tick is forced.
constexpr f32 kTickPeriod = 0.5f;

// The longest text an engine string holds.
constexpr u32 kMaxTextCapacity = 0x7FFFFFFF;

// A control character of a text from outside, as "\xNN".
void AppendEscape(CClassicString& line, u8 c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const char escape[4] = {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    line.Append(CClassicStringRef(escape, 4));
}

} // namespace

CClassicLog& ClassicLogInstance() {
    return Statics().m_Log;
}

CClassicString& ClassicLogLineInstance() {
    return Statics().m_Line;
}

// ---- In-memory stream buffer ----

void CClassicLogStreamBuf::Put(char c) {
    if (c == 0) {
        return;
    }
    m_PendingLine.Add(c);
    if (c != '\n') {
        return;
    }
    // The text may move to a larger block: keep the read position as an offset.
    const u32 readOffset = eback() ? u32(gptr() - eback()) : 0;
    const u32 length = m_Text.GetLength() + m_PendingLine.m_Count;
    if (length > m_Text.GetCapacity()) {
        // Doubling keeps a long log from being copied once per line.
        const u64 doubled = std::min<u64>(u64(m_Text.GetCapacity()) * 2, kMaxTextCapacity);
        m_Text.Reserve(u32(std::max<u64>(length, doubled)), true);
    }
    m_Text.Append(CClassicStringRef(m_PendingLine.m_Items, m_PendingLine.m_Count));
    m_PendingLine.m_Count = 0;
    char* text = m_Text.GetText();
    setg(text, text + readOffset, text + readOffset);
}

CClassicLogStreamBuf::int_type CClassicLogStreamBuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
        return traits_type::not_eof(c);
    }
    Put(traits_type::to_char_type(c));
    return c;
}

std::streamsize CClassicLogStreamBuf::xsputn(const char* text, std::streamsize n) {
    for (std::streamsize i = 0; i < n; ++i) {
        Put(text[i]);
    }
    return n;
}

CClassicLogStreamBuf::int_type CClassicLogStreamBuf::underflow() {
    const u32 readOffset = eback() ? u32(gptr() - eback()) : 0;
    if (readOffset >= m_Text.GetLength()) {
        return traits_type::eof();
    }
    char* text = m_Text.GetText();
    setg(text, text + readOffset, text + m_Text.GetLength());
    return traits_type::to_int_type(*gptr());
}

// ---- Log ----

CClassicLog::CClassicLog()
    : m_PrimarySink(&m_MemoryStreams[0]), m_SecondarySink(&m_MemoryStreams[2]) {}

CClassicLog::~CClassicLog() {
    CloseFirstFileSink();
}

void CClassicLog::CloseFirstFileSink() {
    if (!m_FirstFileSink) {
        return;
    }
    if (m_FirstFileSink != &m_MemoryStreams[0] && m_FirstFileSink != &m_MemoryStreams[1]) {
        if (m_PrimarySink == m_FirstFileSink) {
            m_PrimarySink = nullptr;
        }
        delete m_FirstFileSink;
    }
    m_FirstFileSink = nullptr;
}

void CClassicLog::WriteLine(const CClassicString& line) {
    if (m_SuspendCount > 0) {
        return;
    }
    if (m_SecondaryEnableCount > 0 && m_SecondarySink) {
        *m_SecondarySink << line.GetText();
    }
    if (m_PrimarySink) {
        m_PrimarySink->write(line.GetText(), line.GetLength());
        Tick(false);
    }
    if (m_FirstFileEnableCount > 0 && m_FirstFileSink && m_FirstFileSink != m_PrimarySink) {
        m_FirstFileSink->write(line.GetText(), line.GetLength());
    }
    if (m_SecondFileEnableCount > 0 && m_SecondFileSink) {
        m_SecondFileSink->write(line.GetText(), line.GetLength());
    }
}

void CClassicLog::WriteLineToFiles(const CClassicString& line) {
    if (m_SuspendCount > 0) {
        return;
    }
    if (m_SecondaryEnableCount > 0 && m_SecondarySink) {
        *m_SecondarySink << line.GetText();
    }
    if (m_FirstFileSink) {
        m_FirstFileSink->write(line.GetText(), line.GetLength());
    }
    if (m_SecondFileSink) {
        m_SecondFileSink->write(line.GetText(), line.GetLength());
    }
}

void CClassicLog::Tick(bool force) {
    if (m_CallbackContext && m_Callback) {
        // Without a clock every tick calls back.
        if (!force && m_Clock) {
            const f32 now = m_Clock(m_CallbackContext);
            if (now - m_LastCallbackTime < kTickPeriod) {
                return;
            }
            m_LastCallbackTime = now;
        }
        m_Callback(m_CallbackContext, this);
    }
    // A failing flush sets the stream's bad bit, which keeps it from later flushes.
    for (std::ostream* sink : {m_FirstFileSink, m_SecondFileSink}) {
        if (sink && sink->good()) {
            sink->flush();
        }
    }
}

void ClassicLogWriteLine() {
    g_ClassicLog.WriteLine(g_ClassicLogLine);
}

void ClassicLogWriteLineToFiles() {
    g_ClassicLog.WriteLineToFiles(g_ClassicLogLine);
}

void ClassicLogFormatLine(const char* format, ...) {
    CClassicString text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    g_ClassicLogLine.Assign("");
    ClassicLogAppendText(g_ClassicLogLine, text);
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLine();
}

CClassicString& ClassicLogAppendText(CClassicString& line, CClassicStringRef text) {
    u32 from = 0;
    for (u32 i = 0; i < text.m_Length; ++i) {
        const u8 c = u8(text.m_Text[i]);
        if (c >= 0x20 && c != 0x7F)
            continue;
        line.Append(CClassicStringRef(text.m_Text + from, i - from));
        AppendEscape(line, c);
        from = i + 1;
    }
    return line.Append(CClassicStringRef(text.m_Text + from, text.m_Length - from));
}

CClassicString& ClassicLogAppendWideText(CClassicString& line, CClassicWideStringRef text) {
    u32 from = 0;
    u32 i = 0;
    for (; i < text.m_Length && text.m_Text[i] != 0; ++i) {
        const char16_t c = text.m_Text[i];
        if (c >= 0x20 && !(c >= 0x7F && c < 0xA0))
            continue;
        line.AppendWide(CClassicWideStringRef(text.m_Text + from, i - from));
        AppendEscape(line, u8(c));
        from = i + 1;
    }
    line.AppendWide(CClassicWideStringRef(text.m_Text + from, i - from));
    return line;
}
