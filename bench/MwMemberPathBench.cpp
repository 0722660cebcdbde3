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
#include <vector>

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

// A class shaped like the game configuration: many members whose names share their first words.
class CBenchSettingsNod : public CBenchNod {
    MW_DECLARE_CLASS(CBenchSettingsNod, CBenchNod, 0x01F91000)
public:
    u32 m_NetworkUseProxy = 0;
    u32 m_NetworkProxyLogin = 0;
    u32 m_NetworkProxyPassword = 0;
    u32 m_NetworkServerPort = 0;
    u32 m_NetworkClientPort = 0;
    u32 m_NetworkForceUseLocalAddress = 0;
    u32 m_NetworkForceServerAddress = 0;
    u32 m_NetworkConnection = 0;
    u32 m_MasterServerKey = 0;
    u32 m_MasterServerLogin = 0;
    u32 m_MasterServerPassword = 0;
    u32 m_MasterServerIsRegistred = 0;
    u32 m_FileTransferEnableDownload = 0;
    u32 m_FileTransferEnableUpload = 0;
    u32 m_FileTransferMaxCacheSize = 0;
    u32 m_EnableLocators = 0;
    u32 m_AutoUpdateFromLocator = 0;
    u32 m_NetworkDownloadRate = 0;
    u32 m_NetworkUploadRate = 0;
    u32 m_NetworkRateMeasured = 0;
    u32 m_NetworkTimeout = 0;
    u32 m_NetworkRetries = 0;
    u32 m_NetworkLanOnly = 0;
    u32 m_NetworkPeerCount = 0;
};

#define BENCH_SETTINGS_MEMBERS(X)                                                                  \
    X(Natural, 0x01F91000, "NetworkUseProxy", MW_FIELD(m_NetworkUseProxy), "NetworkUseProxy",      \
      0x03, 0x380)                                                                                 \
    X(Natural, 0x01F91001, "NetworkProxyLogin", MW_FIELD(m_NetworkProxyLogin),                     \
      "NetworkProxyLogin", 0x03, 0x380)                                                            \
    X(Natural, 0x01F91002, "NetworkProxyPassword", MW_FIELD(m_NetworkProxyPassword),               \
      "NetworkProxyPassword", 0x03, 0x380)                                                         \
    X(Natural, 0x01F91003, "NetworkServerPort", MW_FIELD(m_NetworkServerPort),                     \
      "NetworkServerPort", 0x03, 0x380)                                                            \
    X(Natural, 0x01F91004, "NetworkClientPort", MW_FIELD(m_NetworkClientPort),                     \
      "NetworkClientPort", 0x03, 0x380)                                                            \
    X(Natural, 0x01F91005, "NetworkForceUseLocalAddress", MW_FIELD(m_NetworkForceUseLocalAddress), \
      "NetworkForceUseLocalAddress", 0x03, 0x380)                                                  \
    X(Natural, 0x01F91006, "NetworkForceServerAddress", MW_FIELD(m_NetworkForceServerAddress),     \
      "NetworkForceServerAddress", 0x03, 0x380)                                                    \
    X(Natural, 0x01F91007, "NetworkConnection", MW_FIELD(m_NetworkConnection),                     \
      "NetworkConnection", 0x03, 0x380)                                                            \
    X(Natural, 0x01F91008, "MasterServerKey", MW_FIELD(m_MasterServerKey), "MasterServerKey",      \
      0x03, 0x380)                                                                                 \
    X(Natural, 0x01F91009, "MasterServerLogin", MW_FIELD(m_MasterServerLogin),                     \
      "MasterServerLogin", 0x03, 0x380)                                                            \
    X(Natural, 0x01F9100A, "MasterServerPassword", MW_FIELD(m_MasterServerPassword),               \
      "MasterServerPassword", 0x03, 0x380)                                                         \
    X(Natural, 0x01F9100B, "MasterServerIsRegistred", MW_FIELD(m_MasterServerIsRegistred),         \
      "MasterServerIsRegistred", 0x03, 0x380)                                                      \
    X(Natural, 0x01F9100C, "FileTransferEnableDownload", MW_FIELD(m_FileTransferEnableDownload),   \
      "FileTransferEnableDownload", 0x03, 0x380)                                                   \
    X(Natural, 0x01F9100D, "FileTransferEnableUpload", MW_FIELD(m_FileTransferEnableUpload),       \
      "FileTransferEnableUpload", 0x03, 0x380)                                                     \
    X(Natural, 0x01F9100E, "FileTransferMaxCacheSize", MW_FIELD(m_FileTransferMaxCacheSize),       \
      "FileTransferMaxCacheSize", 0x03, 0x380)                                                     \
    X(Natural, 0x01F9100F, "EnableLocators", MW_FIELD(m_EnableLocators), "EnableLocators", 0x03,   \
      0x380)                                                                                       \
    X(Natural, 0x01F91010, "AutoUpdateFromLocator", MW_FIELD(m_AutoUpdateFromLocator),             \
      "AutoUpdateFromLocator", 0x03, 0x380)                                                        \
    X(Natural, 0x01F91011, "NetworkDownloadRate", MW_FIELD(m_NetworkDownloadRate),                 \
      "NetworkDownloadRate", 0x03, 0x380)                                                          \
    X(Natural, 0x01F91012, "NetworkUploadRate", MW_FIELD(m_NetworkUploadRate),                     \
      "NetworkUploadRate", 0x03, 0x380)                                                            \
    X(Natural, 0x01F91013, "NetworkRateMeasured", MW_FIELD(m_NetworkRateMeasured),                 \
      "NetworkRateMeasured", 0x03, 0x380)                                                          \
    X(Natural, 0x01F91014, "NetworkTimeout", MW_FIELD(m_NetworkTimeout), "NetworkTimeout", 0x03,   \
      0x380)                                                                                       \
    X(Natural, 0x01F91015, "NetworkRetries", MW_FIELD(m_NetworkRetries), "NetworkRetries", 0x03,   \
      0x380)                                                                                       \
    X(Natural, 0x01F91016, "NetworkLanOnly", MW_FIELD(m_NetworkLanOnly), "NetworkLanOnly", 0x03,   \
      0x380)                                                                                       \
    X(Natural, 0x01F91017, "NetworkPeerCount", MW_FIELD(m_NetworkPeerCount), "NetworkPeerCount",   \
      0x03, 0x380)

