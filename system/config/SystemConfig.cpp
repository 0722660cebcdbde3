#include "system/config/SystemConfig.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "system/config/GpuPerf.h"
#include "system/config/SystemLanguage.h"
#include "system/file/Registry.h"

CSystemConfig* g_CurrentSystemConfig = nullptr;

namespace {

// The value names are translation keys.
constexpr const char* kConnectionNames[] = {
    "|Connection|Modem336",    "|Connection|Modem56",     "|Connection|DSL128",
    "|Connection|DSL512",      "|Connection|DSL1024_128", "|Connection|DSL1024_256",
    "|Connection|DSL2048_128", "|Connection|DSL2048_256", "|Connection|DSL2048_512",
    "|Connection|DSL4096_256", "|Connection|DSL4096_512", "|Connection|DSL4096_1024",
    "|Connection|DSL6144_256", "|Connection|DSL6144_512", "|Connection|DSL6144_1024",
    "|Connection|DSL8192_256", "|Connection|DSL8192_512", "|Connection|DSL8192_1024",
    "|Connection|LAN"};
constexpr const char* kSeaQualityNames[] = {"|SeaQuality|Low", "|SeaQuality|Medium",
                                            "|SeaQuality|High", "|SeaQuality|Very High"};
constexpr const char* kBoatQualityNames[] = {"|BoatQuality|All Low", "|BoatQuality|Low Opponents",
                                             "|BoatQuality|All High"};
constexpr const char* kTeamMateNames[] = {"|TeamMates|None", "|TeamMates|My Boat",
                                          "|TeamMates|All Boats"};
constexpr const char* kCarQualityNames[] = {"|CarQuality|Low Opponents", "|CarQuality|All High"};
constexpr const char* kCarSmokeNames[] = {"|CarSmoke|None", "|CarSmoke|My Car"};
constexpr const char* kCarProjectorNames[] = {"|CarProjectors|None", "|CarProjectors|My Car",
                                              "|CarProjectors|All Cars"};
constexpr const char* kOpponentsNames[] = {"|Opponents|Always Visible",
                                           "|Opponents|Hide Too Close"};
constexpr const char* kAudioQualityNames[] = {"|AudioQuality|Low", "|AudioQuality|Normal",
                                              "|AudioQuality|High"};
constexpr const char* kAudioAccelerationNames[] = {"|Audio|Auto", "|Audio|HardwareOnly",
                                                   "|Audio|SoftwareOnly"};
constexpr const char* kAudioQuality3dNames[] = {"|Audio|NoHrtf", "|Audio|HrtfLight",
                                                "|Audio|HrtfFull"};
constexpr const char* kSpeakerNames[] = {"|Speaker|Use system config",
                                         "|Speaker|Mono",
                                         "|Speaker|Headphone",
                                         "|Speaker|Stereo min",
                                         "|Speaker|Stereo narrow",
                                         "|Speaker|Stereo wide",
                                         "|Speaker|Stereo max",
                                         "|Speaker|Quad",
                                         "|Speaker|Surround",
                                         "|Speaker|5.1",
                                         "|Speaker|7.1",
                                         "|Speaker|No speakers"};
constexpr const char* kAdvertisingNames[] = {"Disabled", "Configurable", "Forced"};

} // namespace

