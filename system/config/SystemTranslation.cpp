// The System engine's language set-up: the catalogues of the "Translations" folder, the search
// for a code's catalogue with its fallbacks, and the current code.
#include "core/base/ClassicLog.h"
#include "core/base/ClassicTranslator.h"
#include "system/config/SystemConfig.h"
#include "system/config/SystemLanguage.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/PathHelpers.h"

#include <cstring>

namespace {

bool EqualsNoCase(const char* code, const char* text) {
    return CClassicString(code).CompareNoCase(text) == 0;
}

// One catalogue path to try, made of the code or its first two letters, and the result when it is
// the one loaded: the code's own catalogue answers true, the language's catalogue false.
enum class EPart { None, Code, Prefix };
struct CatalogueTry {
    EPart Folder;
    EPart File;
    bool Result;
};
constexpr CatalogueTry kTries[] = {
    {EPart::Code, EPart::Code, true},    {EPart::None, EPart::Code, true},
    {EPart::Prefix, EPart::Code, true},  {EPart::Prefix, EPart::Prefix, false},
    {EPart::None, EPart::Prefix, false},
};

} // namespace

CSystemFids* CSystemEngine::GetTranslationsFolder() {
    CSystemFids* data = GetDataFolder();
    return data ? data->FindSubFolder(u"Translations", true) : nullptr;
}

void CSystemEngine::ListTranslations(CFastBuffer<CClassicString>& list, bool rescan) {
    list.FreeItems();
    CSystemFids* folder = GetTranslationsFolder();
    if (!folder)
        return;
    if (rescan)
        folder->Refresh(1);
    CFastBuffer<CSystemFid*> fids;
    folder->ListFidsByClass(fids, kTranslationCatalogueClassId, CSystemFid::s_UnknownClassId, false,
                            false);
    CClassicWideString name;
    for (u32 i = 0; i < fids.m_Count; ++i) {
        GetFileNameOfPath(static_cast<CSystemFidFile*>(fids.m_Items[i])->m_FileName, name);
        RemoveLastExtension(name, name);
        CClassicString narrow;
        for (u32 c = 0; c < name.GetLength() && name[c]; ++c)
            narrow.AppendChar(name[c] < 128 ? char(name[c]) : '_');
        bool present = false;
        for (u32 j = 0; j < list.m_Count && !present; ++j)
            present = list.m_Items[j].Compare(narrow) == 0;
        if (!present)
            list.Add(narrow);
    }
    fids.FreeItems();
}

bool CSystemEngine::LoadTranslation(const char* code) {
    if (!code || !*code || std::strcmp(code, "**") == 0 || EqualsNoCase(code, "xx")) {
        g_ClassicTranslator.Unload();
        return true;
    }
    CSystemFids* folder = GetTranslationsFolder();
    if (!folder) {
        g_ClassicTranslator.Unload();
        return false;
    }

    if (IsSafeLanguageCode(code)) {
        char prefix[3];
        ClassicGetLanguagePrefix(code, prefix);
        const CClassicWideString n{CClassicStringRef(code)};
        const CClassicWideString l{CClassicStringRef(prefix)};
        for (const CatalogueTry& each : kTries) {
            CClassicWideString path;
            if (each.Folder != EPart::None) {
                path.Append(each.Folder == EPart::Code ? n : l);
                path.Append(u"\\");
            }
            path.Append(each.File == EPart::Code ? n : l);
            path.Append(u".mo");
            CSystemFid* fid = folder->FindFid(path, true);
            if (!fid)
                continue;
            if (!LoadTranslationFile(fid, code)) {
                g_ClassicTranslator.Unload();
                return false;
            }
            return each.Result;
        }
    } else {
        ClassicLogFormatLine("[I18n] Language code \"%.64s\" names no catalogue: only letters, "
                             "digits, '_', '-' and '@' are allowed",
                             code);
    }

    if (!EqualsNoCase(code, "en")) {
        LoadTranslation("en");
        return false;
    }
    g_ClassicTranslator.Unload();
    return false;
}

bool CSystemEngine::LoadTranslationFile(CSystemFid* fid, const char* code) {
    if (!fid || !fid->IsKindOf(CSystemFidFile::s_ClassId))
        return false;
    CClassicWideString path;
    static_cast<CSystemFidFile*>(fid)->GetFullFileName(path);
    CClassicBufferFile file;
    if (!file.Open(path, false, false, false, false)) {
        g_ClassicLogLine.Assign("[I18n] Cannot open the catalogue ");
        ClassicLogAppendWideText(g_ClassicLogLine, path);
        g_ClassicLogLine.Append("\r\n");
        ClassicLogWriteLine();
        return false;
    }
    CClassicString error;
    const bool loaded = g_ClassicTranslator.LoadMo(code, &file, error);
    if (!loaded) {
        // The translator leaves the logging of its refusals to its caller.
        g_ClassicLogLine.Assign("");
        ClassicLogAppendText(g_ClassicLogLine, error).Append("\r\n");
        ClassicLogWriteLine();
    }
    file.Close();
    return loaded;
}

bool CSystemEngine::LoadConfigTranslation(CSystemConfig* config) {
    return config && LoadTranslation(config->m_LanguageCode.GetText());
}

const char* CSystemEngine::GetLanguageCode() {
    return g_ClassicTranslator.GetLanguageCode();
}
