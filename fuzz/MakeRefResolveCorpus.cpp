// Writes the seed corpus of SystemRefResolveFuzz: archives saved for the fuzz world's main file
// that refer to its files (one substituted by a file that loads, one by a damaged file, one of
// two files that substitute each other), with a use-file reference, one that also refers to a
// file that does not exist, and one as long as real files that refers to three hundred files that
// do not exist; binary and text, plain and compressed.
//
//   MakeRefResolveCorpus <corpus folder of the target>
#include "CorpusFolder.h"
#include "RefResolveFuzzWorld.h"

int main(int argc, char** argv) {
    const std::filesystem::path folder = CorpusFolderArgument(argc, argv);
    CRefResolveFuzzWorld world;
    bool written = true;
    {
        CMwNodRef main(CRefResolveFuzzWorld::NewNod(0));
        auto* links = static_cast<CArchiveTestNod*>(main.Get());
        std::vector<CMwNodRef> bound;
        for (const char* name : {"Cars/Tyre.Thing.Zun", "Cars/Spoke.Thing.Zun",
                                 "Cars/Wheel.Thing.Zun", "Cars/Gone.Thing.Zun"}) {
            bound.emplace_back(CRefResolveFuzzWorld::NewNod(9));
            world.Bind(bound.back().Get(), name);
        }
        links->m_File = world.Fid("Parts/Rim.Thing.Zun");
        const u32 manyFirst = u32(bound.size());
        for (u32 i = 0; i < 300; ++i) {
            bound.emplace_back(CRefResolveFuzzWorld::NewNod(9));
            world.Bind(bound.back().Get(), "Cars/Bolts/Bolt" + std::to_string(i) + ".Thing.Zun");
        }
        for (u32 kind : {0u, 1u, 2u}) {
            links->m_Links.clear();
            for (u32 i = 0; i < (kind == 2 ? 3 : 3 + kind); ++i)
                links->Link(bound[i].Get());
            if (kind == 2) {
                for (u32 i = manyFirst; i < bound.size(); ++i)
                    links->Link(bound[i].Get());
            }
            const struct {
                const char* Suffix;
                u32 Flags;
            } forms[] = {{"-binary", kSystemArchiveSaveRelease},
                         {"-text", kSystemArchiveSaveText},
                         {"-binary-lzo", kSystemArchiveSaveCompressed | kSystemArchiveSaveRelease},
                         {"-text-lzo", kSystemArchiveSaveText | kSystemArchiveSaveCompressed}};
            for (const auto& form : forms) {
                CClassicBufferMemory out;
                written &=
                    CRefResolveFuzzWorld::SaveImage(main.Get(), world.m_Main, form.Flags, out);
                const char* const kinds[] = {"references", "missing", "many"};
                const std::string name = std::string(kinds[kind]) + form.Suffix + ".Zun";
                std::ofstream file(folder / name, std::ios::binary);
                file.write(reinterpret_cast<const char*>(out.GetData()), out.GetSize());
                written &= file.good();
            }
        }
        for (CMwNodRef& nod : bound)
            CSystemEngine::DetachNodFromFid(nod.Get());
    }
    return written ? 0 : 1;
}
