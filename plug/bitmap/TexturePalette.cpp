#include "plug/bitmap/TexturePalette.h"

#include "core/base/ClassicLog.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// A leaf of the colour tree splits when it holds more distinct vectors than this.
constexpr u32 kLeafSize = 8;
// Leaves with fewer vectors than this are folded into their sibling before each merging round.
constexpr u32 kFoldBelow = 4;

using Cost = unsigned __int128;

struct TreeEntry {
    PaletteVector Vector{};
    u64 Count = 0;
    u32 Id = 0; // the distinct colour's index, in the order colours were first seen
};

// The axis with the largest range over `vectors` (the first on ties), and that range.
template <typename Get>
std::pair<u32, u32> WidestAxis(size_t count, u32 components, Get vectorAt) {
    u32 axis = 0, widest = 0;
    for (u32 c = 0; c < components; ++c) {
        u32 low = 255, high = 0;
        for (size_t i = 0; i < count; ++i) {
            low = std::min<u32>(low, vectorAt(i)[c]);
            high = std::max<u32>(high, vectorAt(i)[c]);
        }
        if (high >= low && high - low > widest)
            axis = c, widest = high - low;
    }
    return {axis, widest};
}

// Where sorted values split: at the median, moved down past values equal to it; when that
// leaves the lower side empty, just past the run of the lowest value. `valueAt` must rise.
template <typename Get>
size_t SplitPoint(size_t count, Get valueAt) {
    size_t at = count / 2;
    while (at > 0 && valueAt(at - 1) == valueAt(at))
        --at;
    if (at == 0)
        while (at < count && valueAt(at) == valueAt(0))
            ++at;
    return at;
}

u64 SquaredDistance(const PaletteVector& a, const PaletteVector& b, u32 components) {
    u64 sum = 0;
    for (u32 c = 0; c < components; ++c) {
        const i64 d = i64(a[c]) - i64(b[c]);
        sum += u64(d * d);
    }
    return sum;
}

// The histogram of distinct colours and the merging that reduces them. Nodes live in one array
// and are walked with explicit stacks: the tree's depth is bounded only by the colour count.
class CColourTree {
public:
    explicit CColourTree(u32 components) : m_Components(components) { m_Nodes.emplace_back(); }

    // Counts one more pixel (or `count` pixels) of `vector`; the distinct colour's id.
    u32 Add(const PaletteVector& vector, u64 count) {
        u32 node = Descend(0, vector);
        for (TreeEntry& entry : m_Nodes[node].Entries)
            if (SameVector(entry.Vector, vector)) {
                entry.Count += count;
                return entry.Id;
            }
        const u32 id = m_Distinct++;
        m_Nodes[node].Entries.push_back({vector, count, id});
        if (m_Nodes[node].Entries.size() > kLeafSize)
            SplitLeaf(node);
        return id;
    }

    u32 DistinctCount() const { return m_Distinct; }

    // Every distinct vector by id.
    std::vector<PaletteVector> DistinctVectors() const {
        std::vector<PaletteVector> vectors(m_Distinct);
        ForEachLeaf([&](const Node& leaf) {
            for (const TreeEntry& entry : leaf.Entries)
                vectors[entry.Id] = entry.Vector;
        });
        return vectors;
    }

