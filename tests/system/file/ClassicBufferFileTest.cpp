// The file stream and the file-bound archive on real files: buffered transfers and positions,
// writing through a temporary file (the target is the old or the new file, never anything
// between, whatever happens to the writer), the read-only refusal, the scheduling core entered
// during long transfers, and the comparison with a memory buffer.
#include "system/file/ClassicBufferFile.h"

#include "core/nod/MwCmd.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "system/file/PathHelpers.h"
#include "tests/system/SystemTestSupport.h"
#include "tests/system/file/TransferCoreFixture.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Writes the bytes in pieces of the given sizes, in turn.
void WriteInPieces(CClassicBuffer& stream, const std::string& bytes,
                   const std::vector<u32>& pieces) {
    size_t done = 0;
    for (size_t k = 0; done < bytes.size(); ++k) {
        const u32 n = u32(std::min<size_t>(pieces[k % pieces.size()], bytes.size() - done));
        ASSERT_EQ(stream.Write(bytes.data() + done, n), n);
        done += n;
        ASSERT_EQ(stream.GetPosition(), done);
    }
}

TEST(ClassicBufferFile, TransfersAcrossBufferBoundariesKeepPositionsAndSizes) {
    CTempFolder folder;
    const std::string bytes = Pattern(400000, 1);
    {
        CClassicBufferFile file;
        ASSERT_EQ(file.Open(folder.Engine("data.bin"), true, false, true, false), 1u);
        EXPECT_FALSE(file.IsWritingTempFile());
        EXPECT_EQ(Narrow(*file.GetName()), Narrow(folder.Engine("data.bin")));
        WriteInPieces(file, bytes, {1, 7, 65535, 3, 65536, 100000, 12});
        EXPECT_EQ(file.GetSize(), bytes.size()); // bytes still buffered count
        u8 byte = 0;
        EXPECT_EQ(file.Read(&byte, 1), 0u); // a stream opened for writing does not read
        // Overwriting inside the file goes where the position says.
        file.SetPosition(10);
        ASSERT_EQ(file.Write("0123456789", 10), 10u);
        EXPECT_EQ(file.GetPosition(), 20u);
        EXPECT_EQ(file.GetSize(), bytes.size());
        EXPECT_TRUE(file.Close());
    }
    std::string expected = bytes;
    expected.replace(10, 10, "0123456789");
    EXPECT_EQ(ReadWholeFile(folder.File("data.bin")), expected);

    CClassicBufferFile file;
    ASSERT_EQ(file.Open(folder.Engine("DATA.BIN"), false, true, true, false), 1u);
    EXPECT_FALSE(file.IsWritingTempFile()); // the temporary file is for writing only
    EXPECT_EQ(file.GetSize(), expected.size());
    std::string read(expected.size() + 100, '\0');
    size_t done = 0;
    const u32 pieces[] = {3, 65536, 1, 70000, 65533, 5000};
    for (size_t k = 0; done < expected.size(); ++k) {
        const u32 want = pieces[k % std::size(pieces)];
        const u32 got = file.Read(read.data() + done, want);
        ASSERT_EQ(got, std::min<size_t>(want, expected.size() - done));
        done += got;
        ASSERT_EQ(file.GetPosition(), done);
    }
    read.resize(done);
    EXPECT_EQ(read, expected);
    EXPECT_EQ(file.Read(read.data(), 10), 0u);
    EXPECT_EQ(file.Write("x", 1), 0u);
    file.SetPosition(123456);
    char piece[4];
    ASSERT_EQ(file.Read(piece, 4), 4u);
    EXPECT_EQ(std::string(piece, 4), expected.substr(123456, 4));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(file.Read(piece, 4), 0u);
    EXPECT_EQ(ReadWholeFile(folder.File("data.bin")), expected);
}

// Seeks of a reader land on the right byte whether they stay inside the bytes buffered (back,
// forward, to the buffer's end) or leave them, also after a read that bypassed the buffer.
TEST(ClassicBufferFile, SeeksWhileReadingLandOnTheirByte) {
    CTempFolder folder;
    const std::string bytes = Pattern(300000, 3);
    WriteWholeFile(folder.File("data.bin"), bytes);
    CClassicBufferFile file;
    ASSERT_EQ(file.Open(folder.Engine("data.bin"), false, false, false, false), 1u);
    std::string big(200000, '\0');
    const struct {
        u32 Seek;
        u32 Read; // bytes read after the seek
    } steps[] = {
        {100, 10},   {100, 10},   {50, 4},  {65536, 1},   {65535, 2},
        {0, 70000},  {69990, 20}, {5, 5},   {200000, 3},  {131072, 70000},
        {131070, 4}, {299999, 1}, {10, 10}, {20, 200000}, {199920, 50},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.Seek);
        file.SetPosition(step.Seek);
        EXPECT_EQ(file.GetPosition(), step.Seek);
        ASSERT_EQ(file.Read(big.data(), step.Read), step.Read);
        EXPECT_EQ(big.substr(0, step.Read), bytes.substr(step.Seek, step.Read));
        EXPECT_EQ(file.GetPosition(), step.Seek + step.Read);
    }
}

