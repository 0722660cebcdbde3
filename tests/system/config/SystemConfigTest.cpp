#include "system/config/SystemConfig.h"

#include "core/base/ClassicArchive.h"
#include "core/nod/MwMemberPath.h"
#include "system/file/Registry.h"
#include "tests/system/config/ConfigTestSupport.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr u64 kMb = u64(1) << 20;

// A chunk stream written by hand from the chunk tables, in either encoding: each chunk framed
// with the skip tag and the byte size of its values, which the builder counts.
class CBody {
public:
    explicit CBody(bool text) : m_Text(text) {}

    CBody& Chunk(u32 id) {
        Flush();
        m_Open = true;
        m_Id = id;
        return *this;
    }
    // An id written without frame or values.
    CBody& Bare(u32 id) {
        Flush();
        Hex(m_Out, id);
        return *this;
    }
    CBody& U(u32 value) {
        if (m_Text)
            Line(std::to_string(value));
        else
            Word(m_Data, value);
        return *this;
    }
    CBody& B(bool value) {
        if (m_Text)
            Line(value ? "True" : "False");
        else
            Word(m_Data, value);
        return *this;
    }
    CBody& F(f32 value) {
        if (m_Text) {
            char text[64];
            std::snprintf(text, sizeof text, "%f", double(value));
            Line(text);
        } else {
            u32 bits;
            std::memcpy(&bits, &value, 4);
            Word(m_Data, bits);
        }
        return *this;
    }
    CBody& S(const std::string& value) {
        if (m_Text) {
            Line(value);
        } else {
            Word(m_Data, u32(value.size()));
            m_Data += value;
        }
        return *this;
    }
    // Bytes taken as they are (raw blocks, an embedded nod body).
    CBody& Raw(const std::string& bytes) {
        m_Data += bytes;
        return *this;
    }
    std::string End() {
        Flush();
        Hex(m_Out, CMwNod::s_UnknownChunk);
        return m_Out;
    }

private:
    void Line(const std::string& text) { m_Data += text + "\r\n"; }
    void Word(std::string& out, u32 value) {
        for (u32 i = 0; i < 4; ++i)
            out.push_back(char(value >> (8 * i)));
    }
    void Hex(std::string& out, u32 value) {
        if (m_Text) {
            char text[16];
            std::snprintf(text, sizeof text, "%x\r\n", value);
            out += text;
        } else {
            Word(out, value);
        }
    }
    void Flush() {
        if (!m_Open)
            return;
        Hex(m_Out, m_Id);
        if (m_Text) {
            m_Out +=
                std::to_string(CMwNod::s_SkipTag) + "\r\n" + std::to_string(m_Data.size()) + "\r\n";
        } else {
            Word(m_Out, CMwNod::s_SkipTag);
            Word(m_Out, u32(m_Data.size()));
        }
        m_Out += m_Data;
        m_Data.clear();
        m_Open = false;
    }

    bool m_Text;
    bool m_Open = false;
    u32 m_Id = 0;
    std::string m_Data;
    std::string m_Out;
};

std::string BodyOf(CMwNod& nod, bool text) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    archive.m_Writing = 1;
    archive.m_Text = text;
    EXPECT_EQ(nod.Archive(archive), 0u);
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

void LoadBody(CMwNod& nod, const std::string& bytes, bool text) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    archive.m_Text = text;
    memory->Write(bytes.data(), u32(bytes.size()));
    memory->Rewind();
    EXPECT_EQ(nod.Archive(archive), 0u);
}

// The ids of a text body's top-level chunks, in order (every chunk framed).
std::vector<u32> TextChunkIds(const std::string& body) {
    std::vector<u32> ids;
    size_t at = 0;
    const auto line = [&] {
        const size_t end = body.find("\r\n", at);
        std::string text = body.substr(at, end - at);
        at = end + 2;
        return text;
    };
    for (;;) {
        const u32 id = u32(std::stoul(line(), nullptr, 16));
        if (id == CMwNod::s_UnknownChunk)
            return ids;
        ids.push_back(id);
        EXPECT_EQ(line(), std::to_string(CMwNod::s_SkipTag));
        at += std::stoul(line());
    }
}

// The sea and car members the presets set, in one comparable row.
struct Presets {
    u32 Sea, Boat, TeamMate, Stem, Smoke, Projector, Shadows, MaxOpponents;
    bool operator==(const Presets&) const = default;
};

Presets PresetsOf(const CSystemConfig& c) {
    return {c.m_Nyb3SeaQuality, c.m_Nyb3BoatQuality, c.m_Nyb3TeamMate,      c.m_Nyb3Stem,
            c.m_QrCarSmoke,     c.m_QrCarProjector,  c.m_QrOpponentShadows, c.m_QrMaxOpponents};
}

std::ostream& operator<<(std::ostream& out, const Presets& p) {
    return out << "sea " << p.Sea << p.Boat << p.TeamMate << p.Stem << " car " << p.Smoke
               << p.Projector << p.Shadows << " max " << p.MaxOpponents;
}

