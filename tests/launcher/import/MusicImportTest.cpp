// The music conversion: the ".mux" files it writes, checked by an independent decipher in Debian's
// python3, its failures (a target is never left half-written, a missing one stays missing), and
// the whole flow from the help dialog with the target checks and their replace questions.
#include "launcher/import/MusicImport.h"

#include "core/base/ClassicBufferCipher.h"
#include "launcher/HelpDlg.h"
#include "launcher/MainDlg.h"
#include "launcher/import/CustomDataDlg.h"
#include "platform/Clock.h"
#include "system/file/ClassicBufferFile.h"
#include "tests/launcher/LauncherTestSupport.h"
#include "tests/system/SystemTestSupport.h"
#include "tests/system/file/TransferCoreFixture.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Deciphers a ".mux" file on its own: the salt predicted from the seconds the generator was
// seeded with, the header checked, every byte deciphered into `plain`; then cmp compares that
// with the source.
void ExpectMux(const CTempFolder& scratch, const std::string& source, const std::string& mux,
               i64 seconds) {
    const std::string plain = scratch.File("plain.bin");
    const std::string script = R"(import hashlib, sys
mux, plain, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3])
state = seconds & 0xFFFFFFFF
salt = 0
for _ in range(4):
    state = (state * 214013 + 2531011) & 0xFFFFFFFF
    salt = (salt << 8) | (((state >> 16) & 0x7FFF) * 256 // 32768)
data = open(mux, 'rb').read()
expected = b'VorelFile' + bytes([1]) + salt.to_bytes(4, 'little')
if data[:14] != expected:
    sys.exit('header ' + data[:14].hex() + ', expected ' + expected.hex())
key = hashlib.md5(salt.to_bytes(4, 'little') + b'Quiet,lamp42!').digest()
def stream(p):
    k, r = key[p % 16], (p // 17) % 8
    return ((k << r) | (k >> (8 - r))) & 0xFF
open(plain, 'wb').write(bytes(b ^ stream(p) for p, b in enumerate(data[14:])))
print('ok')
)";
    EXPECT_EQ(RunPython(scratch, script, mux + " " + plain + " " + std::to_string(seconds)), "ok\n")
        << mux;
    RunCommand("cmp " + source + " " + plain);
}

u64 StatSize(const std::string& path) {
    return std::stoull(RunCommand("stat -c %s " + path));
}

// The wall clock at a second the test sets.
class CFixedWallClock {
public:
    CFixedWallClock() : m_Old(platform::SetWallClockSource(&Now)) { s_Seconds = 1700000000; }
    ~CFixedWallClock() { platform::SetWallClockSource(m_Old); }
    CFixedWallClock(const CFixedWallClock&) = delete;
    CFixedWallClock& operator=(const CFixedWallClock&) = delete;

    static inline i64 s_Seconds = 0;

private:
    static i64 Now() { return s_Seconds * 1000000000 + 999999999; }
    platform::WallClockSource m_Old;
};

// The conversion alone, with the scheduling core that long transfers enter, so that a test can
// act while a conversion runs.
class MusicConversion : public CTransferCoreTest {
protected:
    void SetUp() override {
        CTransferCoreTest::SetUp();
        CClassicBufferFile::s_ReadByteCount = 0;
        CClassicBufferFile::s_WrittenByteCount = 0;
    }

    CTempFolder m_Folder;
    CFixedWallClock m_Clock;
};

// The file is the header, then every source byte enciphered: 14 bytes longer than the source,
// whatever its size against the 1024-byte pieces; the salt comes from the injected second.
TEST_F(MusicConversion, HeaderAndEveryByteEnciphered) {
    for (const size_t size : {size_t(0), size_t(1), size_t(1024), size_t(1025), size_t(1048579)}) {
        SCOPED_TRACE(size);
        CFixedWallClock::s_Seconds += 7;
        WriteWholeFile(m_Folder.File("song.ogg"), Pattern(size, u32(size) + 1));
        ASSERT_TRUE(ConvertMusicFile(m_Folder.Engine("song.ogg"), m_Folder.Engine("song.mux")));
        EXPECT_EQ(StatSize(m_Folder.File("song.mux")), size + 14);
        ExpectMux(m_Folder, m_Folder.File("song.ogg"), m_Folder.File("song.mux"),
                  CFixedWallClock::s_Seconds);
    }
    // A read-only target the checks did not see is cleared and replaced.
    chmod(m_Folder.File("song.mux").c_str(), 0444);
    WriteWholeFile(m_Folder.File("song.ogg"), "new");
    ASSERT_TRUE(ConvertMusicFile(m_Folder.Engine("song.ogg"), m_Folder.Engine("song.mux")));
    EXPECT_EQ(StatSize(m_Folder.File("song.mux")), 17u);
}