TEST(ClassicBufferFile, OpenFailuresAndClosingAClosedStream) {
    CTempFolder folder;
    CClassicBufferFile file;
    EXPECT_TRUE(file.Close()); // never opened
    EXPECT_EQ(file.Open(folder.Engine("missing.bin"), false, false, false, false), 0u);
    EXPECT_EQ(file.Open(folder.Engine("no\\such\\folder.bin"), true, true, true, false), 0u);
    EXPECT_EQ(file.Open(u"C:\\elsewhere.bin", true, false, true, false), 0u);
    fs::create_directory(folder.File("Sub"));
    EXPECT_EQ(file.Open(folder.Engine("Sub"), false, false, false, false), 0u);
    EXPECT_EQ(file.Open(folder.Engine("Sub"), true, true, false, false), 0u);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Write("x", 1), 0u);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"Sub"});
}

TEST(ClassicBufferFile, WritingThroughATemporaryFileReplacesTheTargetAtClose) {
    CTempFolder folder;
    CClassicBufferFile file;
    ASSERT_EQ(file.Open(folder.Engine("New.dat"), true, true, true, false), 1u);
    // The missing target stays missing; the temporary file has no name yet.
    EXPECT_EQ(folder.Names(), std::vector<std::string>{});
    ASSERT_TRUE(file.IsWritingTempFile());
    ASSERT_NE(file.GetTempName(), nullptr);
    CClassicWideString tempFolder, tempName;
    GetFolderOfPath(*file.GetTempName(), tempFolder);
    GetFileNameOfPath(*file.GetTempName(), tempName);
    EXPECT_EQ(Narrow(tempFolder), Narrow(folder.Engine()));
    EXPECT_EQ(Narrow(tempName).substr(0, 3), "Fbx");

    const std::string bytes = Pattern(200000, 2);
    WriteInPieces(file, bytes, {4096, 100000, 1});
    EXPECT_FALSE(fs::exists(folder.File("New.dat"))); // untouched until Close
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsWritingTempFile());
    EXPECT_EQ(ReadWholeFile(folder.File("New.dat")), bytes);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"New.dat"});
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(ModeOf(folder.File("New.dat")), 0666u & ~u32(mask));

    // An existing target keeps its permissions, and is found ignoring case.
    chmod(folder.File("New.dat").c_str(), 0604);
    ASSERT_EQ(file.Open(folder.Engine("NEW.DAT"), true, true, false, false), 1u);
    ASSERT_EQ(file.Write("short", 5), 5u);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"New.dat"});
    EXPECT_EQ(ReadWholeFile(folder.File("New.dat")), "short");
    EXPECT_EQ(ModeOf(folder.File("New.dat")), 0604u);
}

TEST(ClassicBufferFile, ReadOnlyTargetsAreNeverWritten) {
    CTempFolder folder;
    WriteWholeFile(folder.File("locked.dat"), "old");
    chmod(folder.File("locked.dat").c_str(), 0444);
    CClassicBufferFile file;
    EXPECT_EQ(file.Open(folder.Engine("locked.dat"), true, true, true, false), 0u);
    EXPECT_EQ(file.Open(folder.Engine("locked.dat"), true, false, true, false), 0u);
    EXPECT_EQ(file.Open(folder.Engine("locked.dat"), true, false, false, false), 0u);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"locked.dat"});
    EXPECT_EQ(ReadWholeFile(folder.File("locked.dat")), "old");

    // A target that becomes read-only while it is written keeps its content.
    chmod(folder.File("locked.dat").c_str(), 0644);
    ASSERT_EQ(file.Open(folder.Engine("locked.dat"), true, true, true, false), 1u);
    ASSERT_EQ(file.Write("new", 3), 3u);
    chmod(folder.File("locked.dat").c_str(), 0444);
    EXPECT_FALSE(file.Close());
    EXPECT_EQ(ReadWholeFile(folder.File("locked.dat")), "old");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"locked.dat"});
}

