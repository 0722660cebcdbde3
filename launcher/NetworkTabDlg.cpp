#include "launcher/NetworkTabDlg.h"

#include "launcher/LauncherApp.h"
#include "net/socket/NetAddress.h"
#include "system/config/SystemConfig.h"

namespace {

using ui::ControlKind;

// The labels stand left of their controls, up to them.
constexpr std::array<ui::ControlTemplate, 39> kNetworkTabControls = {{
    {kNetworkTabServerPortId, ControlKind::Edit, 85, 5, 57, 12, "", ui::FlagNumber},
    {kNetworkTabClientPortId, ControlKind::Edit, 85, 20, 57, 12, "", ui::FlagNumber},
    {kNetworkTabLocalAddressId, ControlKind::Check, 85, 35, 10, 13},
    {kNetworkTabServerAddressId, ControlKind::IpAddress, 85, 50, 75, 11},
    {kNetworkTabServerAddressPortId, ControlKind::Edit, 175, 50, 24, 12, "", ui::FlagNumber},
    {kNetworkTabAdvertisingId, ControlKind::Check, 85, 65, 13, 10},
    {kNetworkTabCrashLogId, ControlKind::Check, 260, 65, 13, 10},
    {kNetworkTabUseProxyId, ControlKind::Check, 260, 7, 76, 8},
    {kNetworkTabProxyLoginId, ControlKind::Edit, 260, 20, 75, 12},
    {kNetworkTabProxyPasswordId, ControlKind::Edit, 260, 35, 75, 12},
    {kNetworkTabBlackListUrlId, ControlKind::Edit, 85, 80, 250, 12},
    {kNetworkTabDownloadId, ControlKind::Check, 106, 104, 13, 8},
    {kNetworkTabUploadId, ControlKind::Check, 106, 116, 13, 8},
    {kNetworkTabCacheSizeId, ControlKind::Edit, 106, 128, 46, 12, "", ui::FlagNumber},
    {kNetworkTabLocatorUrlId, ControlKind::Edit, 106, 143, 224, 12},
    {kNetworkTabLocatorsId, ControlKind::Check, 314, 105, 13, 8},
    {kNetworkTabAutoUpdateId, ControlKind::Check, 314, 117, 13, 8},
    {kNetworkTabUpdateAtConnectId, ControlKind::Check, 314, 130, 13, 8},
    {kNetworkTabTransferGroupId, ControlKind::GroupBox, 7, 95, 329, 68, "Peer to peer transfer"},
    {kAdvancedPageResetId, ControlKind::Button, 238, 165, 97, 15, "Reset to default"},
    {kNetworkTabServerPortLabelId, ControlKind::Label, 7, 7, 76, 10, "Server Port"},
    {kNetworkTabClientPortLabelId, ControlKind::Label, 7, 22, 76, 10, "Client Port"},
    {kNetworkTabLocalAddressLabelId, ControlKind::Label, 7, 37, 76, 10, "Use Local Address"},
    {kNetworkTabServerAddressLabelId, ControlKind::Label, 7, 51, 76, 10, "Force Server Addr"},
    {kNetworkTabColonLabelId, ControlKind::Label, 165, 51, 8, 10, ":"},
    {kNetworkTabAdvertisingLabelId, ControlKind::Label, 7, 65, 76, 10, "Disable Advertising"},
    {kNetworkTabCrashLogLabelId, ControlKind::Label, 110, 66, 148, 10,
     "Send error reports to Vorel"},
    {kNetworkTabBlackListUrlLabelId, ControlKind::Label, 7, 82, 76, 10, "Black list url"},
    {kNetworkTabUseProxyLabelId, ControlKind::Label, 175, 7, 83, 10, "Use Proxy"},
    {kNetworkTabProxyLoginLabelId, ControlKind::Label, 175, 22, 83, 10, "Proxy Login"},
    {kNetworkTabProxyPasswordLabelId, ControlKind::Label, 175, 37, 83, 10, "Proxy Password"},
    {kNetworkTabDownloadLabelId, ControlKind::Label, 12, 104, 92, 10, "Enable download"},
    {kNetworkTabUploadLabelId, ControlKind::Label, 12, 116, 92, 10, "Enable upload"},
    {kNetworkTabCacheSizeLabelId, ControlKind::Label, 12, 130, 92, 10, "Maximum cache size"},
    {kNetworkTabMegabytesLabelId, ControlKind::Label, 155, 130, 15, 10, "MB"},
    {kNetworkTabLocatorUrlLabelId, ControlKind::Label, 12, 145, 92, 10, "Update locators from url"},
    {kNetworkTabLocatorsLabelId, ControlKind::Label, 175, 105, 137, 10, "Enable locators"},
    {kNetworkTabAutoUpdateLabelId, ControlKind::Label, 175, 117, 137, 10,
     "Auto update from locators"},
    {kNetworkTabUpdateAtConnectLabelId, ControlKind::Label, 175, 130, 137, 10,
     "Auto update at internet connect"},
}};

constexpr ui::DialogTemplate kNetworkTabTemplate = {
    kNetworkTabTemplateId, 343, 189, ui::StyleChild, "", kNetworkTabControls};

// Advertising_Enabled: the player may opt out only when it is Configurable.
constexpr u32 kAdvertisingConfigurable = 1;

constexpr u32 kMegabyteShift = 20;

// Narrow text shown one character per byte.
std::string Widened(const CClassicString& text) {
    CClassicWideString wide;
    wide.AppendNarrow(text);
    return LauncherUtf8(wide);
}

// The text typed, back to narrow text: characters above 254 become '_'.
void Narrowed(const std::string& utf8, CClassicString& out) {
    CClassicWideString wide;
    wide.AssignUtf8(CClassicStringRef(utf8.c_str(), u32(utf8.size())));
    out.AssignWide(wide);
}

i32 Flag(u32 member) {
    return member != 0 ? 1 : 0;
}

u32 Member(i32 flag) {
    return flag != 0 ? 1 : 0;
}

} // namespace

