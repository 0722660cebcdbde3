#pragma once
// The engine log. A caller composes its line in g_ClassicLogLine ("[Tag] text\r\n") and hands it
// to ClassicLogWriteLine, which copies it to the log's enabled sinks: an in-memory primary
// stream, an in-memory secondary stream and two optional file streams.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "platform/Types.h"

#include <istream>
#include <ostream>
#include <streambuf>

// The character buffer behind each in-memory log stream. Every character written except NUL
// joins the pending line; a '\n' moves the pending line, '\n' included, to the accumulated text.
// Reading the stream yields the accumulated text, each character once.
class CClassicLogStreamBuf : public std::streambuf {
public:
    CClassicLogStreamBuf() = default;
    ~CClassicLogStreamBuf() override { m_PendingLine.FreeItems(); }

    const CClassicString& GetText() const { return m_Text; }
    CClassicStringRef GetPendingLine() const {
        return CClassicStringRef(m_PendingLine.m_Items, m_PendingLine.m_Count);
    }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize n) override;
    int_type underflow() override;

private:
    void Put(char c);

    CFastBuffer<char> m_PendingLine;
    CClassicString m_Text;
};

// A text stream over its own CClassicLogStreamBuf.
class CClassicLogStream : public std::iostream {
public:
    CClassicLogStream() : std::iostream(nullptr) { rdbuf(&m_Buffer); }

    CClassicLogStreamBuf& GetBuffer() { return m_Buffer; }

private:
    CClassicLogStreamBuf m_Buffer;
};

class CClassicLog;
using ClassicLogCallback = void (*)(void* context, CClassicLog* log);
// The current time in seconds.
using ClassicLogClock = f32 (*)(void* context);

class CClassicLog {
public:
    // The primary sink is the first in-memory stream, the secondary the third; the second is a
    // spare stream of the same kind. Counters start at 0, the file sinks and callback unset.
    CClassicLog();
    // Closes the first file sink; the in-memory streams go with the log.
    virtual ~CClassicLog();
    CClassicLog(const CClassicLog&) = delete;
    CClassicLog& operator=(const CClassicLog&) = delete;

    // Writes the line to the enabled sinks (see ClassicLogWriteLine).
    void WriteLine(const CClassicString& line);
    // Writes the line to the secondary sink when enabled and to the file sinks only.
    void WriteLineToFiles(const CClassicString& line);
    // Runs the periodic callback, at most every 0.5 s unless forced, then flushes the file sinks
    // that are in a good state.
    void Tick(bool force);
    // Deletes the first file sink unless it is one of the log's own streams; the primary sink is
    // cleared when it was that stream.
    void CloseFirstFileSink();

    // In-memory streams 0 (primary), 1 (spare) and 2 (secondary).
    CClassicLogStream& GetMemoryStream(u32 index) { return m_MemoryStreams[index]; }

    std::ostream* m_PrimarySink;
    std::ostream* m_SecondarySink;
    void* m_CallbackContext = nullptr; // null: no callback
    ClassicLogCallback m_Callback = nullptr;
    ClassicLogClock m_Clock = nullptr;
    std::ostream* m_FirstFileSink = nullptr;
    std::ostream* m_SecondFileSink = nullptr;
    // While above 0, nothing is written.
    u32 m_SuspendCount = 0;
    // A sink is written only while its counter is above 0.
    u32 m_FirstFileEnableCount = 0;
    u32 m_SecondaryEnableCount = 0;
    u32 m_SecondFileEnableCount = 0;
    f32 m_LastCallbackTime = 0;

private:
    CClassicLogStream m_MemoryStreams[3];
};

// The process-wide log and the string every line is composed in. Both live in one object built
// on first use, so any static initialiser may log, also through engine code called from a file
// that does not include this header; the log is destroyed before its streams. The two names
// stand for the calls: a reference bound during static initialisation would still be unbound
// when another file's initialiser runs first.
CClassicLog& ClassicLogInstance();
CClassicString& ClassicLogLineInstance();
#define g_ClassicLog (ClassicLogInstance())
#define g_ClassicLogLine (ClassicLogLineInstance())

// Writes g_ClassicLogLine to g_ClassicLog's enabled sinks.
void ClassicLogWriteLine();
// Writes g_ClassicLogLine to g_ClassicLog's secondary and file sinks only.
void ClassicLogWriteLineToFiles();
// Composes g_ClassicLogLine from a printf-style format (the "C" locale), ends it with "\r\n"
// and writes it with ClassicLogWriteLine. The formatted text is one line: its control characters,
// which only the values put into it can bring, are escaped as ClassicLogAppendText does.
void ClassicLogFormatLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Appends text that comes from outside (a file, a file name, a server) to a log line, each
// control character (below 0x20, and 0x7F) written as "\xNN": the text can neither end the line
// nor forge another, nor reach a terminal as a control sequence. Other bytes stay as they are.
CClassicString& ClassicLogAppendText(CClassicString& line, CClassicStringRef text);
// The same for wide text, copied to 8 bits up to its first NUL as CClassicString::AppendWide
// does; the C1 controls (U+0080 to U+009F) are escaped too.
CClassicString& ClassicLogAppendWideText(CClassicString& line, CClassicWideStringRef text);

// The file-name prefix of a crash log and the pattern that lists crash logs.
inline constexpr char16_t g_ClassicLogCrashPrefix[] = u"LogCrash_";
inline constexpr char16_t g_ClassicLogCrashPattern[] = u"LogCrash_*.txt";
