// The input is a little-endian u16 index list. The search must end, cover every kept face with
// exactly one strip of faces that follow each other across shared edges, and, on small inputs,
// give exactly the strips and lines of the plain search.
#include "StripifierRun.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::vector<std::uint16_t> indices(size / 2);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = std::uint16_t(data[2 * i] | (data[2 * i + 1] << 8));

    stripref::LineCapture capture;
    plug::Stripifier run(plug::BuildStripifyInfo(indices));
    run.SearchStrips(10);
    const std::string broken = stripref::CheckStrips(indices, run);
    if (!broken.empty()) {
        std::fprintf(stderr, "%s\n", broken.c_str());
        std::abort();
    }
    if (indices.size() / 3 <= 300) {
        stripref::Result ours = stripref::FromEngine(run);
        ours.Lines = stripref::CapturedLines();
        const stripref::Result plain = stripref::Search(indices);
        if (!(ours.Strips == plain.Strips) || ours.Lines != plain.Lines ||
            ours.SetAside != plain.SetAside) {
            std::fprintf(stderr, "differs from the plain search\n");
            std::abort();
        }
    }
    return 0;
}