// Labels that differ from the names: the Qr, Nyb3 and a few others. The two display parts are
// read only.
#define CSYSTEMCONFIG_MEMBERS(X)                                                                   \
    X(Bool, 0x0b005000, "IsSafeMode", MW_FIELD(m_IsSafeMode), "IsSafeMode", 0x03, 0x3F80)          \
    X(Class, 0x0b005001, "Display", MW_FIELD(m_Display), "Display", 0x01, 0x3F80,                  \
      &CSystemConfigDisplay::s_ClassInfo, 0)                                                       \
    X(Class, 0x0b005002, "DisplaySafe", MW_FIELD(m_DisplaySafe), "DisplaySafe", 0x01, 0x3F80,      \
      &CSystemConfigDisplay::s_ClassInfo, 0)                                                       \
    X(Bool, 0x0b005003, "NetworkUseProxy", MW_FIELD(m_NetworkUseProxy), "NetworkUseProxy", 0x03,   \
      0x3F80)                                                                                      \
    X(String, 0x0b005004, "NetworkProxyLogin", MW_FIELD(m_NetworkProxyLogin), "NetworkProxyLogin", \
      0x03, 0x3F80)                                                                                \
    X(String, 0x0b005005, "NetworkProxyPassword", MW_FIELD(m_NetworkProxyPassword),                \
      "NetworkProxyPassword", 0x03, 0x3F80)                                                        \
    X(Natural, 0x0b005006, "NetworkServerPort", MW_FIELD(m_NetworkServerPort),                     \
      "NetworkServerPort", 0x03, 0x3F80)                                                           \
    X(Natural, 0x0b005007, "NetworkClientPort", MW_FIELD(m_NetworkClientPort),                     \
      "NetworkClientPort", 0x03, 0x3F80)                                                           \
    X(Bool, 0x0b005008, "NetworkForceUseLocalAddress", MW_FIELD(m_NetworkForceUseLocalAddress),    \
      "NetworkForceUseLocalAddress", 0x03, 0x3F80)                                                 \
    X(String, 0x0b005009, "NetworkForceServerAddress", MW_FIELD(m_NetworkForceServerAddress),      \
      "NetworkForceServerAddress", 0x03, 0x3F80)                                                   \
    X(Enum, 0x0b00500a, "NetworkConnection", MW_FIELD(m_NetworkConnection), "NetworkConnection",   \
      0x03, 0x3F80, "", kConnectionNames)                                                          \
    X(String, 0x0b00500b, "MasterServerKey", MW_FIELD(m_MasterServerKey), "MasterServerKey", 0x03, \
      0x3F80)                                                                                      \
    X(String, 0x0b00500c, "MasterServerLogin", MW_FIELD(m_MasterServerLogin), "MasterServerLogin", \
      0x03, 0x3F80)                                                                                \
    X(String, 0x0b00500d, "MasterServerPassword", MW_FIELD(m_MasterServerPassword),                \
      "MasterServerPassword", 0x03, 0x3F80)                                                        \
    X(Bool, 0x0b00500e, "MasterServerIsRegistred", MW_FIELD(m_MasterServerIsRegistred),            \
      "MasterServerIsRegistred", 0x03, 0x3F80)                                                     \
    X(Bool, 0x0b00500f, "FileTransferEnableDownload", MW_FIELD(m_FileTransferEnableDownload),      \
      "FileTransferEnableDownload", 0x03, 0x3F80)                                                  \
    X(Bool, 0x0b005010, "FileTransferEnableUpload", MW_FIELD(m_FileTransferEnableUpload),          \
      "FileTransferEnableUpload", 0x03, 0x3F80)                                                    \
    X(Natural, 0x0b005011, "FileTransferMaxCacheSize", MW_FIELD(m_FileTransferMaxCacheSize),       \
      "FileTransferMaxCacheSize", 0x03, 0x3F80)                                                    \
    X(Bool, 0x0b005012, "EnableLocators", MW_FIELD(m_EnableLocators), "EnableLocators", 0x03,      \
      0x3F80)                                                                                      \
    X(Bool, 0x0b005013, "AutoUpdateFromLocator", MW_FIELD(m_AutoUpdateFromLocator),                \
      "AutoUpdateFromLocator", 0x03, 0x3F80)                                                       \
    X(String, 0x0b005014, "AutoUpdateLocatorDBUrl", MW_FIELD(m_AutoUpdateLocatorDBUrl),            \
      "AutoUpdateLocatorDBUrl", 0x03, 0x3F80)                                                      \
    X(Bool, 0x0b005015, "IsIgnorePlayerSkins", MW_FIELD(m_IsIgnorePlayerSkins),                    \
      "IsIgnorePlayerSkins", 0x03, 0x3F80)                                                         \
    X(Bool, 0x0b005016, "IsSkipRollingDemo", MW_FIELD(m_IsSkipRollingDemo), "IsSkipRollingDemo",   \
      0x03, 0x3F80)                                                                                \
    X(Enum, 0x0b005017, "Nyb3SeaQuality", MW_FIELD(m_Nyb3SeaQuality), "SeaQuality", 0x03, 0x3F80,  \
      "", kSeaQualityNames)                                                                        \
    X(Enum, 0x0b005018, "Nyb3BoatQuality", MW_FIELD(m_Nyb3BoatQuality), "BoatQuality", 0x03,       \
      0x3F80, "", kBoatQualityNames)                                                               \
    X(Enum, 0x0b005019, "Nyb3TeamMate", MW_FIELD(m_Nyb3TeamMate), "TeamMates", 0x03, 0x3F80, "",   \
      kTeamMateNames)                                                                              \
    X(Enum, 0x0b00501a, "Nyb3Stem", MW_FIELD(m_Nyb3Stem), "Stems", 0x03, 0x3F80, "",               \
      kTeamMateNames)                                                                              \
    X(Enum, 0x0b00501b, "QrCarQuality", MW_FIELD(m_QrCarQuality), "CarQuality", 0x03, 0x3F80, "",  \
      kCarQualityNames)                                                                            \
    X(Enum, 0x0b00501c, "QrCarSmoke", MW_FIELD(m_QrCarSmoke), "CarSmoke", 0x03, 0x3F80, "",        \
      kCarSmokeNames)                                                                              \
    X(Enum, 0x0b00501d, "QrCarProjector", MW_FIELD(m_QrCarProjector), "CarProjector", 0x03,        \
      0x3F80, "", kCarProjectorNames)                                                              \
    X(Enum, 0x0b00501e, "QrOpponents", MW_FIELD(m_QrOpponents), "Opponents", 0x03, 0x3F80, "",     \
      kOpponentsNames)                                                                             \
    X(Bool, 0x0b00501f, "QrOppShadows", MW_FIELD(m_QrOpponentShadows), "OppShadows", 0x03, 0x3F80) \
    X(Natural, 0x0b005020, "QrMaxOpponents", MW_FIELD(m_QrMaxOpponents), "MaxOpponents", 0x03,     \
      0x3F80)                                                                                      \
    X(Bool, 0x0b005021, "AudioEnabled", MW_FIELD(m_AudioEnabled), "AudioEnabled", 0x03, 0x3F84)    \
    X(RealRange, 0x0b005022, "AudioSoundVolume", MW_FIELD(m_AudioSoundVolume), "AudioSoundVolume", \
      0x03, 0x3F80, 0.0f, 1.0f)                                                                    \
    X(RealRange, 0x0b005023, "AudioMusicVolume", MW_FIELD(m_AudioMusicVolume), "AudioMusicVolume", \
      0x03, 0x3F80, 0.0f, 1.0f)                                                                    \
    X(Enum, 0x0b005024, "AudioGlobalQuality", MW_FIELD(m_AudioGlobalQuality), "AudioQuality",      \
      0x03, 0x3F80, "", kAudioQualityNames)                                                        \
    X(Enum, 0x0b005025, "AudioAcceleration", MW_FIELD(m_AudioAcceleration), "AudioAcceleration",   \
      0x03, 0x3F80, "", kAudioAccelerationNames)                                                   \
    X(Enum, 0x0b005026, "AudioQuality3d", MW_FIELD(m_AudioQuality3d), "AudioQuality3d", 0x03,      \
      0x3F80, "", kAudioQuality3dNames)                                                            \
    X(Bool, 0x0b005027, "AudioUseEAX", MW_FIELD(m_AudioUseEAX), "AudioUseEAX", 0x03, 0x3F80)       \
    X(Bool, 0x0b005028, "AudioDisableDoppler", MW_FIELD(m_AudioDisableDoppler),                    \
      "AudioDisableDoppler", 0x03, 0x3F80)                                                         \
    X(Enum, 0x0b005029, "AudioSpeakerConfig", MW_FIELD(m_AudioSpeakerConfig),                      \
      "AudioSpeakerConfig", 0x03, 0x3F80, "", kSpeakerNames)                                       \
    X(RealRange, 0x0b00502a, "InputsDeadZone", MW_FIELD(m_InputsDeadZone), "InputsDeadZone", 0x03, \
      0x3F84, 0.0f, 0.9f)                                                                          \
    X(RealRange, 0x0b00502b, "InputsSensitivity", MW_FIELD(m_InputsSensitivity),                   \
      "InputsSensitivity", 0x03, 0x3F80, 1.0f, 10.0f)                                              \
    X(Bool, 0x0b00502c, "InputsAlternateMethod", MW_FIELD(m_InputsAlternateMethod),                \
      "InputsAlternateMethod", 0x03, 0x3F80)                                                       \
    X(Bool, 0x0b00502d, "InputsFreezeUnusedAxes", MW_FIELD(m_InputsFreezeUnusedAxes),              \
      "InputsFreezeUnusedAxes", 0x03, 0x3F80)                                                      \
    X(Enum, 0x0b00502e, "Advertising_Enabled", MW_FIELD(m_Advertising_Enabled),                    \
      "Advertising_Enabled", 0x03, 0x3F80, "", kAdvertisingNames)                                  \
    X(RealRange, 0x0b00502f, "Advertising_TunningCoef", MW_FIELD(m_Advertising_TunningCoef),       \
      "Advertising_TunningCoef", 0x03, 0x3F80, -1.0f, 1.0f)                                        \
    X(Bool, 0x0b005030, "Advertising_DisabledByUser", MW_FIELD(m_Advertising_DisabledByUser),      \
      "Advertising_DisabledByUser", 0x03, 0x3F80)                                                  \
    X(Bool, 0x0b005031, "EnableCrashLogUpload", MW_FIELD(m_EnableCrashLogUpload),                  \
      "CrashLogUpload", 0x03, 0x3F84)

