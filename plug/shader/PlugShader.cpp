#include "plug/shader/PlugShader.h"

MW_DEFINE_CLASS(CPlugShader, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CPlugShaderGeneric, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CPlugShaderApply, MwFactory<CPlugShaderApply>, MW_NO_MEMBERS, MW_NO_CHUNKS);

u32 CPlugShader::GetColorOutputCount(CPlugShader*) {
    // A shader without passes writes its one colour.
    return 1;
}
