#pragma once
// The shader classes: CPlugShader, the abstract base of every shader (the render state a visual
// is drawn with), CPlugShaderGeneric, the abstract fixed-function lighting shader, and
// CPlugShaderApply, the concrete default shader. For now they carry their identities and what
// the bitmap's shader payload asks of them.
#include "plug/bitmap/PlugFile.h"

class CPlugShader : public CPlug {
    MW_DECLARE_CLASS(CPlugShader, CPlug, 0x09002000)
public:
    // How many colour outputs the shader's passes write: 2 when a pass writes a second colour,
    // else 1 (also for none). Sizes the extra render targets of a shader payload.
    static u32 GetColorOutputCount(CPlugShader* shader);
};

class CPlugShaderGeneric : public CPlugShader {
    MW_DECLARE_CLASS(CPlugShaderGeneric, CPlugShader, 0x09004000)
};

class CPlugShaderApply : public CPlugShaderGeneric {
    MW_DECLARE_CLASS(CPlugShaderApply, CPlugShaderGeneric, 0x09026000)
};