// The rows of each game's levels 1 to 5, sea then car; level 0 marks members left alone.
Presets Level(u32 sea, u32 car) {
    constexpr u32 kSea[5][4] = {
        {0, 0, 0, 0}, {0, 1, 1, 0}, {1, 1, 1, 1}, {2, 2, 1, 2}, {3, 2, 2, 2}};
    constexpr u32 kCar[5][4] = {
        {0, 0, 0, 4}, {0, 0, 0, 8}, {1, 1, 1, 16}, {1, 2, 1, 32}, {1, 2, 1, 0xFFFFFFFF}};
    const u32* s = kSea[sea - 1];
    const u32* c = kCar[car - 1];
    return {s[0], s[1], s[2], s[3], c[0], c[1], c[2], c[3]};
}

class SystemConfig : public CSystemFixture {
protected:
    void SetUp() override {
        CSystemFixture::SetUp();
        SetRegistryRootKey("Software\\Vorel\\Brisalde");
        DescribeHostWith(1024 * kMb, 2000);
        DescribeAdapter("vendor = 0x10DE\ndevice = 0x0322\ndesktop = 1024x768x32\nvram = 125M\n"
                        "textures = DXT1 DXT2 DXT3 DXT4 DXT5\n" +
                        ShaderClassLines(3));
        Scores(120.0f);
    }
    void TearDown() override {
        SetRegistryRootKey(nullptr);
        CSystemFixture::TearDown();
    }

    // A found GPU record with the given geometry score and middling other scores.
    static void Scores(f32 geom, u32 flags = kGpuPerfFound) {
        g_GpuPerf = GpuPerf();
        g_GpuPerf.Geom = geom;
        g_GpuPerf.Aniso1 = g_GpuPerf.Aniso2 = g_GpuPerf.Aniso4 = 300;
        g_GpuPerf.Aniso8 = g_GpuPerf.Aniso16 = 200;
        g_GpuPerf.PArith11 = g_GpuPerf.PArith20 = g_GpuPerf.PTexD11 = 100;
        g_GpuPerf.Flags = flags;
    }

    CConfigRecords m_Records;
};

TEST_F(SystemConfig, DefaultsOfANewConfiguration) {
    CSystemConfig config;
    EXPECT_EQ(config.m_IsSafeMode, 0u);
    EXPECT_EQ(config.GetActiveDisplay(), config.m_Display);
    EXPECT_NE(config.m_Display, config.m_DisplaySafe);
    EXPECT_EQ(config.m_NetworkConnection, 3u);
    EXPECT_EQ(config.m_NetworkServerPort, 2350u);
    EXPECT_EQ(config.m_NetworkClientPort, 0u);
    EXPECT_STREQ(config.m_NetworkForceServerAddress.GetText(), "0.0.0.0:0");
    EXPECT_EQ(config.m_FileTransferMaxCacheSize, 209715200u);
    EXPECT_EQ(config.m_ReservedFileTransferBool, 1u);
    EXPECT_EQ(config.m_EnableLocators + config.m_AutoUpdateFromLocator, 2u);
    EXPECT_EQ(config.m_AutoUpdateAtInternetConnect, 0u);
    EXPECT_EQ(config.m_EnableCrashLogUpload, 1u);
    EXPECT_EQ(config.m_AudioEnabled + config.m_AudioUseEAX + config.m_AudioDisableDoppler, 3u);
    EXPECT_EQ(config.m_AudioSoundVolume, 1.0f);
    EXPECT_EQ(config.m_AudioMusicVolume, 1.0f);
    EXPECT_EQ(config.m_AudioSpeakerConfig, 5u);
    EXPECT_EQ(config.m_AudioGlobalQuality, 1u);
    EXPECT_EQ(config.m_QrCarQuality, 0u);
    EXPECT_EQ(config.m_QrOpponents, 1u);
    EXPECT_EQ(config.m_InputsDeadZone, 0.1f);
    EXPECT_EQ(config.m_InputsSensitivity, 1.0f);
    EXPECT_EQ(config.m_InputsFreezeUnusedAxes, 1u);
    EXPECT_EQ(config.m_Advertising_Enabled, 1u);
    EXPECT_EQ(config.m_Advertising_TunningCoef, 0.0f);
    // The safe part: 16 bits, 640 x 480, customized without preset.
    EXPECT_EQ(config.m_DisplaySafe->m_Size.Width, 640u);
    EXPECT_EQ(config.m_DisplaySafe->m_Size.Height, 480u);
    EXPECT_EQ(config.m_DisplaySafe->m_ColorDepth, 0u);
    EXPECT_EQ(config.m_DisplaySafe->m_Customize, 1u);
    // The normal part has its defaults.
    EXPECT_EQ(config.m_Display->m_Size.Width, 800u);
    EXPECT_EQ(config.m_Display->m_GpuSync, 7u);
    // Geometry 120 at the normal scale: level 3 for both games.
    EXPECT_EQ(PresetsOf(config), Level(3, 3));

    // SetDefaults leaves the account, the proxy's credentials, the safe mode and the reserved
    // fields alone.
    config.m_MasterServerLogin.Assign("me");
    config.m_MasterServerKey.Assign("key");
    config.m_MasterServerIsRegistred = 1;
    config.m_MasterServerStoredWord = 77;
    config.m_NetworkProxyLogin.Assign("proxy");
    config.m_NetworkProxyPassword.Assign("secret");
    config.m_ReservedChunkBool = 1;
    config.m_ReservedStrings[5].Assign("kept");
    config.m_NetworkServerPort = 1;
    config.m_AudioSpeakerConfig = 0;
    config.m_QrCarQuality = 1;
    config.m_IsSafeMode = 1;
    config.m_Display->m_Size = {1, 1};
    config.SetDefaults();
    EXPECT_STREQ(config.m_MasterServerLogin.GetText(), "me");
    EXPECT_STREQ(config.m_MasterServerKey.GetText(), "key");
    EXPECT_EQ(config.m_MasterServerIsRegistred, 1u);
    EXPECT_EQ(config.m_MasterServerStoredWord, 77u);
    EXPECT_STREQ(config.m_NetworkProxyLogin.GetText(), "proxy");
    EXPECT_STREQ(config.m_NetworkProxyPassword.GetText(), "secret");
    EXPECT_EQ(config.m_ReservedChunkBool, 1u);
    EXPECT_STREQ(config.m_ReservedStrings[5].GetText(), "kept");
    EXPECT_EQ(config.m_IsSafeMode, 1u);
    EXPECT_EQ(config.m_NetworkServerPort, 2350u);
    EXPECT_EQ(config.m_AudioSpeakerConfig, 5u);
    EXPECT_EQ(config.m_QrCarQuality, 0u);
    // In safe mode the display defaults change nothing.
    EXPECT_EQ(config.m_Display->m_Size.Width, 1u);
}

