#include "core/nod/MwCoreClasses.h"

#include "core/nod/MwEngine.h"
#include "core/nod/MwNod.h"

namespace {

constinit CMwClassInfo* const s_CoreClasses[] = {
    &CMwNod::s_ClassInfo,
    &CMwEngine::s_ClassInfo,
};

} // namespace

constinit const CMwClassList g_MwCoreClassList = {s_CoreClasses,
                                                  sizeof(s_CoreClasses) / sizeof(s_CoreClasses[0])};
