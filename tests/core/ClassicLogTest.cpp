#include "core/base/ClassicLog.h"

#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Text(const CClassicString& s) {
    return std::string(s.GetText(), s.GetLength());
}

std::string MemoryText(CClassicLog& log, u32 index) {
    return Text(log.GetMemoryStream(index).GetBuffer().GetText());
}

CClassicString Line(const char* text) {
    return CClassicString(text);
}

// A file sink whose flushes can be made to fail; counts the flushes it is asked for.
class FlakyBuf : public std::stringbuf {
public:
    bool m_Fail = false;
    int m_Syncs = 0;

protected:
    int sync() override {
        ++m_Syncs;
        return m_Fail ? -1 : 0;
    }
};

TEST(ClassicLogStreamBuf, LinesJoinTheTextAtTheirNewlineAndReadOnce) {
    CClassicLogStream stream;
    CClassicLogStreamBuf& buffer = stream.GetBuffer();
    stream << "[A] one\r\n[B] pend";
    EXPECT_EQ(Text(buffer.GetText()), "[A] one\r\n");
    EXPECT_EQ(std::string(buffer.GetPendingLine().m_Text, buffer.GetPendingLine().m_Length),
              "[B] pend");

    // NUL characters are dropped; the newline completes the pending line.
    stream.write("i\0ng\n", 5);
    stream.put('x');
    EXPECT_EQ(Text(buffer.GetText()), "[A] one\r\n[B] pending\n");
    EXPECT_EQ(buffer.GetPendingLine().m_Length, 1u);

    // Reading yields the text once; text added later is read next time.
    std::string read(std::istreambuf_iterator<char>(stream), {});
    EXPECT_EQ(read, "[A] one\r\n[B] pending\n");
    stream.clear();
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stream), {}), "");
    stream.clear();
    // Many lines move the text to new blocks; the read position survives the moves.
    std::string more;
    for (int i = 0; i < 200; ++i) {
        std::string line = "line " + std::to_string(i) + "\n";
        stream << line;
        more += (i == 0 ? "x" : "") + line;
    }
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stream), {}), more);
}