TEST_F(SystemConfig, LanguageFromTheRegistryElseTheSystem) {
    CScopedEnvVar locale("LC_ALL", "de_DE.UTF-8");
    {
        CSystemConfig config;
        EXPECT_STREQ(config.m_LanguageCode.GetText(), "de");
    }
    WriteRegistryString("Language", "fr_CA");
    CSystemConfig config;
    EXPECT_STREQ(config.m_LanguageCode.GetText(), "fr_CA");
    // An empty value counts as absent.
    WriteRegistryString("Language", "");
    config.SetDefaults();
    EXPECT_STREQ(config.m_LanguageCode.GetText(), "de");
}

TEST_F(SystemConfig, PresetLevelsFromTheGeometryScore) {
    struct Case {
        f32 Geom;
        u32 Flags;
        u32 AutoScale;
        Presets Expected;
    };
    const Case cases[] = {
        {120, kGpuPerfFound, 1, Level(3, 3)},
        {120, kGpuPerfFound, 0, Level(2, 2)},
        {120, kGpuPerfFound, 2, Level(4, 4)},
        {0, 0, 2, Level(2, 2)},
        {0, kGpuPerfFound, 0, Level(1, 1)},
        // Scores left in a record that is not found count as 0.
        {500, 0, 1, Level(1, 1)},
        {49.99f, kGpuPerfFound, 1, Level(1, 1)},
        {50, kGpuPerfFound, 1, Level(2, 2)},
        {150, kGpuPerfFound, 1, Level(4, 3)},
        {199, kGpuPerfFound, 1, Level(4, 3)},
        {200, kGpuPerfFound, 1, Level(4, 4)},
        {250, kGpuPerfFound, 1, Level(5, 4)},
        {400, kGpuPerfFound, 1, Level(5, 5)},
        {400, kGpuPerfFound, 2, Level(5, 5)},
        {400, kGpuPerfFound, 0, Level(4, 4)},
    };
    CSystemConfig config;
    for (const Case& c : cases) {
        Scores(c.Geom, c.Flags);
        config.m_Display->m_Customize = 0;
        config.m_Display->m_AutoScale = c.AutoScale;
        config.ApplyQualityPresets();
        EXPECT_EQ(PresetsOf(config), c.Expected)
            << "geom " << c.Geom << " flags " << c.Flags << " scale " << c.AutoScale;
    }
}

TEST_F(SystemConfig, PresetsOfACustomizedOrSafeDisplay) {
    CSystemConfig config;
    const Presets marked = {9, 9, 9, 9, 9, 9, 9, 9};
    const auto mark = [&] {
        config.m_Nyb3SeaQuality = config.m_Nyb3BoatQuality = config.m_Nyb3TeamMate =
            config.m_Nyb3Stem = 9;
        config.m_QrCarSmoke = config.m_QrCarProjector = config.m_QrOpponentShadows =
            config.m_QrMaxOpponents = 9;
        config.m_QrCarQuality = config.m_QrOpponents = 7;
    };

    // A customized part's preset is the level, whatever the scores and the scale.
    config.m_Display->m_Customize = 1;
    config.m_Display->m_AutoScale = 2;
    config.m_Display->m_Preset = 4;
    mark();
    config.ApplyQualityPresets();
    EXPECT_EQ(PresetsOf(config), Level(4, 4));
    // The car quality and the opponents are never the preset's.
    EXPECT_EQ(config.m_QrCarQuality, 7u);
    EXPECT_EQ(config.m_QrOpponents, 7u);

    // Preset 0 (and any value past 5) leaves the members as they are.
    for (u32 preset : {0u, 6u}) {
        config.m_Display->m_Preset = preset;
        mark();
        config.ApplyQualityPresets();
        EXPECT_EQ(PresetsOf(config), marked) << preset;
    }

    // In safe mode the safe part decides: customized with preset 0 after its safe defaults.
    config.m_Display->m_Preset = 5;
    config.m_IsSafeMode = 1;
    EXPECT_EQ(config.GetActiveDisplay(), config.m_DisplaySafe);
    mark();
    config.ApplyQualityPresets();
    EXPECT_EQ(PresetsOf(config), marked);
    config.m_DisplaySafe->m_Preset = 1;
    config.ApplyQualityPresets();
    EXPECT_EQ(PresetsOf(config), Level(1, 1));
    config.m_DisplaySafe->m_Customize = 0;
    config.m_DisplaySafe->m_AutoScale = 0;
    config.ApplyQualityPresets();
    EXPECT_EQ(PresetsOf(config), Level(2, 2));

    // The launcher may give the safe part another size.
    config.SetDisplaySafeDefaults(1, {1024, 768});
    EXPECT_EQ(config.m_DisplaySafe->m_Size.Width, 1024u);
    EXPECT_EQ(config.m_DisplaySafe->m_ColorDepth, 1u);
    EXPECT_EQ(config.m_DisplaySafe->m_Customize, 1u);
}

