// Fuzzes the readers of the texts that describe the host: the adapter description file, the
// os-release and cpuinfo texts, the PCI names database and locale names.
//
// An accepted description is checked against the limits the reader promises; a refused one must
// leave the empty description and a problem line.
#include "FuzzCheck.h"
#include "platform/Adapter.h"
#include "platform/HostFacts.h"
#include "platform/Language.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    platform::Adapter adapter;
    std::string problem;
    if (platform::ParseAdapterDescription(text, adapter, problem)) {
        FUZZ_CHECK(problem.empty());
        FUZZ_CHECK(adapter.Description.size() <= 511);
        FUZZ_CHECK(adapter.VendorId <= 0xFFFF && adapter.DeviceId <= 0xFFFF);
        FUZZ_CHECK(adapter.Modes.size() <= 512 * 15);
        for (const platform::DisplayMode& mode : adapter.Modes)
            FUZZ_CHECK(mode.Width > 0 && mode.Height > 0 && platform::D3dFormatName(mode.Format));
        platform::DisplayMode mode;
        const u32 count = adapter.GetModeCount(platform::D3dFormat::X8R8G8B8);
        FUZZ_CHECK(count == 0 || adapter.EnumMode(platform::D3dFormat::X8R8G8B8, count - 1, mode));
        FUZZ_CHECK(!adapter.EnumMode(platform::D3dFormat::X8R8G8B8, count, mode));
    } else {
        FUZZ_CHECK(!problem.empty() && problem.compare(0, 5, "line ") == 0);
        FUZZ_CHECK(!adapter.Present && adapter.Modes.empty() && adapter.Description.empty());
    }

    FUZZ_CHECK(platform::OsReleasePrettyName(text).size() <= size);
    platform::CpuInfoMhz(text);
    FUZZ_CHECK(platform::PciIdsName(text, 0x10DE, 0x0322).size() <= size + 1);
    platform::LangIdFromLocaleName(text);
    return 0;
}