// Every id from 0x0b005000 to 0x0b005031, in order: the current chunks (0x13: written,
// skippable), the older ones (0x11: read, never written) and 0x0b005003 (0: handed to the root,
// which reads nothing for it).
#define CSYSTEMCONFIG_CHUNKS(X)                                                                    \
    X(0x0b005000, 0x11)                                                                            \
    X(0x0b005001, 0x11)                                                                            \
    X(0x0b005002, 0x11)                                                                            \
    X(0x0b005003, 0)                                                                               \
    X(0x0b005004, 0x11)                                                                            \
    X(0x0b005005, 0x11)                                                                            \
    X(0x0b005006, 0x11)                                                                            \
    X(0x0b005007, 0x11)                                                                            \
    X(0x0b005008, 0x13)                                                                            \
    X(0x0b005009, 0x13)                                                                            \
    X(0x0b00500a, 0x11)                                                                            \
    X(0x0b00500b, 0x13)                                                                            \
    X(0x0b00500c, 0x11)                                                                            \
    X(0x0b00500d, 0x11)                                                                            \
    X(0x0b00500e, 0x11)                                                                            \
    X(0x0b00500f, 0x11)                                                                            \
    X(0x0b005010, 0x11)                                                                            \
    X(0x0b005011, 0x11)                                                                            \
    X(0x0b005012, 0x13)                                                                            \
    X(0x0b005013, 0x11)                                                                            \
    X(0x0b005014, 0x11)                                                                            \
    X(0x0b005015, 0x11)                                                                            \
    X(0x0b005016, 0x11)                                                                            \
    X(0x0b005017, 0x11)                                                                            \
    X(0x0b005018, 0x11)                                                                            \
    X(0x0b005019, 0x11)                                                                            \
    X(0x0b00501a, 0x11)                                                                            \
    X(0x0b00501b, 0x11)                                                                            \
    X(0x0b00501c, 0x11)                                                                            \
    X(0x0b00501d, 0x13)                                                                            \
    X(0x0b00501e, 0x11)                                                                            \
    X(0x0b00501f, 0x11)                                                                            \
    X(0x0b005020, 0x13)                                                                            \
    X(0x0b005021, 0x11)                                                                            \
    X(0x0b005022, 0x13)                                                                            \
    X(0x0b005023, 0x11)                                                                            \
    X(0x0b005024, 0x11)                                                                            \
    X(0x0b005025, 0x11)                                                                            \
    X(0x0b005026, 0x11)                                                                            \
    X(0x0b005027, 0x13)                                                                            \
    X(0x0b005028, 0x13)                                                                            \
    X(0x0b005029, 0x11)                                                                            \
    X(0x0b00502a, 0x11)                                                                            \
    X(0x0b00502b, 0x13)                                                                            \
    X(0x0b00502c, 0x13)                                                                            \
    X(0x0b00502d, 0x11)                                                                            \
    X(0x0b00502e, 0x11)                                                                            \
    X(0x0b00502f, 0x11)                                                                            \
    X(0x0b005030, 0x13)                                                                            \
    X(0x0b005031, 0x13)

