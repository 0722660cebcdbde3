#pragma once
// A stand-in for the configuration file's archive operations that keeps the file as the
// configuration's archive body (binary), so that a test reads back every value a dialog saved.
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "platform/HostPath.h"
#include "system/config/SystemConfig.h"
#include "system/config/SystemConfigFile.h"
#include "tests/system/SystemTestSupport.h"

#include <filesystem>
#include <string>

// The configuration file as the configuration's archive body (binary), so that a test reads
// back every value the dialog saved. Saving writes only when the bytes change.
class CConfigBodyFile final : public CSystemConfigArchiveOps {
public:
    static std::string Body(CMwNod& nod) {
        CClassicArchive writer;
        auto* memory = new CClassicBufferMemory;
        writer.SetBuffer(memory);
        writer.m_Writing = 1;
        nod.Archive(writer);
        return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
    }
    // Reads a body into a configuration; false when it does not read.
    static bool ReadInto(CSystemConfig& config, const std::string& bytes) {
        CClassicArchive reader;
        auto* memory = new CClassicBufferMemory;
        memory->Write(bytes.data(), u32(bytes.size()));
        memory->Rewind();
        reader.SetBuffer(memory);
        try {
            config.Archive(reader);
        } catch (const CClassicBufferException&) {
            return false;
        }
        config.OnAfterLoad();
        return true;
    }
    // The configuration of a body, with one reference; null when the body does not read.
    static CSystemConfig* Read(const std::string& bytes) {
        auto* config = new CSystemConfig;
        config->AddRef();
        if (ReadInto(*config, bytes))
            return config;
        config->Release();
        return nullptr;
    }

    // The loader takes the reference of the nod it is handed.
    u32 LoadNodFromFile(CClassicWideStringRef path, CMwNod** nod, CSystemFids*, u32,
                        bool) override {
        *nod = nullptr;
        const std::string host = Host(path);
        if (host.empty() || !std::filesystem::is_regular_file(host))
            return 0;
        auto* config = new CSystemConfig;
        if (!ReadInto(*config, ReadWholeFile(host))) {
            config->AddRef();
            config->Release();
            return 0;
        }
        *nod = config;
        return 1;
    }

    u32 SaveNodToFile(CClassicWideStringRef path, CMwNod* nod, CSystemFids*, u32, u32, bool,
                      bool) override {
        ++m_Saves;
        const std::string host = Host(path);
        if (host.empty() || std::filesystem::is_directory(host))
            return 0;
        const std::string body = Body(*nod);
        if (std::filesystem::is_regular_file(host) && ReadWholeFile(host) == body)
            return 1;
        WriteWholeFile(host, body);
        return 1;
    }

    u32 m_Saves = 0;

private:
    static std::string Host(CClassicWideStringRef path) {
        std::string host;
        platform::ToHostPath(std::u16string_view(path.m_Text, path.m_Length), host);
        return host;
    }
};
