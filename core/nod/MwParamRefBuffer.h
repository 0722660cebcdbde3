#pragma once
// The RefBuffer member kind: a member whose field is an embedded CMwRefBuffer, reached element by
// element along member paths.
#include "core/nod/MwParam.h"

class CMwParamRefBuffer : public CMwParam {
    MW_DECLARE_CLASS(CMwParamRefBuffer, CMwParam, 0x01027000)
};
