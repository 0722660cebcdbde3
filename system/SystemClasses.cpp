#include "system/SystemClasses.h"

#include "system/config/SystemConfigDisplay.h"
#include "system/fid/SystemFid.h"

namespace {

constinit CMwClassInfo* const s_SystemClasses[] = {
    &CSystemConfigDisplay::s_ClassInfo,
    &CSystemFid::s_ClassInfo,
};

} // namespace

constinit const CMwClassList g_SystemClassList = {s_SystemClasses, sizeof(s_SystemClasses) /
                                                                       sizeof(s_SystemClasses[0])};