// Every failure leaves the target as it was, and a missing target missing: a missing source, a
// source of 4 GB or more (the stream's sizes are 32-bit), a source that shrinks while it is read
// (its bytes so far would otherwise be put in place), a target that cannot be written.
TEST_F(MusicConversion, FailuresLeaveTheTargetAsItWas) {
    WriteWholeFile(m_Folder.File("old.mux"), "old game file");
    WriteWholeFile(m_Folder.File("huge.ogg"), "");
    fs::resize_file(m_Folder.File("huge.ogg"), (u64(1) << 32));
    WriteWholeFile(m_Folder.File("long.ogg"), Pattern(1 << 20, 3));
    struct Case {
        const char* source;
        const char* target;
        bool shrinks;
    };
    const Case cases[] = {
        {"missing.ogg", "old.mux", false},       {"missing.ogg", "new.mux", false},
        {"huge.ogg", "old.mux", false},          {"huge.ogg", "new.mux", false},
        {"long.ogg", "old.mux", true},           {"long.ogg", "new.mux", true},
        {"long.ogg", "nofolder/new.mux", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " -> " + c.target);
        if (c.shrinks) {
            WriteWholeFile(m_Folder.File("long.ogg"), Pattern(1 << 20, 3));
            m_OnTimed = [&] { fs::resize_file(m_Folder.File("long.ogg"), 100); };
        }
        CLogWatch log;
        EXPECT_FALSE(ConvertMusicFile(m_Folder.Engine(c.source), m_Folder.Engine(c.target)));
        EXPECT_NE(log.Since().find("[Launcher] The music was not converted, "), std::string::npos);
        EXPECT_EQ(m_OnTimed, nullptr);
        EXPECT_EQ(m_Folder.Names(), (std::vector<std::string>{"huge.ogg", "long.ogg", "old.mux"}));
        EXPECT_EQ(ReadWholeFile(m_Folder.File("old.mux")), "old game file");
    }
}

// ------------------------------------------------------------------------------------------------
// The flows from the help dialog

class MusicImportFlow : public CLauncherFixture {
protected:
    MusicImportFlow() { WriteGpuTable(true); }