TEST(ClassicBufferFile, ALinkedTargetIsReplacedWhereTheLinkPoints) {
    CTempFolder folder;
    fs::create_directory(folder.File("real"));
    WriteWholeFile(folder.File("real/config.txt"), "old");
    fs::create_symlink("real/config.txt", folder.File("config.txt"));
    CClassicBufferFile file;
    ASSERT_EQ(file.Open(folder.Engine("config.txt"), true, true, true, false), 1u);
    ASSERT_EQ(file.Write("new", 3), 3u);
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(fs::is_symlink(folder.File("config.txt")));
    EXPECT_EQ(ReadWholeFile(folder.File("real/config.txt")), "new");
}

TEST(ClassicBufferFile, NothingIsCommittedWhileAnExceptionUnwinds) {
    CTempFolder folder;
    WriteWholeFile(folder.File("save.dat"), "old");
    try {
        CClassicBufferFile file;
        ASSERT_EQ(file.Open(folder.Engine("save.dat"), true, true, true, false), 1u);
        ASSERT_EQ(file.Write("half", 4), 4u);
        throw std::runtime_error("the save stops half-way");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(ReadWholeFile(folder.File("save.dat")), "old");
    try {
        CClassicArchiveFile archive;
        ASSERT_EQ(archive.Open(folder.Engine("save.dat"), true, true, true, true), 1u);
        const u32 value = 42;
        archive.WriteUInts(&value, 1);
        throw std::runtime_error("the save stops half-way");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(ReadWholeFile(folder.File("save.dat")), "old");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"save.dat"});

    // A stream opened inside a handler still commits when it simply goes out of scope.
    try {
        throw std::runtime_error("already caught");
    } catch (const std::runtime_error&) {
        CClassicBufferFile file;
        ASSERT_EQ(file.Open(folder.Engine("save.dat"), true, true, true, false), 1u);
        ASSERT_EQ(file.Write("new", 3), 3u);
    }
    EXPECT_EQ(ReadWholeFile(folder.File("save.dat")), "new");
}

// A writer that gives up half-way discards: the old target stays, a missing one stays missing,
// and the temporary file goes. A stream written in place simply closes.
TEST(ClassicBufferFile, DiscardLeavesTheTargetAsItWas) {
    CTempFolder folder;
    WriteWholeFile(folder.File("old.mux"), "old");
    for (const char* name : {"old.mux", "new.mux"}) {
        CClassicBufferFile file;
        ASSERT_EQ(file.Open(folder.Engine(name), true, true, true, false), 1u);
        const std::string bytes = Pattern(100000, 7);
        ASSERT_EQ(file.Write(bytes.data(), u32(bytes.size())), bytes.size());
        file.Discard();
        EXPECT_FALSE(file.IsOpen());
        EXPECT_FALSE(file.IsWritingTempFile());
        EXPECT_TRUE(file.Close()); // nothing open any more
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"old.mux"});
    EXPECT_EQ(ReadWholeFile(folder.File("old.mux")), "old");

    CClassicBufferFile plain;
    ASSERT_EQ(plain.Open(folder.Engine("plain.bin"), true, false, true, false), 1u);
    ASSERT_EQ(plain.Write("kept", 4), 4u);
    plain.Discard();
    EXPECT_FALSE(plain.IsOpen());
    EXPECT_EQ(ReadWholeFile(folder.File("plain.bin")), "kept");
}

TEST(ClassicBufferFile, AFailedWriteKeepsTheOldTargetAndCloseSaysSo) {
    CTempFolder folder;
    const std::string old = Pattern(1000, 3);
    WriteWholeFile(folder.File("save.dat"), old);
    WriteWholeFile(folder.File("plain.bin"), old);
    // Writes past 1 MB fail (EFBIG) in the child: it reports what Close answered.
    const auto writeTooMuch = [&](bool throughTemp, const char* name) {
        return RunInChild([&] {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit = {1 << 20, 1 << 20};
            setrlimit(RLIMIT_FSIZE, &limit);
            CClassicBufferFile file;
            if (!file.Open(folder.Engine(name), true, throughTemp, true, false))
                return 10;
            const std::string bytes = Pattern(4000000, 4);
            u32 accepted = 0;
            for (size_t done = 0; done < bytes.size(); done += 50000)
                accepted += file.Write(bytes.data() + done, 50000);
            if (!file.HasFailed() || accepted >= bytes.size())
                return 11;
            return file.Close() ? 12 : 0;
        });
    };
    EXPECT_EQ(writeTooMuch(true, "save.dat"), 0);
    EXPECT_EQ(ReadWholeFile(folder.File("save.dat")), old);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"plain.bin", "save.dat"}));
    // Written in place, the file is damaged, but Close no longer reports success.
    EXPECT_EQ(writeTooMuch(false, "plain.bin"), 0);
}