    // Merges pairs until at most `limit` vectors remain; the vectors in leaf order.
    std::vector<PaletteVector> Reduce(u32 limit) {
        u64 remaining = m_Distinct;
        struct Pair {
            Cost Price = 0;
            u32 Leaf = 0;
            u32 First = 0;
            u32 Second = 0;
        };
        std::vector<Pair> pairs;
        std::vector<u32> leaves;
        while (remaining > limit) {
            FoldSmallLeaves();
            leaves.clear();
            ForEachLeafIndex([&](u32 leaf) { leaves.push_back(leaf); });
            pairs.clear();
            for (u32 leaf : leaves) {
                const std::vector<TreeEntry>& entries = m_Nodes[leaf].Entries;
                if (entries.size() < 2)
                    continue;
                Pair best{};
                bool found = false;
                for (u32 i = 0; i < entries.size(); ++i)
                    for (u32 j = i + 1; j < entries.size(); ++j) {
                        const Cost price = MergeCost(entries[i], entries[j]);
                        if (!found || price < best.Price)
                            best = {price, leaf, i, j}, found = true;
                    }
                pairs.push_back(best);
            }
            if (pairs.empty())
                break;
            std::stable_sort(pairs.begin(), pairs.end(),
                             [](const Pair& a, const Pair& b) { return a.Price < b.Price; });
            // At least one pair a round: with a single pair, half the pair count is 0.
            const u64 merges = std::max<u64>(1, std::min<u64>(pairs.size() / 2, remaining - limit));
            for (u64 p = 0; p < merges; ++p) {
                std::vector<TreeEntry>& entries = m_Nodes[pairs[p].Leaf].Entries;
                TreeEntry& a = entries[pairs[p].First];
                const TreeEntry& b = entries[pairs[p].Second];
                const u64 total = a.Count + b.Count;
                for (u32 c = 0; c < m_Components; ++c)
                    a.Vector[c] =
                        u8((Cost(a.Vector[c]) * a.Count + Cost(b.Vector[c]) * b.Count) / total);
                a.Count = total;
                entries.erase(entries.begin() + pairs[p].Second);
            }
            remaining -= merges;
        }
        std::vector<PaletteVector> vectors;
        ForEachLeaf([&](const Node& leaf) {
            for (const TreeEntry& entry : leaf.Entries)
                vectors.push_back(entry.Vector);
        });
        return vectors;
    }

private:
    struct Node {
        i32 Child[2] = {-1, -1}; // both -1 in a leaf
        u32 Axis = 0;
        u32 Split = 0; // values below go to Child[0]
        std::vector<TreeEntry> Entries;
        bool IsLeaf() const { return Child[0] < 0; }
    };

    bool SameVector(const PaletteVector& a, const PaletteVector& b) const {
        return std::memcmp(a.data(), b.data(), m_Components) == 0;
    }

    u32 Descend(u32 node, const PaletteVector& vector) const {
        while (!m_Nodes[node].IsLeaf()) {
            const Node& n = m_Nodes[node];
            node = u32(n.Child[vector[n.Axis] < n.Split ? 0 : 1]);
        }
        return node;
    }

    // Splits an overfull leaf on its widest axis (its vectors are distinct, so one has a range).
    void SplitLeaf(u32 node) {
        std::vector<TreeEntry> entries = std::move(m_Nodes[node].Entries);
        m_Nodes[node].Entries.clear();
        const u32 axis = WidestAxis(entries.size(), m_Components, [&](size_t i) {
                             return entries[i].Vector;
                         }).first;
        std::stable_sort(entries.begin(), entries.end(),
                         [&](const TreeEntry& a, const TreeEntry& b) {
                             return a.Vector[axis] < b.Vector[axis];
                         });
        const size_t at =
            SplitPoint(entries.size(), [&](size_t i) { return entries[i].Vector[axis]; });
        const u32 split = at < entries.size() ? entries[at].Vector[axis] : 256;
        Node low, high;
        low.Entries.assign(entries.begin(), entries.begin() + i64(at));
        high.Entries.assign(entries.begin() + i64(at), entries.end());
        m_Nodes.push_back(std::move(low));
        m_Nodes.push_back(std::move(high));
        Node& parent = m_Nodes[node];
        parent.Child[0] = i32(m_Nodes.size() - 2);
        parent.Child[1] = i32(m_Nodes.size() - 1);
        parent.Axis = axis;
        parent.Split = split;
    }

    Cost MergeCost(const TreeEntry& a, const TreeEntry& b) const {
        const Cost product =
            Cost(a.Count) * b.Count * SquaredDistance(a.Vector, b.Vector, m_Components);
        return product / (Cost(a.Count) + b.Count);
    }

    // Leaves left to right.
    template <typename Visit>
    void ForEachLeafIndex(Visit visit) const {
        std::vector<u32> stack{0};
        while (!stack.empty()) {
            const u32 node = stack.back();
            stack.pop_back();
            if (m_Nodes[node].IsLeaf()) {
                visit(node);
                continue;
            }
            stack.push_back(u32(m_Nodes[node].Child[1]));
            stack.push_back(u32(m_Nodes[node].Child[0]));
        }
    }

    template <typename Visit>
    void ForEachLeaf(Visit visit) const {
        ForEachLeafIndex([&](u32 node) { visit(m_Nodes[node]); });
    }