MW_DEFINE_CLASS(CSystemConfig, MwFactory<CSystemConfig>, CSYSTEMCONFIG_MEMBERS,
                CSYSTEMCONFIG_CHUNKS);

CSystemConfig::CSystemConfig() {
    m_Display = new CSystemConfigDisplay;
    m_Display->AddRef();
    m_DisplaySafe = new CSystemConfigDisplay;
    m_DisplaySafe->AddRef();
    m_DisplaySafe->SetSafeDefaults(0, {640, 480});
    SetDefaults();
}

CSystemConfig::~CSystemConfig() {
    if (g_CurrentSystemConfig == this)
        g_CurrentSystemConfig = nullptr;
    m_Display->Release();
    m_DisplaySafe->Release();
}

// ---------------------------------------------------------------------------------------------
// Defaults

void CSystemConfig::SetDefaults() {
    SetLanguageDefaults();
    SetDisplayDefaults();
    SetNetworkDefaults();
    SetFileTransferDefaults();
    SetAudioDefaults();
    SetSeaDefaults();
    SetCarDefaults();
    SetInputsDefaults();
    SetAdvertisingDefaults();
}

void CSystemConfig::SetLanguageDefaults() {
    ReadRegistryString("Language", m_LanguageCode, SystemLanguageCode());
}

void CSystemConfig::SetDisplayDefaults() {
    if (!m_IsSafeMode && m_Display)
        m_Display->SetDefaults();
}

void CSystemConfig::SetNetworkDefaults() {
    m_NetworkUseProxy = 0;
    m_NetworkServerPort = 2350;
    m_NetworkClientPort = 0;
    m_NetworkForceUseLocalAddress = 0;
    m_NetworkForceServerAddress.Assign("0.0.0.0:0");
    m_ReservedNetworkBool = 0;
    m_NetworkConnection = 3;
}

void CSystemConfig::SetFileTransferDefaults() {
    m_FileTransferEnableDownload = 1;
    m_FileTransferEnableUpload = 1;
    m_FileTransferMaxCacheSize = 209715200;
    m_ReservedFileTransferBool = 1;
    m_EnableLocators = 1;
    m_AutoUpdateFromLocator = 1;
    m_AutoUpdateAtInternetConnect = 0;
    m_AutoUpdateLocatorDBUrl.Assign("");
    m_LocatorBlackListUrl.Assign("");
    m_EnableCrashLogUpload = 1;
}

