#pragma once
// The cutting and cache ordering of committed strips written out as plain scans over every
// unvisited piece, with a cache of plain entries: the engine's ordering keeps scores current
// instead, and tests and the fuzz target compare the two.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace stripref {

using Triple = std::array<std::int32_t, 3>;

struct Ordering {
    std::vector<std::vector<std::int32_t>> Pieces; // face positions, in cache order
    std::vector<std::int32_t> Leftovers;           // faces of short pieces, in their order
    bool operator==(const Ordering&) const = default;
};

// `faces` are the kept faces in order (their adjacency is worked out from them), `strips` the
// committed strips as face positions in commit order.
Ordering SplitAndOrder(std::span<const Triple> faces,
                       const std::vector<std::vector<std::int32_t>>& strips, std::int32_t cacheSize,
                       std::int32_t minStripLength);

} // namespace stripref
