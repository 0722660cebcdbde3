#pragma once
// The Network page of the advanced settings dialog (tab 2): the game's ports, the forced local
// and server addresses, the proxy, the advertising opt-out, error reports and the peer-to-peer
// transfer with its locators. The forced server address, stored as text, is edited as an IP
// address and a port; a stored text that is not a dotted address (a host name) is kept as it
// is while the player leaves both as they were loaded.
#include "core/base/ClassicString.h"
#include "launcher/AdvancedTabDlg.h"

#include <array>
#include <string>

// Template and control ids.
inline constexpr u32 kNetworkTabTemplateId = 133;
inline constexpr u32 kNetworkTabProxyLoginId = 1021;
inline constexpr u32 kNetworkTabProxyPasswordId = 1022;
inline constexpr u32 kNetworkTabUseProxyId = 1023;
inline constexpr u32 kNetworkTabLocalAddressId = 1024;
inline constexpr u32 kNetworkTabAdvertisingId = 1025;
inline constexpr u32 kNetworkTabDownloadId = 1026;
inline constexpr u32 kNetworkTabUploadId = 1027;
inline constexpr u32 kNetworkTabCrashLogId = 1028;
inline constexpr u32 kNetworkTabLocatorsId = 1029;
inline constexpr u32 kNetworkTabServerPortId = 1030;
inline constexpr u32 kNetworkTabClientPortId = 1031;
inline constexpr u32 kNetworkTabServerAddressId = 1032;
inline constexpr u32 kNetworkTabServerAddressPortId = 1033;
inline constexpr u32 kNetworkTabAutoUpdateId = 1034;
inline constexpr u32 kNetworkTabUpdateAtConnectId = 1035;
inline constexpr u32 kNetworkTabCacheSizeId = 1088;
inline constexpr u32 kNetworkTabLocatorUrlId = 1089;
inline constexpr u32 kNetworkTabBlackListUrlId = 1090;
inline constexpr u32 kNetworkTabTransferGroupId = 1111;
inline constexpr u32 kNetworkTabServerPortLabelId = 1075;
inline constexpr u32 kNetworkTabClientPortLabelId = 1076;
inline constexpr u32 kNetworkTabLocalAddressLabelId = 1077;
inline constexpr u32 kNetworkTabServerAddressLabelId = 1078;
inline constexpr u32 kNetworkTabUseProxyLabelId = 1079;
inline constexpr u32 kNetworkTabProxyLoginLabelId = 1080;
inline constexpr u32 kNetworkTabProxyPasswordLabelId = 1081;
inline constexpr u32 kNetworkTabAdvertisingLabelId = 1082;
inline constexpr u32 kNetworkTabDownloadLabelId = 1083;
inline constexpr u32 kNetworkTabUploadLabelId = 1084;
inline constexpr u32 kNetworkTabCacheSizeLabelId = 1085;
inline constexpr u32 kNetworkTabLocatorUrlLabelId = 1086;
inline constexpr u32 kNetworkTabCrashLogLabelId = 1087;
inline constexpr u32 kNetworkTabBlackListUrlLabelId = 1091;
inline constexpr u32 kNetworkTabLocatorsLabelId = 1092;
inline constexpr u32 kNetworkTabAutoUpdateLabelId = 1093;
inline constexpr u32 kNetworkTabUpdateAtConnectLabelId = 1094;
// The fixed texts: "MB" after the cache size, ":" between the address and its port.
inline constexpr u32 kNetworkTabMegabytesLabelId = 1095;
inline constexpr u32 kNetworkTabColonLabelId = 1096;

// The page's reset kind (CLauncherApp::ResetConfigToDefaults).
inline constexpr i32 kNetworkTabResetKind = 2;

// The ranges the data exchange accepts.
inline constexpr i32 kNetworkPortMax = 65535;
inline constexpr i32 kCacheSizeMinMb = 10;
inline constexpr i32 kCacheSizeMaxMb = 4095;

void RegisterNetworkTabResources();

// The cache size in whole megabytes, rounded up (4294967295 bytes give 4096).
u32 CacheBytesToMegabytes(u32 bytes);

class CNetworkTabDlg : public ui::Dialog {
public:
    CNetworkTabDlg() : ui::Dialog(kNetworkTabTemplateId) {}

    void LoadFromConfig(CSystemConfig& config);
    // False, saving nothing, when a port or the cache size is refused.
    bool SaveToConfig(CSystemConfig& config);
    void UpdateTexts();

protected:
    void OnOK() override { AdvancedPageEnter(*this); }
    void OnCancel() override {}
    void OnCommand(u32 id, i32 code) override;
    void DoDataExchange(ui::DataExchange& dx) override;

private:
    void OnReset();

    i32 m_ServerPort = 0;
    i32 m_ClientPort = 0;
    i32 m_ForceUseLocalAddress = 0;
    i32 m_ServerAddressPort = 0;
    i32 m_AdvertisingDisabled = 0;
    i32 m_CrashLogUpload = 0;
    i32 m_UseProxy = 0;
    std::string m_ProxyLogin;
    std::string m_ProxyPassword;
    std::string m_BlackListUrl;
    i32 m_EnableDownload = 0;
    i32 m_EnableUpload = 0;
    i32 m_CacheSizeMb = 0;
    std::string m_LocatorUrl;
    i32 m_EnableLocators = 0;
    i32 m_AutoUpdateFromLocator = 0;
    i32 m_AutoUpdateAtConnect = 0;

    // The forced server address as loaded: its text, whether it was a dotted address, and what
    // the address control and the port showed of it.
    CClassicString m_LoadedServerAddress;
    bool m_LoadedDotted = true;
    std::array<i16, 4> m_LoadedFields = {};
    i32 m_LoadedServerAddressPort = 0;
};