// Which sinks one line reaches, for each combination of counters and attached file sinks.
TEST(ClassicLog, WriteLineReachesExactlyTheEnabledSinks) {
    struct Case {
        const char* name;
        u32 suspend, secondary, first, second;
        bool attachFirst, attachSecond, firstIsPrimary;
        bool toFiles; // ClassicLogWriteLineToFiles instead of ClassicLogWriteLine
        // Expected receivers: primary, secondary, first file, second file.
        bool primary, secondaryGot, firstGot, secondGot;
    };
    const Case cases[] = {
        {"nothing enabled", 0, 0, 0, 0, true, true, false, false, true, false, false, false},
        {"all enabled", 0, 1, 1, 2, true, true, false, false, true, true, true, true},
        {"suspended", 1, 1, 1, 1, true, true, false, false, false, false, false, false},
        {"enabled but detached", 0, 1, 1, 1, false, false, false, false, true, true, false, false},
        {"first file is the primary", 0, 0, 1, 0, true, false, true, false, true, false, true,
         false},
        {"to files, none enabled", 0, 0, 0, 0, false, false, false, true, false, false, false,
         false},
        {"to files ignores file counters", 0, 0, 0, 0, true, true, false, true, false, false, true,
         true},
        {"to files, secondary enabled", 0, 1, 0, 0, true, false, false, true, false, true, true,
         false},
        {"to files, suspended", 2, 1, 1, 1, true, true, false, true, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CClassicLog log;
        auto first = std::make_unique<std::ostringstream>();
        std::ostringstream second;
        std::ostringstream* firstStream = first.get();
        if (c.firstIsPrimary) {
            log.m_PrimarySink = first.get();
        }
        if (c.attachFirst) {
            log.m_FirstFileSink = first.release(); // the log deletes it
        }
        if (c.attachSecond) {
            log.m_SecondFileSink = &second;
        }
        log.m_SuspendCount = c.suspend;
        log.m_SecondaryEnableCount = c.secondary;
        log.m_FirstFileEnableCount = c.first;
        log.m_SecondFileEnableCount = c.second;

        const CClassicString line = Line("[Test] line\r\n");
        if (c.toFiles) {
            log.WriteLineToFiles(line);
        } else {
            log.WriteLine(line);
        }
        const std::string expected = "[Test] line\r\n";
        if (!c.firstIsPrimary) {
            EXPECT_EQ(MemoryText(log, 0), c.primary ? expected : "");
        }
        EXPECT_EQ(MemoryText(log, 2), c.secondaryGot ? expected : "");
        EXPECT_EQ(firstStream->str(), c.firstGot ? expected : "");
        EXPECT_EQ(second.str(), c.secondGot ? expected : "");
        EXPECT_EQ(MemoryText(log, 1), "");
    }
}

// The secondary sink takes the text up to its first NUL, the other sinks the whole line.
TEST(ClassicLog, SecondaryStopsAtTheFirstNul) {
    CClassicLog log;
    std::ostringstream file;
    log.m_SecondFileSink = &file;
    log.m_SecondFileEnableCount = 1;
    log.m_SecondaryEnableCount = 1;
    CClassicString line("ab\r\n-cd\r\n");
    line.GetText()[4] = 0;
    log.WriteLine(line);
    EXPECT_EQ(MemoryText(log, 2), "ab\r\n");
    EXPECT_EQ(MemoryText(log, 0), "ab\r\ncd\r\n");
    EXPECT_EQ(file.str(), std::string("ab\r\n\0cd\r\n", 9));
}

struct CallbackRecord {
    f32 m_Now = 0;
    std::vector<f32> m_Calls;
    CClassicLog* m_Log = nullptr;
};

void RecordCallback(void* context, CClassicLog* log) {
    auto* record = static_cast<CallbackRecord*>(context);
    record->m_Calls.push_back(record->m_Now);
    record->m_Log = log;
}

f32 FakeClock(void* context) {
    return static_cast<CallbackRecord*>(context)->m_Now;
}

TEST(ClassicLog, TickCallsBackAtMostTwiceASecondUnlessForced) {
    CClassicLog log;
    CallbackRecord record;
    log.m_CallbackContext = &record;
    log.m_Callback = RecordCallback;
    log.m_Clock = FakeClock;

    struct Step {
        f32 now;
        bool force;
    };
    const Step steps[] = {{0.3f, false}, {1.0f, false}, {1.2f, false}, {1.3f, true},
                          {1.4f, false}, {1.5f, false}, {1.9f, false}};
    for (const Step& s : steps) {
        record.m_Now = s.now;
        log.Tick(s.force);
    }
    // 0.3 is within 0.5 s of the start; a forced tick does not move the last time.
    EXPECT_EQ(record.m_Calls, (std::vector<f32>{1.0f, 1.3f, 1.5f}));
    EXPECT_EQ(record.m_Log, &log);

    // Writing a line ticks unforced.
    record.m_Now = 2.1f;
    log.WriteLine(Line("[Test] tick\r\n"));
    EXPECT_EQ(record.m_Calls.size(), 4u);
}

TEST(ClassicLog, TickFlushesGoodFileSinksAndAFailedFlushMarksTheSinkBad) {
    CClassicLog log;
    FlakyBuf firstBuf, secondBuf;
    std::ostream first(&firstBuf), second(&secondBuf);
    log.m_FirstFileSink = &first;
    log.m_SecondFileSink = &second;
    secondBuf.m_Fail = true;

    log.Tick(false);
    EXPECT_EQ(firstBuf.m_Syncs, 1);
    EXPECT_EQ(secondBuf.m_Syncs, 1);
    EXPECT_TRUE(first.good());
    EXPECT_TRUE(second.bad());

    log.Tick(true);
    EXPECT_EQ(firstBuf.m_Syncs, 2);
    EXPECT_EQ(secondBuf.m_Syncs, 1); // no longer in a good state
    log.m_FirstFileSink = nullptr;   // not the log's to delete
}

TEST(ClassicLog, ClosingTheFirstFileSinkDeletesOnlyForeignStreams) {
    {
        // A heap stream standing as first file sink and primary: deleted, primary cleared.
        CClassicLog log;
        auto* file = new std::ostringstream;
        log.m_FirstFileSink = file;
        log.m_PrimarySink = file;
        log.CloseFirstFileSink();
        EXPECT_EQ(log.m_FirstFileSink, nullptr);
        EXPECT_EQ(log.m_PrimarySink, nullptr);
        log.WriteLine(Line("[Test] nowhere\r\n"));
        EXPECT_EQ(MemoryText(log, 0), "");
    }
    for (u32 index : {0u, 1u}) {
        // The log's own first and second streams are never deleted.
        CClassicLog log;
        log.m_FirstFileSink = &log.GetMemoryStream(index);
        log.CloseFirstFileSink();
        EXPECT_EQ(log.m_FirstFileSink, nullptr);
        EXPECT_EQ(log.m_PrimarySink, &log.GetMemoryStream(0));
        log.WriteLine(Line("[Test] still here\r\n"));
        EXPECT_EQ(MemoryText(log, 0), "[Test] still here\r\n");
    }
    {
        // The destructor closes the first file sink (the leak checker sees a missed delete).
        CClassicLog log;
        log.m_FirstFileSink = new std::ostringstream;
    }
}

// A static initialiser of a file that includes the log header may log before main.
struct LogsAtStart {
    LogsAtStart() {
        g_ClassicLogLine.Format("[Test] static start %d\r\n", 42);
        ClassicLogWriteLine();
    }
} s_LogsAtStart;

} // namespace

