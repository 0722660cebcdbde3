#include "system/archive/SystemRefResolve.h"

#include "core/base/ClassicLog.h"
#include "core/nod/MwNod.h"
#include "system/archive/SystemArchive.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFid.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFidLinks.h"
#include "system/fid/SystemFids.h"
#include "system/fid/SystemPack.h"
#include "system/fid/SystemParamLoad.h"
#include "system/fid/SystemParamSet.h"
#include "system/file/FileSystem.h"

namespace {

constinit u32 s_LoadDepth = 0;

bool IsFile(CSystemFid* fid) {
    return fid && fid->IsKindOf(CSystemFidFile::s_ClassId);
}

// The full name of a file; empty for other file ids.
void FullNameOf(CSystemFid* fid, CClassicWideString& out) {
    out.SetLength(0);
    if (IsFile(fid))
        static_cast<CSystemFidFile*>(fid)->GetFullFileName(out);
}

// prefix + the file's full name (or "<?}" for a file id that is not a file) + suffix.
void LogNamed(const char* prefix, CSystemFid* fid, const char* suffix, bool unknownMark) {
    CClassicWideString name;
    FullNameOf(fid, name);
    g_ClassicLogLine.Assign(prefix);
    if (unknownMark && !IsFile(fid))
        g_ClassicLogLine.Append("<?}");
    else
        ClassicLogAppendWideText(g_ClassicLogLine, name);
    g_ClassicLogLine.Append(suffix);
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLine();
}

// The engine's file id of the file on disk at the full path of the record's file id, made in
// the tree when missing; null when there is no such file.
CSystemFid* FileOnDisk(CSystemEngine* engine, CSystemFid* fid) {
    CClassicWideString path;
    FullNameOf(fid, path);
    if (!engine || path.IsEmpty() || !FileExists(path))
        return nullptr;
    return engine->GetFileFid(nullptr, path, nullptr);
}

// Loads the target's nod through the shared loader, within the nesting limit.
bool LoadNested(CSystemFid* target, CMwNod** nod) {
    *nod = nullptr;
    if (s_LoadDepth >= kSystemRefMaxLoadDepth) {
        g_ClassicLogLine.Assign("[Sys] References nest more than ");
        g_ClassicLogLine.AppendFormat("%u", kSystemRefMaxLoadDepth);
        g_ClassicLogLine.Append(" files deep, not loading ");
        CClassicWideString name;
        FullNameOf(target, name);
        ClassicLogAppendWideText(g_ClassicLogLine, name);
        g_ClassicLogLine.Append("\r\n");
        ClassicLogWriteLine();
        return false;
    }
    CMwNod* loader = SystemFidLinks().GetDummyFidLoader();
    if (!loader)
        return false;
    struct SDepth {
        SDepth() { ++s_LoadDepth; }
        ~SDepth() { --s_LoadDepth; }
        SDepth(const SDepth&) = delete;
        SDepth& operator=(const SDepth&) = delete;
    } depth;
    CMwNod* loaded = nullptr;
    if (!loader->LoadFid(&loaded, target) || !loaded)
        return false;
    *nod = loaded;
    return true;
}

// The substitution asked of the set in force for the file id, followed through the pack
// manager. defaultFid becomes the file id the first replacement replaced: the record's own file.
// False, with a log line, when the chain did not settle within the limit; fid is then the last
// substitute other than the default.
bool Substitute(const SSystemRefTableState& table, CSystemParamSet& loadSet, CSystemFid*& fid,
                CSystemFid*& defaultFid) {
    CSystemFid* lastSubstitute = nullptr;
    CSystemPackManager* packs = g_SystemPackManager;
    for (u32 asked = 0;; ++asked) {
        CSystemPackDesc* pack = nullptr;
        CClassicString name;
        u32 number = 0xFFFFFFFF;
        CurrentParamSet()->FindFidSubstitution(fid, &pack, &name, &number, &loadSet);
        if (name.IsEmpty() || !packs)
            return true;
        if (asked == kSystemRefMaxSubstitutions) {
            LogNamed("[Sys] The substitutes of ", defaultFid, " do not settle", false);
            fid = lastSubstitute;
            return false;
        }
        CMwNod* requester =
            table.m_CurrentFid ? table.m_CurrentFid->GetNodFor(*CurrentParamSet()) : nullptr;
        CSystemFid* resolved = packs->ResolveFid(pack, name, number, fid, requester);
        if (!resolved || resolved == fid)
            return true;
        if (!defaultFid)
            defaultFid = fid;
        if (resolved != defaultFid)
            lastSubstitute = resolved;
        fid = resolved;
        if (pack)
            return true;
    }
}

// The resolution of the records an archive reads, over the archive's state.
class CLoadResolver final : public CSystemArchiveRefResolver {
public:
    bool Resolve(CSystemArchive& archive, SSystemArchiveRef& record) override {
        SSystemRefTableState table;
        table.m_Engine = archive.GetEngine();
        table.m_CurrentFid = archive.GetCurrentFid();
        table.m_LoadMode = archive.GetLoadMode();
        table.m_ParamLoad = &archive.GetParamLoad();
        table.m_MainClassId = archive.GetMainClassId();
        CSystemFid* made = record.m_Fid;
        record.m_Fid = nullptr;
        record.m_Nod = nullptr;
        SSystemRefResolved out;
        if (!SystemResolveRef(table, made, record.m_UseFile, out))
            return false;
        record.m_Fid = out.m_Fid;
        record.m_Nod = out.m_Nod;
        if (out.m_Unresolved)
            archive.AddUnresolvedFid(out.m_Fid);
        return true;
    }
};
constinit CLoadResolver s_LoadResolver;

} // namespace

