// Two leading bytes pick the cache size option (signed; 0x80, 0x7F, 0x7E and 0x7D stand for the
// most negative and the largest option and for models of 1025 and 1024 entries) and the output
// mode (bit 0 of the second byte: lists only); the rest is a little-endian u16 index list.
// The search must end and cover every kept face with exactly one strip of faces that follow each
// other across shared edges; the groups must hold the pieces' faces (a strip expanded by
// meshoptimizer, a list in piece order), and their renumbering must be a first-use table. On
// small inputs the strips, lines and piece order must be those of the plain search and scan.
#include "StripCheck.h"
#include "StripifierRun.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

std::int32_t OptionOf(std::uint8_t byte) {
    switch (byte) {
        case 0x80:
            return INT32_MIN;
        case 0x7F:
            return INT32_MAX;
        case 0x7E:
            return 1031;
        case 0x7D:
            return 1030;
        default:
            return std::int8_t(byte);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const std::int32_t option = OptionOf(data[0]);
    const bool lists = (data[1] & 1) != 0;
    data += 2;
    size -= 2;
    std::vector<std::uint16_t> indices(size / 2);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = std::uint16_t(data[2 * i] | (data[2 * i + 1] << 8));
    const bool small = indices.size() / 3 <= 300;

    stripref::LineCapture capture;
    const plug::Stripifier::RunResult run = plug::Stripifier::Run(indices, option, 0);
    const std::string broken = stripref::CheckStrips(indices, *run.Search);
    if (!broken.empty())
        Fail(broken);
    if (small) {
        stripref::Result ours = stripref::FromEngine(*run.Search);
        ours.Lines = stripref::CapturedLines();
        const stripref::Result plain = stripref::Search(indices);
        if (!(ours.Strips == plain.Strips) || ours.Lines != plain.Lines ||
            ours.SetAside != plain.SetAside)
            Fail("differs from the plain search");
    }

    std::vector<plug::StripGroup> groups;
    const std::string fault =
        stripref::CheckGroups(indices, run, option, small, !lists, lists, &groups);
    if (!fault.empty())
        Fail(fault);
    const std::string renumbering = stripref::CheckRenumbering(groups);
    if (!renumbering.empty())
        Fail(renumbering);
    return 0;
}