// A configuration set to known values, its display part customized so that its quality
// members follow preset 3.
void SetKnownValues(CSystemConfig& config) {
    config.m_LanguageCode.Assign("fr");
    CSystemConfigDisplay& d = *config.m_Display;
    d.m_Customize = 1;
    d.m_AutoScale = 1;
    d.m_Size = {1280, 960};
    d.m_WindowedSizeIndex = 2;
    d.m_ColorDepth = 1;
    d.m_Antialiasing = 2;
    d.m_RefreshRate = 75;
    d.m_VSync = 1;
    d.m_FullScreen = 0;
    d.m_DisableShadowBuffer = 1;
    d.m_GpuSync = 7;
    d.m_EmulateCursorGDI = 0;
    d.m_VertexProcess = 0;
    d.m_OptimizePartialDynaGeom = 0;
    d.m_IgnoreDriverCrashes = 1;
    d.m_DisableColorWriteMask = 0;
    d.m_EnableFullscreenGDI = 0;
    d.m_ZClipAuto = 1;
    d.m_ZClipNbBlock = 10;
    d.m_DisableZBufferRange = 0;
    d.m_AgpUseFactor = 0.25f;
    d.m_EnableFastLoad = 0;
    d.ApplyPreset(3);
    config.ApplyQualityPresets();
}

// The text body of SetKnownValues with the defaults, written by hand from the chunk tables.
std::string KnownTextBody() {
    const std::string display = CBody(true)
                                    .Chunk(0x0b013001)
                                    .U(1280)
                                    .U(960)
                                    .U(2)
                                    .U(1)
                                    .U(2)
                                    .U(75)
                                    .B(true)
                                    .B(false)
                                    .Chunk(0x0b013003)
                                    .B(true)
                                    .U(7)
                                    .B(false)
                                    .U(0)
                                    .B(false)
                                    .B(true)
                                    .Chunk(0x0b013004)
                                    .B(false)
                                    .Chunk(0x0b013005)
                                    .B(false)
                                    .Chunk(0x0b013008)
                                    .U(0)
                                    .U(1)
                                    .U(10)
                                    .Chunk(0x0b013009)
                                    .U(0)
                                    .U(0)
                                    .B(false)
                                    .B(true)
                                    .Chunk(0x0b01300a)
                                    .B(false)
                                    .B(false)
                                    .Chunk(0x0b01300b)
                                    .B(false)
                                    .F(0.25f)
                                    .Chunk(0x0b01300d)
                                    .U(1)
                                    .B(true)
                                    .U(3)
                                    .U(2)
                                    .U(2)
                                    .U(3)
                                    .U(2)
                                    .U(0)
                                    .Chunk(0x0b01300e)
                                    .B(false)
                                    .Chunk(0x0b01300f)
                                    .B(false)
                                    .End();
    return CBody(true)
        .Chunk(0x0b005008)
        .S("fr")
        .Chunk(0x0b005009)
        .S("")
        .S("")
        .S("")
        .S("")
        .S("")
        .S("")
        .Chunk(0x0b00500b)
        .U(1)
        .U(1)
        .U(1)
        .U(1)
        .Chunk(0x0b005012)
        .S("")
        .S("")
        .S("")
        .B(false)
        .U(0)
        .Chunk(0x0b00501d)
        .B(false)
        .B(false)
        .Chunk(0x0b005020)
        .B(false)
        .Raw(display)
        .Chunk(0x0b005022)
        .F(0.1f)
        .F(1.0f)
        .B(false)
        .B(true)
        .Chunk(0x0b005027)
        .B(false)
        .Chunk(0x0b005028)
        .B(true)
        .F(1.0f)
        .F(1.0f)
        .U(1)
        .U(0)
        .U(0)
        .B(true)
        .B(true)
        .U(5)
        .Chunk(0x0b00502b)
        .U(1)
        .B(false)
        .F(0.0f)
        .Chunk(0x0b00502c)
        .U(0)
        .U(1)
        .U(1)
        .U(1)
        .U(16)
        .B(true)
        .Chunk(0x0b005030)
        .B(true)
        .B(true)
        .U(209715200)
        .B(true)
        .B(true)
        .B(true)
        .B(false)
        .S("")
        .S("")
        .B(true)
        .Chunk(0x0b005031)
        .B(false)
        .S("")
        .S("")
        .U(2350)
        .U(0)
        .B(false)
        .S("0.0.0.0:0")
        .U(3)
        .B(false)
        .End();
}