void CSystemConfig::SetAudioDefaults() {
    m_AudioEnabled = 1;
    m_AudioSoundVolume = 1.0f;
    m_AudioMusicVolume = 1.0f;
    m_AudioAcceleration = 0;
    m_AudioQuality3d = 0;
    m_AudioUseEAX = 1;
    m_AudioDisableDoppler = 1;
    m_AudioSpeakerConfig = 5;
    m_AudioGlobalQuality = 1;
}

void CSystemConfig::SetSeaDefaults() {
    m_IsIgnorePlayerSkins = 0;
    m_IsSkipRollingDemo = 0;
    m_Nyb3SeaQuality = 1;
    m_Nyb3BoatQuality = 1;
    m_Nyb3TeamMate = 1;
    m_Nyb3Stem = 1;
    ApplySeaPreset();
}

void CSystemConfig::SetCarDefaults() {
    m_IsIgnorePlayerSkins = 0;
    m_IsSkipRollingDemo = 0;
    m_QrCarQuality = 0;
    m_QrCarSmoke = 1;
    m_QrCarProjector = 1;
    m_QrOpponentShadows = 0;
    m_QrOpponents = 1;
    m_QrMaxOpponents = 0xFFFFFFFF;
    ApplyCarPreset();
}

void CSystemConfig::SetInputsDefaults() {
    m_InputsDeadZone = 0.1f;
    m_InputsSensitivity = 1.0f;
    m_InputsAlternateMethod = 0;
    m_InputsFreezeUnusedAxes = 1;
}

void CSystemConfig::SetAdvertisingDefaults() {
    m_Advertising_Enabled = 1;
    m_Advertising_DisabledByUser = 0;
    m_Advertising_TunningCoef = 0.0f;
}

void CSystemConfig::SetDisplaySafeDefaults(u32 colorDepth32, SystemDisplaySize size) {
    m_DisplaySafe->SetSafeDefaults(colorDepth32, size);
}

// ---------------------------------------------------------------------------------------------
// Quality presets

namespace {

// Upper bounds of the geometry score for levels 1 to 4 of each game; level 5 above them.
constexpr f32 kSeaThresholds[4] = {50.0f, 100.0f, 150.0f, 250.0f};
constexpr f32 kCarThresholds[4] = {50.0f, 100.0f, 200.0f, 400.0f};

struct SeaRow {
    u32 SeaQuality, BoatQuality, TeamMate, Stem;
};
constexpr SeaRow kSeaRows[5] = {
    {0, 0, 0, 0}, {0, 1, 1, 0}, {1, 1, 1, 1}, {2, 2, 1, 2}, {3, 2, 2, 2}};

struct CarRow {
    u32 CarSmoke, CarProjector, OpponentShadows, MaxOpponents;
};
constexpr CarRow kCarRows[5] = {
    {0, 0, 0, 4}, {0, 0, 0, 8}, {1, 1, 1, 16}, {1, 2, 1, 32}, {1, 2, 1, 0xFFFFFFFF}};

} // namespace

u32 CSystemConfig::GetPresetLevel(const f32 (&thresholds)[4]) {
    const CSystemConfigDisplay* display = GetActiveDisplay();
    if (display->m_Customize)
        return display->m_Preset;
    // The scores count only once the adapter's record has been found.
    const f32 geom = g_GpuPerf.IsFound() ? g_GpuPerf.Geom : 0.0f;
    u32 level = 5;
    for (u32 i = 0; i < 4; ++i) {
        if (geom < thresholds[i]) {
            level = i + 1;
            break;
        }
    }
    if (display->m_AutoScale == 0 && level > 1)
        --level;
    else if (display->m_AutoScale == 2 && level < 5)
        ++level;
    return level;
}

void CSystemConfig::ApplySeaPreset() {
    const u32 level = GetPresetLevel(kSeaThresholds);
    if (level < 1 || level > 5)
        return;
    const SeaRow& row = kSeaRows[level - 1];
    m_Nyb3SeaQuality = row.SeaQuality;
    m_Nyb3BoatQuality = row.BoatQuality;
    m_Nyb3TeamMate = row.TeamMate;
    m_Nyb3Stem = row.Stem;
}

void CSystemConfig::ApplyCarPreset() {
    const u32 level = GetPresetLevel(kCarThresholds);
    if (level < 1 || level > 5)
        return;
    const CarRow& row = kCarRows[level - 1];
    m_QrCarSmoke = row.CarSmoke;
    m_QrCarProjector = row.CarProjector;
    m_QrOpponentShadows = row.OpponentShadows;
    m_QrMaxOpponents = row.MaxOpponents;
}

void CSystemConfig::ApplyQualityPresets() {
    ApplySeaPreset();
    ApplyCarPreset();
}

void CSystemConfig::OnAfterLoad() {
    ApplyQualityPresets();
}