void RegisterNetworkTabResources() {
    ui::RegisterTemplate(kNetworkTabTemplate);
}

u32 CacheBytesToMegabytes(u32 bytes) {
    return u32((u64(bytes) + 1048575) / 1048576);
}

void CNetworkTabDlg::DoDataExchange(ui::DataExchange& dx) {
    dx.Int(kNetworkTabServerPortId, m_ServerPort, 0, kNetworkPortMax);
    dx.Int(kNetworkTabClientPortId, m_ClientPort, 0, kNetworkPortMax);
    dx.Check(kNetworkTabLocalAddressId, m_ForceUseLocalAddress);
    dx.Int(kNetworkTabServerAddressPortId, m_ServerAddressPort, 0, kNetworkPortMax);
    dx.Check(kNetworkTabAdvertisingId, m_AdvertisingDisabled);
    dx.Check(kNetworkTabCrashLogId, m_CrashLogUpload);
    dx.Check(kNetworkTabUseProxyId, m_UseProxy);
    dx.Text(kNetworkTabProxyLoginId, m_ProxyLogin);
    dx.Text(kNetworkTabProxyPasswordId, m_ProxyPassword);
    dx.Text(kNetworkTabBlackListUrlId, m_BlackListUrl);
    dx.Check(kNetworkTabDownloadId, m_EnableDownload);
    dx.Check(kNetworkTabUploadId, m_EnableUpload);
    dx.Int(kNetworkTabCacheSizeId, m_CacheSizeMb, kCacheSizeMinMb, kCacheSizeMaxMb);
    dx.Text(kNetworkTabLocatorUrlId, m_LocatorUrl);
    dx.Check(kNetworkTabLocatorsId, m_EnableLocators);
    dx.Check(kNetworkTabAutoUpdateId, m_AutoUpdateFromLocator);
    dx.Check(kNetworkTabUpdateAtConnectId, m_AutoUpdateAtConnect);
}

void CNetworkTabDlg::OnCommand(u32 id, i32 code) {
    if (id == kAdvancedPageResetId && code == ui::BN_CLICKED) {
        OnReset();
        return;
    }
    ui::Dialog::OnCommand(id, code);
}

void CNetworkTabDlg::LoadFromConfig(CSystemConfig& config) {
    CNetAddress address;
    m_LoadedDotted = CNetAddress::FromDottedText(config.m_NetworkForceServerAddress, address);
    if (!m_LoadedDotted)
        address = CNetAddress::FromText(config.m_NetworkForceServerAddress);
    m_LoadedServerAddress = config.m_NetworkForceServerAddress;
    ui::Control& addressControl = Item(kNetworkTabServerAddressId);
    addressControl.SetAddress(address.GetAddress());
    m_LoadedFields = addressControl.AddressFields();
    m_ServerAddressPort = address.GetPort();
    m_LoadedServerAddressPort = m_ServerAddressPort;

    m_ServerPort = i32(config.m_NetworkServerPort);
    m_ClientPort = i32(config.m_NetworkClientPort);
    m_ForceUseLocalAddress = Flag(config.m_NetworkForceUseLocalAddress);
    m_ProxyLogin = Widened(config.m_NetworkProxyLogin);
    m_ProxyPassword = Widened(config.m_NetworkProxyPassword);
    m_UseProxy = Flag(config.m_NetworkUseProxy);
    m_EnableDownload = Flag(config.m_FileTransferEnableDownload);
    m_EnableUpload = Flag(config.m_FileTransferEnableUpload);
    m_CacheSizeMb = i32(CacheBytesToMegabytes(config.m_FileTransferMaxCacheSize));
    m_LocatorUrl = Widened(config.m_AutoUpdateLocatorDBUrl);
    m_CrashLogUpload = Flag(config.m_EnableCrashLogUpload);
    m_AdvertisingDisabled = Flag(config.m_Advertising_DisabledByUser);
    m_EnableLocators = Flag(config.m_EnableLocators);
    m_AutoUpdateFromLocator = Flag(config.m_AutoUpdateFromLocator);
    m_AutoUpdateAtConnect = Flag(config.m_AutoUpdateAtInternetConnect);
    m_BlackListUrl = Widened(config.m_LocatorBlackListUrl);

    const bool optOut = config.m_Advertising_Enabled == kAdvertisingConfigurable;
    for (u32 id : {kNetworkTabAdvertisingId, kNetworkTabAdvertisingLabelId}) {
        Item(id).Show(optOut);
        Item(id).Enable(optOut);
    }
    UpdateData(false);
}

