#pragma once
// The game configuration: display (a normal and a safe-mode part), network and proxy, the
// master-server account, peer file transfer, audio, the quality options of the two game kinds
// (the sea game's members prefixed Nyb3, the car game's prefixed Qr), inputs, advertising, and
// the language code. The launcher and the game read and write it as the body of the
// configuration archive; its chunks are that body.
//
// The game kinds' quality members follow a preset level computed from the active display part
// and the adapter's geometry score (g_GpuPerf), unless the active part is customized with preset
// 0. Booleans are u32 words holding 0 or 1.
#include "core/base/ClassicString.h"
#include "core/nod/MwNod.h"
#include "platform/Types.h"
#include "system/config/SystemConfigDisplay.h"

// The full-screen sizes of the oldest configuration files, chosen by index.
inline constexpr u32 kLegacyResolutionCount = 5;
inline constexpr SystemDisplaySize g_LegacyResolutions[kLegacyResolutionCount] = {
    {640, 480}, {800, 600}, {1024, 768}, {1280, 960}, {1600, 1200}};

// The number of reserved strings stored with the configuration.
inline constexpr u32 kSystemConfigReservedStringCount = 6;

class CSystemConfig : public CMwNod {
    MW_DECLARE_CLASS(CSystemConfig, CMwNod, 0x0b005000)
public:
    // The safe part gets its safe values (16 bits, 640 x 480), then everything its defaults.
    CSystemConfig();
    // Deletes both display parts; clears g_CurrentSystemConfig when it points here.
    ~CSystemConfig() override;
    CSystemConfig(const CSystemConfig&) = delete;
    CSystemConfig& operator=(const CSystemConfig&) = delete;

    // Every group's defaults, in order: language, display, network, file transfer, audio, sea,
    // car, inputs and advertising. The master-server fields, the proxy login and password, the
    // safe mode and the reserved fields are left alone.
    void SetDefaults();
    // The language code: the registry value "Language", else the system's language.
    void SetLanguageDefaults();
    // The normal display part's defaults; nothing in safe mode.
    void SetDisplayDefaults();
    // The proxy login and password keep their values.
    void SetNetworkDefaults();
    void SetFileTransferDefaults();
    void SetAudioDefaults();
    // The sea members 1, then the sea preset.
    void SetSeaDefaults();
    // The car members (quality 0, opponents 1, the others as before a preset), then the car
    // preset.
    void SetCarDefaults();
    void SetInputsDefaults();
    void SetAdvertisingDefaults();
    // The safe part's values for the colour-depth flag and size.
    void SetDisplaySafeDefaults(u32 colorDepth32, SystemDisplaySize size);

    // The safe part in safe mode, else the normal part.
    CSystemConfigDisplay* GetActiveDisplay() { return m_IsSafeMode ? m_DisplaySafe : m_Display; }

    // The sea preset, then the car preset.
    void ApplyQualityPresets();
    void ApplySeaPreset();
    void ApplyCarPreset();
    // The preset level of a game (1 to 5) from the active display part: its preset when
    // customized (any value, 0 included), else the first threshold above the adapter's geometry
    // score (0 without a found GPU record), moved one level by the automatic scale Faster or
    // Nicer. `thresholds` holds the upper bounds of levels 1 to 4.
    u32 GetPresetLevel(const f32 (&thresholds)[4]);

    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
    // The quality presets, from the display part as loaded.
    void OnAfterLoad() override;

    // Not reflected: read by the language set-up.
    CClassicString m_LanguageCode;
    u32 m_IsSafeMode = 0;
    CSystemConfigDisplay* m_Display = nullptr;
    CSystemConfigDisplay* m_DisplaySafe = nullptr;
    u32 m_NetworkConnection = 3;
    u32 m_NetworkUseProxy = 0;
    CClassicString m_NetworkProxyLogin;
    CClassicString m_NetworkProxyPassword;
    u32 m_NetworkServerPort = 2350;
    u32 m_NetworkClientPort = 0;
    u32 m_NetworkForceUseLocalAddress = 0;
    CClassicString m_NetworkForceServerAddress;
    u32 m_ReservedNetworkBool = 0;
    // Stored in a chunk of its own; the defaults leave it alone.
    u32 m_ReservedChunkBool = 0;
    // The player's account key on the master server, sent as the requests' key.
    CClassicString m_MasterServerKey;
    CClassicString m_MasterServerLogin;
    CClassicString m_MasterServerPassword;
    u32 m_MasterServerIsRegistred = 0;
    // Stored with the master-server fields; nothing else reads it.
    u32 m_MasterServerStoredWord = 0;
    CClassicString m_ReservedStrings[kSystemConfigReservedStringCount];
    u32 m_FileTransferEnableDownload = 1;
    u32 m_FileTransferEnableUpload = 1;
    u32 m_FileTransferMaxCacheSize = 209715200;
    u32 m_ReservedFileTransferBool = 1;
    u32 m_EnableLocators = 1;
    u32 m_AutoUpdateFromLocator = 1;
    // Not reflected: edited by the launcher's network page.
    u32 m_AutoUpdateAtInternetConnect = 0;
    CClassicString m_AutoUpdateLocatorDBUrl;
    // Not reflected: edited by the launcher's network page.
    CClassicString m_LocatorBlackListUrl;
    u32 m_EnableCrashLogUpload = 1;
    u32 m_AudioEnabled = 1;
    f32 m_AudioSoundVolume = 1.0f;
    f32 m_AudioMusicVolume = 1.0f;
    u32 m_AudioAcceleration = 0;
    u32 m_AudioQuality3d = 0;
    u32 m_AudioUseEAX = 1;
    u32 m_AudioDisableDoppler = 1;
    u32 m_AudioSpeakerConfig = 5;
    u32 m_AudioGlobalQuality = 1;
    u32 m_IsIgnorePlayerSkins = 0;
    u32 m_IsSkipRollingDemo = 0;
    u32 m_Nyb3SeaQuality = 1;
    u32 m_Nyb3BoatQuality = 1;
    u32 m_Nyb3TeamMate = 1;
    u32 m_Nyb3Stem = 1;
    u32 m_QrCarQuality = 0;
    u32 m_QrCarSmoke = 1;
    u32 m_QrCarProjector = 1;
    u32 m_QrOpponentShadows = 0;
    u32 m_QrOpponents = 1;
    // 0xFFFFFFFF: no limit.
    u32 m_QrMaxOpponents = 0xFFFFFFFF;
    f32 m_InputsDeadZone = 0.1f;
    f32 m_InputsSensitivity = 1.0f;
    u32 m_InputsAlternateMethod = 0;
    u32 m_InputsFreezeUnusedAxes = 1;
    u32 m_Advertising_Enabled = 1;
    u32 m_Advertising_DisabledByUser = 0;
    f32 m_Advertising_TunningCoef = 0.0f;

private:
    // The values of the network chunk but its last.
    void ArchiveNetwork(CClassicArchive& archive);
    // Reads an older chunk with its corrections; false for an id that is none.
    bool ReadOlderChunk(CClassicArchive& archive, u32 chunkId);
    // The older chunks that carry display values into m_Display.
    void ArchiveLegacyDisplay(CClassicArchive& archive, u32 chunkId);
};

// The configuration the Net engine and the shaders read; nothing here sets it.
extern CSystemConfig* g_CurrentSystemConfig;