// ---------------------------------------------------------------------------------------------
// Chunks

namespace {

void U(CClassicArchive& archive, u32& value) {
    archive.SerializeUInts(&value, 1);
}
void B(CClassicArchive& archive, u32& value) {
    archive.SerializeBools(&value, 1);
}
void F(CClassicArchive& archive, f32& value) {
    archive.SerializeFloats(&value, 1);
}
void S(CClassicArchive& archive, CClassicString& value) {
    archive.SerializeStrings(&value, 1);
}
// A value of an older chunk that is no longer kept.
void DropU(CClassicArchive& archive) {
    u32 dropped = 0;
    archive.ReadUInts(&dropped, 1);
}
void DropB(CClassicArchive& archive) {
    u32 dropped = 0;
    archive.ReadBools(&dropped, 1);
}
void DropS(CClassicArchive& archive) {
    CClassicString dropped;
    archive.ReadStrings(&dropped, 1);
}

// The display values of the older chunks from the textures quality on: textures, colour depth,
// shaders, antialiasing, refresh rate, vsync, full screen, filtering, shadows and the preset
// index, which is returned.
u32 ReadLegacyQuality(CClassicArchive& archive, CSystemConfigDisplay& d) {
    u32 presetIndex = 0;
    archive.ReadUInts(&d.m_TexturesQuality, 1);
    archive.ReadUInts(&d.m_ColorDepth, 1);
    archive.ReadUInts(&d.m_ShaderQuality, 1);
    archive.ReadUInts(&d.m_Antialiasing, 1);
    archive.ReadUInts(&d.m_RefreshRate, 1);
    archive.ReadBools(&d.m_VSync, 1);
    archive.ReadBools(&d.m_FullScreen, 1);
    archive.ReadUInts(&d.m_MaxFiltering, 1);
    archive.ReadUInts(&d.m_Shadows, 1);
    archive.ReadUInts(&presetIndex, 1);
    return presetIndex;
}

} // namespace

void CSystemConfig::ArchiveLegacyDisplay(CClassicArchive& archive, u32 chunkId) {
    CSystemConfigDisplay& d = *m_Display;
    if (chunkId == 0x0b005000) {
        u32 index = 0;
        archive.ReadUInts(&index, 1);
        archive.ReadUInts(&d.m_TexturesQuality, 1);
        archive.ReadUInts(&d.m_ColorDepth, 1);
        archive.ReadUInts(&d.m_ShaderQuality, 1);
        archive.ReadUInts(&d.m_Antialiasing, 1);
        archive.ReadUInts(&d.m_RefreshRate, 1);
        archive.ReadBools(&d.m_VSync, 1);
        archive.ReadBools(&d.m_FullScreen, 1);
        archive.ReadUInts(&d.m_MaxFiltering, 1);
        archive.ReadUInts(&d.m_Shadows, 1);
        d.m_Size = g_LegacyResolutions[index < kLegacyResolutionCount ? index
                                                                      : kLegacyResolutionCount - 1];
        d.m_Antialiasing = 0;
        return;
    }

    archive.ReadUInts(&d.m_Size.Width, 1);
    archive.ReadUInts(&d.m_Size.Height, 1);
    if (chunkId >= 0x0b005017)
        archive.ReadUInts(&d.m_WindowedSizeIndex, 1);
    const u32 presetIndex = ReadLegacyQuality(archive, d);
    switch (chunkId) {
        case 0x0b005006:
        case 0x0b00500a:
        case 0x0b005014:
        case 0x0b005015:
            // The preset applies before the values that follow it are read.
            d.m_Antialiasing = 0;
            d.ApplyLegacyPresetIndex(presetIndex);
            if (chunkId == 0x0b005006)
                return;
            archive.ReadBools(&d.m_DisableShadowBuffer, 1);
            if (chunkId == 0x0b00500a)
                return;
            archive.ReadUInts(&d.m_GpuSync, 1);
            if (chunkId == 0x0b005015)
                archive.ReadBools(&d.m_EmulateCursorGDI, 1);
            return;
        default:
            break;
    }
    // 0x0b005016 to 0x0b005019 and 0x0b00501f: the workarounds, then the preset.
    archive.ReadBools(&d.m_DisableShadowBuffer, 1);
    archive.ReadUInts(&d.m_GpuSync, 1);
    archive.ReadBools(&d.m_EmulateCursorGDI, 1);
    if (chunkId == 0x0b005018) {
        u32 softwareVertices = 0;
        archive.ReadBools(&softwareVertices, 1);
        d.m_VertexProcess = softwareVertices ? 2 : 0;
    } else if (chunkId == 0x0b005019 || chunkId == 0x0b00501f) {
        archive.ReadUInts(&d.m_VertexProcess, 1);
        if (chunkId == 0x0b00501f)
            archive.ReadBools(&d.m_OptimizePartialDynaGeom, 1);
    }
    d.ApplyLegacyPresetIndex(presetIndex);
}

