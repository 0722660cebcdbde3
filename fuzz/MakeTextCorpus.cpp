// Writes the seed corpus of PlugTextFuzz: program texts naming "DZun" defines, each as a plain
// file and as the enciphered file the text nod writes, and the enciphered files of a 3-byte and
// a 72-byte text that the text tests pin.
//
//   MakeTextCorpus <corpus folder of the target>
#include "CorpusFolder.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "plug/PlugClasses.h"
#include "plug/gpu/PlugFileText.h"
#include "system/SystemClasses.h"

#include <fstream>
#include <string>

namespace {

bool WriteFile(const std::filesystem::path& path, const void* data, size_t size) {
    std::ofstream file(path, std::ios::binary);
    file.write(static_cast<const char*>(data), std::streamsize(size));
    return file.good();
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = CorpusFolderArgument(argc, argv);
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_SystemClassList);
    CMwClassRegistry::AddClassList(g_PlugClassList);
    CMwClassRegistry::Init();

    const struct {
        const char* Name;
        std::string Text;
    } texts[] = {
        {"known-3", "abc"},
        {"known-72",
         "Line 00 of a program text.\r\nLine 01 of a program text.\r\nLine 02 of a pro"},
        {"vertex", "#ifdef DZunLightDir\r\nfloat4 ZunLightDirRgb0;\r\n#endif\r\n"
                   "float4 vsMain(float4 p : POSITION) : POSITION { return p * DZunFog; }\r\n"},
        {"pixel", "sampler MapDiffuse;\r\n#if DZunA && DZunUnknown\r\n"
                  "float4 psMain() : COLOR { return DZunA(1); }\r\n#endif\r\nDZunFog"},
        {"repeats", std::string(200, ' ') + "DZunDZunDZunA;DZunA!=DZunFog.x"},
    };
    int failed = 0;
    for (const auto& t : texts) {
        CMwNodRef nod(new CPlugFileText);
        auto& text = *static_cast<CPlugFileText*>(nod.Get());
        text.m_Text.Assign(CClassicStringRef(t.Text.data(), u32(t.Text.size())));
        CClassicBufferMemory cry;
        if (!text.WriteCry(cry) ||
            !WriteFile(folder / (std::string(t.Name) + ".cry"), cry.GetData(), cry.GetSize()) ||
            !WriteFile(folder / (std::string(t.Name) + ".txt"), t.Text.data(), t.Text.size()))
            failed = 1;
    }
    CMwClassRegistry::Shutdown();
    CMwIdTable::Destroy();
    return failed;
}