// ClassicLogStaticStartTest.cpp, which does not include the log header, reads a damaged LZO
// block from a static initialiser.
bool DamagedBlockAtStartRefused();

namespace {

TEST(ClassicLog, StaticInitialisersCanLog) {
    const std::string text = MemoryText(g_ClassicLog, 0);
    EXPECT_NE(text.find("[Test] static start 42\r\n"), std::string::npos);
    EXPECT_TRUE(DamagedBlockAtStartRefused());
    EXPECT_NE(text.find("[Buffer] LZO block damaged: "), std::string::npos) << text;
}

TEST(ClassicLog, GlobalLineIsComposedInOneStringAndWrittenToTheGlobalLog) {
    const CClassicString& primary = g_ClassicLog.GetMemoryStream(0).GetBuffer().GetText();
    const u32 start = primary.GetLength();
    g_ClassicLogLine.Assign("[Test] global line");
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLine();
    EXPECT_EQ(std::string(primary.GetText() + start), "[Test] global line\r\n");

    // Nothing enabled: the files-only writer writes nowhere.
    ClassicLogWriteLineToFiles();
    EXPECT_EQ(primary.GetLength(), start + g_ClassicLogLine.GetLength());
    EXPECT_EQ(MemoryText(g_ClassicLog, 2), "");

    // A formatted line is composed in the same string, in the "C" locale, and ends the line.
    const u32 before = primary.GetLength();
    ClassicLogFormatLine("[Test] %s %u %.1f", "formatted", 7u, 0.5);
    EXPECT_EQ(std::string(primary.GetText() + before), "[Test] formatted 7 0.5\r\n");
    EXPECT_STREQ(g_ClassicLogLine.GetText(), "[Test] formatted 7 0.5\r\n");
}

// Text from a file or a server reaches a line with its control characters escaped: it can
// neither end the line nor forge another. Other bytes, UTF-8 among them, stay.
TEST(ClassicLog, TextFromOutsideCannotForgeLines) {
    struct Case {
        std::string Narrow;
        std::u16string Wide;
        const char* Logged;
    };
    const Case cases[] = {
        {"racer\r\n[Sys] Login = admin", u"racer\r\n[Sys] Login = admin",
         "racer\\x0D\\x0A[Sys] Login = admin"},
        {"\t\x1B[2J\x7F", u"\t\x1B[2J\x7F", "\\x09\\x1B[2J\\x7F"},
        {"plain \\path\\", u"plain \\path\\", "plain \\path\\"},
        {"", u"", ""},
    };
    for (const Case& c : cases) {
        CClassicString line("<");
        ClassicLogAppendText(line, CClassicStringRef(c.Narrow.data(), u32(c.Narrow.size())))
            .Append(">");
        EXPECT_EQ(Text(line), "<" + std::string(c.Logged) + ">");
        line.Assign("<");
        ClassicLogAppendWideText(line, CClassicWideStringRef(c.Wide.data(), u32(c.Wide.size())))
            .Append(">");
        EXPECT_EQ(Text(line), "<" + std::string(c.Logged) + ">");
    }
    // Bytes from 0x80 on may be UTF-8 and stay; a NUL is escaped.
    CClassicString line;
    ClassicLogAppendText(line, CClassicStringRef("caf\xC3\xA9\0x", 7));
    EXPECT_EQ(Text(line), "caf\xC3\xA9\\x00x");
    // Wide text: 8 bits as AppendWide copies it, the C1 controls escaped, the end at a NUL.
    line.Assign("");
    const char16_t wide[] = u"\u00E9\u009B\u4E2Dz\0tail";
    ClassicLogAppendWideText(line, CClassicWideStringRef(wide, 9));
    EXPECT_EQ(Text(line), "\xE9\\x9B_z");

    // A formatted line carries its values the same way, and ends once.
    const CClassicString& primary = g_ClassicLog.GetMemoryStream(0).GetBuffer().GetText();
    const u32 before = primary.GetLength();
    ClassicLogFormatLine("[Test] name %s.", "a\r\n[Test] forged");
    EXPECT_EQ(std::string(primary.GetText() + before), "[Test] name a\\x0D\\x0A[Test] forged.\r\n");
}

} // namespace