bool CNetworkTabDlg::SaveToConfig(CSystemConfig& config) {
    if (!UpdateData(true))
        return false;
    u32 bytes = 0;
    ui::Control& addressControl = Item(kNetworkTabServerAddressId);
    addressControl.GetAddress(bytes);
    // A host name the control cannot show stays as it was while the player leaves the address
    // and its port alone.
    if (m_LoadedDotted || addressControl.AddressFields() != m_LoadedFields ||
        m_ServerAddressPort != m_LoadedServerAddressPort) {
        CNetAddress address;
        address.SetAddress(bytes);
        address.SetPort(u16(m_ServerAddressPort));
        address.ToText(config.m_NetworkForceServerAddress, true);
    } else {
        config.m_NetworkForceServerAddress = m_LoadedServerAddress;
    }

    config.m_NetworkServerPort = u32(m_ServerPort);
    config.m_NetworkClientPort = u32(m_ClientPort);
    config.m_NetworkForceUseLocalAddress = Member(m_ForceUseLocalAddress);
    Narrowed(m_ProxyLogin, config.m_NetworkProxyLogin);
    Narrowed(m_ProxyPassword, config.m_NetworkProxyPassword);
    config.m_NetworkUseProxy = Member(m_UseProxy);
    config.m_FileTransferEnableDownload = Member(m_EnableDownload);
    config.m_FileTransferEnableUpload = Member(m_EnableUpload);
    config.m_FileTransferMaxCacheSize = u32(m_CacheSizeMb) << kMegabyteShift;
    Narrowed(m_LocatorUrl, config.m_AutoUpdateLocatorDBUrl);
    config.m_Advertising_DisabledByUser = Member(m_AdvertisingDisabled);
    config.m_EnableCrashLogUpload = Member(m_CrashLogUpload);
    config.m_EnableLocators = Member(m_EnableLocators);
    config.m_AutoUpdateFromLocator = Member(m_AutoUpdateFromLocator);
    config.m_AutoUpdateAtInternetConnect = Member(m_AutoUpdateAtConnect);
    Narrowed(m_BlackListUrl, config.m_LocatorBlackListUrl);
    return true;
}

void CNetworkTabDlg::UpdateTexts() {
    const std::pair<u32, const char16_t*> texts[] = {
        {kNetworkTabServerPortLabelId, u"Server Port"},
        {kNetworkTabClientPortLabelId, u"Client Port"},
        {kNetworkTabLocalAddressLabelId, u"Use Local Address"},
        {kNetworkTabServerAddressLabelId, u"Force Server Addr"},
        {kNetworkTabAdvertisingLabelId, u"Disable Advertising"},
        {kNetworkTabCrashLogLabelId, u"Send error reports to Vorel"},
        {kNetworkTabUseProxyLabelId, u"Use Proxy"},
        {kNetworkTabProxyLoginLabelId, u"Proxy Login"},
        {kNetworkTabProxyPasswordLabelId, u"Proxy Password"},
        {kNetworkTabTransferGroupId, u"|P2P|Peer to peer transfer"},
        {kNetworkTabDownloadLabelId, u"|P2P|Enable download"},
        {kNetworkTabUploadLabelId, u"|P2P|Enable upload"},
        {kNetworkTabCacheSizeLabelId, u"|P2P|Maximum cache size"},
        {kNetworkTabLocatorUrlLabelId, u"|P2P|Update locators from url"},
        {kNetworkTabBlackListUrlLabelId, u"Black list url"},
        {kNetworkTabLocatorsLabelId, u"|P2P|Enable locators"},
        {kNetworkTabAutoUpdateLabelId, u"|P2P|Auto update from locators"},
        {kNetworkTabUpdateAtConnectLabelId, u"|P2P|Auto update at internet connect"},
        {kAdvancedPageResetId, u"Reset to defaults"},
    };
    for (const auto& [id, key] : texts)
        Item(id).SetText(LauncherTranslate(key));
    UpdateData(false);
}

void CNetworkTabDlg::OnReset() {
    CSystemConfig* config = theApp.m_Config;
    if (!config)
        return;
    SaveToConfig(*config);
    theApp.ResetConfigToDefaults(kNetworkTabResetKind);
    LoadFromConfig(*config);
}
