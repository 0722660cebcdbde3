#include "plug/gpu/PlugFileGPU.h"

#include "core/base/ClassicLog.h"
#include "plug/gpu/GpuTables.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#define CPLUGFILEGPU_MEMBERS(X)                                                                    \
    X(Bool, 0x09040000, "IsGeneratedFromFixedPipe", MW_FIELD(m_IsGeneratedFromFixedPipe),          \
      "GenFromFixedPipe", 0x1, 0x380)                                                              \
    X(Natural, 0x09040001, "VersionIdMin", MW_FIELD(m_VersionIdMin), "VersionMin", 0x1, 0x380)     \
    X(Natural, 0x09040002, "OpCountArith", MW_FIELD(m_OpCountArith), "OpCountArith", 0x1, 0x380)   \
    X(Natural, 0x09040003, "OpCountTexLd", MW_FIELD(m_OpCountTexLd), "OpCountTexLd", 0x1, 0x380)

MW_DEFINE_CLASS(CPlugFileGPU, nullptr, CPLUGFILEGPU_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CPlugFileGPUV, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CPlugFileGPUP, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {

// The characters that end a "DZun" token.
constexpr std::array<bool, 256> kDefineSeparators = [] {
    std::array<bool, 256> table{};
    for (const char c : std::string_view(" \t\r\n(){}[],;:!?.!=<>+-*/"))
        table[u8(c)] = true;
    return table;
}();

void LogUnknownDefine(std::string_view token) {
    // A text of many unknown tokens would compose a line for each while nothing is written.
    if (g_ClassicLog.m_SuspendCount > 0)
        return;
    g_ClassicLogLine.Assign("Unknown Zun define : \"");
    ClassicLogAppendText(g_ClassicLogLine, CClassicStringRef(token.data(), u32(token.size())));
    g_ClassicLogLine.Append("\"\r\n");
    ClassicLogWriteLine();
}

template <class T>
void SortByRegister(std::vector<T>& list, u32 (*reg)(const T&)) {
    std::stable_sort(list.begin(), list.end(),
                     [reg](const T& a, const T& b) { return reg(a) < reg(b); });
}

} // namespace

bool LoadFxEntry::Make(CMwId name, u32 rows, u32 columns, u32 conversion, u32 elements,
                       u32 firstDefault, LoadFxEntry& out) {
    if (rows > kMaxRows || columns > kMaxColumns || conversion > kMaxConversion ||
        elements > kMaxElements || firstDefault > kMaxFirstDefault)
        return false;
    out.m_Name = name;
    out.m_Info = rows | (columns << 3) | (conversion << 6) | (elements << 9) | (firstDefault << 19);
    return true;
}

CPlugFileGPU::~CPlugFileGPU() = default;

bool CPlugFileGPU::SupportsRenderPath(const RenderPathId*) {
    return false;
}

bool CPlugFileGPU::IsKnownDefine(const CMwId*) {
    return false;
}

i32 CPlugFileGPU::ReadFromArchive(CClassicArchive& archive) {
    const i32 result = ArchiveText(archive);
    m_IsGeneratedFromFixedPipe = 0;
    CollectDefines();
    return result;
}

i32 CPlugFileGPU::LoadText(CClassicWideStringRef path) {
    if (CPlugFileText::LoadFromPath(path) == 0)
        return 0;
    m_IsGeneratedFromFixedPipe = 0;
    CollectDefines();
    return 1;
}

void CPlugFileGPU::CollectDefines() {
    m_Defines.clear();
    if (!ScansDefines())
        return;
    const std::string_view text(m_Text.GetText(), m_Text.GetLength());
    // The first separator at or after the last position asked for: the positions asked for only
    // grow, so each separator is found once for all the tokens before it.
    size_t separator = 0;
    bool found = false;
    char token[kMaxDefineLength + 1];
    for (size_t a = text.find("DZun"); a != std::string_view::npos; a = text.find("DZun", a + 1)) {
        const size_t from = a + 4;
        if (!found || separator < from) {
            size_t i = from;
            while (i < text.size() && !kDefineSeparators[u8(text[i])])
                ++i;
            if (i == text.size())
                return;
            separator = i;
            found = true;
        }
        const std::string_view name = text.substr(a, separator - a);
        if (name.size() > kMaxDefineLength) {
            LogUnknownDefine(name.substr(0, kMaxDefineLength));
            continue;
        }
        // Names stop at a NUL: a token holding one is not a define.
        CMwId id;
        if (std::memchr(name.data(), 0, name.size()) == nullptr) {
            std::memcpy(token, name.data(), name.size());
            token[name.size()] = 0;
            id.SetFromName(token);
        }
        if (id.m_Value != CMwId::Unassigned && IsKnownDefine(&id)) {
            if (std::find(m_Defines.begin(), m_Defines.end(), id) == m_Defines.end())
                m_Defines.push_back(id);
        } else {
            LogUnknownDefine(name);
        }
    }
}

const CClassicString* CPlugFileGPU::GetDefineValue(CMwId define) const {
    for (const GpuDefineValue& entry : m_DefineValues)
        if (entry.m_Define == define)
            return &entry.m_Value;
    return nullptr;
}

void CPlugFileGPU::SetDefineValue(CMwId define, CClassicStringRef value) {
    for (GpuDefineValue& entry : m_DefineValues) {
        if (entry.m_Define == define) {
            entry.m_Value.Assign(value);
            return;
        }
    }
    m_DefineValues.push_back({define, CClassicString(value)});
}

i32 CPlugFileGPU::FindSampler(CMwId name) const {
    for (size_t i = 0; i < m_Samplers.size(); ++i)
        if (m_Samplers[i].m_Name == name)
            return i32(i);
    return -1;
}

const LoadFxEntry* CPlugFileGPU::FindLoadFx(CMwId name, i32* outRegister) const {
    if (outRegister)
        *outRegister = -1;
    for (size_t i = 0; i < m_LoadFx.size(); ++i) {
        if (!(m_LoadFx[i].m_Name == name))
            continue;
        if (outRegister) {
            const u16 code = GpuConstantBinding::LoadFxCode(u32(i));
            for (const GpuConstantBinding& binding : m_FloatBindings) {
                if (binding.m_Code == code) {
                    *outRegister = i32(binding.m_Register);
                    break;
                }
            }
        }
        return &m_LoadFx[i];
    }
    return nullptr;
}

u32 CPlugFileGPU::GetBindingRegisterCount(const GpuConstantBinding& binding) const {
    const u32 index = binding.GetIndex();
    if (binding.IsLoadId())
        return index < kGpuLoadIdCount ? g_GpuLoadIds[index].RegisterCount : 0;
    return index < m_LoadFx.size() ? m_LoadFx[index].GetRegisterCount() : 0;
}

void CPlugFileGPU::UpdateFloatRegisterCount() {
    if (m_FloatBindings.empty()) {
        m_FloatRegisterCount = 0;
        return;
    }
    const GpuConstantBinding& last = m_FloatBindings.back();
    m_FloatRegisterCount = last.m_Register + GetBindingRegisterCount(last);
}

bool CPlugFileGPU::InstallResult(GpuProgramResult result, bool notify) {
    // Readers index the tables and defaults by these numbers: a result that points past them is
    // refused whole.
    const auto bad = [&](const GpuConstantBinding& binding) {
        const u32 index = binding.GetIndex();
        return binding.IsLoadId() ? index >= kGpuLoadIdCount : index >= result.LoadFx.size();
    };
    bool valid = result.TexCoordSetCount <= 8 &&
                 std::none_of(result.FloatBindings.begin(), result.FloatBindings.end(), bad) &&
                 std::none_of(result.IntBindings.begin(), result.IntBindings.end(), bad);
    for (const LoadFxEntry& entry : result.LoadFx)
        valid = valid && u64(entry.GetFirstDefault()) + entry.GetRegisterCount() <=
                             result.LoadFxDefaults.size();
    if (!valid) {
        ClassicLogFormatLine("Program result refused: a binding or LoadFx entry is out of range");
        return false;
    }

    SortByRegister<GpuSamplerEntry>(result.Samplers,
                                    [](const GpuSamplerEntry& s) { return s.GetRegister(); });
    const auto reg = [](const GpuConstantBinding& b) { return b.m_Register; };
    SortByRegister<GpuConstantBinding>(result.FloatBindings, reg);
    SortByRegister<GpuConstantBinding>(result.IntBindings, reg);

    m_Samplers = std::move(result.Samplers);
    m_FloatBindings = std::move(result.FloatBindings);
    m_LoadFx = std::move(result.LoadFx);
    m_LoadFxDefaults = std::move(result.LoadFxDefaults);
    m_IntBindings = std::move(result.IntBindings);
    m_Code.SetCount(u32(result.Code.size()));
    std::copy(result.Code.begin(), result.Code.end(), m_Code.m_Items);
    if (IsKindOf(CPlugFileGPUV::s_ClassId)) {
        auto* vertex = static_cast<CPlugFileGPUV*>(this);
        vertex->m_InputMask = result.InputMask;
        vertex->m_OutputMask = result.OutputMask;
        vertex->m_TexCoordSetCount = result.TexCoordSetCount;
    } else if (IsKindOf(CPlugFileGPUP::s_ClassId)) {
        auto* pixel = static_cast<CPlugFileGPUP*>(this);
        pixel->m_InputMask = result.InputMask;
        pixel->m_OutputMask = result.OutputMask;
    }
    m_IsAnalysed = 1;
    UpdateFloatRegisterCount();
    if (notify)
        NotifyObservers(kPlugFileGPUChangedMessage, 0);
    return true;
}
