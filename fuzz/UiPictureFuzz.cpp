// Fuzzes the picture readers of the dialog layer: an accepted picture has a size within the
// promised limits and no problem, and decodes to exactly its pixel count or not at all; a
// refused one has no size and says why.
#include "FuzzCheck.h"
#include "platform/ui/Template.h"

#include <cstdlib>
#include <string>

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    ui::PictureSize picture{-1, -1};
    std::string problem;
    if (ui::ReadPictureSize({data, size}, picture, problem)) {
        FUZZ_CHECK(problem.empty());
        FUZZ_CHECK(picture.Width >= 1 && picture.Width <= 16384);
        FUZZ_CHECK(picture.Height >= 1 && picture.Height <= 16384);
        ui::PicturePixels pixels;
        std::string why;
        if (ui::DecodePicture({data, size}, pixels, why)) {
            FUZZ_CHECK(why.empty());
            FUZZ_CHECK(pixels.Width == picture.Width && pixels.Height == picture.Height);
            FUZZ_CHECK(pixels.Rgb.size() == size_t(pixels.Width) * size_t(pixels.Height) * 3);
        } else {
            FUZZ_CHECK(!why.empty() && pixels.Rgb.empty());
        }
    } else {
        FUZZ_CHECK(!problem.empty());
        FUZZ_CHECK(picture.Width == 0 && picture.Height == 0);
    }
    return 0;
}
