// Writes the seed corpus of ScriptArchiveFuzz from the script tests' samples: the sample tree
// saved by the classes' writers in release format (binary and text, plain and compressed) and
// without the release flag, a variable nod, the stored fixtures of the older chunks, a sample of
// every expression class and of every assignment, member-statement and extern-variable class
// (binary), a block holding each family's samples (in the four forms), and the stored layouts of
// the expression tests and of the member statements' older chunks.
//
//   MakeScriptCorpus <corpus folder of ScriptArchiveFuzz>
#include "CorpusFolder.h"
#include "core/base/ClassicBuffer.h"
#include "fuzz/ScriptFuzzWorld.h"
#include "script/block/BlockVariable.h"
#include "system/archive/SystemArchive.h"
#include "tests/script/support/ScriptSamples.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    return !bytes.empty() && file.good();
}

bool WriteSample(const std::filesystem::path& folder, const std::string& prefix, CMwNod* nod) {
    CSystemArchive archive;
    archive.SetSaveFlags(kSystemArchiveSaveRelease);
    CClassicBufferMemory out;
    return archive.Save(nod, &out) &&
           WriteFile(folder / (prefix + nod->GetClassInfo()->m_Name + ".Zun"),
                     std::string(reinterpret_cast<const char*>(out.GetData()), out.GetSize()));
}

// The nod saved in four forms: binary or text, plain or compressed; release unless told.
bool WriteForms(const std::filesystem::path& folder, const std::string& name, CMwNod* nod,
                u32 release) {
    const struct {
        const char* Suffix;
        u32 Flags;
    } forms[] = {{"-binary", 0},
                 {"-text", kSystemArchiveSaveText},
                 {"-binary-lzo", kSystemArchiveSaveCompressed},
                 {"-text-lzo", kSystemArchiveSaveText | kSystemArchiveSaveCompressed}};
    for (const auto& form : forms) {
        CSystemArchive archive;
        archive.SetSaveFlags(form.Flags | release);
        CClassicBufferMemory out;
        if (!archive.Save(nod, &out) ||
            !WriteFile(folder / (name + form.Suffix + ".Zun"),
                       std::string(reinterpret_cast<const char*>(out.GetData()), out.GetSize())))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = CorpusFolderArgument(argc, argv);
    bool written = true;
    {
        const CScriptFuzzWorld world;
        const TNodRef<CMwCmdBlock> tree = MakeSampleTree();
        written &= WriteForms(folder, "block-tree", tree.Get(), kSystemArchiveSaveRelease);
        written &= WriteForms(folder, "block-tree-nonrelease", tree.Get(), 0);
        const TNodRef<CBlockVariable> variable(new CBlockVariable);
        variable->m_Name.Assign("speed");
        variable->m_Type = BlockVariable_Vec3;
        variable->m_Flag = 1;
        written &= WriteForms(folder, "variable", variable.Get(), kSystemArchiveSaveRelease);
        for (bool text : {false, true}) {
            const std::string suffix = text ? "-text.Zun" : "-binary.Zun";
            written &= WriteFile(folder / ("block-older-body" + suffix),
                                 SampleTreeFixture(text, CMwCmdBlock::s_OldBodyChunk));
            written &= WriteFile(folder / ("block-replaced-body" + suffix),
                                 SampleReplacedBodyFixture(text));
            written &=
                WriteFile(folder / ("expression-add-stored" + suffix), SavedAddFixture(text));
            written &=
                WriteFile(folder / ("expression-neg-stored" + suffix), SavedNegFixture(text));
            written &= WriteFile(folder / ("expression-enum-missing-class" + suffix),
                                 EnumFixture(text, 0x01FFF003));
        }
        written &= WriteForms(folder, "expression-tree", MakeExpressionTree().Get(),
                              kSystemArchiveSaveRelease);
        for (u32 classId : ScriptExpressionClassIds()) {
            const TNodRef<CMwCmdExp> sample(NewSampleExpression(classId));
            written &= WriteSample(folder, "expression-", sample.Get());
        }
        written &= WriteForms(folder, "statement-tree", MakeStatementTree().Get(),
                              kSystemArchiveSaveRelease);
        for (u32 classId : ScriptStatementClassIds()) {
            const TNodRef<CMwNod> sample(NewSampleStatement(classId));
            written &= WriteSample(folder, "statement-", sample.Get());
        }
        for (u32 chunk : kOlderOutsideExpressionChunks) {
            char name[64];
            for (bool text : {false, true}) {
                std::snprintf(name, sizeof name, "expression-older-%08x-%s.Zun", chunk,
                              text ? "text" : "binary");
                written &= WriteFile(folder / name, OlderOutsideExpressionFixture(text, chunk));
            }
        }
        for (u32 chunk : kOlderMemberStatementChunks) {
            char name[64];
            for (bool text : {false, true}) {
                std::snprintf(name, sizeof name, "statement-older-%08x-%s.Zun", chunk,
                              text ? "text" : "binary");
                written &= WriteFile(folder / name, OlderMemberStatementFixture(text, chunk));
            }
        }
    }
    if (!written) {
        std::fprintf(stderr, "a corpus file was not written\n");
        return 1;
    }
    return 0;
}