TEST_F(SystemConfig, WritesTheChunksOfTheTables) {
    CSystemConfig config;
    SetKnownValues(config);
    const std::string body = BodyOf(config, true);
    EXPECT_EQ(body, KnownTextBody());
    EXPECT_EQ(TextChunkIds(body),
              (std::vector<u32>{0x0b005008, 0x0b005009, 0x0b00500b, 0x0b005012, 0x0b00501d,
                                0x0b005020, 0x0b005022, 0x0b005027, 0x0b005028, 0x0b00502b,
                                0x0b00502c, 0x0b005030, 0x0b005031}));

    // The hand-made file loads to those values.
    CSystemConfig loaded;
    loaded.m_LanguageCode.Assign("de");
    loaded.m_Display->m_Size = {1, 1};
    LoadBody(loaded, KnownTextBody(), true);
    EXPECT_STREQ(loaded.m_LanguageCode.GetText(), "fr");
    EXPECT_EQ(loaded.m_Display->m_Size.Width, 1280u);
    EXPECT_EQ(loaded.m_Display->m_Size.Height, 960u);
    EXPECT_EQ(loaded.m_Display->m_RefreshRate, 75u);
    EXPECT_EQ(loaded.m_Display->m_Customize, 1u);
    EXPECT_EQ(loaded.m_Display->m_Preset, 3u);
    EXPECT_EQ(loaded.m_Display->m_AgpUseFactor, 0.25f);
    EXPECT_EQ(loaded.m_InputsDeadZone, 0.1f);
    EXPECT_EQ(loaded.m_QrMaxOpponents, 16u);
    EXPECT_STREQ(loaded.m_NetworkForceServerAddress.GetText(), "0.0.0.0:0");
    EXPECT_EQ(BodyOf(loaded, true), KnownTextBody());
}

// Saved, loaded and saved again, a configuration gives the same bytes and keeps every field but
// the safe part's; in both encodings.
TEST_F(SystemConfig, BodyRoundTrip) {
    for (bool text : {true, false}) {
        CSystemConfig config;
        const std::string defaults = BodyOf(config, text);
        {
            CSystemConfig loaded;
            LoadBody(loaded, defaults, text);
            EXPECT_EQ(BodyOf(loaded, text), defaults) << text;
        }

        SetKnownValues(config);
        config.m_IsSafeMode = 1;
        config.m_NetworkUseProxy = 1;
        config.m_NetworkProxyLogin.Assign("proxy|user");
        config.m_NetworkProxyPassword.Assign("two\r\nlines");
        config.m_NetworkServerPort = 2351;
        config.m_NetworkClientPort = 2352;
        config.m_NetworkForceUseLocalAddress = 1;
        config.m_NetworkForceServerAddress.Assign("10.0.0.1:2350");
        config.m_ReservedNetworkBool = 1;
        config.m_NetworkConnection = 18;
        config.m_ReservedChunkBool = 1;
        config.m_MasterServerKey.Assign("KEY-1");
        config.m_MasterServerLogin.Assign("player");
        config.m_MasterServerPassword.Assign("pw");
        config.m_MasterServerIsRegistred = 1;
        config.m_MasterServerStoredWord = 0xDEADBEEF;
        for (u32 i = 0; i < kSystemConfigReservedStringCount; ++i)
            config.m_ReservedStrings[i].Format("reserved %u", i);
        config.m_FileTransferEnableDownload = 0;
        config.m_FileTransferEnableUpload = 0;
        config.m_FileTransferMaxCacheSize = 1234;
        config.m_ReservedFileTransferBool = 0;
        config.m_EnableLocators = 0;
        config.m_AutoUpdateFromLocator = 0;
        config.m_AutoUpdateAtInternetConnect = 1;
        config.m_AutoUpdateLocatorDBUrl.Assign("http://db.example/");
        config.m_LocatorBlackListUrl.Assign("http://black.example/");
        config.m_EnableCrashLogUpload = 0;
        config.m_AudioEnabled = 0;
        config.m_AudioSoundVolume = 0.5f;
        config.m_AudioMusicVolume = 0.25f;
        config.m_AudioAcceleration = 2;
        config.m_AudioQuality3d = 1;
        config.m_AudioUseEAX = 0;
        config.m_AudioDisableDoppler = 0;
        config.m_AudioSpeakerConfig = 11;
        config.m_AudioGlobalQuality = 2;
        config.m_IsIgnorePlayerSkins = 1;
        config.m_IsSkipRollingDemo = 1;
        config.m_QrCarQuality = 1;
        config.m_QrOpponents = 0;
        config.m_InputsDeadZone = 0.5f;
        config.m_InputsSensitivity = 7.5f;
        config.m_InputsAlternateMethod = 1;
        config.m_InputsFreezeUnusedAxes = 0;
        config.m_Advertising_Enabled = 2;
        config.m_Advertising_DisabledByUser = 1;
        config.m_Advertising_TunningCoef = -0.5f;
        // In safe mode the stored presets stay as they are: the safe part has preset 0.
        config.m_Nyb3SeaQuality = 3;
        config.m_QrMaxOpponents = 5;
        config.m_DisplaySafe->m_Size = {320, 200};

        const std::string first = BodyOf(config, text);
        CSystemConfig loaded;
        LoadBody(loaded, first, text);
        EXPECT_EQ(BodyOf(loaded, text), first) << text;
        EXPECT_STREQ(loaded.m_NetworkProxyPassword.GetText(), "two\r\nlines");
        EXPECT_STREQ(loaded.m_NetworkProxyLogin.GetText(), "proxy|user");
        EXPECT_EQ(loaded.m_MasterServerStoredWord, 0xDEADBEEFu);
        EXPECT_STREQ(loaded.m_ReservedStrings[5].GetText(), "reserved 5");
        EXPECT_EQ(loaded.m_InputsSensitivity, 7.5f);
        EXPECT_EQ(loaded.m_Advertising_TunningCoef, -0.5f);
        EXPECT_EQ(loaded.m_Nyb3SeaQuality, 3u);
        EXPECT_EQ(loaded.m_QrMaxOpponents, 5u);
        EXPECT_EQ(loaded.m_Display->m_Size.Width, 1280u);
        EXPECT_EQ(loaded.m_Display->m_AgpUseFactor, 0.25f);
        // The safe part is never stored.
        EXPECT_EQ(loaded.m_DisplaySafe->m_Size.Width, 640u);
    }
}