    // The main dialog's Help, then Custom data.
    static ui::Script ToCustomData() {
        ui::Script script;
        script.In(kMainDlgTemplateId)
            .Click(kMainDlgHelpId)
            .In(kHelpDlgTemplateId)
            .Click(kHelpDlgCustomDataId);
        return script;
    }
    // Convert music, with a file picked.
    static ui::Script& Convert(ui::Script& script, const std::string& source) {
        return script.In(kCustomDataDlgTemplateId).Click(kCustomDataDlgMusicId).ChooseFile(source);
    }
    // The custom-data dialog, the help dialog and the main dialog closed.
    static void CloseAll(ui::Script& script) {
        script.In(kCustomDataDlgTemplateId)
            .Click(ui::IDOK)
            .In(kHelpDlgTemplateId)
            .Click(ui::IDOK)
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL);
    }
    // Box texts with a host path.
    static std::string Question(const std::string& path) {
        return "This data already exists as a game file :\r\n" + path +
               "\r\nDo you want to replace it ?";
    }
    static std::string Success(const std::string& path) {
        return "Your music has been successfully converted to :\r\n" + path + "\r\n";
    }
    static ui::Script& Yes(ui::Script& script, const std::string& path) {
        return script.Answer(ui::IDYES, ui::Exactly("Music conversion"),
                             ui::Exactly(Question(path)));
    }
    static ui::Script& Converted(ui::Script& script, const std::string& path) {
        return script.Answer(ui::IDOK, ui::Exactly("Music conversion"), ui::Exactly(Success(path)));
    }
    static ui::Script& Failed(ui::Script& script) {
        return script.Answer(ui::IDOK, ui::Exactly("Music conversion"),
                             ui::Exactly("Failed to convert music"));
    }

    std::string Music(const std::string& name = "") const {
        return m_Install.File("GameData/Skins/ChallengeMusics/" + name);
    }
    // The box lines of the transcript, their answers left out.
    std::vector<std::string> Boxes() const {
        std::vector<std::string> boxes;
        for (const std::string& line : Lines())
            if (line.rfind("box ", 0) == 0 && line.rfind("box -> ", 0) != 0)
                boxes.push_back(line);
        return boxes;
    }
    static std::string Quoted(const std::string& text) {
        std::string out;
        for (const char c : text)
            out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
        return "\"" + out + "\"";
    }
    static std::string OwnedBox(const std::string& text, const char* type) {
        return "box owner 151 \"Music conversion\" " + Quoted(text) + " " + type;
    }
    // The files under the music folder, relative, sorted.
    std::vector<std::string> MusicFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(Music()))
            if (!entry.is_directory())
                names.push_back(fs::relative(entry.path(), Music()).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // The music file of a song outside the game deciphered and compared with it.
    void ExpectMuxOf(const std::string& song, const std::string& mux,
                     i64 seconds = CFixedWallClock::s_Seconds) const {
        ExpectMux(m_Outside, m_Outside.File(song), Music(mux), seconds);
    }

    CTempFolder m_Outside;
    CFixedWallClock m_Clock;
};

// A 1025-byte song outside the game: the open-file dialog of the music kind, the music folder
// made, the file written and the success box with its host path; an empty song gives the header
// alone.
TEST_F(MusicImportFlow, ConvertsIntoANewFolder) {
    const std::string song = Pattern(1025, 11);
    WriteWholeFile(m_Outside.File("song.ogg"), song);
    WriteWholeFile(m_Outside.File("empty.ogg"), "");
    ui::Script script = ToCustomData();
    Converted(Convert(script, m_Outside.File("song.ogg")), Music("song.mux"));
    Converted(Convert(script, m_Outside.File("empty.ogg")), Music("empty.mux"));
    CloseAll(script);
    Run(std::move(script));

    EXPECT_TRUE(HasLine("file owner 151 title \"Convert ogg file\" filter \"music files (*.ogg)\" "
                        "\"*.ogg\" ext \"ogg\" folder \"" +
                        m_Install.Path().string() + "/\" flags 0x1804"))
        << m_Ui.TranscriptText();
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{OwnedBox(Success(Music("song.mux")), "MB_OK OK"),
                                        OwnedBox(Success(Music("empty.mux")), "MB_OK OK")}));
    EXPECT_EQ(MusicFiles(), (std::vector<std::string>{"empty.mux", "song.mux"}));
    EXPECT_EQ(StatSize(Music("song.mux")), 1039u);
    EXPECT_EQ(StatSize(Music("empty.mux")), 14u);
    ExpectMuxOf("song.ogg", "song.mux");
    ExpectMuxOf("empty.ogg", "empty.mux");
}

// Two game files of the song's name, both replaced: asked about in the listing's order, the new
// file takes the folder and spelling of the one confirmed last, and the other goes. With the one
// in a sub-folder alone, the new file goes there.
TEST_F(MusicImportFlow, ReplacesTheConfirmedFiles) {
    fs::create_directories(Music("Old"));
    WriteWholeFile(Music("Song.mux"), "old song");
    WriteWholeFile(Music("Old/song.txt"), "old notes");
    WriteWholeFile(Music("Old/tune.txt"), "old tune");
    WriteWholeFile(Music("other.mux"), "kept");
    WriteWholeFile(m_Outside.File("song.ogg"), Pattern(3000, 12));
    WriteWholeFile(m_Outside.File("tune.ogg"), Pattern(10, 13));
    ui::Script script = ToCustomData();
    Yes(Convert(script, m_Outside.File("song.ogg")), Music("Song.mux"));
    Yes(script, Music("Old/song.txt"));
    Converted(script, Music("Old/song.mux"));
    Yes(Convert(script, m_Outside.File("tune.ogg")), Music("Old/tune.txt"));
    Converted(script, Music("Old/tune.mux"));
    CloseAll(script);
    Run(std::move(script));

    EXPECT_EQ(MusicFiles(),
              (std::vector<std::string>{"Old/song.mux", "Old/tune.mux", "other.mux"}));
    ExpectMuxOf("song.ogg", "Old/song.mux");
    ExpectMuxOf("tune.ogg", "Old/tune.mux");
}

