// Writes the seed corpus of NetFrameReaderFuzz: frames of the test form in both framings, each
// behind the control byte that gives its framing and record flags:
// build-fuzz/fuzz/MakeNetFrameCorpus fuzz/corpus/NetFrameReaderFuzz
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "net/engine/NetClasses.h"
#include "tests/support/net/TestNetForm.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_NetClassList);
    CMwClassRegistry::AddClassList(g_NetTestClassList);
    CMwClassRegistry::Init();

    const std::string text = "The form travels in its frame; every byte is checked twice.\n";
    const std::vector<u8> bodies[] = {
        {},
        {'h', 'e', 'l', 'l', 'o'},
        std::vector<u8>(text.begin(), text.end()),
    };
    u32 written = 0;
    for (u8 control = 0; control < 16; ++control) {
        const bool compact = control & 1;
        if (!compact && (control & 14))
            continue;
        CNetClassLink record;
        record.m_ClassId = CTestNetForm::s_ClassId;
        record.m_ClassIndex = 0x2A;
        record.m_Checksum = control & 2;
        record.m_Sequence = control & 4;
        record.m_Ordered = control & 8;
        CNetLinkSettings settings;
        settings.m_FramingMode =
            compact ? CNetLinkSettings::s_FramingCompact : CNetLinkSettings::s_FramingFull;
        settings.m_Classes = &record;
        settings.m_ClassCount = 1;
        for (u32 compressed : {0u, 1u})
            for (const std::vector<u8>& body : bodies) {
                auto* form = new CTestNetForm;
                form->AddRef();
                form->m_Body = body;
                form->m_Compressed = compressed;
                CClassicBufferMemory stream;
                stream.Write(&control, 1);
                u32 counter = 65535;
                form->Write(stream, settings, counter);
                form->Release();
                const std::string path =
                    std::string(argv[1]) + "/frame-" + std::to_string(control) + "-" +
                    std::to_string(compressed) + "-" + std::to_string(body.size());
                FILE* file = std::fopen(path.c_str(), "wb");
                if (!file ||
                    std::fwrite(stream.GetData(), 1, stream.GetSize(), file) != stream.GetSize()) {
                    std::fprintf(stderr, "cannot write %s\n", path.c_str());
                    return 1;
                }
                std::fclose(file);
                ++written;
            }
    }
    std::printf("%u frames written\n", written);
    CMwClassRegistry::Shutdown();
    CMwIdTable::Destroy();
    return 0;
}