void CSystemConfig::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        // Current chunks, in the order they are written.
        case 0x0b005008:
            S(archive, m_LanguageCode);
            return;
        case 0x0b005009:
            archive.SerializeStrings(m_ReservedStrings, kSystemConfigReservedStringCount);
            return;
        case 0x0b00500b:
            U(archive, m_Nyb3SeaQuality);
            U(archive, m_Nyb3TeamMate);
            U(archive, m_Nyb3Stem);
            U(archive, m_Nyb3BoatQuality);
            return;
        case 0x0b005012:
            S(archive, m_MasterServerLogin);
            S(archive, m_MasterServerPassword);
            S(archive, m_MasterServerKey);
            B(archive, m_MasterServerIsRegistred);
            U(archive, m_MasterServerStoredWord);
            g_ClassicLogLine.Assign("[Sys] Login = ");
            ClassicLogAppendText(g_ClassicLogLine, m_MasterServerLogin);
            g_ClassicLogLine.Append("\r\n");
            ClassicLogWriteLineToFiles();
            return;
        case 0x0b00501d:
            B(archive, m_IsIgnorePlayerSkins);
            B(archive, m_IsSkipRollingDemo);
            return;
        case 0x0b005020:
            // The normal display part's own chunks and end tag; the safe part is never stored.
            B(archive, m_IsSafeMode);
            m_Display->Archive(archive);
            return;
        case 0x0b005022:
            F(archive, m_InputsDeadZone);
            F(archive, m_InputsSensitivity);
            B(archive, m_InputsAlternateMethod);
            B(archive, m_InputsFreezeUnusedAxes);
            return;
        case 0x0b005027:
            B(archive, m_ReservedChunkBool);
            return;
        case 0x0b005028:
            B(archive, m_AudioEnabled);
            F(archive, m_AudioSoundVolume);
            F(archive, m_AudioMusicVolume);
            U(archive, m_AudioGlobalQuality);
            U(archive, m_AudioAcceleration);
            U(archive, m_AudioQuality3d);
            B(archive, m_AudioUseEAX);
            B(archive, m_AudioDisableDoppler);
            U(archive, m_AudioSpeakerConfig);
            return;
        case 0x0b00502b:
            U(archive, m_Advertising_Enabled);
            B(archive, m_Advertising_DisabledByUser);
            F(archive, m_Advertising_TunningCoef);
            return;
        case 0x0b00502c:
            U(archive, m_QrCarQuality);
            U(archive, m_QrCarSmoke);
            U(archive, m_QrCarProjector);
            U(archive, m_QrOpponents);
            U(archive, m_QrMaxOpponents);
            B(archive, m_QrOpponentShadows);
            return;
        case 0x0b005030:
            B(archive, m_FileTransferEnableDownload);
            B(archive, m_FileTransferEnableUpload);
            U(archive, m_FileTransferMaxCacheSize);
            B(archive, m_ReservedFileTransferBool);
            B(archive, m_EnableLocators);
            B(archive, m_AutoUpdateFromLocator);
            B(archive, m_AutoUpdateAtInternetConnect);
            S(archive, m_AutoUpdateLocatorDBUrl);
            S(archive, m_LocatorBlackListUrl);
            B(archive, m_EnableCrashLogUpload);
            return;
        case 0x0b005031:
            ArchiveNetwork(archive);
            B(archive, m_ReservedNetworkBool);
            return;
        default:
            break;
    }
    if (!archive.m_Writing && ReadOlderChunk(archive, chunkId))
        return;
    Super::ArchiveChunk(archive, chunkId);
}

void CSystemConfig::ArchiveNetwork(CClassicArchive& archive) {
    B(archive, m_NetworkUseProxy);
    S(archive, m_NetworkProxyLogin);
    S(archive, m_NetworkProxyPassword);
    U(archive, m_NetworkServerPort);
    U(archive, m_NetworkClientPort);
    B(archive, m_NetworkForceUseLocalAddress);
    S(archive, m_NetworkForceServerAddress);
    U(archive, m_NetworkConnection);
}

