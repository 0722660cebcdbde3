#include "core/base/ClassicTranslator.h"

#include "CoreTestSupport.h"
#include "ExternalToolSupport.h"
#include "core/base/ClassicHash.h"
#include "platform/Endian.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::u16string Wide(const char16_t* text) {
    return text ? std::u16string(text) : std::u16string(u"(null)");
}

// Widens each byte to the character of the same value, as the catalogue widens its keys.
std::u16string Widen(const std::string& bytes) {
    std::u16string wide;
    for (char c : bytes) {
        wide += char16_t(u8(c));
    }
    return wide;
}

// Loads the bytes from a memory stream into the translator.
bool Load(CClassicTranslator& translator, const std::string& bytes, CClassicString& error,
          const char* code = "fr") {
    CClassicBufferMemory stream;
    stream.Write(bytes.data(), u32(bytes.size()));
    stream.Rewind();
    return translator.LoadMo(code, &stream, error);
}

// Runs msgfmt over the .po text and gives the catalogue's bytes.
std::string Msgfmt(const CTempFolder& folder, const std::string& name, const std::string& po,
                   const std::string& options = "") {
    WriteWholeFile(folder.File(name + ".po"), po);
    RunCommand("msgfmt " + options + " -o " + folder.File(name + ".mo") + " " +
               folder.File(name + ".po"));
    return ReadWholeFile(folder.File(name + ".mo"));
}

std::string PoHeader(const char* charset) {
    return std::string("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=") + charset +
           "\\n\"\n\n";
}

std::string PoEntry(const std::string& key, const std::string& translation) {
    return "msgid \"" + key + "\"\nmsgstr \"" + translation + "\"\n\n";
}

// A little-endian catalogue without a hash table: header, the two tables, then the texts.
struct MoEntry {
    std::string key;
    std::string translation;
};

std::string BuildMo(const std::vector<MoEntry>& entries) {
    const u32 n = u32(entries.size());
    std::string file(28 + 16 * n, '\0');
    platform::StoreU32Le(&file[0], 0x950412DE);
    platform::StoreU32Le(&file[8], n);
    platform::StoreU32Le(&file[12], 28);
    platform::StoreU32Le(&file[16], 28 + 8 * n);
    for (u32 table = 0; table < 2; ++table) {
        for (u32 i = 0; i < n; ++i) {
            const std::string& text = table == 0 ? entries[i].key : entries[i].translation;
            platform::StoreU32Le(&file[28 + 8 * (table * n + i)], u32(text.size()));
            platform::StoreU32Le(&file[28 + 8 * (table * n + i) + 4], u32(file.size()));
            file += text;
            file += '\0';
        }
    }
    return file;
}

void Put32(std::string& file, u32 offset, u32 value) {
    platform::StoreU32Le(&file[offset], value);
}

// Checks that the catalogue is empty: language "xx", keys come back without their context.
void ExpectEmpty(const CClassicTranslator& translator) {
    EXPECT_EQ(translator.GetMessageCount(), 0u);
    EXPECT_STREQ(translator.GetLanguageCode(), "xx");
    EXPECT_EQ(Wide(translator.Translate(u"|Config|Current")), u"Current");
    EXPECT_EQ(translator.FindMessage(u"|Config|Current"), -1);
}

TEST(ClassicTranslator, WithoutCatalogueKeysLoseTheirContext) {
    CClassicTranslator translator;
    ExpectEmpty(translator);
    const struct {
        const char16_t* key;
        const char16_t* shown;
    } cases[] = {
        {u"|Config|Current", u"Current"},
        {u"Current", u"Current"},
        {u"", u""},
        {u"|NoSecondBar", u"|NoSecondBar"},
        {u"||Empty context", u"Empty context"},
        {u"|A|B|C", u"B|C"},
        {u"Mid|dle|bars", u"Mid|dle|bars"},
        {nullptr, u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Wide(translator.Translate(c.key)), c.shown)
            << std::string(c.key ? CClassicWideString(c.key).GetNarrow().GetText() : "(null)");
    }
    EXPECT_EQ(Wide(translator.GetLanguageName()), u"English");
    // An unchanged key is returned as the key itself, not a copy.
    const char16_t* key = u"|Ctx|Text";
    EXPECT_EQ(translator.Translate(key), key + 5);
}

