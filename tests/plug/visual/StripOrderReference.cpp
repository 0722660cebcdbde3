#include "StripOrderReference.h"

#include <algorithm>
#include <map>
#include <utility>

namespace stripref {
namespace {

using i32 = std::int32_t;

struct Cache {
    std::vector<i32> Entries; // entry 0 the newest

    bool Contains(i32 v) const {
        return std::find(Entries.begin(), Entries.end(), v) != Entries.end();
    }
    void Feed(const Triple& face) {
        for (const i32 v : face)
            if (!Contains(v)) {
                Entries.insert(Entries.begin(), v);
                Entries.pop_back();
            }
    }
    int Hits(const Triple& face) const {
        return int(Contains(face[0])) + int(Contains(face[1])) + int(Contains(face[2]));
    }
};

} // namespace

Ordering SplitAndOrder(std::span<const Triple> faces,
                       const std::vector<std::vector<std::int32_t>>& strips, std::int32_t cacheSize,
                       std::int32_t minStripLength) {
    // The first two faces registered on each unordered pair; a third is not recorded.
    std::map<std::pair<i32, i32>, std::vector<i32>> edges;
    for (size_t f = 0; f < faces.size(); ++f)
        for (int k = 0; k < 3; ++k) {
            const i32 a = faces[f][size_t(k)], b = faces[f][size_t((k + 1) % 3)];
            std::vector<i32>& on = edges[{std::min(a, b), std::max(a, b)}];
            if (on.size() < 2)
                on.push_back(i32(f));
        }
    auto neighbours = [&](i32 f) {
        int count = 0;
        for (int k = 0; k < 3; ++k) {
            const i32 a = faces[size_t(f)][size_t(k)], b = faces[size_t(f)][size_t((k + 1) % 3)];
            const std::vector<i32>& on = edges[{std::min(a, b), std::max(a, b)}];
            count += int(on[0] != f || on.size() == 2);
        }
        return count;
    };

    std::vector<std::vector<i32>> pieces;
    for (const std::vector<i32>& strip : strips) {
        const size_t c = strip.size(), size = size_t(cacheSize);
        if (c > size) {
            for (size_t k = 0; k < c / size; ++k)
                pieces.emplace_back(strip.begin() + long(k * size),
                                    strip.begin() + long((k + 1) * size));
            if (c % size != 0)
                pieces.emplace_back(strip.begin() + long(c / size * size), strip.end());
        } else {
            pieces.push_back(strip);
        }
    }

    Ordering out;
    std::vector<i32> pool;
    std::vector<std::vector<i32>> kept;
    for (const std::vector<i32>& piece : pieces) {
        if (i32(piece.size()) < minStripLength)
            pool.insert(pool.end(), piece.begin(), piece.end());
        else
            kept.push_back(piece);
    }
    // A cache of as many entries as there are vertices never drops one, so a larger one gives
    // the same answers: it is kept at that size.
    std::vector<i32> vertices;
    for (const Triple& face : faces)
        vertices.insert(vertices.end(), face.begin(), face.end());
    std::sort(vertices.begin(), vertices.end());
    const size_t distinct =
        size_t(std::unique(vertices.begin(), vertices.end()) - vertices.begin());
    const size_t entries = std::min(size_t(cacheSize), std::max<size_t>(distinct, 1));
    Cache cache{std::vector<i32>(entries, -1)};
    while (!pool.empty()) {
        size_t best = 0;
        for (size_t i = 1; i < pool.size(); ++i)
            if (cache.Hits(faces[size_t(pool[i])]) > cache.Hits(faces[size_t(pool[best])]))
                best = i;
        cache.Feed(faces[size_t(pool[best])]);
        out.Leftovers.push_back(pool[best]);
        pool.erase(pool.begin() + long(best));
    }
    if (kept.empty())
        return out;

    float lowest = 10000.0f;
    size_t first = 0;
    for (size_t p = 0; p < kept.size(); ++p) {
        double sum = 0;
        for (const i32 f : kept[p])
            sum += neighbours(f);
        const double cost = sum / double(kept[p].size());
        if (cost < double(lowest)) {
            lowest = float(cost);
            first = p;
        }
    }
    cache = Cache{std::vector<i32>(entries, -1)};
    std::vector<bool> visited(kept.size(), false);
    for (size_t next = first;;) {
        visited[next] = true;
        for (const i32 f : kept[next])
            cache.Feed(faces[size_t(f)]);
        out.Pieces.push_back(kept[next]);
        float best = -1.0f;
        for (size_t p = 0; p < kept.size(); ++p) {
            if (visited[p])
                continue;
            double slots = 0;
            for (const i32 f : kept[p])
                slots += cache.Hits(faces[size_t(f)]);
            const double hits = slots / double(kept[p].size());
            if (hits > double(best)) {
                best = float(hits);
                next = p;
            }
        }
        if (best == -1.0f)
            break;
    }
    return out;
}

} // namespace stripref
