// Fuzzes the picture readers of the dialog layer: an accepted picture has a size within the
// promised limits and no problem, and decodes to exactly its pixel count or not at all; a
// refused one has no size and says why.
#include "platform/ui/Template.h"

#include <cstdlib>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    ui::PictureSize picture{-1, -1};
    std::string problem;
    if (ui::ReadPictureSize({data, size}, picture, problem)) {
        Check(problem.empty());
        Check(picture.Width >= 1 && picture.Width <= 16384);
        Check(picture.Height >= 1 && picture.Height <= 16384);
        ui::PicturePixels pixels;
        std::string why;
        if (ui::DecodePicture({data, size}, pixels, why)) {
            Check(why.empty());
            Check(pixels.Width == picture.Width && pixels.Height == picture.Height);
            Check(pixels.Rgb.size() == size_t(pixels.Width) * size_t(pixels.Height) * 3);
        } else {
            Check(!why.empty() && pixels.Rgb.empty());
        }
    } else {
        Check(!problem.empty());
        Check(picture.Width == 0 && picture.Height == 0);
    }
    return 0;
}