MW_DEFINE_CLASS(CBenchSettingsNod, MwFactory<CBenchSettingsNod>, BENCH_SETTINGS_MEMBERS,
                MW_NO_CHUNKS);

constinit CMwClassInfo* const s_BenchClasses[] = {&CBenchNod::s_ClassInfo,
                                                  &CBenchSettingsNod::s_ClassInfo};
constinit const CMwClassList s_BenchClassList = {s_BenchClasses, 2};

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

// The peer: plain memory as large as the nod, its u32 fields reached by the offsets of the nod
// class's members (its own and its ancestors' below the root), found by name in a map.
template <class Nod>
struct CPeerObject {
    CPeerObject() : m_Memory(sizeof(Nod) / sizeof(u32) + 1) {
        for (const CMwClassInfo* info = &Nod::s_ClassInfo; info != &CMwNod::s_ClassInfo;
             info = info->m_Parent)
            for (u32 i = 0; i < info->m_MemberCount; ++i)
                m_Offsets.emplace(info->m_MemberInfos[i]->Name,
                                  size_t(info->m_MemberInfos[i]->FieldOffset));
    }
    // The field of that name, null when there is none.
    char* Field(const std::string& name) {
        const auto found = m_Offsets.find(name);
        return found == m_Offsets.end() ? nullptr
                                        : reinterpret_cast<char*>(m_Memory.data()) + found->second;
    }

    std::unordered_map<std::string, size_t> m_Offsets;
    std::vector<u32> m_Memory;
};

// Setting a member from text: the peer finds the member's offset by its name in a map of as
// many names as the class has (its own and its parent's) and converts the value by from_chars.
template <class Nod>
void SetMemberFromText(benchmark::State& state, const char* pathText, u32 Nod::*field) {
    StartRegistry();
    Nod nod;
    const CClassicString path(pathText);
    const CClassicWideString value(u"1234567");
    CPeerObject<Nod> object;
    const std::string peerPath(pathText);
    const std::string peerValue(kValue);
    bench::Interleave(
        state,
        [&] {
            benchmark::DoNotOptimize(nod.SetParamFromText(path, value));
            benchmark::ClobberMemory();
        },
        [&] {
            bool set = false;
            char* at = object.Field(peerPath);
            u32 natural = 0;
            if (at &&
                std::from_chars(peerValue.data(), peerValue.data() + peerValue.size(), natural)
                        .ec == std::errc{}) {
                std::memcpy(at, &natural, sizeof natural);
                set = true;
            }
            benchmark::DoNotOptimize(set);
            benchmark::ClobberMemory();
        });
    u32 peerSet = 0;
    std::memcpy(&peerSet, object.Field(peerPath), sizeof peerSet);
    if (nod.*field != 1234567 || peerSet != 1234567)
        state.SkipWithError("the member was not set");
}

// A Natural of a small class.
void SetFromText(benchmark::State& state) {
    SetMemberFromText<CBenchNod>(state, kPath, &CBenchNod::m_Count);
}
BENCHMARK(SetFromText);

// A Natural of the configuration-like class, among names that begin alike.
void SetFromTextSettings(benchmark::State& state) {
    SetMemberFromText<CBenchSettingsNod>(state, "NetworkClientPort",
                                         &CBenchSettingsNod::m_NetworkClientPort);
}
BENCHMARK(SetFromTextSettings);

// A Natural of the parent class, reached from the configuration-like class.
void SetFromTextInherited(benchmark::State& state) {
    SetMemberFromText<CBenchSettingsNod>(state, kPath, &CBenchSettingsNod::m_Count);
}
BENCHMARK(SetFromTextInherited);

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
    CPeerObject<CBenchNod> object;
    const std::string peerPath(kPath);
    std::memcpy(object.Field(peerPath), &nod.m_Count, sizeof nod.m_Count);
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
            u32 natural = 0;
            if (const char* at = object.Field(peerPath))
                std::memcpy(&natural, at, sizeof natural);
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
