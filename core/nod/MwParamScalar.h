#pragma once
// The scalar member kinds: Action, Bool, Class, Enum, Integer, IntegerRange, Natural,
// NaturalRange, Real, RealRange, String, StringInt and Proc. Each class overrides the CMwParam
// operations its kind needs; the range kinds share their base kind's operations.
#include "core/nod/MwParam.h"

class CMwParamAction : public CMwParam {
    MW_DECLARE_CLASS(CMwParamAction, CMwParam, 0x01009000)
};

class CMwParamBool : public CMwParam {
    MW_DECLARE_CLASS(CMwParamBool, CMwParam, 0x0100C000)
};

class CMwParamClass : public CMwParam {
    MW_DECLARE_CLASS(CMwParamClass, CMwParam, 0x01007000)
};

// The descriptor of Class records with TakesReference set: the plain Class descriptor, except
// that storing the whole member takes a reference on the new nod and gives back the old nod's.
// It answers with CMwParamClass's identity.
class CMwParamClassRef : public CMwParamClass {
public:
    using Super = CMwParamClass;
};

class CMwParamEnum : public CMwParam {
    MW_DECLARE_CLASS(CMwParamEnum, CMwParam, 0x0100D000)
};

class CMwParamInteger : public CMwParam {
    MW_DECLARE_CLASS(CMwParamInteger, CMwParam, 0x0100E000)
};

class CMwParamIntegerRange : public CMwParamInteger {
    MW_DECLARE_CLASS(CMwParamIntegerRange, CMwParamInteger, 0x0100F000)
};

class CMwParamNatural : public CMwParam {
    MW_DECLARE_CLASS(CMwParamNatural, CMwParam, 0x01010000)
};

class CMwParamNaturalRange : public CMwParamNatural {
    MW_DECLARE_CLASS(CMwParamNaturalRange, CMwParamNatural, 0x01011000)
};

class CMwParamReal : public CMwParam {
    MW_DECLARE_CLASS(CMwParamReal, CMwParam, 0x01013000)
};

class CMwParamRealRange : public CMwParamReal {
    MW_DECLARE_CLASS(CMwParamRealRange, CMwParamReal, 0x01014000)
};

class CMwParamString : public CMwParam {
    MW_DECLARE_CLASS(CMwParamString, CMwParam, 0x01015000)
};

class CMwParamStringInt : public CMwParam {
    MW_DECLARE_CLASS(CMwParamStringInt, CMwParam, 0x01028000)
};

class CMwParamProc : public CMwParam {
    MW_DECLARE_CLASS(CMwParamProc, CMwParam, 0x01024000)
};
