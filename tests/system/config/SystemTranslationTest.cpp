// The System engine's language set-up over real catalogues made by msgfmt in an install folder's
// "GameData\Translations".
#include "core/base/ClassicTranslator.h"
#include "system/config/SystemConfig.h"
#include "system/config/SystemLanguage.h"
#include "tests/system/engine/EngineTestSupport.h"
#include "tests/system/fid/FidTestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Reads the header of a file that is not an archive as the archive operations do: its class is
// the one its extension names.
class CExtensionHeaders : public CSystemFidLinks {
public:
    CExtensionHeaders() { SetSystemFidLinks(this); }
    ~CExtensionHeaders() { SetSystemFidLinks(nullptr); }
    CExtensionHeaders(const CExtensionHeaders&) = delete;
    CExtensionHeaders& operator=(const CExtensionHeaders&) = delete;

    bool ReadFileHeader(CSystemFid* fid, CClassicBuffer*) override {
        fid->m_ContentClassId = PlugFileServices().ClassIdFromFid(fid);
        return fid->m_ContentClassId != CSystemFid::s_UnknownClassId;
    }
};

u32 Occurrences(const std::string& text, const std::string& part) {
    u32 count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// An install folder whose data folder holds the catalogues asked for, and the System engine
// running in it.
class CInstall {
public:
    // Each catalogue is a path below "Translations" ("fr/fr.mo"); its language name (the
    // translation of "|I18NInternal|English") is that path, so the tests can tell which file
    // was loaded.
    explicit CInstall(const std::vector<std::string>& catalogues, bool withFolder = true) {
        if (withFolder)
            fs::create_directories(m_Folder.File("GameData/Translations"));
        else
            fs::create_directories(m_Folder.File("GameData"));
        for (const std::string& catalogue : catalogues)
            AddCatalogue(catalogue);
        CClassicWideString current = m_Folder.Engine();
        StripTrailingSlashes(current);
        m_Host = std::make_unique<CEngineHost>(FakeEngineHost(current));
    }
    ~CInstall() { g_ClassicTranslator.Unload(); }

    void AddCatalogue(const std::string& catalogue) {
        const std::string path = m_Folder.File("GameData/Translations/" + catalogue);
        fs::create_directories(fs::path(path).parent_path());
        const std::string po = m_Folder.File("catalogue.po");
        WriteWholeFile(po, "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                           "msgid \"|I18NInternal|English\"\nmsgstr \"" +
                               catalogue + "\"\n");
        RunCommand("msgfmt -o '" + path + "' " + po);
    }

    CSystemEngine& Engine() { return m_Host->Engine(); }
    const CTempFolder& Folder() const { return m_Folder; }

private:
    CTempFolder m_Folder;
    std::unique_ptr<CEngineHost> m_Host;
};

// The catalogue loaded: its own path, or "" without one.
std::string Loaded() {
    if (g_ClassicTranslator.GetMessageCount() == 0)
        return "";
    return Narrow(CClassicWideString(g_ClassicTranslator.GetLanguageName()));
}

class SystemTranslation : public CSystemFixture {
protected:
    CFakePlugFiles m_Plug{{{".mo", kTranslationCatalogueClassId}}};
    CExtensionHeaders m_Headers;
};

TEST_F(SystemTranslation, SearchOrderAndResults) {
    struct Case {
        std::vector<std::string> Files;
        const char* Code;
        const char* Loaded; // "" for none
        bool Result;
        const char* CodeAfter;
    };
    const Case cases[] = {
        // The code's own catalogue, in its folder first.
        {{"fr/fr.mo", "fr.mo"}, "fr", "fr/fr.mo", true, "fr"},
        {{"fr.mo"}, "fr", "fr.mo", true, "fr"},
        {{"fr/fr_CA.mo", "fr.mo", "fr_CA.mo"}, "fr_CA", "fr_CA.mo", true, "fr_CA"},
        {{"fr/fr_CA.mo", "fr.mo"}, "fr_CA", "fr/fr_CA.mo", true, "fr_CA"},
        {{"fr_CA/fr_CA.mo", "fr_CA.mo"}, "fr_CA", "fr_CA/fr_CA.mo", true, "fr_CA"},
        // The language's catalogue answers false, under the code asked for.
        {{"fr/fr.mo", "fr.mo"}, "fr_CA", "fr/fr.mo", false, "fr_CA"},
        {{"fr.mo"}, "fr_CA", "fr.mo", false, "fr_CA"},
        // Names are found ignoring case.
        {{"de.mo"}, "DE", "de.mo", true, "DE"},
        // No catalogue: English instead, still false.
        {{"en.mo"}, "de", "en.mo", false, "en"},
        {{"en/en.mo"}, "pt", "en/en.mo", false, "en"},
        {{"fr.mo"}, "de", "", false, "xx"},
        {{"fr.mo"}, "en", "", false, "xx"},
        // Special codes unload.
        {{"en.mo", "xx.mo"}, "XX", "", true, "xx"},
        {{"en.mo"}, "**", "", true, "xx"},
        {{"en.mo"}, "", "", true, "xx"},
        // "***" is an ordinary code, and no catalogue's.
        {{"en.mo"}, "***", "en.mo", false, "en"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Code);
        CInstall install(c.Files);
        // Something loaded before, to see what a load leaves.
        CClassicBufferMemory empty;
        CClassicString error;
        g_ClassicTranslator.LoadMo("zz", &empty, error);
        EXPECT_EQ(install.Engine().LoadTranslation(c.Code), c.Result);
        EXPECT_EQ(Loaded(), c.Loaded);
        EXPECT_STREQ(install.Engine().GetLanguageCode(), c.CodeAfter);
    }
    CInstall install({"en.mo"});
    EXPECT_TRUE(install.Engine().LoadTranslation(nullptr));
    EXPECT_STREQ(install.Engine().GetLanguageCode(), "xx");
}

// Codes read from the registry or a configuration file never lead out of "Translations".
TEST_F(SystemTranslation, CodesThatWouldLeaveTheFolder) {
    CInstall install({"en.mo"});
    // Catalogues the codes below would reach as paths.
    WriteWholeFile(install.Folder().File("GameData/secret.mo"), "");
    install.AddCatalogue("../secret.mo");
    install.AddCatalogue("../../outside.mo");
    CSystemEngine& engine = install.Engine();
    for (const char* code :
         {"..\\secret", "../secret", "..", "..\\..\\outside", "fr\\..\\..\\secret", "C:\\x",
          "fr/fr", "f\xc3\xa9", "fr fr", "fr\tx", "fr.mo"}) {
        SCOPED_TRACE(code);
        CLogWatch log;
        EXPECT_FALSE(engine.LoadTranslation(code));
        EXPECT_EQ(Loaded(), "en.mo");
        EXPECT_EQ(Occurrences(log.Since(), "names no catalogue"), 1u) << log.Since();
    }
    // Nothing was added above the folder, nor a ".." folder in it.
    CSystemFids* translations = engine.GetDataFolder()->FindSubFolder(u"Translations", false);
    ASSERT_NE(translations, nullptr);
    EXPECT_EQ(translations->m_Trees.m_Count, 0u);
    EXPECT_EQ(engine.GetDataFolder()->m_Leaves.m_Count, 0u);
    // The characters a code may hold.
    EXPECT_TRUE(IsSafeLanguageCode("sr-Latn_RS@latin9"));
    EXPECT_FALSE(IsSafeLanguageCode(""));
    EXPECT_FALSE(IsSafeLanguageCode(nullptr));
}

TEST_F(SystemTranslation, RefusedCatalogueIsLoggedOnce) {
    CInstall install({"en.mo", "fr.mo"});
    const std::string fr = install.Folder().File("GameData/Translations/fr.mo");
    const std::string bytes = ReadWholeFile(fr);
    WriteWholeFile(fr, bytes.substr(0, bytes.size() / 2));
    CSystemEngine& engine = install.Engine();
    ASSERT_FALSE(engine.LoadTranslation("de"));
    ASSERT_EQ(Loaded(), "en.mo");

    CLogWatch log;
    EXPECT_FALSE(engine.LoadTranslation("fr"));
    EXPECT_EQ(Loaded(), "");
    EXPECT_STREQ(engine.GetLanguageCode(), "xx");
    EXPECT_EQ(log.Since(), "Invalid mo file\r\n");

    // A file id that is no file, and a file that went from the disk.
    EXPECT_FALSE(engine.LoadTranslationFile(nullptr, "fr"));
    CSystemFid plain;
    EXPECT_FALSE(engine.LoadTranslationFile(&plain, "fr"));
    CSystemFid* en = engine.GetDataFolder()->FindFid(u"Translations\\en.mo", false);
    ASSERT_NE(en, nullptr);
    fs::remove(install.Folder().File("GameData/Translations/en.mo"));
    CLogWatch missing;
    EXPECT_FALSE(engine.LoadTranslationFile(en, "en"));
    EXPECT_EQ(Occurrences(missing.Since(), "Cannot open the catalogue"), 1u) << missing.Since();
}

TEST_F(SystemTranslation, WithoutTranslationsFolder) {
    CInstall install({}, false);
    CFastBuffer<CClassicString> list;
    list.Add(CClassicString("stale"));
    install.Engine().ListTranslations(list, true);
    EXPECT_EQ(list.m_Count, 0u);
    EXPECT_FALSE(install.Engine().LoadTranslation("fr"));
    EXPECT_STREQ(install.Engine().GetLanguageCode(), "xx");
    list.FreeItems();
}

TEST_F(SystemTranslation, ListsEachCatalogueOnce) {
    CInstall install({"en.mo", "fr.mo", "fr/fr.mo", "\xc3\xbc.mo"});
    WriteWholeFile(install.Folder().File("GameData/Translations/readme.txt"), "not a catalogue");
    CSystemEngine& engine = install.Engine();
    CFastBuffer<CClassicString> list;
    const auto names = [&] {
        std::vector<std::string> out;
        for (u32 i = 0; i < list.m_Count; ++i)
            out.push_back(list.m_Items[i].GetText());
        return out;
    };
    engine.ListTranslations(list, true);
    EXPECT_EQ(names(), (std::vector<std::string>{"en", "fr", "_"}));

    // Without rescan the folder is not read again.
    install.AddCatalogue("de.mo");
    engine.ListTranslations(list, false);
    EXPECT_EQ(names(), (std::vector<std::string>{"en", "fr", "_"}));
    engine.ListTranslations(list, true);
    EXPECT_EQ(names(), (std::vector<std::string>{"de", "en", "fr", "_"}));
    list.FreeItems();
}

TEST_F(SystemTranslation, ConfigurationLanguage) {
    CInstall install({"en.mo", "it.mo"});
    CSystemConfig config;
    config.m_LanguageCode.Assign("it");
    EXPECT_TRUE(install.Engine().LoadConfigTranslation(&config));
    EXPECT_EQ(Loaded(), "it.mo");
    EXPECT_FALSE(install.Engine().LoadConfigTranslation(nullptr));
    EXPECT_EQ(Loaded(), "it.mo");
}

} // namespace
