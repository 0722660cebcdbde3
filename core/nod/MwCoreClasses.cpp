#include "core/nod/MwCoreClasses.h"

#include "core/nod/MwClassInfoViewer.h"
#include "core/nod/MwCmd.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwEngine.h"
#include "core/nod/MwNod.h"
#include "core/nod/MwParam.h"
#include "core/nod/MwParamRefBuffer.h"
#include "core/nod/MwParamScalar.h"
#include "core/nod/MwParamStruct.h"
#include "core/nod/MwRefBuffer.h"
#include "core/nod/MwStatsValue.h"

namespace {

constinit CMwClassInfo* const s_CoreClasses[] = {
    &CMwNod::s_ClassInfo,
    &CMwEngine::s_ClassInfo,
    &CMwParam::s_ClassInfo,
    &CMwParamClass::s_ClassInfo,
    &CMwParamStruct::s_ClassInfo,
    &CMwParamAction::s_ClassInfo,
    &CMwParamBool::s_ClassInfo,
    &CMwParamEnum::s_ClassInfo,
    &CMwParamInteger::s_ClassInfo,
    &CMwParamIntegerRange::s_ClassInfo,
    &CMwParamNatural::s_ClassInfo,
    &CMwParamNaturalRange::s_ClassInfo,
    &CMwParamReal::s_ClassInfo,
    &CMwParamRealRange::s_ClassInfo,
    &CMwParamString::s_ClassInfo,
    &CMwParamVec3::s_ClassInfo,
    &CMwParamIso3::s_ClassInfo,
    &CMwParamColor::s_ClassInfo,
    &CMwParamVec2::s_ClassInfo,
    &CMwParamIso4::s_ClassInfo,
    &CMwParamVec4::s_ClassInfo,
    &CMwParamProc::s_ClassInfo,
    &CMwParamRefBuffer::s_ClassInfo,
    &CMwParamStringInt::s_ClassInfo,
    &CMwParamQuat::s_ClassInfo,
    &CMwCmd::s_ClassInfo,
    &CMwCmdFastCall::s_ClassInfo,
    &CMwCmdFastCallUser::s_ClassInfo,
    &CMwCmdBuffer::s_ClassInfo,
    &CMwCmdBufferCore::s_ClassInfo,
    &CMwClassInfoViewer::s_ClassInfo,
    &CMwRefBuffer::s_ClassInfo,
    &CMwStatsValue::s_ClassInfo,
};

} // namespace

constinit const CMwClassList g_MwCoreClassList = {s_CoreClasses,
                                                  sizeof(s_CoreClasses) / sizeof(s_CoreClasses[0])};
