#include "core/nod/MwParamScalar.h"

MW_DEFINE_CLASS(CMwParamAction, MwFactory<CMwParamAction>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamBool, MwFactory<CMwParamBool>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamClass, MwFactory<CMwParamClass>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamEnum, MwFactory<CMwParamEnum>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamInteger, MwFactory<CMwParamInteger>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamIntegerRange, MwFactory<CMwParamIntegerRange>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamNatural, MwFactory<CMwParamNatural>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamNaturalRange, MwFactory<CMwParamNaturalRange>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamReal, MwFactory<CMwParamReal>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamRealRange, MwFactory<CMwParamRealRange>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamString, MwFactory<CMwParamString>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamStringInt, MwFactory<CMwParamStringInt>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamProc, MwFactory<CMwParamProc>, MW_NO_MEMBERS, MW_NO_CHUNKS);