    // Folds every leaf with fewer than kFoldBelow vectors into its sibling, children before
    // parents, so that a fold that leaves a small leaf folds on upward. Into a sibling subtree
    // the vectors go down by its splits.
    void FoldSmallLeaves() {
        std::vector<u32> order, stack{0};
        while (!stack.empty()) {
            const u32 node = stack.back();
            stack.pop_back();
            order.push_back(node);
            if (!m_Nodes[node].IsLeaf()) {
                stack.push_back(u32(m_Nodes[node].Child[0]));
                stack.push_back(u32(m_Nodes[node].Child[1]));
            }
        }
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            const u32 node = *it;
            if (m_Nodes[node].IsLeaf())
                continue;
            const u32 low = u32(m_Nodes[node].Child[0]), high = u32(m_Nodes[node].Child[1]);
            const auto small = [&](u32 n) {
                return m_Nodes[n].IsLeaf() && m_Nodes[n].Entries.size() < kFoldBelow;
            };
            if (!small(low) && !small(high))
                continue;
            if (m_Nodes[low].IsLeaf() && m_Nodes[high].IsLeaf()) {
                Node& parent = m_Nodes[node];
                parent.Entries = std::move(m_Nodes[low].Entries);
                for (TreeEntry& entry : m_Nodes[high].Entries)
                    parent.Entries.push_back(entry);
                m_Nodes[high].Entries.clear();
                parent.Child[0] = parent.Child[1] = -1;
                continue;
            }
            const u32 leaf = small(low) ? low : high, sibling = small(low) ? high : low;
            for (const TreeEntry& entry : m_Nodes[leaf].Entries)
                m_Nodes[Descend(sibling, entry.Vector)].Entries.push_back(entry);
            m_Nodes[leaf].Entries.clear();
            m_Nodes[node] = std::move(m_Nodes[sibling]);
            m_Nodes[sibling] = Node();
        }
    }

    u32 m_Components;
    u32 m_Distinct = 0;
    std::vector<Node> m_Nodes;
};

// The palette's search tree: nearest entry by squared distance, the first found on ties.
class CPaletteTree {
public:
    CPaletteTree(const std::vector<PaletteVector>& entries, u32 components)
        : m_Entries(entries), m_Components(components) {
        std::vector<u32> all(entries.size());
        for (u32 i = 0; i < all.size(); ++i)
            all[i] = i;
        Build(std::move(all));
    }

    u32 Nearest(const PaletteVector& vector) const {
        u32 best = 0;
        u64 bestDistance = UINT64_MAX;
        Search(0, vector, best, bestDistance);
        return best;
    }

private:
    struct Node {
        i32 Child[2] = {-1, -1};
        u32 Axis = 0;
        u32 Split = 0;
        std::vector<u32> Entries;
    };

    u32 Build(std::vector<u32> entries) {
        const u32 index = u32(m_Nodes.size());
        m_Nodes.emplace_back();
        const std::pair<u32, u32> widest = WidestAxis(
            entries.size(), m_Components, [&](size_t i) { return m_Entries[entries[i]]; });
        const u32 axis = widest.first;
        if (entries.size() <= kLeafSize || widest.second == 0) {
            m_Nodes[index].Entries = std::move(entries);
            return index;
        }
        std::stable_sort(entries.begin(), entries.end(),
                         [&](u32 a, u32 b) { return m_Entries[a][axis] < m_Entries[b][axis]; });
        const size_t at =
            SplitPoint(entries.size(), [&](size_t i) { return m_Entries[entries[i]][axis]; });
        m_Nodes[index].Axis = axis;
        m_Nodes[index].Split = m_Entries[entries[at]][axis];
        const u32 low = Build(std::vector<u32>(entries.begin(), entries.begin() + i64(at)));
        const u32 high = Build(std::vector<u32>(entries.begin() + i64(at), entries.end()));
        m_Nodes[index].Child[0] = i32(low);
        m_Nodes[index].Child[1] = i32(high);
        return index;
    }

    void Search(u32 index, const PaletteVector& vector, u32& best, u64& bestDistance) const {
        const Node& node = m_Nodes[index];
        if (node.Child[0] < 0) {
            for (u32 entry : node.Entries) {
                const u64 distance = SquaredDistance(m_Entries[entry], vector, m_Components);
                if (distance < bestDistance)
                    best = entry, bestDistance = distance;
            }
            return;
        }
        const i64 offset = i64(vector[node.Axis]) - i64(node.Split);
        const u32 nearer = offset < 0 ? 0 : 1;
        Search(u32(node.Child[nearer]), vector, best, bestDistance);
        if (u64(offset * offset) < bestDistance)
            Search(u32(node.Child[1 - nearer]), vector, best, bestDistance);
    }

    const std::vector<PaletteVector>& m_Entries;
    u32 m_Components;
    std::vector<Node> m_Nodes;
};

