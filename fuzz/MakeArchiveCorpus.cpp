// Writes the seed corpus of SystemArchiveFuzz: archives of the archive test nods saved by the
// archive writer in its four forms (binary or text, plain or compressed): a single nod, a tree
// with shared and null links, a file with references to other files (of a folder below its own,
// of the resource table by index, and a use-file reference), a reference buffer whose inline
// buffer lists it back without holding it, and a file as long as real ones (a thousand nods, each
// named).
//
//   MakeArchiveCorpus <corpus folder of the target>
#include "CorpusFolder.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwRefBuffer.h"
#include "system/archive/SystemArchive.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "tests/system/archive/ArchiveTestNods.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace {

CArchiveTestNod* NewNod(u32 value, const char16_t* name) {
    auto* nod = new CArchiveTestNod;
    nod->m_Value = value;
    nod->m_Name = name;
    nod->m_Real = 0.5f * f32(value);
    return nod;
}

bool Write(const std::filesystem::path& folder, const std::string& name, CMwNod* nod,
           CSystemFid* fid) {
    const struct {
        const char* Suffix;
        u32 Flags;
    } forms[] = {{"-binary", kSystemArchiveSaveRelease},
                 {"-text", kSystemArchiveSaveText},
                 {"-binary-lzo", kSystemArchiveSaveCompressed | kSystemArchiveSaveRelease},
                 {"-text-lzo", kSystemArchiveSaveText | kSystemArchiveSaveCompressed}};
    for (const auto& form : forms) {
        CSystemArchive archive;
        archive.SetCurrentFid(fid);
        archive.SetSaveFlags(form.Flags);
        CClassicBufferMemory out;
        if (!archive.Save(nod, &out))
            return false;
        std::ofstream file(folder / (name + form.Suffix + ".Zun"), std::ios::binary);
        file.write(reinterpret_cast<const char*>(out.GetData()), out.GetSize());
        if (!file.good())
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = CorpusFolderArgument(argc, argv);
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_ArchiveTestClassList);
    CMwClassRegistry::Init();
    bool written = true;
    {
        CMwNodRef single(NewNod(7, u"single"));
        written &= Write(folder, "single", single.Get(), nullptr);

        CMwNodRef main(NewNod(1, u"main \u00e9"));
        CMwNodRef shared(NewNod(2, u"shared"));
        CMwNodRef other(NewNod(3, u"two\r\nlines | bar"));
        static_cast<CArchiveTestNod*>(shared.Get())->Link(NewNod(4, u"deep"));
        static_cast<CArchiveTestNod*>(other.Get())->Link(shared.Get());
        static_cast<CArchiveTestNod*>(main.Get())
            ->Link(shared.Get())
            ->Link(nullptr)
            ->Link(other.Get())
            ->Link(shared.Get());
        written &= Write(folder, "tree", main.Get(), nullptr);

        // A buffer holding a nod and a buffer that lists both back without holding them.
        CMwNodRef holding(new CMwRefBuffer), listing(new CMwRefBuffer), test(NewNod(9, u"held"));
        auto* back = static_cast<CMwRefBuffer*>(listing.Get());
        back->SetHoldsReferences(false);
        back->Add(holding.Get());
        back->Add(test.Get());
        static_cast<CMwRefBuffer*>(holding.Get())->Add(test.Get());
        static_cast<CMwRefBuffer*>(holding.Get())->Add(back);
        written &= Write(folder, "backlinks", holding.Get(), nullptr);
        back->ReleaseAll();

        CMwNodRef large(NewNod(10, u"large"));
        for (u32 i = 0; i < 1000; ++i) {
            const std::u16string name = u"part " + std::u16string(1, char16_t(u'A' + i % 26)) +
                                        std::u16string(i % 13, u'x');
            static_cast<CArchiveTestNod*>(large.Get())->Link(NewNod(100 + i, name.c_str()));
        }
        written &= Write(folder, "large", large.Get(), nullptr);

        // A drive with the saved file at its top and the referenced files below it.
        CSystemFidsDrive drive;
        drive.m_Root = u"Z:";
        auto* sub = new CSystemFidsFolder;
        sub->m_DirName = u"Sub";
        drive.AddTree(sub);
        auto* own = new CSystemFidFile;
        own->m_FileName = u"Main.Thing.Zun";
        drive.AddLeaf(own);
        auto* part = new CSystemFidFile;
        part->m_FileName = u"Part.Thing.Zun";
        sub->AddLeaf(part);
        auto* resource = new CSystemFidFile;
        resource->m_RefFlags = kSystemFidRefFile | kSystemFidRefResourceLocal;
        resource->m_ResourceIndex = 4;
        sub->AddLeaf(resource);
        CMwNodRef partNod(NewNod(5, u"part")), resourceNod(new CArchiveTestBitmap);
        CSystemEngine::AttachNodToFid(partNod.Get(), part);
        CSystemEngine::AttachNodToFid(resourceNod.Get(), resource);
        CMwNodRef refs(NewNod(6, u"refs"));
        auto* refsNod = static_cast<CArchiveTestNod*>(refs.Get());
        refsNod->Link(partNod.Get())->Link(resourceNod.Get())->Link(partNod.Get());
        refsNod->Link(NewNod(8, u"inline"));
        refsNod->m_File = part;
        written &= Write(folder, "references", refs.Get(), own);
        CSystemEngine::DetachNodFromFid(partNod.Get());
        CSystemEngine::DetachNodFromFid(resourceNod.Get());
        drive.Clear();
    }
    CMwClassRegistry::Shutdown();
    CMwIdTable::Destroy();
    return written ? 0 : 1;
}
