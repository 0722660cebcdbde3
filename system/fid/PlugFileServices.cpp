#include "system/fid/PlugFileServices.h"

#include "core/base/ClassicLog.h"
#include "core/nod/MwNod.h"
#include "system/fid/SystemFidFile.h"

#include <type_traits>

namespace {

class CDefaultPlugFileServices final : public CPlugFileServices {};
static_assert(std::is_trivially_destructible_v<CDefaultPlugFileServices>);

constinit CDefaultPlugFileServices s_DefaultServices;
constinit CPlugFileServices* s_Services = &s_DefaultServices;

} // namespace

CPlugFileServices& PlugFileServices() {
    return *s_Services;
}

void SetPlugFileServices(CPlugFileServices* services) {
    s_Services = services ? services : &s_DefaultServices;
}

u32 CPlugFileServices::ClassIdFromFid(CSystemFid* fid) {
    if (!fid || !fid->IsKindOf(CSystemFidFile::s_ClassId))
        return 0xFFFFFFFF;
    return ClassIdFromFileName(static_cast<CSystemFidFile*>(fid)->m_FileName);
}

CMwNod* CPlugFileServices::CreateNodFromFid(CSystemFid* fid) {
    const u32 classId = ClassIdFromFid(fid);
    if (classId != 0xFFFFFFFF)
        return CMwClassRegistry::CreateNodById(classId);
    CClassicWideString path;
    if (fid && fid->IsKindOf(CSystemFidFile::s_ClassId))
        static_cast<CSystemFidFile*>(fid)->GetFullFileName(path);
    g_ClassicLogLine.Assign("Unrecognized format file ");
    ClassicLogAppendWideText(g_ClassicLogLine, path);
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLine();
    return nullptr;
}