// Error diffusion in 12-bit fixed point over the picture's colour vectors, in place: colour
// components to 4 bits, alpha (the fourth of four) to 8.
void DiffuseErrors(std::vector<PaletteVector>& vectors, u32 width, u32 height, u32 components) {
    std::vector<i32> values(vectors.size() * components);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = i32(vectors[i / components][i % components]) * 16;
    for (u32 y = 0; y < height; ++y)
        for (u32 x = 0; x < width; ++x) {
            const u64 at = u64(y) * width + x;
            for (u32 c = 0; c < components; ++c) {
                const i32 quantum = c == 3 ? 16 : 256;
                i32& value = values[at * components + c];
                const i32 rounded = (value + quantum / 2) & -quantum;
                const i32 error = value - rounded;
                value = rounded;
                if (x + 1 < width && y + 1 < height) {
                    const auto spread = [&](u64 pixel, i32 share) {
                        values[pixel * components + c] += share;
                    };
                    spread(at + 1, error / 2);
                    spread(at + width, error / 4);
                    if (x >= 1)
                        spread(at + width - 1, error / 8);
                    if (x >= 3)
                        spread(at + width - 3, error / 8);
                }
                const u8 mask = c == 3 ? 0xFF : 0xF0;
                vectors[at][c] = u8(std::clamp(rounded / 16, 0, 255) & mask);
            }
        }
}

} // namespace

u64 PaletteWorkingBytes(u32 width, u32 height) {
    // Per pixel: its colour and id, its diffused values, at most one distinct colour with its
    // share of the tree.
    return u64(width) * height * 64;
}

std::vector<PaletteVector> ReduceColours(const std::vector<PaletteColour>& colours, u32 components,
                                         u32 limit) {
    CColourTree tree(std::clamp(components, 1u, 4u));
    for (const PaletteColour& colour : colours)
        tree.Add(colour.Vector, colour.Count);
    return tree.Reduce(std::max(limit, 1u));
}

bool QuantiseToPalette(const u8* pixels, u32 width, u32 height, TexturePalette& palette,
                       bool errorDiffusion, bool threeChannels, u8* indices) {
    const u32 components = threeChannels ? 3 : 4;
    if (!palette.IsEmpty() && palette.Components != components) {
        ClassicLogFormatLine("TexturePalette : a palette of %u components for a picture of %u",
                             palette.Components, components);
        return false;
    }
    const u64 count = u64(width) * height;
    try {
        std::vector<PaletteVector> vectors(count);
        for (u64 i = 0; i < count; ++i) {
            const u8* pixel = pixels + i * 4;
            vectors[i] = threeChannels ? PaletteVector{pixel[2], pixel[1], pixel[0], 0}
                                       : PaletteVector{pixel[0], pixel[1], pixel[2], pixel[3]};
        }
        if (errorDiffusion)
            DiffuseErrors(vectors, width, height, components);
        CColourTree tree(components);
        std::vector<u32> ids(count);
        for (u64 i = 0; i < count; ++i)
            ids[i] = tree.Add(vectors[i], 1);
        std::vector<PaletteVector>().swap(vectors);
        const std::vector<PaletteVector> distinct = tree.DistinctVectors();
        if (palette.IsEmpty()) {
            palette.Entries = tree.Reduce(kPaletteMaxEntries);
            palette.Components = components;
        }
        if (palette.IsEmpty()) // a picture of no pixels
            return true;
        const CPaletteTree search(palette.Entries, components);
        std::vector<u8> entryOf(distinct.size());
        for (size_t i = 0; i < distinct.size(); ++i)
            entryOf[i] = u8(search.Nearest(distinct[i]));
        for (u64 i = 0; i < count; ++i)
            indices[i] = entryOf[ids[i]];
        return true;
    } catch (const std::bad_alloc&) {
        ClassicLogFormatLine("TexturePalette : Not enough memory for a picture of %u x %u", width,
                             height);
        return false;
    }
}

void WritePaletteBytes(const TexturePalette& palette, u8* out) {
    std::memset(out, 0, kPaletteBytes);
    const size_t count = std::min<size_t>(palette.Entries.size(), kPaletteMaxEntries);
    for (size_t i = 0; i < count; ++i) {
        const PaletteVector& entry = palette.Entries[i];
        u8* to = out + i * 4;
        std::memcpy(to, entry.data(), 3);
        to[3] = palette.Components == 3 ? 255 : entry[3];
    }
}