// Killed anywhere, a writer leaves the old file or the new one; where there was no file, no file
// or the new one, never an empty or partial file.
TEST(ClassicBufferFile, AKilledWriterLeavesTheOldOrTheNewFile) {
    CTempFolder folder;
    const std::string target = folder.File("config.zun");
    const std::string oldBytes = Pattern(1 << 20, 5), newBytes = Pattern(4 << 20, 6);
    const auto writer = [&] {
        CClassicBufferFile file;
        if (!file.Open(folder.Engine("config.zun"), true, true, true, false))
            return 1;
        for (size_t done = 0; done < newBytes.size(); done += 32768)
            file.Write(newBytes.data() + done, 32768);
        return file.Close() ? 0 : 2;
    };
    // How long a whole write takes here.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunInChild(writer), 0);
    const auto whole = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(ReadWholeFile(target), newBytes);

    std::mt19937 random(77);
    for (bool existing : {true, false}) {
        SCOPED_TRACE(existing ? "over a file" : "where there was none");
        u32 unchangedSeen = 0, newSeen = 0;
        for (int round = 0; round < 40; ++round) {
            if (existing)
                WriteWholeFile(target, oldBytes);
            else
                fs::remove(target);
            const pid_t child = fork();
            if (child == 0)
                _exit(writer());
            std::this_thread::sleep_for(whole * (random() % 1100) / 1000);
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            const bool present = fs::exists(target);
            const std::string now = present ? ReadWholeFile(target) : std::string();
            ASSERT_TRUE(present ? now == newBytes || (existing && now == oldBytes) : !existing)
                << "round " << round << ": " << (present ? std::to_string(now.size()) : "none");
            (now == newBytes ? newSeen : unchangedSeen)++;
            // Whatever the killed writer left is gone once the next writer looks at the folder.
            platform::RemoveStaleTemporaries(folder.Path().string());
            ASSERT_EQ(folder.Names(),
                      present ? std::vector<std::string>{"config.zun"} : std::vector<std::string>{})
                << "round " << round;
        }
        // Some writers were killed before they were done.
        EXPECT_GT(unchangedSeen, 0u);
    }
}