TEST_F(SystemConfig, LoginLineOnEveryReadAndWrite) {
    CSystemConfig config;
    config.m_MasterServerLogin.Assign("racer");
    CFileSinkWatch files;
    const std::string body = BodyOf(config, false);
    EXPECT_EQ(files.Text(), "[Sys] Login = racer\r\n");
    CSystemConfig loaded;
    LoadBody(loaded, body, false);
    EXPECT_EQ(files.Text(), "[Sys] Login = racer\r\n[Sys] Login = racer\r\n");

    // A login that would forge a line of its own stays on one line.
    CSystemConfig crafted;
    crafted.m_MasterServerLogin.Assign("racer\r\n[Sys] Os = forged");
    const std::string craftedBody = BodyOf(crafted, false);
    CFileSinkWatch more;
    LoadBody(loaded, craftedBody, false);
    EXPECT_EQ(more.Text(), "[Sys] Login = racer\\x0D\\x0A[Sys] Os = forged\r\n");
    EXPECT_STREQ(loaded.m_MasterServerLogin.GetText(), "racer\r\n[Sys] Os = forged");
}

// Files of older versions, written by hand from the chunk tables: the values land where they
// belong, with their corrections.
TEST_F(SystemConfig, ReadsOlderChunks) {
    struct Case {
        const char* Name;
        std::function<void(CBody&)> Write;
        std::function<void(CSystemConfig&)> Check;
    };
    const Case cases[] = {
        {"oldest display, resolution index past the table",
         [](CBody& b) {
             b.Chunk(0x0b005000).U(9).U(1).U(0).U(2).U(3).U(85).B(true).B(false).U(2).U(1);
         },
         [](CSystemConfig& c) {
             const CSystemConfigDisplay& d = *c.m_Display;
             EXPECT_EQ(d.m_Size.Width, 1600u);
             EXPECT_EQ(d.m_Size.Height, 1200u);
             EXPECT_EQ(d.m_ColorDepth, 0u);
             EXPECT_EQ(d.m_Antialiasing, 0u);
             EXPECT_EQ(d.m_RefreshRate, 85u);
             EXPECT_EQ(d.m_VSync, 1u);
             EXPECT_EQ(d.m_FullScreen, 0u);
         }},
        {"display with preset index, then the shadow buffer",
         [](CBody& b) {
             b.Chunk(0x0b00500a)
                 .U(1024)
                 .U(768)
                 .U(3)
                 .U(1)
                 .U(3)
                 .U(2)
                 .U(60)
                 .B(false)
                 .B(true)
                 .U(3)
                 .U(3)
                 .U(1)
                 .B(false);
         },
         [](CSystemConfig& c) {
             const CSystemConfigDisplay& d = *c.m_Display;
             EXPECT_EQ(d.m_Size.Width, 1024u);
             EXPECT_EQ(d.m_Antialiasing, 0u);
             // Index 1 is preset 2, customized.
             EXPECT_EQ(d.m_Customize, 1u);
             EXPECT_EQ(d.m_Preset, 2u);
             EXPECT_EQ(d.m_TexturesQuality, 1u);
             EXPECT_EQ(d.m_DisableShadowBuffer, 0u);
         }},
        {"display with software vertices",
         [](CBody& b) {
             b.Chunk(0x0b005018)
                 .U(800)
                 .U(600)
                 .U(1)
                 .U(2)
                 .U(1)
                 .U(2)
                 .U(4)
                 .U(0)
                 .B(false)
                 .B(true)
                 .U(2)
                 .U(1)
                 .U(4)
                 .B(true)
                 .U(3)
                 .B(true)
                 .B(true);
         },
         [](CSystemConfig& c) {
             const CSystemConfigDisplay& d = *c.m_Display;
             EXPECT_EQ(d.m_WindowedSizeIndex, 1u);
             // Kept: only the first chunks clear the antialiasing.
             EXPECT_EQ(d.m_Antialiasing, 4u);
             EXPECT_EQ(d.m_GpuSync, 3u);
             EXPECT_EQ(d.m_EmulateCursorGDI, 1u);
             EXPECT_EQ(d.m_VertexProcess, 2u);
             // Index 4: customized with preset 0, the quality members as read.
             EXPECT_EQ(d.m_Customize, 1u);
             EXPECT_EQ(d.m_Preset, 0u);
             EXPECT_EQ(d.m_MaxFiltering, 2u);
         }},
        {"car options with the old quality scale",
         [](CBody& b) { b.Chunk(0x0b00500e).U(1).U(0).U(0); },
         [](CSystemConfig& c) {
             EXPECT_EQ(c.m_QrCarQuality, 0u);
             EXPECT_EQ(c.m_QrOpponents, 1u);
         }},
        {"car options with the part dyna flag",
         [](CBody& b) { b.Chunk(0x0b00501b).U(1).U(0).U(2).U(0).B(true).B(true); },
         [](CSystemConfig& c) {
             EXPECT_EQ(c.m_QrCarQuality, 1u);
             EXPECT_EQ(c.m_QrOpponents, 0u);
             EXPECT_EQ(c.m_Display->m_OptimizePartialDynaGeom, 0u);
         }},
        {"account with a dropped date, then a framed chunk after it",
         [](CBody& b) {
             b.Chunk(0x0b005007)
                 .S("old")
                 .S("pw")
                 .S("K")
                 .B(true)
                 .Raw(std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8))
                 .Chunk(0x0b005002)
                 .S("NEWKEY");
         },
         [](CSystemConfig& c) {
             EXPECT_STREQ(c.m_MasterServerLogin.GetText(), "old");
             EXPECT_STREQ(c.m_MasterServerPassword.GetText(), "pw");
             EXPECT_STREQ(c.m_MasterServerKey.GetText(), "NEWKEY");
             EXPECT_EQ(c.m_MasterServerIsRegistred, 1u);
         }},
        {"network with account, connection and a dropped bool",
         [](CBody& b) {
             b.Chunk(0x0b00501a)
                 .S("login")
                 .S("pass")
                 .B(true)
                 .S("pl")
                 .S("pp")
                 .S("dropped")
                 .U(1)
                 .U(2)
                 .B(true)
                 .S("1.2.3.4:5")
                 .U(17)
                 .B(true)
                 .Chunk(0x0b005025)
                 .U(9);
         },
         [](CSystemConfig& c) {
             EXPECT_STREQ(c.m_MasterServerLogin.GetText(), "login");
             EXPECT_EQ(c.m_NetworkUseProxy, 1u);
             EXPECT_STREQ(c.m_NetworkProxyPassword.GetText(), "pp");
             EXPECT_EQ(c.m_NetworkServerPort, 1u);
             EXPECT_EQ(c.m_NetworkClientPort, 2u);
             EXPECT_STREQ(c.m_NetworkForceServerAddress.GetText(), "1.2.3.4:5");
             EXPECT_EQ(c.m_NetworkConnection, 17u);
             EXPECT_EQ(c.m_ReservedNetworkBool, 0u);
             EXPECT_EQ(c.m_AudioSpeakerConfig, 9u);
         }},
        {"inputs and file transfer of the middle versions",
         [](CBody& b) {
             b.Chunk(0x0b00500f).F(0.5f).F(3.0f);
             b.Chunk(0x0b00502f)
                 .B(false)
                 .B(true)
                 .U(99)
                 .B(false)
                 .B(false)
                 .B(true)
                 .S("db")
                 .S("black")
                 .B(false);
         },
         [](CSystemConfig& c) {
             EXPECT_EQ(c.m_InputsDeadZone, 0.5f);
             EXPECT_EQ(c.m_InputsSensitivity, 3.0f);
             EXPECT_EQ(c.m_InputsAlternateMethod, 0u);
             EXPECT_EQ(c.m_InputsFreezeUnusedAxes, 1u);
             EXPECT_EQ(c.m_FileTransferEnableDownload, 0u);
             EXPECT_EQ(c.m_FileTransferMaxCacheSize, 99u);
             EXPECT_EQ(c.m_ReservedFileTransferBool, 0u);
             EXPECT_EQ(c.m_EnableLocators, 0u);
             EXPECT_EQ(c.m_AutoUpdateAtInternetConnect, 1u);
             EXPECT_STREQ(c.m_LocatorBlackListUrl.GetText(), "black");
             EXPECT_EQ(c.m_EnableCrashLogUpload, 0u);
             EXPECT_EQ(c.m_AutoUpdateFromLocator, 1u);
         }},
        {"the chunk with no values, between two others",
         [](CBody& b) { b.Chunk(0x0b00500c).B(true).Bare(0x0b005003).Chunk(0x0b005025).U(2); },
         [](CSystemConfig& c) {
             EXPECT_EQ(c.m_IsIgnorePlayerSkins, 1u);
             EXPECT_EQ(c.m_AudioSpeakerConfig, 2u);
         }},
    };
    for (bool text : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.Name) + (text ? " (text)" : " (binary)"));
            CBody body(text);
            c.Write(body);
            CSystemConfig config;
            LoadBody(config, body.End(), text);
            c.Check(config);
            // Older chunks are never written back.
            for (u32 id : TextChunkIds(BodyOf(config, true)))
                EXPECT_EQ(config.GetChunkInfo(id), 0x13u) << std::hex << id;
        }
    }
}