TEST(ClassicTranslator, SkipContextWideAndNarrowDifferOnAMissingSecondBar) {
    const struct {
        const char* text;
        const char* narrow;
        const char* wide;
    } cases[] = {
        {"|Ctx|Text", "Text", "Text"},
        {"Text", "Text", "Text"},
        {"|NoSecondBar", "", "|NoSecondBar"},
        {"|", "", "|"},
        {"||", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_STREQ(ClassicSkipContext(c.text), c.narrow);
        const CClassicWideString wide(CClassicStringRef(c.text));
        EXPECT_EQ(CClassicWideString(ClassicSkipContextW(wide.GetText())).GetNarrow().GetText(),
                  std::string(c.wide));
    }
    EXPECT_STREQ(ClassicSkipContext(nullptr), "");
    EXPECT_EQ(Wide(ClassicSkipContextW(nullptr)), u"");
}

TEST(ClassicTranslator, MatchLanguageAndPrefix) {
    const struct {
        const char* a;
        const char* b;
        i32 match;
    } matches[] = {
        {"fr", "fr", 2},    {"fr", "FR", 2},       {"fr", "fr-CA", 1},    {"FR", "fr_ca", 1},
        {"fr-CA", "fr", 0}, {"fr-CA", "FR-ca", 2}, {"fr-CA", "fr-BE", 0}, {"fr-CA", "fr-CAX", 0},
        {"fr", "de", 0},    {"f", "f", 0},         {"fr", "f", 0},        {"", "", 0},
        {nullptr, "fr", 0}, {"fr", nullptr, 0},
    };
    for (const auto& m : matches) {
        EXPECT_EQ(ClassicMatchLanguage(m.a, m.b), m.match)
            << (m.a ? m.a : "(null)") << " / " << (m.b ? m.b : "(null)");
    }

    const struct {
        const char* code;
        const char* prefix;
        bool longer;
    } prefixes[] = {
        {"fr", "fr", false}, {"fr-CA", "fr", true},  {"f", "xx", false},
        {"", "xx", false},   {nullptr, "xx", false},
    };
    for (const auto& p : prefixes) {
        char prefix[3] = {'?', '?', '?'};
        EXPECT_EQ(ClassicGetLanguagePrefix(p.code, prefix), p.longer);
        EXPECT_STREQ(prefix, p.prefix);
    }
}

// A latin1 catalogue (no encoding entry, and one with "latin1") and a UTF-8 one, all made by
// msgfmt; keys, translations, the stripped contexts and the log lines.
TEST(ClassicTranslator, MsgfmtCataloguesDecodeTheirTranslations) {
    CTempFolder folder;
    const std::string latin1Entries =
        PoEntry("|I18NInternal|English", "Fran\xE7"
                                         "ais") +
        PoEntry("|Config|Current", "Actuel") + PoEntry("|Dlg|Play", "|Jeu|Jouer") +
        PoEntry("|Dlg|Caf\xE9", "Caf\xE9 cr\xE8me") + PoEntry("|Dlg|Untranslated", "");
    const std::string utf8Entries =
        PoEntry("|I18NInternal|Encoding", "utf8") +
        PoEntry("|I18NInternal|English", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E") +
        PoEntry("|Config|Current", "\xE7\x8F\xBE\xE5\x9C\xA8") +
        PoEntry("|Dlg|Play", "|Jeu|Jouer \xF0\x9F\x98\x80") +
        PoEntry("|Dlg|Exit", "Sortie \xC3\xA9");
    const struct {
        const char* name;
        std::string po;
        std::vector<std::pair<std::u16string, std::u16string>> translations;
        u32 count;
        const char* log;
    } cases[] = {
        {"latin1",
         PoHeader("ISO-8859-1") + latin1Entries,
         {{u"|I18NInternal|English", u"Fran\u00E7ais"},
          {u"|Config|Current", u"Actuel"},
          {u"|Dlg|Play", u"Jouer"},
          {u"|Dlg|Caf\u00E9", u"Caf\u00E9 cr\u00E8me"},
          {u"|Dlg|Untranslated", u"Untranslated"},
          {u"|Dlg|Absent", u"Absent"}},
         5,
         "[I18n] Language: fr 'Fran\xE7"
         "ais'\r\n[I18n] MsgCount: 5\r\n"
         "[I18n] Encoding: Encoding\r\n"},
        {"latin1-named",
         PoHeader("ISO-8859-1") + PoEntry("|I18NInternal|Encoding", "latin1") + latin1Entries,
         {{u"|I18NInternal|English", u"Fran\u00E7ais"},
          {u"|Dlg|Caf\u00E9", u"Caf\u00E9 cr\u00E8me"}},
         6,
         "[I18n] Language: fr 'Fran\xE7"
         "ais'\r\n[I18n] MsgCount: 6\r\n"
         "[I18n] Encoding: latin1\r\n"},
        {"utf8",
         PoHeader("UTF-8") + utf8Entries,
         {{u"|I18NInternal|English", u"\u65E5\u672C\u8A9E"},
          {u"|Config|Current", u"\u73FE\u5728"},
          {u"|Dlg|Play", u"Jouer \U0001F600"},
          {u"|Dlg|Exit", u"Sortie \u00E9"}},
         6,
         "[I18n] Language: fr '___'\r\n[I18n] MsgCount: 6\r\n[I18n] Encoding: utf8\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string mo = Msgfmt(folder, c.name, c.po);
        CClassicTranslator translator;
        CClassicString error("stale");
        CLogWatch log;
        ASSERT_TRUE(Load(translator, mo, error));
        EXPECT_EQ(error.GetLength(), 0u);
        EXPECT_EQ(log.Since(), c.log);
        EXPECT_EQ(translator.GetMessageCount(), c.count);
        EXPECT_STREQ(translator.GetLanguageCode(), "fr");
        for (const auto& [key, shown] : c.translations) {
            EXPECT_EQ(Wide(translator.Translate(key.c_str())), shown);
        }

        // msgfmt's own hash table (slot h mod S, step 1 + h mod (S - 2), entries index + 1)
        // finds every widened key by our wide hash.
        const u32 size = platform::LoadU32Le(&mo[20]);
        const u32 table = platform::LoadU32Le(&mo[24]);
        ASSERT_GT(size, 2u);
        for (u32 i = 0; i < translator.GetMessageCount(); ++i) {
            const u32 hash = ClassicHashPjwWide(translator.GetKey(i));
            u32 slot = hash % size;
            u32 entry;
            while ((entry = platform::LoadU32Le(&mo[table + 4 * slot])) != 0 && entry != i + 1) {
                slot = (slot + 1 + hash % (size - 2)) % size;
            }
            EXPECT_EQ(entry, i + 1) << "message " << i;
        }
    }
}

// Python's gettext reads the same msgfmt-made catalogues; after context stripping its answers
// are Translate's, for every key and for one that is absent.
TEST(ClassicTranslator, PythonGettextGivesTheSameAnswers) {
    CTempFolder folder;
    const struct {
        const char* name;
        std::string po;
    } catalogues[] = {
        {"latin1", PoHeader("ISO-8859-1") +
                       PoEntry("|I18NInternal|English", "Fran\xE7"
                                                        "ais") +
                       PoEntry("|Config|Current", "Actuel") + PoEntry("|Dlg|Play", "|Jeu|Jouer") +
                       PoEntry("|Dlg|Caf\xE9", "Caf\xE9 cr\xE8me") +
                       PoEntry("No context", "Sans contexte") +
                       PoEntry("|A|Twice", "|B||C|Deux fois")},
        {"utf8", PoHeader("UTF-8") + PoEntry("|I18NInternal|Encoding", "utf8") +
                     PoEntry("|Config|Current", "\xE7\x8F\xBE\xE5\x9C\xA8") +
                     PoEntry("|Dlg|Play", "|Jeu|Jouer \xF0\x9F\x98\x80") +
                     PoEntry("|Dlg|Bar", "a|b") + PoEntry("|Dlg|Lead", "|seul")},
    };
    const std::string script = R"(
import gettext, sys
def skip(t):
    if t.startswith("|"):
        i = t.find("|", 1)
        if i >= 0:
            return t[i + 1:]
    return t
with open(sys.argv[1], "rb") as f:
    catalogue = gettext.GNUTranslations(f)
for line in open(sys.argv[2], encoding="utf-8").read().splitlines():
    print(skip(skip(catalogue.gettext(line))).encode("utf-16-le").hex())
)";
    for (const auto& c : catalogues) {
        SCOPED_TRACE(c.name);
        const std::string mo = Msgfmt(folder, c.name, c.po);
        CClassicTranslator translator;
        CClassicString error;
        ASSERT_TRUE(Load(translator, mo, error));
        std::vector<std::u16string> keys;
        for (u32 i = 1; i < translator.GetMessageCount(); ++i) { // 0 is msgfmt's header entry
            keys.push_back(translator.GetKey(i));
        }
        keys.push_back(u"|Dlg|Absent");
        std::string keyLines;
        std::ostringstream expected;
        for (const std::u16string& key : keys) {
            CClassicString utf8;
            CClassicWideString(key.c_str()).ToUtf8(utf8, false);
            keyLines += std::string(utf8.GetText()) + "\n";
            const char16_t* shown = translator.Translate(key.c_str());
            for (const char16_t* p = shown; *p; ++p) {
                static const char digits[] = "0123456789abcdef";
                for (u8 b : {u8(*p), u8(*p >> 8)}) {
                    expected << digits[b >> 4] << digits[b & 15];
                }
            }
            expected << '\n';
        }
        WriteWholeFile(folder.File("keys"), keyLines);
        EXPECT_EQ(RunPython(folder, script,
                            folder.File(std::string(c.name) + ".mo") + " " + folder.File("keys")),
                  expected.str());
    }
}

// The encoding entry decides how translations are read: absent, a BOM makes one translation
// UTF-8; an unknown name reads every translation byte by byte (and says so in the log).
TEST(ClassicTranslator, EncodingEntryChoosesTheDecoder) {
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        const char* name;
        std::vector<MoEntry> entries;
        std::u16string plain;
        std::u16string marked;
        const char* log;
    } cases[] = {
        {"absent",
         {{"|T|Plain", "\xE9t\xE9"}, {"|T|Marked", bom + "\xC3\xA9t\xC3\xA9"}},
         u"\u00E9t\u00E9",
         u"\u00E9t\u00E9",
         "[I18n] Encoding: Encoding\r\n"},
        {"utf8",
         {{"|I18NInternal|Encoding", "utf8"},
          {"|T|Plain", "\xC3\xA9t\xC3\xA9"},
          {"|T|Marked", bom + "\xC3\xA9t\xC3\xA9"}},
         u"\u00E9t\u00E9",
         u"\u00E9t\u00E9",
         "[I18n] Encoding: utf8\r\n"},
        {"unknown",
         {{"|I18NInternal|Encoding", "koi8-r"},
          {"|T|Plain", "\xC3\xA9t\xC3\xA9"},
          {"|T|Marked", bom + "\xE9"}},
         u"\u00C3\u00A9t\u00C3\u00A9",
         u"\u00EF\u00BB\u00BF\u00E9",
         "[I18n] Unknown encoding 'koi8-r': translations read byte by byte\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CClassicTranslator translator;
        CClassicString error;
        CLogWatch log;
        ASSERT_TRUE(Load(translator, BuildMo(c.entries), error));
        EXPECT_EQ(Wide(translator.Translate(u"|T|Plain")), c.plain);
        EXPECT_EQ(Wide(translator.Translate(u"|T|Marked")), c.marked);
        EXPECT_NE(log.Since().find(c.log), std::string::npos) << log.Since();
    }
}

TEST(ClassicTranslator, RefusedFilesLeaveNoCatalogue) {
    CTempFolder folder;
    const std::string po = PoHeader("UTF-8") + PoEntry("|Config|Current", "Actuel");
    const std::string good = Msgfmt(folder, "good", po);
    const std::string big = Msgfmt(folder, "big", po, "--endianness=big");
    std::string revision1 = good;
    Put32(revision1, 4, 1);
    std::string otherMagic = good;
    Put32(otherMagic, 0, 0x950412DF);
    const std::string invalid = "Invalid mo file";
    const struct {
        const char* name;
        std::string bytes;
        std::string error;
    } cases[] = {
        {"empty", "", invalid},
        {"27 bytes", good.substr(0, 27), invalid},
        {"big-endian", big, "Invalid mo file:  file byte order not supported"},
        {"revision 1", revision1, "Invalid mo file: only version 0, revision 0 supported!"},
        {"other magic", otherMagic, invalid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CClassicTranslator translator;
        CClassicString error;
        ASSERT_TRUE(Load(translator, good, error));
        EXPECT_EQ(Wide(translator.Translate(u"|Config|Current")), u"Actuel");
        CLogWatch log;
        EXPECT_FALSE(Load(translator, c.bytes, error));
        EXPECT_EQ(std::string(error.GetText()), c.error);
        // The refusal is the caller's to log, from the error text.
        EXPECT_EQ(log.Since(), "");
        ExpectEmpty(translator);
    }

    CClassicTranslator translator;
    CClassicString error;
    EXPECT_FALSE(translator.LoadMo("fr", nullptr, error));
    EXPECT_EQ(std::string(error.GetText()), invalid);
}

// Hostile tables: every offset and count is checked against the file before it is used, and
// entries that share one long text cannot make the text block overflow.
TEST(ClassicTranslator, OutOfBoundsTablesAreRefused) {
    const std::string good = BuildMo({{"|A|One", "Un"}, {"|A|Two", "Deux"}});
    const u32 size = u32(good.size());
    const auto patched = [&](u32 offset, u32 value) {
        std::string file = good;
        Put32(file, offset, value);
        return file;
    };
    // Entries 0 and 1 of the originals' table at 28, of the translations' at 44.
    std::string unterminated = good;
    unterminated.back() = 'x';
    std::vector<MoEntry> shared(200, {"|K|Key", ""});
    std::string sharing = BuildMo(shared);
    const std::string longText(1000, 'L');
    sharing += longText + '\0';
    for (u32 i = 0; i < 200; ++i) {
        Put32(sharing, 28 + 8 * (200 + i) + 4, u32(sharing.size() - longText.size() - 1));
    }
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"huge count", patched(8, 0x20000000)},
        {"translations one byte short", patched(16, size - 15)},
        {"originals past the end", patched(12, size - 8)},
        {"originals wrapping", patched(12, 0xFFFFFFF8)},
        {"translations wrapping", patched(16, 0xFFFFFFFC)},
        {"key offset at the end", patched(28 + 4, size)},
        {"translation offset huge", patched(44 + 12, 0xFFFFFFFF)},
        {"no NUL before the end", unterminated},
        {"200 entries share one long text", sharing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CClassicTranslator translator;
        CClassicString error;
        CLogWatch log;
        EXPECT_FALSE(Load(translator, c.bytes, error));
        EXPECT_EQ(std::string(error.GetText()), "Invalid mo file");
        EXPECT_EQ(log.Since(), "");
        ExpectEmpty(translator);
    }

    // A little sharing is fine: two translations point at one text.
    std::string twoShare = good;
    Put32(twoShare, 44 + 4, platform::LoadU32Le(&good[44 + 12]));
    CClassicTranslator translator;
    CClassicString error;
    ASSERT_TRUE(Load(translator, twoShare, error));
    EXPECT_EQ(Wide(translator.Translate(u"|A|One")), u"Deux");
    EXPECT_EQ(Wide(translator.Translate(u"|A|Two")), u"Deux");
}

// Duplicated keys answer with the first; an empty catalogue loads; the language code keeps 31
// characters; a new catalogue replaces the old one and Unload empties it.
TEST(ClassicTranslator, CatalogueLifecycle) {
    CClassicTranslator translator;
    CClassicString error;
    ASSERT_TRUE(Load(translator, BuildMo({{"|A|Key", "First"}, {"|A|Key", "Second"}}), error,
                     "abcdefghijklmnopqrstuvwxyz0123456789"));
    EXPECT_STREQ(translator.GetLanguageCode(), "abcdefghijklmnopqrstuvwxyz01234");
    EXPECT_EQ(translator.FindMessage(u"|A|Key"), 0);
    EXPECT_EQ(Wide(translator.Translate(u"|A|Key")), u"First");

    CLogWatch log;
    ASSERT_TRUE(Load(translator, BuildMo({}), error, "de"));
    EXPECT_EQ(
        log.Since(),
        "[I18n] Language: de 'English'\r\n[I18n] MsgCount: 0\r\n[I18n] Encoding: Encoding\r\n");
    EXPECT_EQ(Wide(translator.Translate(u"|A|Key")), u"Key");

    ASSERT_TRUE(Load(translator, BuildMo({{"|B|Other", "Autre"}}), error, "it"));
    EXPECT_EQ(Wide(translator.Translate(u"|A|Key")), u"Key");
    EXPECT_EQ(Wide(translator.Translate(u"|B|Other")), u"Autre");
    translator.Unload();
    ExpectEmpty(translator);
    EXPECT_EQ(Wide(translator.Translate(u"|B|Other")), u"Other");
}

// The hash table keeps 16-bit message indices with 0xFFFF for an empty slot: a catalogue of
// 65535 messages is looked up exactly, index 0xFFFE included, and one more message is refused.
TEST(ClassicTranslator, MessageCountIsCappedAtSixteenBitIndices) {
    CTempFolder folder;
    constexpr u32 kCount = kClassicTranslatorMaxMessages - 1; // msgfmt adds the header entry
    std::string po = PoHeader("UTF-8");
    char line[64];
    for (u32 i = 0; i < kCount; ++i) {
        snprintf(line, sizeof line, "msgid \"|K|k%05u\"\nmsgstr \"t%05u\"\n\n", i, i);
        po += line;
    }
    const std::string mo = Msgfmt(folder, "large", po);
    CClassicTranslator translator;
    CClassicString error;
    CLogWatch log;
    ASSERT_TRUE(Load(translator, mo, error));
    EXPECT_NE(log.Since().find("[I18n] MsgCount: 65 535\r\n"), std::string::npos);
    u32 wrong = 0;
    for (u32 i = 0; i < kCount; ++i) {
        snprintf(line, sizeof line, "|K|k%05u", i);
        const std::u16string key = Widen(line);
        snprintf(line, sizeof line, "t%05u", i);
        wrong += Wide(translator.Translate(key.c_str())) != Widen(line);
    }
    EXPECT_EQ(wrong, 0u);
    // The last message, index 0xFFFE: msgfmt's header entry is message 0.
    EXPECT_EQ(Wide(translator.GetKey(0xFFFE)), u"|K|k65533");
    EXPECT_EQ(translator.FindMessage(u"|K|k65533"), 0xFFFE);

    std::vector<MoEntry> entries(kClassicTranslatorMaxMessages + 1);
    for (u32 i = 0; i < entries.size(); ++i) {
        entries[i].key = "k" + std::to_string(i);
    }
    EXPECT_FALSE(Load(translator, BuildMo(entries), error));
    EXPECT_EQ(std::string(error.GetText()), "Invalid mo file");
    ExpectEmpty(translator);
}

// Six-character keys whose PJW hash is the same: with characters below 256 the hash of six
// characters is the sum of c x 16^(5 - i) and never folds its top bits, so a depth-first search
// lists keys of one sum. Each is checked against the catalogue's own hash.
std::vector<std::string> CollidingKeys(u32 count) {
    constexpr u32 kLow = 1, kHigh = 255;
    u32 weight[6], least[7] = {}, most[7] = {};
    for (u32 i = 0; i < 6; ++i) {
        weight[i] = 1u << (4 * (5 - i));
    }
    for (u32 i = 6; i-- > 0;) {
        least[i] = least[i + 1] + kLow * weight[i];
        most[i] = most[i + 1] + kHigh * weight[i];
    }
    const u32 target = 0x80 * least[0];
    std::vector<std::string> keys;
    std::string key(6, '\0');
    const auto search = [&](const auto& self, u32 i, u32 rest) -> void {
        for (u32 c = kLow; c <= kHigh && keys.size() < count; ++c) {
            if (c * weight[i] > rest) {
                break;
            }
            const u32 left = rest - c * weight[i];
            if (left < least[i + 1] || left > most[i + 1]) {
                continue;
            }
            key[i] = char(c);
            if (i == 5) {
                keys.push_back(key);
            } else {
                self(self, i + 1, left);
            }
        }
    };
    search(search, 0, target);
    for (const std::string& k : keys) {
        EXPECT_EQ(ClassicHashPjwWide(Widen(k).c_str()), target);
    }
    return keys;
}

// Keys that share a probe sequence cannot make loading quadratic: a key met again stops at its
// first message, which answers for it, and a catalogue whose distinct keys share one hash is
// refused once its probing passes a few probes per message. A few colliding keys among many
// ordinary ones still load.
TEST(ClassicTranslator, RepeatedAndCollidingKeysLoadInLinearWork) {
    std::vector<MoEntry> equal(30000);
    for (u32 i = 0; i < equal.size(); ++i) {
        equal[i] = {i % 1000 == 999 ? "|K|Other" + std::to_string(i) : "|K|Same",
                    "t" + std::to_string(i)};
    }
    CClassicTranslator translator;
    CClassicString error;
    ASSERT_TRUE(Load(translator, BuildMo(equal), error));
    EXPECT_EQ(translator.GetMessageCount(), 30000u);
    EXPECT_EQ(translator.FindMessage(u"|K|Same"), 0);
    EXPECT_EQ(Wide(translator.Translate(u"|K|Same")), u"t0");
    EXPECT_EQ(Wide(translator.Translate(u"|K|Other29999")), u"t29999");
    EXPECT_EQ(translator.FindMessage(u"|K|Other999"), 999);

    const std::vector<std::string> colliding = CollidingKeys(30000);
    ASSERT_EQ(colliding.size(), 30000u);
    std::vector<MoEntry> crowded;
    for (const std::string& key : colliding) {
        crowded.push_back({key, "x"});
    }
    EXPECT_FALSE(Load(translator, BuildMo(crowded), error));
    EXPECT_EQ(std::string(error.GetText()), "Invalid mo file");
    ExpectEmpty(translator);

    std::vector<MoEntry> mixed;
    for (u32 i = 0; i < 2000; ++i) {
        mixed.push_back({"|K|Key" + std::to_string(i), "k" + std::to_string(i)});
        if (i % 50 == 0) {
            mixed.push_back({colliding[i / 50], "c" + std::to_string(i / 50)});
        }
    }
    ASSERT_TRUE(Load(translator, BuildMo(mixed), error));
    u32 wrong = 0;
    for (u32 i = 0; i < 2000; ++i) {
        wrong += Wide(translator.Translate(Widen("|K|Key" + std::to_string(i)).c_str())) !=
                 Widen("k" + std::to_string(i));
    }
    for (u32 j = 0; j < 40; ++j) {
        wrong += Wide(translator.Translate(Widen(colliding[j]).c_str())) !=
                 Widen("c" + std::to_string(j));
    }
    EXPECT_EQ(wrong, 0u);
}

} // namespace
