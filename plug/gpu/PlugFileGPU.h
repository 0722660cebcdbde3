#pragma once
// The GPU program files: CPlugFileGPU, the common base of every vertex and pixel program, and its
// abstract vertex and pixel classes. A program is its source text (CPlugFileText) plus what is
// derived from it: the "DZun" defines the text uses and the class knows, the define values the
// code generators give them, and the result of a compilation or an assembler build (compiled
// code, constant bindings, material-tunable LoadFx constants with their defaults, samplers and
// semantic masks). Only the text is stored; everything else is derived again after loading.
#include "core/base/FastBuffer.h"
#include "core/math/Vec.h"
#include "core/nod/MwId.h"
#include "plug/gpu/PlugFileText.h"

#include <vector>

// One of the render-path name ids a pass asks a program about.
using RenderPathId = CMwId;

// The notification a program sends its observers when a new result is installed.
inline constexpr u32 kPlugFileGPUChangedMessage = 0x09040000;

// Sampler kinds.
enum EGpuSamplerKind : u32 {
    GpuSamplerKind_1D = 0,
    GpuSamplerKind_2D = 1,
    GpuSamplerKind_3D = 2,
    GpuSamplerKind_Cube = 3,
};

// A sampler of a program: its name and (register << 2) | kind.
struct GpuSamplerEntry {
    CMwId m_Name;
    u32 m_RegisterKind = 0;

    u32 GetRegister() const { return m_RegisterKind >> 2; }
    u32 GetKind() const { return m_RegisterKind & 3; }
};

// A constant bound to registers: code LoadId index × 2 + 1 for an engine constant, LoadFx index
// × 2 for a material-tunable one; the usage of the engine constant; the first register.
struct GpuConstantBinding {
    u16 m_Code = 0;
    u16 m_Usage = 0;
    u32 m_Register = 0;

    static constexpr u16 LoadIdCode(u32 loadId) { return u16(loadId * 2 + 1); }
    static constexpr u16 LoadFxCode(u32 loadFx) { return u16(loadFx * 2); }
    bool IsLoadId() const { return m_Code & 1; }
    // The LoadId or LoadFx index.
    u32 GetIndex() const { return m_Code >> 1; }
};

// LoadFx conversions: how a material value is turned into the constant.
enum ELoadFxConversion : u32 {
    LoadFxConversion_None = 0,
    LoadFxConversion_In01 = 1,
    LoadFxConversion_Inv = 2,
    LoadFxConversion_Rgb = 3, // "Rgb" and "Rgba"
    LoadFxConversion_Alpha = 4,
};

// A material-tunable constant: its name and packed info, bits 0-2 rows (components of a
// vector), 3-5 columns (registers per element), 6-8 conversion, 9-18 element count, 19-31 the
// index of its first default value.
struct LoadFxEntry {
    CMwId m_Name;
    u32 m_Info = 0;

    static constexpr u32 kMaxRows = 7;
    static constexpr u32 kMaxColumns = 7;
    static constexpr u32 kMaxConversion = 7;
    static constexpr u32 kMaxElements = 1023;
    static constexpr u32 kMaxFirstDefault = 8191;

    // Packs the fields into out.m_Info (out.m_Name := name); false, out unchanged, when a value
    // does not fit its bits.
    static bool Make(CMwId name, u32 rows, u32 columns, u32 conversion, u32 elements,
                     u32 firstDefault, LoadFxEntry& out);

    u32 GetRows() const { return m_Info & 7; }
    u32 GetColumns() const { return (m_Info >> 3) & 7; }
    u32 GetConversion() const { return (m_Info >> 6) & 7; }
    u32 GetElementCount() const { return (m_Info >> 9) & 0x3FF; }
    u32 GetFirstDefault() const { return m_Info >> 19; }
    // The registers the constant takes: elements × columns.
    u32 GetRegisterCount() const { return GetElementCount() * GetColumns(); }
};

// A define and the text the code generators gave it.
struct GpuDefineValue {
    CMwId m_Define;
    CClassicString m_Value;
};

// Everything a compilation or an assembler build produces, installed in one step by
// CPlugFileGPU::InstallResult.
struct GpuProgramResult {
    std::vector<GpuSamplerEntry> Samplers;
    std::vector<GpuConstantBinding> FloatBindings;
    std::vector<LoadFxEntry> LoadFx;
    std::vector<Vec4> LoadFxDefaults;
    std::vector<GpuConstantBinding> IntBindings;
    // Vertex programs: the vertex input and vertex-to-pixel masks and the texture-coordinate set
    // count. Pixel programs: the vertex-to-pixel and pixel output masks.
    u32 InputMask = 0;
    u32 OutputMask = 0;
    u32 TexCoordSetCount = 0;
    std::vector<u32> Code;
};

class CPlugFileGPU : public CPlugFileText {
    MW_DECLARE_CLASS(CPlugFileGPU, CPlugFileText, 0x09040000)
public:
    static constexpr u32 s_IsGeneratedFromFixedPipeMemberId = 0x09040000;
    static constexpr u32 s_VersionIdMinMemberId = 0x09040001;
    static constexpr u32 s_OpCountArithMemberId = 0x09040002;
    static constexpr u32 s_OpCountTexLdMemberId = 0x09040003;
    // The longest token a known define can be; longer ones are logged, never interned.
    static constexpr u32 kMaxDefineLength = 255;

