// Catalogue lookups against glibc's dgettext on the same msgfmt-made catalogue, bound to a
// temporary folder, in alternating rounds (see BenchPair.h).
#include "BenchPair.h"
#include "core/base/ClassicLog.h"
#include "core/base/ClassicTranslator.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <libintl.h>
#include <string>
#include <vector>

namespace {

constexpr const char* kDomain = "enginebench";
constexpr u32 kMessages = 2000;

// The catalogue's keys (and as many absent ones), narrow for dgettext and widened for Translate.
struct Catalogue {
    std::vector<std::string> hits, misses;
    std::vector<std::u16string> wideHits, wideMisses;
    std::string error;
};

std::u16string Widen(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

const Catalogue& Prepare() {
    static Catalogue s_Catalogue = [] {
        Catalogue c;
        const std::filesystem::path root =
            std::filesystem::temp_directory_path() / "enginebench-catalogue";
        const std::filesystem::path folder = root / "fr" / "LC_MESSAGES";
        std::filesystem::create_directories(folder);
        std::ofstream po(root / "bench.po", std::ios::binary);
        po << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
        po << "msgid \"|I18NInternal|Encoding\"\nmsgstr \"utf8\"\n\n";
        for (u32 i = 0; i < kMessages; ++i) {
            const std::string key =
                "|Dialog" + std::to_string(i % 40) + "|Some setting text " + std::to_string(i);
            po << "msgid \"" << key << "\"\nmsgstr \"R\xC3\xA9glage " << i << "\"\n\n";
            c.hits.push_back(key);
            c.misses.push_back("|Dialog|Absent text " + std::to_string(i));
        }
        po.close();
        const std::string mo = (folder / (std::string(kDomain) + ".mo")).string();
        const std::string command = "msgfmt -o '" + mo + "' '" + (root / "bench.po").string() + "'";
        if (std::system(command.c_str()) != 0) {
            c.error = "msgfmt failed";
            return c;
        }
        // dgettext answers only outside the C locale. Only the messages category changes (the
        // report keeps its number format); the codeset binding spares dgettext a conversion.
        if (!std::setlocale(LC_MESSAGES, "fr_FR.UTF-8")) {
            c.error = "no fr_FR.UTF-8 locale";
            return c;
        }
        bindtextdomain(kDomain, root.c_str());
        bind_textdomain_codeset(kDomain, "UTF-8");
        if (std::string(dgettext(kDomain, c.hits[0].c_str())) == c.hits[0]) {
            c.error = "dgettext does not translate";
        }

        std::ifstream file(mo, std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(file), {});
        CClassicBufferMemory stream;
        stream.Write(bytes.data(), u32(bytes.size()));
        stream.Rewind();
        CClassicString error;
        g_ClassicLog.m_PrimarySink = nullptr;
        if (!g_ClassicTranslator.LoadMo("fr", &stream, error)) {
            c.error = error.GetText();
        }
        for (u32 i = 0; i < kMessages; ++i) {
            c.wideHits.push_back(Widen(c.hits[i]));
            c.wideMisses.push_back(Widen(c.misses[i]));
        }
        std::filesystem::remove_all(root);
        return c;
    }();
    return s_Catalogue;
}

// One lookup per operation, each side going through the same keys in the same order.
void Translate(benchmark::State& state) {
    const Catalogue& c = Prepare();
    if (!c.error.empty()) {
        state.SkipWithError(c.error.c_str());
        return;
    }
    const std::vector<std::u16string>& wideKeys = state.range(0) ? c.wideHits : c.wideMisses;
    const std::vector<std::string>& keys = state.range(0) ? c.hits : c.misses;
    u32 i = 0, j = 0;
    bench::Interleave(
        state,
        [&] {
            benchmark::DoNotOptimize(g_ClassicTranslator.Translate(wideKeys[i].c_str()));
            i = i + 1 == kMessages ? 0 : i + 1;
        },
        [&] {
            benchmark::DoNotOptimize(dgettext(kDomain, keys[j].c_str()));
            j = j + 1 == kMessages ? 0 : j + 1;
        });
}
// Argument 1: keys of the catalogue; 0: keys it does not hold.
BENCHMARK(Translate)->Arg(1)->Arg(0);

} // namespace