// A No after a Yes, or a read-only game file after a Yes, stops the import: nothing is removed
// or written, and the folder made stays.
TEST_F(MusicImportFlow, ANoOrAReadOnlyFileAfterAYesRemovesNothing) {
    fs::create_directories(Music("Old"));
    WriteWholeFile(Music("Song.mux"), "old song");
    WriteWholeFile(Music("Old/song.txt"), "old notes");
    WriteWholeFile(m_Outside.File("song.ogg"), Pattern(3000, 12));
    const std::string readOnly = "This data already exists as a game file :\r\n" +
                                 Music("Old/song.txt") +
                                 "\r\nThis game file is read-only, and can not be replaced.";
    ui::Script script = ToCustomData();
    Yes(Convert(script, m_Outside.File("song.ogg")), Music("Song.mux"));
    script.Answer(ui::IDNO, ui::Exactly("Music conversion"),
                  ui::Exactly(Question(Music("Old/song.txt"))));
    script.Expect(
        [&](const ui::View&) {
            chmod(Music("Old/song.txt").c_str(), 0444);
            return true;
        },
        "the notes made read-only");
    Yes(Convert(script, m_Outside.File("song.ogg")), Music("Song.mux"));
    script.Answer(ui::IDOK, ui::Exactly("Music conversion"), ui::Exactly(readOnly));
    CloseAll(script);
    Run(std::move(script));

    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           OwnedBox(Question(Music("Song.mux")), "MB_YESNO Yes|No"),
                           OwnedBox(Question(Music("Old/song.txt")), "MB_YESNO Yes|No"),
                           OwnedBox(Question(Music("Song.mux")), "MB_YESNO Yes|No"),
                           OwnedBox(readOnly, "MB_OK OK")}));
    EXPECT_EQ(MusicFiles(), (std::vector<std::string>{"Old/song.txt", "Song.mux"}));
    EXPECT_EQ(ReadWholeFile(Music("Song.mux")), "old song");
    EXPECT_EQ(ReadWholeFile(Music("Old/song.txt")), "old notes");
}

// A song picked inside the music folder is refused, whether the install folder is spelled in
// another case or the song is reached through a link to the folder; the game file confirmed
// before the refusal stays.
TEST_F(MusicImportFlow, ASourceInsideTheGameFolderIsRefused) {
    fs::create_directories(Music());
    WriteWholeFile(Music("song.mux"), "old song");
    WriteWholeFile(Music("song.ogg"), Pattern(100, 14));
    fs::create_directory_symlink(Music(), m_Outside.File("link"));
    const std::string refusal = "You can't import a file from the game directory.";

    ui::Script script = ToCustomData();
    Yes(Convert(script, m_Outside.File("link/song.ogg")), Music("song.mux"));
    script.Answer(ui::IDOK, ui::Exactly("Music conversion"), ui::Exactly(refusal));
    CloseAll(script);
    Run(std::move(script));

    // The launcher started as "/tmp/INSTALL-..../BrisaldeLauncher": every path it makes is
    // spelled so, the song picked is spelled as on disk.
    std::string install = m_Install.Path().filename().string();
    for (char& c : install)
        c = char(std::toupper(u8(c)));
    const std::string shouted = (m_Install.Path().parent_path() / install).string();
    platform::SetCommandLine(u"\"" + platform::FromHostPath(shouted + "/BrisaldeLauncher") + u"\"");
    ui::Script again = ToCustomData();
    Convert(again, Music("song.ogg"));
    again.Answer(ui::IDYES, ui::Exactly("Music conversion"),
                 ui::Exactly(Question(shouted + "/GameData/Skins/ChallengeMusics/song.mux")));
    again.Answer(ui::IDOK, ui::Exactly("Music conversion"), ui::Exactly(refusal));
    CloseAll(again);
    Run(std::move(again));

    const std::vector<std::string> lines = Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), OwnedBox(refusal, "MB_OK OK")), 2);
    EXPECT_EQ(MusicFiles(), (std::vector<std::string>{"song.mux", "song.ogg"}));
    EXPECT_EQ(ReadWholeFile(Music("song.mux")), "old song");
}