    ~CPlugFileGPU() override;

    // The text, then the state derived from it (as LoadText).
    i32 ReadFromArchive(CClassicArchive& archive) override;
    // LoadText.
    i32 LoadFromPath(CClassicWideStringRef path) override { return LoadText(path); }
    // Nothing here: the code generators of the concrete classes.
    void ApplyParamSets(CSystemParamSet*, CSystemParamSet*) override {}

    virtual bool SupportsRenderPath(const RenderPathId* path);
    virtual const char* GetEntryName() { return ""; }
    // Compiles or builds the program (every caller passes 1, 0): 1 for success.
    virtual i32 Compile(i32 a, i32 b) = 0;
    virtual bool IsKnownDefine(const CMwId* define);
    // The assembler classes' source suffix; "" here.
    virtual const char* GetAsmSuffix() { return ""; }

    // The text by path; on success IsGeneratedFromFixedPipe is cleared and the defines are
    // collected again.
    i32 LoadText(CClassicWideStringRef path);
    // The defines the text uses, in order of first appearance: every "DZun" token that
    // IsKnownDefine accepts (for classes that scan; others keep an empty list). An unknown one is
    // logged: "Unknown Zun define : \"<token>\"". A token runs from "DZun" to the first
    // separator after its fourth character; one without a separator after it is not taken.
    void CollectDefines();

    // The value text of the define, or null.
    const CClassicString* GetDefineValue(CMwId define) const;
    // Assigns the value, appending an entry when the define has none.
    void SetDefineValue(CMwId define, CClassicStringRef value);
    // The index of the sampler of that name, or -1.
    i32 FindSampler(CMwId name) const;
    // The LoadFx entry of that name, or null. With outRegister, the first register of the float
    // binding of the entry (-1 when it is not bound, or when there is no entry).
    const LoadFxEntry* FindLoadFx(CMwId name, i32* outRegister = nullptr) const;
    // The float register span: 0 without float bindings, else the last binding's first register
    // plus its register count.
    void UpdateFloatRegisterCount();
    // The registers one binding takes: the LoadId row's count, or elements × columns of the
    // LoadFx entry; 0 for a code that names neither.
    u32 GetBindingRegisterCount(const GpuConstantBinding& binding) const;

    // Installs a whole result (the lists sorted by register), sets the analysed flag, updates the
    // float register span and, with notify, tells the observers (kPlugFileGPUChangedMessage,
    // parameter 0). False, with a log line and nothing changed, for a result whose bindings or
    // LoadFx entries point past its tables or defaults.
    bool InstallResult(GpuProgramResult result, bool notify = true);

    u32 m_Reserved0 = 0;
    u32 m_VersionIdMin = 0x101;
    u32 m_OpCountArith = 0;
    u32 m_OpCountTexLd = 0;
    u32 m_IsAnalysed = 0;
    // The local files the last compilation included (one reference each).
    std::vector<CMwNodRef> m_IncludedFids;
    // The local includes the last compilation did not find.
    std::vector<CClassicString> m_MissingIncludes;
    std::vector<GpuSamplerEntry> m_Samplers;
    u32 m_FloatRegisterCount = 0;
    std::vector<GpuConstantBinding> m_FloatBindings;
    std::vector<LoadFxEntry> m_LoadFx;
    std::vector<Vec4> m_LoadFxDefaults;
    std::vector<GpuConstantBinding> m_IntBindings;
    std::vector<u32> m_Reserved1;
    std::vector<CMwId> m_Defines;
    u32 m_IsGeneratedFromFixedPipe = 0;
    std::vector<GpuDefineValue> m_DefineValues;
    CFastArray<u32> m_Code;

protected:
    // True for the classes whose texts name defines ("DZun" tokens are searched).
    virtual bool ScansDefines() { return false; }
};

class CPlugFileGPUV : public CPlugFileGPU {
    MW_DECLARE_CLASS(CPlugFileGPUV, CPlugFileGPU, 0x09075000)
public:
    // Bits of the vertex input table; 0 before analysis.
    u32 m_InputMask = 0;
    // 0 to 8.
    u32 m_TexCoordSetCount = 0;
    // Bits of the vertex-to-pixel table.
    u32 m_OutputMask = 0;
    // Set by assembler programs only.
    u32 m_FogMode = 2;
    u32 m_FogDeclared = 0;
    i32 m_FogRegister = -1;
};

class CPlugFileGPUP : public CPlugFileGPU {
    MW_DECLARE_CLASS(CPlugFileGPUP, CPlugFileGPU, 0x09076000)
public:
    // 2 when COLOR1 is written, else 1.
    u32 GetColorOutputCount() const { return (m_OutputMask & 2) ? 2 : 1; }

    // Bits of the vertex-to-pixel table; 0 before analysis.
    u32 m_InputMask = 0;
    // Bit 0 COLOR0 ... 3 COLOR3, 4 DEPTH0; 0 before analysis.
    u32 m_OutputMask = 0;
};
