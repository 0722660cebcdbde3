#include "system/config/SystemConfigFile.h"

#include "core/base/ClassicLog.h"
#include "system/archive/SystemArchive.h"
#include "system/config/SystemConfig.h"

#include <type_traits>

namespace {

// The ".Zun" archive operations.
class CDefaultArchiveOps final : public CSystemConfigArchiveOps {
public:
    u32 LoadNodFromFile(CClassicWideStringRef name, CMwNod** nod, CSystemFids* folder, u32 mode,
                        bool findInTree) override {
        CSystemArchive archive;
        return archive.LoadNodFromFile(name, nod, folder, mode, findInTree) == 1 ? 1 : 0;
    }
    u32 SaveNodToFile(CClassicWideStringRef name, CMwNod* nod, CSystemFids* folder, u32 saveFlags,
                      u32 mode, bool checkChanges, bool registerFid) override {
        CSystemArchive archive;
        archive.SetNewFileMode(kSystemConfigNewFileMode);
        return archive.SaveNodToFile(name, nod, folder, saveFlags, mode, checkChanges,
                                     registerFid) == 1
                   ? 1
                   : 0;
    }
};
static_assert(std::is_trivially_destructible_v<CDefaultArchiveOps>);

constinit CDefaultArchiveOps s_DefaultOps;
constinit CSystemConfigArchiveOps* s_Ops = &s_DefaultOps;

} // namespace

CSystemConfigArchiveOps& SystemConfigArchiveOps() {
    return *s_Ops;
}

void SetSystemConfigArchiveOps(CSystemConfigArchiveOps* ops) {
    s_Ops = ops ? ops : &s_DefaultOps;
}

CSystemConfig* LoadSystemConfig(CClassicWideStringRef name, CSystemFids* folder, bool* loaded) {
    CMwNod* nod = nullptr;
    SystemConfigArchiveOps().LoadNodFromFile(name, &nod, folder, kSystemConfigLoadMode, true);
    CSystemConfig* config = nullptr;
    if (nod) {
        nod->AddRef();
        if (nod->IsKindOf(CSystemConfig::s_ClassId)) {
            config = static_cast<CSystemConfig*>(nod);
        } else {
            g_ClassicLogLine.Assign("[Sys] Not a configuration file: ");
            ClassicLogAppendWideText(g_ClassicLogLine, name);
            g_ClassicLogLine.Append("\r\n");
            ClassicLogWriteLine();
            nod->Release();
        }
    }
    if (loaded)
        *loaded = config != nullptr;
    if (!config) {
        config = new CSystemConfig;
        config->AddRef();
    }
    return config;
}

bool SaveSystemConfig(CSystemConfig* config, CClassicWideStringRef name, CSystemFids* folder) {
    return config && SystemConfigArchiveOps().SaveNodToFile(name, config, folder, 0,
                                                            kSystemConfigLoadMode, true, true) == 1;
}