void SystemInstallRefResolution(bool install) {
    SetSystemArchiveRefResolver(install ? &s_LoadResolver : nullptr);
}

u32 SystemRefLoadDepth() {
    return s_LoadDepth;
}

bool SystemResolveRef(const SSystemRefTableState& table, CSystemFid* recordFid, u32 useFile,
                      SSystemRefResolved& out) {
    out = SSystemRefResolved();
    CSystemEngine* engine = table.m_Engine;
    // Every push below is undone on every road out.
    CSystemParamStackScope stackAsFound;

    // 1. Lookup.
    CSystemFid* fid = nullptr;
    if (recordFid->m_RefFlags & kSystemFidRefResourceLocal)
        fid = engine ? engine->GetResourceFidOf(recordFid) : nullptr;
    else
        fid = CSystemEngine::FindEqualLeaf(recordFid);
    if (!fid)
        fid = FileOnDisk(engine, recordFid);

    // 2. Alias: the set of the file id that suits the set in force is pushed.
    const u32 aliasDepth = GetParamSetDepth();
    if (fid) {
        if (CSystemFid* suited = fid->FindForParamSet(*CurrentParamSet())) {
            PushParamSet(&suited->m_ParamSet, false);
            fid = suited;
        }
    }

    // 3. Substitution.
    CSystemParamSet* loadSet = table.m_ParamLoad ? table.m_ParamLoad->GetLoadParamSet() : nullptr;
    CSystemFid* defaultFid = nullptr;
    bool settled = true;
    if (loadSet && fid)
        settled = Substitute(table, *loadSet, fid, defaultFid);
    // A failed substitution goes back to the default, with its own parameter set in force.
    auto revertToDefault = [&]() {
        LogNamed("Could not load ", fid, "", true);
        LogNamed("Reverting to default file ", defaultFid, "", true);
        while (GetParamSetDepth() > aliasDepth)
            PopParamSet();
        PushParamSet(&defaultFid->m_ParamSet, false);
        fid = defaultFid;
        defaultFid = nullptr;
    };
    if (!settled && defaultFid)
        revertToDefault();

    CMwNod* nod = nullptr;
    bool attempted = false;
    for (;;) {
        // 4. Content class, and the nod bound for the set in force.
        u32 classId = CSystemFid::s_UnknownClassId;
        nod = nullptr;
        if (fid) {
            if (loadSet)
                classId = fid->GetContentClassId();
            if (useFile) {
                if (loadSet)
                    table.m_ParamLoad->AddUseFileClass(classId);
            } else {
                nod = fid->GetNodFor(*CurrentParamSet());
            }
        }

        // 5. Loading.
        attempted = (!fid || (!useFile && !nod)) && (table.m_LoadMode & 0x4);
        if (!attempted)
            break;
        CSystemFid* target = fid ? fid : recordFid;
        bool loaded = false;
        {
            CSystemParamStackScope forClass;
            PushParamSetForClass(classId);
            if (!useFile)
                loaded = LoadNested(target, &nod);
        }
        if (loaded)
            break;
        nod = nullptr;

        // 6. Failure of the load.
        if (defaultFid) {
            revertToDefault();
            continue;
        }
        if (recordFid->m_RefFlags & kSystemFidRefFile) {
            if (useFile) {
                if (CSystemFid* onDisk = FileOnDisk(engine, target)) {
                    fid = onDisk;
                    attempted = false;
                    break;
                }
            }
            LogNamed("Could not find '", target, "'", false);
        }
        delete recordFid;
        return false;
    }

    // 7. Result.
    CSystemFid* result = fid;
    if (nod && nod->GetFid())
        result = nod->GetFid();
    if (!fid) {
        // Kept: unresolved, or the file id of the nod just loaded from it.
        if (!attempted)
            out.m_Unresolved = true;
        if (!result)
            result = recordFid;
        // Loaded under an alias, the record's file id is the alias's master: the tree keeps it.
        if (attempted && result != recordFid && recordFid->m_Folder)
            recordFid->m_Folder->AddLeafIfAbsent(recordFid);
    } else if (result != recordFid) {
        delete recordFid;
    }

    // 8. The alias set goes.
    while (GetParamSetDepth() > aliasDepth)
        PopParamSet();

    // 9. The referenced file's parameters join the load set.
    if (loadSet && !useFile && nod)
        loadSet->MergeForClass(result->m_ParamSet, table.m_MainClassId);

    out.m_Fid = result;
    out.m_Nod = useFile ? nullptr : nod;
    return true;
}