// A truncated body fails the read with the stream's exception: no crash, and the caller (the
// archive operation) reports the failure.
TEST_F(SystemConfig, TruncatedBodyThrows) {
    CSystemConfig config;
    SetKnownValues(config);
    for (bool text : {false, true}) {
        const std::string body = BodyOf(config, text);
        for (size_t cut : {size_t(3), body.size() / 3, body.size() / 2, body.size() - 1}) {
            CSystemConfig loaded;
            CClassicArchive archive;
            auto* memory = new CClassicBufferMemory;
            archive.SetBuffer(memory);
            archive.m_Text = text;
            memory->Write(body.data(), u32(cut));
            memory->Rewind();
            EXPECT_THROW(loaded.Archive(archive), CClassicBufferException) << cut;
        }
    }
}

// Members by id with their names, labels (the name where no other is given), access and values.
TEST_F(SystemConfig, MemberTable) {
    CSystemConfig config;
    EXPECT_EQ(config.MemberCount(), 51u);
    EXPECT_EQ(config.ChunkCount(), 51u);
    EXPECT_EQ(config.ChunkIdByIndex(0), 0x01001000u);
    for (u32 i = 1; i < 51; ++i)
        EXPECT_EQ(config.ChunkIdByIndex(i), 0x0b005000u + i - 1);
    struct Row {
        u32 Id;
        const char* Name;
        const char* Label;
        u32 Flags;
        u32 EnumCount;
    };
    const Row rows[] = {
        {0x0b005001, "Display", "Display", 0x01, 0},
        {0x0b005002, "DisplaySafe", "DisplaySafe", 0x01, 0},
        {0x0b00500a, "NetworkConnection", "NetworkConnection", 0x03, 19},
        {0x0b005017, "Nyb3SeaQuality", "SeaQuality", 0x03, 4},
        {0x0b00501a, "Nyb3Stem", "Stems", 0x03, 3},
        {0x0b00501f, "QrOppShadows", "OppShadows", 0x03, 0},
        {0x0b005024, "AudioGlobalQuality", "AudioQuality", 0x03, 3},
        {0x0b005029, "AudioSpeakerConfig", "AudioSpeakerConfig", 0x03, 12},
        {0x0b00502e, "Advertising_Enabled", "Advertising_Enabled", 0x03, 3},
        {0x0b005031, "EnableCrashLogUpload", "CrashLogUpload", 0x03, 0},
    };
    for (const Row& row : rows) {
        const CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(row.Id);
        ASSERT_NE(member, nullptr) << row.Name;
        EXPECT_STREQ(member->Name, row.Name);
        EXPECT_STREQ(member->Label, row.Label) << row.Name;
        EXPECT_EQ(member->Flags, row.Flags) << row.Name;
        if (row.EnumCount) {
            ASSERT_EQ(member->TypeCode, u32(MwType_Enum)) << row.Name;
            EXPECT_EQ(static_cast<const CMwMemberInfoEnum*>(member)->EnumCount, row.EnumCount)
                << row.Name;
        }
    }
    // Twelve members have a label of their own; every other one is labelled with its name.
    u32 ownLabels = 0;
    for (u32 index = 1; index < 51; ++index) {
        const CMwMemberInfo* member =
            CMwClassRegistry::GetMemberInfo(CSystemConfig::s_ClassId + index - 1);
        ASSERT_NE(member, nullptr) << index;
        ASSERT_STRNE(member->Label, "") << member->Name;
        if (std::strcmp(member->Label, member->Name) != 0)
            ++ownLabels;
    }
    EXPECT_EQ(ownLabels, 12u);
    struct Range {
        u32 Id;
        f32 Min, Max;
    };
    for (const Range& range : {Range{0x0b005022, 0, 1}, Range{0x0b00502a, 0, 0.9f},
                               Range{0x0b00502b, 1, 10}, Range{0x0b00502f, -1, 1}}) {
        const auto* member =
            static_cast<const CMwMemberInfoRealRange*>(CMwClassRegistry::GetMemberInfo(range.Id));
        ASSERT_EQ(member->TypeCode, u32(MwType_RealRange));
        EXPECT_EQ(member->Min, range.Min);
        EXPECT_EQ(member->Max, range.Max);
    }

    // The display parts are reached through the members, never replaced.
    CMwMemberPath path;
    ASSERT_EQ(path.ParseFromText(CMwNod::s_NoClassId, &config, CClassicString("Display.Preset")),
              0u);
    u32 preset = 4;
    EXPECT_EQ(config.SetParam(&path, &preset), 0u);
    EXPECT_EQ(config.m_Display->m_Preset, 4u);
    CMwMemberPath whole;
    ASSERT_EQ(whole.ParseFromText(CMwNod::s_NoClassId, &config, CClassicString("DisplaySafe")), 0u);
    CSystemConfigDisplay other;
    EXPECT_EQ(config.SetParam(&whole, &other), 2u);
    EXPECT_NE(config.m_DisplaySafe, &other);
}

TEST_F(SystemConfig, CurrentConfigurationClearedWithIt) {
    auto* config = new CSystemConfig;
    g_CurrentSystemConfig = config;
    delete config;
    EXPECT_EQ(g_CurrentSystemConfig, nullptr);
    CSystemConfig other;
    g_CurrentSystemConfig = &other;
    { CSystemConfig third; }
    EXPECT_EQ(g_CurrentSystemConfig, &other);
    g_CurrentSystemConfig = nullptr;
}

} // namespace