TEST(ClassicBufferFile, OnlyTemporaryFilesOfDeadWritersAreRemoved) {
    CTempFolder folder;
    // A live writer on a file system without unnamed files: a named temporary file it holds
    // locked.
    const int live = open(folder.File("FbxLive01.tmp").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(live, 0);
    ASSERT_EQ(flock(live, LOCK_EX), 0);
    WriteWholeFile(folder.File("FbxAbc123.tmp"), "stale"); // a dead writer's: nobody holds it
    WriteWholeFile(folder.File("FbxAB12.tmp"), "made by MakeTempFileName");
    WriteWholeFile(folder.File("Fbxabc123.txt"), "not a temporary name");
    CClassicBufferFile other;
    ASSERT_EQ(other.Open(folder.Engine("b.dat"), true, true, true, false), 1u);
    EXPECT_TRUE(other.Close());
    close(live);
    EXPECT_EQ(folder.Names(),
              (std::vector<std::string>{"FbxAB12.tmp", "FbxLive01.tmp", "Fbxabc123.txt", "b.dat"}));
}

TEST(ClassicBufferFile, EqualsMemoryComparesTheRestOfTheStream) {
    CTempFolder folder;
    const std::string bytes = Pattern(50000, 7);
    WriteWholeFile(folder.File("a.bin"), bytes);
    WriteWholeFile(folder.File("empty.bin"), "");
    CClassicBufferMemory memory;
    memory.Write(bytes.data(), u32(bytes.size()));

    CClassicBufferFile file;
    ASSERT_EQ(file.Open(folder.Engine("a.bin"), false, false, false, false), 1u);
    EXPECT_TRUE(file.EqualsMemory(memory));
    EXPECT_EQ(memory.GetPosition(), bytes.size());
    // Read from a later position, the rest is shorter than the buffer: not equal.
    file.SetPosition(100);
    EXPECT_FALSE(file.EqualsMemory(memory));
    memory.GetData()[40000] ^= 1;
    file.SetPosition(0);
    EXPECT_FALSE(file.EqualsMemory(memory));
    file.Close();

    CClassicBufferMemory empty;
    ASSERT_EQ(file.Open(folder.Engine("empty.bin"), false, false, false, false), 1u);
    EXPECT_TRUE(file.EqualsMemory(empty));
    EXPECT_FALSE(file.EqualsMemory(memory));
    file.Close();
    // A strict memory stream as the compared stream: its short read is an answer, not a throw.
    CClassicBufferMemory copy;
    copy.Write(bytes.data(), u32(bytes.size()));
    copy.SetPosition(10);
    EXPECT_FALSE(copy.EqualsMemory(memory));
}

TEST(ClassicBufferFile, ArchiveFileWritesAndReadsBothEncodings) {
    CTempFolder folder;
    const u32 numbers[] = {7, 4000000000u};
    const CClassicString texts[] = {CClassicString("line|pipe"), CClassicString("")};
    for (bool text : {true, false}) {
        CClassicArchiveFile archive;
        ASSERT_EQ(archive.Open(folder.Engine("values.txt"), true, text, true, true), 1u);
        archive.WriteUInts(numbers, 2);
        archive.WriteStrings(texts, 2);
        EXPECT_TRUE(archive.Close());
        if (text) {
            EXPECT_EQ(ReadWholeFile(folder.File("values.txt")),
                      "7\r\n4000000000\r\nline||pipe\r\n\r\n");
        }

        CClassicArchiveFile reader;
        reader.m_Release = 1;
        ASSERT_EQ(reader.Open(folder.Engine("values.txt"), false, text, false, false), 1u);
        EXPECT_EQ(reader.m_Writing, 0);
        EXPECT_EQ(reader.m_Text, text ? 1 : 0);
        EXPECT_EQ(reader.m_Release, 0);
        u32 readNumbers[2] = {};
        CClassicString readTexts[2];
        reader.ReadUInts(readNumbers, 2);
        reader.ReadStrings(readTexts, 2);
        EXPECT_EQ(readNumbers[1], numbers[1]);
        EXPECT_EQ(std::string(readTexts[0].GetText()), "line|pipe");
        EXPECT_TRUE(readTexts[1].IsEmpty());
        EXPECT_TRUE(reader.Close());
    }
}

using ClassicBufferFileCore = CTransferCoreTest;

TEST_F(ClassicBufferFileCore, LongTransfersEnterTheCoreOncePer256KB) {
    CTempFolder folder;
    const std::string bytes = Pattern(2 << 20, 8);
    WriteWholeFile(folder.File("a.bin"), bytes);
    WriteWholeFile(folder.File("b.bin"), bytes);
    CClassicBufferFile::s_ReadByteCount = 0;
    CClassicBufferFile::s_WrittenByteCount = 0;
    CClassicBufferFile::s_ReadThisFrame = 0;
    CClassicBufferFile::s_WrittenThisFrame = 0;

    // Two streams share the count: 65536 bytes a call, the fifth call of every five passes it.
    CClassicBufferFile a, b;
    ASSERT_EQ(a.Open(folder.Engine("a.bin"), false, false, false, false), 1u);
    ASSERT_EQ(b.Open(folder.Engine("b.bin"), false, false, false, false), 1u);
    std::vector<u8> piece(65536);
    for (int call = 0; call < 20; ++call) {
        ASSERT_EQ((call % 2 ? a : b).Read(piece.data(), 65536), 65536u);
        EXPECT_EQ(m_TimedRuns, u32((call + 1) / 5)) << "call " << call;
    }
    EXPECT_EQ(CClassicBufferFile::s_ReadThisFrame, 1u);
    EXPECT_EQ(CClassicBufferFile::s_WrittenThisFrame, 0u);
    // Small reads count their bytes too, not their calls.
    m_TimedRuns = 0;
    for (int call = 0; call < 262144; ++call)
        ASSERT_EQ(a.Read(piece.data(), 1), 1u);
    EXPECT_EQ(m_TimedRuns, 0u);
    ASSERT_EQ(a.Read(piece.data(), 1), 1u);
    EXPECT_EQ(m_TimedRuns, 1u);
    EXPECT_EQ(CMwCmdBufferCore::GetSingleton()->m_EnteredCount, 1); // left again

    m_TimedRuns = 0;
    CClassicBufferFile out;
    ASSERT_EQ(out.Open(folder.Engine("c.bin"), true, true, true, false), 1u);
    for (int call = 0; call < 10; ++call)
        ASSERT_EQ(out.Write(bytes.data(), 65536), 65536u);
    EXPECT_EQ(m_TimedRuns, 2u);
    EXPECT_EQ(CClassicBufferFile::s_WrittenThisFrame, 1u);
    EXPECT_TRUE(out.Close());
}

} // namespace
