// Fuzzes the picture header reader of the dialog layer: an accepted picture has a size within
// the promised limits and no problem; a refused one has no size and says why.
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
    } else {
        Check(!problem.empty());
        Check(picture.Width == 0 && picture.Height == 0);
    }
    return 0;
}
