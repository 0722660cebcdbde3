#pragma once
// A plain stripifier search for comparison: every rule written out with linear scans and list
// walks, no hashing and no marks. Tests and the fuzz target compare the engine's answers with it.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace stripref {

struct Strip {
    std::int32_t StripId;
    std::int32_t TrialId;
    std::vector<std::int32_t> Faces; // face positions in strip order
    bool operator==(const Strip&) const = default;
};

struct Result {
    std::vector<Strip> Strips;  // in commit order
    std::string Lines;          // every warning line, each ending with a line feed
    std::uint32_t SetAside = 0; // triangles with a repeated vertex
};

Result Search(std::span<const std::uint16_t> indices);

} // namespace stripref
