// Writes the seed corpus of SystemArchiveClassesFuzz, saved by the engine for the fuzz world's
// loaded file: configurations (text as the launcher writes them, binary, compressed), a reference
// buffer of many configurations inline (a file of real size), one holding a nod of every class
// an archive can make, and reference buffers that refer to
// the world's files (the configuration, the buffer that lists it, the damaged file) and list
// their own main nod without holding it.
//
//   MakeClassesArchiveCorpus <corpus folder of the target>
#include "ClassesArchiveFuzzWorld.h"
#include "CorpusFolder.h"

#include <vector>

namespace {

bool Write(CClassesArchiveFuzzWorld& world, CMwNod* nod, u32 flags,
           const std::filesystem::path& path) {
    CClassicBufferMemory out;
    if (!fuzz_engine::SaveImage(nod, world.Fid(CClassesArchiveFuzzWorld::kLoaded), flags, out))
        return false;
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.GetData()), out.GetSize());
    return file.good();
}

CMwNod* Load(CClassesArchiveFuzzWorld& world, const char* relative) {
    CSystemArchive archive;
    CMwNod* nod = nullptr;
    archive.LoadNodFromFile(world.Name(relative), &nod, nullptr, kSystemArchiveLoadFull, true);
    return nod;
}

CMwRefBuffer* NewBuffer(bool holds) {
    auto* buffer = new CMwRefBuffer;
    buffer->SetHoldsReferences(holds);
    return buffer;
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = CorpusFolderArgument(argc, argv);
    CClassesArchiveFuzzWorld world;
    bool written = true;
    {
        // The configuration as it is saved by default, and one changed.
        CMwNodRef config(new CSystemConfig);
        for (const auto& form : fuzz_engine::kSaveForms)
            written &= Write(world, config.Get(), form.Flags,
                             folder / (std::string("config") + form.Suffix + ".Zun"));

        // Many configurations inline, each a little different, some listed twice.
        CMwNodRef many(NewBuffer(true));
        std::vector<CMwNodRef> configs;
        for (u32 i = 0; i < 24; ++i) {
            configs.emplace_back(new CSystemConfig);
            auto* one = static_cast<CSystemConfig*>(configs.back().Get());
            one->m_NetworkServerPort = 2350 + i;
            one->m_LanguageCode = i % 2 ? "de" : "en";
            static_cast<CMwRefBuffer*>(many.Get())->Add(one);
            if (i % 5 == 0)
                static_cast<CMwRefBuffer*>(many.Get())->Add(one);
        }
        written &= Write(world, many.Get(), kSystemArchiveSaveRelease, folder / "many-binary.Zun");
        written &= Write(world, many.Get(), kSystemArchiveSaveText, folder / "many-text.Zun");

        // One nod of every class an archive can make, inline.
        CMwNodRef every(NewBuffer(true));
        for (const CMwClassList* list : CClassesArchiveFuzzWorld::kClassLists) {
            for (u32 i = 0; i < list->m_Count; ++i) {
                const CMwClassInfo* info = list->m_Classes[i];
                const u32 engine = CMwEngine::s_ClassId;
                if (info->m_Factory && info->FindKindIndex(1, &engine) < 0)
                    static_cast<CMwRefBuffer*>(every.Get())->Add(info->m_Factory());
            }
        }
        written &= Write(world, every.Get(), kSystemArchiveSaveText, folder / "classes-text.Zun");
        written &=
            Write(world, every.Get(), kSystemArchiveSaveRelease, folder / "classes-binary.Zun");

        // References to the world's files, and the main nod listed without a hold.
        const CMwNodRef options(Load(world, CClassesArchiveFuzzWorld::kConfig));
        const CMwNodRef list(Load(world, CClassesArchiveFuzzWorld::kList));
        // The damaged file has no nod to bind: a stand-in bound to its file id is referred to.
        CMwNodRef damaged(new CMwRefBuffer);
        CSystemEngine::AttachNodToFid(damaged.Get(), world.Fid(CClassesArchiveFuzzWorld::kDamaged));
        written &= options && list;
        CMwNodRef main(NewBuffer(true)), inner(NewBuffer(false)), nested(NewBuffer(true));
        auto* mainList = static_cast<CMwRefBuffer*>(main.Get());
        auto* innerList = static_cast<CMwRefBuffer*>(inner.Get());
        static_cast<CMwRefBuffer*>(nested.Get())->Add(config.Get());
        innerList->Add(main.Get());
        innerList->Add(options.Get());
        innerList->Add(nested.Get());
        mainList->Add(options.Get());
        mainList->Add(inner.Get());
        mainList->Add(list.Get());
        mainList->Add(nested.Get());
        for (const auto& form : fuzz_engine::kSaveForms)
            written &= Write(world, main.Get(), form.Flags,
                             folder / (std::string("references") + form.Suffix + ".Zun"));
        mainList->Add(damaged.Get());
        written &= Write(world, main.Get(), kSystemArchiveSaveText, folder / "damaged-text.Zun");
        innerList->ReleaseAll();
        CSystemEngine::DetachNodFromFid(damaged.Get());
    }
    world.Forget();
    return written ? 0 : 1;
}