// Cancelling the open-file dialog makes no folder.
TEST_F(MusicImportFlow, CancelMakesNothing) {
    ui::Script script = ToCustomData();
    script.In(kCustomDataDlgTemplateId).Click(kCustomDataDlgMusicId).CancelFile();
    CloseAll(script);
    Run(std::move(script));
    EXPECT_TRUE(HasLine("file -> none"));
    EXPECT_FALSE(fs::exists(m_Install.File("GameData/Skins")));
}

// Writes that fail (the file size limit of a child process that runs the flow, with SIGXFSZ
// ignored): the failure box with the error sign and no owner; no ".mux" and no temporary file
// left, the game file confirmed for replacement still there, a new target not made.
TEST_F(MusicImportFlow, AFailedWriteLeavesTheGameFilesAsTheyWere) {
    fs::create_directories(Music());
    WriteWholeFile(Music("song.mux"), "old song");
    WriteWholeFile(m_Outside.File("song.ogg"), Pattern(512 << 10, 15));
    WriteWholeFile(m_Outside.File("tune.ogg"), Pattern(512 << 10, 16));
    const int code = RunInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {128 << 10, 128 << 10};
        setrlimit(RLIMIT_FSIZE, &limit);
        ui::Script script = ToCustomData();
        Yes(Convert(script, m_Outside.File("song.ogg")), Music("song.mux"));
        Failed(script);
        Failed(Convert(script, m_Outside.File("tune.ogg")));
        CloseAll(script);
        m_Ui.Play(std::move(script));
        if (RunLauncher(m_Options) != 0)
            return 1;
        const std::string failure =
            "box \"Music conversion\" \"Failed to convert music\" MB_OK|MB_ICONERROR OK";
        const std::vector<std::string> lines = Lines();
        if (std::count(lines.begin(), lines.end(), failure) != 2)
            return 2;
        return m_Ui.Finish() ? 0 : 3;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(MusicFiles(), std::vector<std::string>{"song.mux"});
    EXPECT_EQ(ReadWholeFile(Music("song.mux")), "old song");
}

// Two conversions of one song within one second give the same file; a second later the salt
// differs.
TEST_F(MusicImportFlow, TheSaltFollowsTheSecond) {
    WriteWholeFile(m_Outside.File("song.ogg"), Pattern(2000, 17));
    std::vector<std::string> files;
    const auto keep = [&](i64 nextSeconds) {
        return [&, nextSeconds](const ui::View&) {
            files.push_back(ReadWholeFile(Music("song.mux")));
            CFixedWallClock::s_Seconds = nextSeconds;
            return true;
        };
    };
    const i64 first = CFixedWallClock::s_Seconds;
    ui::Script script = ToCustomData();
    Converted(Convert(script, m_Outside.File("song.ogg")), Music("song.mux"));
    script.Expect(keep(first), "the first file kept");
    Yes(Convert(script, m_Outside.File("song.ogg")), Music("song.mux"));
    Converted(script, Music("song.mux"));
    script.Expect(keep(first + 1), "the second file kept");
    Yes(Convert(script, m_Outside.File("song.ogg")), Music("song.mux"));
    Converted(script, Music("song.mux"));
    script.Expect(keep(first + 1), "the third file kept");
    CloseAll(script);
    Run(std::move(script));

    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], files[1]);
    EXPECT_NE(files[1].substr(10, 4), files[2].substr(10, 4));
    ExpectMuxOf("song.ogg", "song.mux", first + 1);
}

} // namespace