bool CSystemConfig::ReadOlderChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case 0x0b005000:
        case 0x0b005006:
        case 0x0b00500a:
        case 0x0b005014:
        case 0x0b005015:
        case 0x0b005016:
        case 0x0b005017:
        case 0x0b005018:
        case 0x0b005019:
        case 0x0b00501f:
            ArchiveLegacyDisplay(archive, chunkId);
            return true;
        case 0x0b005001:
        case 0x0b00500d:
        case 0x0b00501a:
            // The account, then the network values with a dropped string, the connection and a
            // dropped bool as the versions grew.
            S(archive, m_MasterServerLogin);
            S(archive, m_MasterServerPassword);
            [[fallthrough]];
        case 0x0b005024:
            B(archive, m_NetworkUseProxy);
            S(archive, m_NetworkProxyLogin);
            S(archive, m_NetworkProxyPassword);
            DropS(archive);
            U(archive, m_NetworkServerPort);
            U(archive, m_NetworkClientPort);
            B(archive, m_NetworkForceUseLocalAddress);
            S(archive, m_NetworkForceServerAddress);
            if (chunkId != 0x0b005001)
                U(archive, m_NetworkConnection);
            if (chunkId == 0x0b00501a)
                DropB(archive);
            return true;
        case 0x0b005002:
            S(archive, m_MasterServerKey);
            return true;
        case 0x0b00502d:
            ArchiveNetwork(archive);
            return true;
        case 0x0b005004: {
            B(archive, m_AudioEnabled);
            F(archive, m_AudioSoundVolume);
            F(archive, m_AudioMusicVolume);
            U(archive, m_AudioAcceleration);
            U(archive, m_AudioQuality3d);
            B(archive, m_AudioUseEAX);
            DropU(archive);
            DropU(archive);
            DropU(archive);
            return true;
        }
        case 0x0b005005:
            U(archive, m_Nyb3SeaQuality);
            U(archive, m_Nyb3TeamMate);
            U(archive, m_Nyb3Stem);
            return true;
        case 0x0b005007: {
            S(archive, m_MasterServerLogin);
            S(archive, m_MasterServerPassword);
            S(archive, m_MasterServerKey);
            B(archive, m_MasterServerIsRegistred);
            // A date and time no longer kept.
            u8 dropped[8];
            archive.ReadRaw(dropped, sizeof dropped);
            return true;
        }
        case 0x0b00500c:
            B(archive, m_IsIgnorePlayerSkins);
            return true;
        case 0x0b00500e:
            U(archive, m_QrCarQuality);
            U(archive, m_QrCarSmoke);
            U(archive, m_QrOpponents);
            if (m_QrCarQuality > 0)
                --m_QrCarQuality;
            m_QrOpponents = 1;
            return true;
        case 0x0b00500f:
            F(archive, m_InputsDeadZone);
            F(archive, m_InputsSensitivity);
            m_InputsAlternateMethod = 0;
            m_InputsFreezeUnusedAxes = 1;
            return true;
        case 0x0b005010:
        case 0x0b005011:
        case 0x0b005013:
        case 0x0b00501e:
        case 0x0b00501b:
        case 0x0b00501c:
            U(archive, m_QrCarQuality);
            U(archive, m_QrCarSmoke);
            U(archive, m_QrCarProjector);
            U(archive, m_QrOpponents);
            if (chunkId == 0x0b005010)
                m_QrOpponents = 1;
            if (chunkId == 0x0b005010 || chunkId == 0x0b005011)
                return true;
            B(archive, m_QrOpponentShadows);
            if (chunkId == 0x0b00501b || chunkId == 0x0b00501c) {
                B(archive, m_Display->m_OptimizePartialDynaGeom);
                if (chunkId == 0x0b00501b)
                    m_Display->m_OptimizePartialDynaGeom = 0;
            }
            return true;
        case 0x0b005021:
            F(archive, m_InputsDeadZone);
            F(archive, m_InputsSensitivity);
            B(archive, m_InputsAlternateMethod);
            m_InputsFreezeUnusedAxes = 1;
            return true;
        case 0x0b005023:
            B(archive, m_FileTransferEnableDownload);
            B(archive, m_FileTransferEnableUpload);
            U(archive, m_FileTransferMaxCacheSize);
            S(archive, m_AutoUpdateLocatorDBUrl);
            return true;
        case 0x0b005025:
            U(archive, m_AudioSpeakerConfig);
            return true;
        case 0x0b005026:
            B(archive, m_AudioEnabled);
            F(archive, m_AudioSoundVolume);
            F(archive, m_AudioMusicVolume);
            U(archive, m_AudioGlobalQuality);
            U(archive, m_AudioAcceleration);
            U(archive, m_AudioQuality3d);
            B(archive, m_AudioUseEAX);
            return true;
        case 0x0b005029:
        case 0x0b00502a:
        case 0x0b00502e:
        case 0x0b00502f:
            B(archive, m_FileTransferEnableDownload);
            B(archive, m_FileTransferEnableUpload);
            U(archive, m_FileTransferMaxCacheSize);
            if (chunkId == 0x0b00502f)
                B(archive, m_ReservedFileTransferBool);
            if (chunkId != 0x0b005029)
                B(archive, m_EnableLocators);
            B(archive, m_AutoUpdateAtInternetConnect);
            S(archive, m_AutoUpdateLocatorDBUrl);
            S(archive, m_LocatorBlackListUrl);
            if (chunkId == 0x0b00502e || chunkId == 0x0b00502f)
                B(archive, m_EnableCrashLogUpload);
            return true;
        default:
            return false;
    }
}
