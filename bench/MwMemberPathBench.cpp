// Member access by path text against a plain C++ peer on the same object and the same texts:
// setting a Natural member from text (the peer: a name-to-offset map and std::from_chars), and
// reading it back as text (path parse, GetParam and ToText; the peer: the map and std::to_chars),
// in alternating rounds (see BenchPair.h).
#include "BenchPair.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwParam.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>

namespace {

// A class of ordinary size; the member used is neither its first nor its last.
class CBenchNod : public CMwNod {
    MW_DECLARE_CLASS(CBenchNod, CMwNod, 0x01F90000)
public:
    u32 m_Enabled = 0;
    i32 m_Offset = 0;
    f32 m_Scale = 0;
    u32 m_Width = 0;
    u32 m_Height = 0;
    u32 m_Count = 0;
    u32 m_Depth = 0;
    f32 m_Speed = 0;
};

#define BENCH_NOD_MEMBERS(X)                                                                       \
    X(Bool, 0x01F90000, "Enabled", MW_FIELD(m_Enabled), "Enabled", 0x03, 0x380)                    \
    X(Integer, 0x01F90001, "Offset", MW_FIELD(m_Offset), "Offset", 0x03, 0x380)                    \
    X(Real, 0x01F90002, "Scale", MW_FIELD(m_Scale), "Scale", 0x03, 0x380)                          \
    X(Natural, 0x01F90003, "Width", MW_FIELD(m_Width), "Width", 0x03, 0x380)                       \
    X(Natural, 0x01F90004, "Height", MW_FIELD(m_Height), "Height", 0x03, 0x380)                    \
    X(Natural, 0x01F90005, "Count", MW_FIELD(m_Count), "Count", 0x03, 0x380)                       \
    X(Natural, 0x01F90006, "Depth", MW_FIELD(m_Depth), "Depth", 0x03, 0x380)                       \
    X(Real, 0x01F90007, "Speed", MW_FIELD(m_Speed), "Speed", 0x03, 0x380)

MW_DEFINE_CLASS(CBenchNod, MwFactory<CBenchNod>, BENCH_NOD_MEMBERS, MW_NO_CHUNKS);

constinit CMwClassInfo* const s_BenchClasses[] = {&CBenchNod::s_ClassInfo};
constinit const CMwClassList s_BenchClassList = {s_BenchClasses, 1};

// The name pool and the class registry, up for the whole run.
struct CRegistry {
    CRegistry() {
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        CMwClassRegistry::AddClassList(s_BenchClassList);
        CMwClassRegistry::Init();
    }
};
void StartRegistry() {
    static CRegistry registry;
}

constexpr const char* kPath = "Count";
constexpr const char* kValue = "1234567";

// The peer: the same object's Natural fields reached through a map of name to offset.
struct CPeerObject {
    u32 Width = 0;
    u32 Height = 0;
    u32 Count = 0;
    u32 Depth = 0;
};
const std::unordered_map<std::string, size_t>& PeerOffsets() {
    static const std::unordered_map<std::string, size_t> offsets = {
        {"Enabled", 0},
        {"Offset", 0},
        {"Scale", 0},
        {"Width", offsetof(CPeerObject, Width)},
        {"Height", offsetof(CPeerObject, Height)},
        {"Count", offsetof(CPeerObject, Count)},
        {"Depth", offsetof(CPeerObject, Depth)},
        {"Speed", 0},
    };
    return offsets;
}

// Setting the member from text.
void SetFromText(benchmark::State& state) {
    StartRegistry();
    CBenchNod nod;
    const CClassicString path(kPath);
    const CClassicWideString value(u"1234567");
    const auto& offsets = PeerOffsets();
    CPeerObject object;
    const std::string peerPath(kPath);
    const std::string peerValue(kValue);
    bench::Interleave(
        state,
        [&] {
            benchmark::DoNotOptimize(nod.SetParamFromText(path, value));
            benchmark::ClobberMemory();
        },
        [&] {
            bool set = false;
            const auto found = offsets.find(peerPath);
            u32 natural = 0;
            if (found != offsets.end() &&
                std::from_chars(peerValue.data(), peerValue.data() + peerValue.size(), natural)
                        .ec == std::errc{}) {
                std::memcpy(reinterpret_cast<char*>(&object) + found->second, &natural,
                            sizeof natural);
                set = true;
            }
            benchmark::DoNotOptimize(set);
            benchmark::ClobberMemory();
        });
    if (nod.m_Count != 1234567 || object.Count != 1234567)
        state.SkipWithError("the member was not set");
}
BENCHMARK(SetFromText);

// Reading the member back as text: path parse, GetParam and ToText.
void GetAsText(benchmark::State& state) {
    StartRegistry();
    CBenchNod nod;
    nod.m_Count = 1234567;
    const CClassicString pathText(kPath);
    CMwParamTextOptions options;
    options.Flags = 0; // plain decimal, as std::to_chars writes it
    CClassicWideString text;
    bool read = true;
    const auto& offsets = PeerOffsets();
    CPeerObject object;
    object.Count = 1234567;
    const std::string peerPath(kPath);
    char peerText[16];
    size_t peerLength = 0;
    bench::Interleave(
        state,
        [&] {
            CMwMemberPath path;
            CMwParamValue value;
            if (path.ParseFromText(CMwNod::s_NoClassId, &nod, pathText) != MwParam_Ok ||
                nod.GetParam(&path, &value) != MwParam_Ok) {
                read = false;
                return;
            }
            const auto* member = reinterpret_cast<const CMwMemberInfo*>(path.m_Values[0]);
            member->Param->ToText(text, value.Value, member, options);
            benchmark::DoNotOptimize(text.GetText());
        },
        [&] {
            const auto found = offsets.find(peerPath);
            u32 natural = 0;
            if (found != offsets.end())
                std::memcpy(&natural, reinterpret_cast<const char*>(&object) + found->second,
                            sizeof natural);
            peerLength =
                size_t(std::to_chars(peerText, peerText + sizeof peerText, natural).ptr - peerText);
            benchmark::DoNotOptimize(peerText);
            benchmark::DoNotOptimize(peerLength);
        });
    if (!read || text.Compare(CClassicWideString(u"1234567")) != 0 ||
        std::string(peerText, peerLength) != kValue)
        state.SkipWithError("wrong text");
}
BENCHMARK(GetAsText);

} // namespace
