#pragma once
// Checks of the stripifier's output with code we did not write: a strip group is expanded by
// meshoptimizer's meshopt_unstripify (degenerate joins, odd triangles flipped) and must give the
// faces of the ordered pieces; the lists-only group must list them in the reference's order.
#include "StripOrderReference.h"
#include "plug/visual/Stripifier.h"

#include <algorithm>
#include <iterator>
#include <meshoptimizer.h>
#include <string>
#include <vector>

namespace stripref {

inline Triple FaceOf(const plug::StripFace& f) {
    return Triple{f.V0, f.V1, f.V2};
}

// The pieces of a run as face positions.
inline std::vector<std::vector<std::int32_t>>
PiecePositions(const plug::Stripifier& search, const std::vector<plug::StripRecord>& pieces) {
    std::vector<std::vector<std::int32_t>> out;
    for (const plug::StripRecord& piece : pieces) {
        std::vector<std::int32_t>& faces = out.emplace_back();
        for (const plug::StripFace* face : piece.Faces)
            faces.push_back(search.FacePosition(face));
    }
    return out;
}

// The same triangle whichever vertex it starts at.
inline Triple Rotated(Triple t) {
    std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
    return t;
}

// The faces as a strip of the pieces draws them. The first face of a piece keeps its winding;
// each later face follows the strip's alternation, so it keeps its own winding when it runs
// against the face before it across their shared edge (a consistently wound surface) and is
// drawn reversed, with all that follow in the piece, where the two run the same way.
inline std::vector<Triple> DrawnFaces(const std::vector<std::vector<Triple>>& pieces) {
    std::vector<Triple> out;
    for (const std::vector<Triple>& piece : pieces) {
        bool reversed = false;
        for (size_t j = 0; j < piece.size(); ++j) {
            const Triple& f = piece[j];
            if (j > 0) {
                const Triple& p = piece[j - 1];
                for (int k = 0; k < 3; ++k)
                    for (int m = 0; m < 3; ++m)
                        if (f[size_t(k)] == p[size_t(m)] &&
                            f[size_t((k + 1) % 3)] == p[size_t((m + 1) % 3)])
                            reversed = !reversed;
            }
            out.push_back(Rotated(reversed ? Triple{f[0], f[2], f[1]} : f));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Whether the strip expands to exactly the drawn faces of the pieces; answers the fault or "".
inline std::string CheckStrip(const std::vector<std::uint16_t>& strip,
                              const std::vector<std::vector<Triple>>& pieces) {
    const std::vector<unsigned> wide(strip.begin(), strip.end());
    std::vector<unsigned> expanded(meshopt_unstripifyBound(std::max<size_t>(wide.size(), 3)));
    expanded.resize(meshopt_unstripify(expanded.data(), wide.data(), wide.size(), 0));
    std::vector<Triple> got;
    for (size_t i = 0; i + 2 < expanded.size(); i += 3)
        got.push_back(Rotated(Triple{std::int32_t(expanded[i]), std::int32_t(expanded[i + 1]),
                                     std::int32_t(expanded[i + 2])}));
    std::sort(got.begin(), got.end());
    const std::vector<Triple> want = DrawnFaces(pieces);
    if (got == want)
        return "";
    std::vector<Triple> missing, extra;
    std::set_difference(want.begin(), want.end(), got.begin(), got.end(),
                        std::back_inserter(missing));
    std::set_difference(got.begin(), got.end(), want.begin(), want.end(),
                        std::back_inserter(extra));
    std::string text = "strip of " + std::to_string(strip.size()) +
                       " indices: " + std::to_string(missing.size()) + " faces missing, " +
                       std::to_string(extra.size()) + " extra";
    if (!missing.empty())
        text += "; first missing " + std::to_string(missing[0][0]) + " " +
                std::to_string(missing[0][1]) + " " + std::to_string(missing[0][2]);
    return text;
}

// Whether the pieces are wound consistently face to face, so that the strip keeps every face's
// own winding.
inline bool KeepsEveryWinding(const std::vector<std::vector<Triple>>& pieces) {
    std::vector<Triple> own;
    for (const std::vector<Triple>& piece : pieces)
        for (const Triple& f : piece)
            own.push_back(Rotated(f));
    std::sort(own.begin(), own.end());
    return own == DrawnFaces(pieces);
}

} // namespace stripref

namespace stripref {

// Checks a run of the stripifier on `indices` at a cache size option, answering the first fault
// or "": the pieces are no longer than the cache and, when `compareOrder` is set, those of the
// plain ordering of the same strips; the groups of the output modes asked for hold the pieces'
// faces (the strip through meshopt_unstripify, the list in piece order); nothing is left over.
// The groups last built are left in `groups`.
inline std::string CheckGroups(std::span<const std::uint16_t> indices,
                               const plug::Stripifier::RunResult& run, std::int32_t option,
                               bool compareOrder, bool strip, bool lists,
                               std::vector<plug::StripGroup>* groups = nullptr) {
    if (!run.Leftovers.empty())
        return "leftovers at minimum length 0";
    std::vector<std::vector<Triple>> pieces;
    std::vector<std::uint16_t> list;
    size_t faces = 0;
    for (const plug::StripRecord& piece : run.Pieces) {
        if (piece.Faces.empty() || std::int64_t(piece.Faces.size()) > run.CacheSize)
            return "a piece of " + std::to_string(piece.Faces.size()) + " faces";
        std::vector<Triple>& out = pieces.emplace_back();
        for (const plug::StripFace* face : piece.Faces) {
            out.push_back(FaceOf(*face));
            list.insert(list.end(), {std::uint16_t(face->V0), std::uint16_t(face->V1),
                                     std::uint16_t(face->V2)});
        }
        faces += piece.Faces.size();
    }
    if (faces != run.Search->Info().Faces.size())
        return "the pieces hold " + std::to_string(faces) + " of " +
               std::to_string(run.Search->Info().Faces.size()) + " faces";
    if (compareOrder) {
        std::vector<Triple> kept;
        for (const plug::StripFace& face : run.Search->Info().Faces)
            kept.push_back(FaceOf(face));
        std::vector<std::vector<std::int32_t>> strips;
        for (const plug::StripRecord& strip : run.Search->Strips()) {
            std::vector<std::int32_t>& positions = strips.emplace_back();
            for (const plug::StripFace* face : strip.Faces)
                positions.push_back(run.Search->FacePosition(face));
        }
        const Ordering plain = SplitAndOrder(kept, strips, run.CacheSize, 0);
        if (plain.Pieces != PiecePositions(*run.Search, run.Pieces) || !plain.Leftovers.empty())
            return "the pieces' order differs from the plain scan's";
    }

    const std::int32_t oldSize = plug::Stripifier::VertexCacheSize();
    const bool oldLists = plug::Stripifier::ListOutputOnly();
    plug::Stripifier::SetVertexCacheSize(option);
    std::string fault;
    std::vector<plug::StripGroup> built;
    if (strip) {
        plug::Stripifier::SetListOutputOnly(0);
        built = plug::Stripifier::BuildStripGroups(indices);
        if (built.size() != 1 || built[0].Type != 1)
            fault = "strip output of " + std::to_string(built.size()) + " groups";
        else
            fault = CheckStrip(built[0].Indices, pieces);
    }
    if (lists && fault.empty()) {
        plug::Stripifier::SetListOutputOnly(1);
        built = plug::Stripifier::BuildStripGroups(indices);
        if (built.size() != 1 || built[0].Type != 0)
            fault = "list output of " + std::to_string(built.size()) + " groups";
        else if (built[0].Indices != list)
            fault = "the list group is not the pieces' faces in order";
    }
    plug::Stripifier::SetVertexCacheSize(oldSize);
    plug::Stripifier::SetListOutputOnly(oldLists);
    if (groups)
        *groups = std::move(built);
    return fault;
}

// The same on a run of its own.
inline std::string CheckGroups(std::span<const std::uint16_t> indices, std::int32_t option,
                               bool compareOrder, bool strip, bool lists,
                               std::vector<plug::StripGroup>* groups = nullptr) {
    return CheckGroups(indices, plug::Stripifier::Run(indices, option, 0), option, compareOrder,
                       strip, lists, groups);
}

// Renumbers the groups with one more vertex than their largest index and checks the first-use
// table: each used vertex gets the next number at its first use, the others 0xFFFF, and the new
// groups map back to the old ones through it. Answers the fault or "".
inline std::string CheckRenumbering(const std::vector<plug::StripGroup>& groups) {
    std::uint32_t vertices = 0;
    for (const plug::StripGroup& group : groups)
        for (const std::uint16_t index : group.Indices)
            vertices = std::max(vertices, std::uint32_t(index) + 1);
    std::vector<plug::StripGroup> renumbered;
    std::vector<std::uint16_t> table;
    if (!plug::Stripifier::RenumberVertices(groups, vertices, renumbered, table))
        return "renumbering refused";
    if (table.size() != vertices || renumbered.size() != groups.size())
        return "renumbering of the wrong size";
    std::vector<std::uint32_t> first(vertices, ~0u);
    std::uint32_t next = 0;
    for (size_t g = 0; g < groups.size(); ++g) {
        if (renumbered[g].Type != groups[g].Type ||
            renumbered[g].Indices.size() != groups[g].Indices.size())
            return "group " + std::to_string(g) + " changed its type or count";
        for (size_t i = 0; i < groups[g].Indices.size(); ++i) {
            const std::uint16_t old = groups[g].Indices[i];
            if (first[old] == ~0u)
                first[old] = next++;
            if (renumbered[g].Indices[i] != std::uint16_t(first[old]) ||
                table[old] != std::uint16_t(first[old]))
                return "vertex " + std::to_string(old) + " not renumbered at its first use";
        }
    }
    for (std::uint32_t v = 0; v < vertices; ++v)
        if (first[v] == ~0u && table[v] != 0xFFFF)
            return "unused vertex " + std::to_string(v) + " has a number";
    return "";
}

} // namespace stripref
