#pragma once
// The structured member kinds: small tuples of 32-bit floats (Color, Vec2, Vec3, Vec4, Quat, Iso3,
// Iso4), handled as a whole or component by component. CMwParamStruct is their common base;
// each class declares its components as members of its own.
#include "core/nod/MwParam.h"

class CMwParamStruct : public CMwParam {
    MW_DECLARE_CLASS(CMwParamStruct, CMwParam, 0x01008000)
};

class CMwParamColor : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamColor, CMwParamStruct, 0x01018000)
};

class CMwParamVec2 : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamVec2, CMwParamStruct, 0x01019000)
};

class CMwParamVec3 : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamVec3, CMwParamStruct, 0x01016000)
};

class CMwParamVec4 : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamVec4, CMwParamStruct, 0x0101F000)
};

class CMwParamQuat : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamQuat, CMwParamStruct, 0x010B0000)
};

class CMwParamIso3 : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamIso3, CMwParamStruct, 0x01017000)
};

class CMwParamIso4 : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamIso4, CMwParamStruct, 0x0101A000)
};
