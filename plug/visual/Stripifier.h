#pragma once
// The triangle stripifier. From a 16-bit triangle list it builds faces and their edge adjacency,
// then passes that grow trial strips from sampled seed faces, score them and commit the best
// trial. The committed strips are cut into pieces no longer than a modelled first-in first-out
// vertex cache, the pieces are ordered for that cache, and the result is written as one stitched
// strip (or a triangle list) of indices. Every tie and float width below is fixed, so one input
// always gives the same output.
//
// Single-threaded: the two options are process-wide values, and the index list a strip grows
// with (and the lists of faces it meets) are one set of lists for the whole program, so two runs
// must never overlap.
#include "platform/Types.h"

#include <memory>
#include <span>
#include <vector>

namespace plug {

// One kept input triangle.
struct StripFace {
    i32 V0 = 0, V1 = 0, V2 = 0; // vertex indices in input order
    i32 StripId = -1;           // committed strip that owns the face
    i32 TrialStripId = -1;      // trial strip that last claimed it
    i32 TrialId = -1;           // trial that last claimed it; -1 again once committed
};

// One unordered vertex pair that a kept face has as an edge. V0 -> V1 follows the winding of the
// face that registered it first; a third face on the edge is not recorded.
struct StripEdge {
    i32 V0 = 0, V1 = 0;
    StripFace* Face0 = nullptr;
    StripFace* Face1 = nullptr;
    StripEdge* NextV0 = nullptr; // next edge in the list of V0
    StripEdge* NextV1 = nullptr; // next edge in the list of V1
};

// Faces and adjacency of one index list. Faces and edges have fixed addresses for the life of
// the info. Each vertex has a list of its edges, newest first; the lookup of a pair goes through
// a hash of the unordered pair, which answers as the walk of those lists would. Each kept face
// also keeps its three edges and the faces across them, so the walks of the search, which only
// ever ask about a face's own edges, read one record instead of a hash slot spread over the
// whole table.
class StripifyInfo {
public:
    StripifyInfo() = default;
    StripifyInfo(StripifyInfo&&) noexcept = default;
    StripifyInfo& operator=(StripifyInfo&&) noexcept = default;
    ~StripifyInfo();

    std::vector<StripFace> Faces;
    std::vector<StripEdge> Edges;      // in creation order
    std::vector<StripEdge*> EdgeHeads; // one list head per vertex index
    u32 SetAside = 0;                  // triangles dropped for a repeated vertex

    StripEdge* FindEdge(i32 a, i32 b) const;
    // The other face on the edge {a, b}: Face1 when Face0 is `face`, else Face0. Null when the
    // pair is no edge.
    StripFace* FaceAcross(i32 a, i32 b, const StripFace* face) const;
    // Edge k of a kept face: (V0, V1), (V1, V2), (V2, V0) for k = 0, 1, 2. Every kept face has
    // all three, the ones it shares included (a third face on an edge gets the edge of the
    // first two).
    StripEdge* FaceEdge(const StripFace& face, int k) const;

private:
    friend StripifyInfo BuildStripifyInfo(std::span<const u16> indices);
    struct Table;
    std::unique_ptr<Table> m_Table;
};

// Faces in input order: trailing indices are ignored, a triangle with a repeated vertex is set
// aside (it draws nothing), a face equal in the same order to a kept one is dropped. Edges are
// registered (V0, V1), (V1, V2), (V2, V0); a third face on an edge writes a warning line.
StripifyInfo BuildStripifyInfo(std::span<const u16> indices);

// The vertex of `face` that extends `list`: the first of V0, V1, V2 equal to neither of the
// list's last two entries; -1 when all three are among them.
i32 GetNextIndex(std::span<const u16> list, const StripFace& face);

struct StripStart {
    StripFace* Face = nullptr;
    StripEdge* Edge = nullptr;
    bool TowardV1 = false;
};

// A trial or committed strip: entered at its start face along the start edge, from the edge's
// V0 to V1 when TowardV1 is set.
struct StripRecord {
    StripFace* StartFace = nullptr;
    StripEdge* StartEdge = nullptr;
    bool TowardV1 = false;
    std::vector<StripFace*> Faces; // in strip order
    i32 StripId = -1;
    i32 TrialId = -1; // -1 once committed
    bool Visited = false;

    bool Claims(const StripFace* face) const;
    void Claim(StripFace* face) const;
    bool Owns(const StripFace* face) const;
    // Grows the strip both ways from its start face along the start edge.
    void Extend(const StripifyInfo& info, std::vector<u32>& marks, u32& markStamp);
};

// One output group: a triangle list (type 0) or a triangle strip (type 1) of vertex indices.
struct StripGroup {
    i32 Type = 1;
    std::vector<u16> Indices;

    u32 IndexCount() const { return u32(Indices.size()); }
    bool operator==(const StripGroup&) const = default;
};

// A first-in first-out vertex cache: entry 0 is the newest, -1 an empty entry. Beyond 65 536
// entries a model holds every 16-bit vertex it is given without ever dropping one, so it keeps
// no more entries than that whatever size it is asked for.
class VertexCacheModel {
public:
    explicit VertexCacheModel(i32 size);

    i32 Size() const { return m_Size; }
    bool Contains(i32 v) const {
        return v >= 0 && v < i32(m_Count.size()) && m_Count[size_t(v)] != 0;
    }
    // Every entry moves one place toward the end and v becomes entry 0; answers the vertex
    // dropped from the end (-1 when that entry was empty).
    i32 Push(i32 v);
    // Pushes V0, V1 and V2 in that order, each only when the cache does not hold it.
    void FeedFace(const StripFace& face);
    void FeedStrip(const StripRecord& strip);
    // Entry k, 0 the newest.
    i32 Entry(i32 k) const;

private:
    i32 m_Size;
    std::vector<i32> m_Ring; // entries, the newest at m_Head
    size_t m_Head = 0;
    std::vector<u32> m_Count; // per vertex met so far, the entries holding it
};

class Stripifier {
public:
    explicit Stripifier(StripifyInfo info);

    // Process-wide options, kept until changed: the vertex cache size (16 at start; the model
    // holds six entries fewer) and whether the output is a triangle list only (off at start).
    static void SetVertexCacheSize(i32 size);
    static void SetListOutputOnly(i32 flag);
    static i32 VertexCacheSize();
    static bool ListOutputOnly();
    // The entries of the cache model for a cache size option: the option less 6, at least 1.
    static i32 CacheSizeFor(i32 option);

    // The triangle list as groups: with lists only one list group; otherwise one stitched strip
    // group, followed by a list group of the leftover faces when there are any. A trailing
    // partial triangle is ignored. Running out of memory leaves as std::bad_alloc.
    static std::vector<StripGroup> BuildStripGroups(std::span<const u16> indices);
    // Renumbers the vertices of the groups in first-use order into `newGroups`, and makes the
    // table of `vertexCount` entries from each old vertex to its new one (0xFFFF for vertices no
    // group uses). An index at or past the vertex count is refused with a log line before
    // anything is written: the call answers false.
    static bool RenumberVertices(std::span<const StripGroup> groups, u32 vertexCount,
                                 std::vector<StripGroup>& newGroups, std::vector<u16>& table);

    // What a run leaves: the search (which owns the faces), the pieces in cache order and the
    // faces of short pieces, ordered on their own.
    struct RunResult {
        std::unique_ptr<Stripifier> Search;
        std::vector<StripRecord> Pieces;
        std::vector<StripFace*> Leftovers;
        i32 CacheSize = 1;
    };
    static RunResult Run(std::span<const u16> indices, i32 cacheSizeOption, i32 minStripLength);
    // Cuts the strips into pieces of at most `cacheSize` faces, sets the short ones aside and
    // orders the others for the cache model.
    static void SplitAndOrder(const StripifyInfo& info, std::span<const StripRecord> strips,
                              i32 cacheSize, i32 minStripLength, std::vector<StripRecord>& ordered,
                              std::vector<StripFace*>& leftovers);
    // Drops the pieces of fewer than `minStripLength` faces and answers their faces, each taken
    // in turn as the one most held by the cache model (the first on a tie).
    static std::vector<StripFace*> ExtractShortStrips(std::vector<StripRecord>& pieces,
                                                      i32 cacheSize, i32 minStripLength);
    // The ordered pieces as one strip, joined by degenerate triangles, each face keeping the
    // winding of the first face of its piece.
    static std::vector<u16> EmitStripIndices(std::span<const StripRecord> pieces);
    // How many of the face's edges have a face across.
    static i32 NeighbourCount(const StripifyInfo& info, const StripFace& face);
    // The piece's vertex slots (three per face, repeats included) that the cache holds, per face.
    static double CacheHitsPerFace(const VertexCacheModel& cache, const StripRecord& piece);
    static i32 CacheHitsOfFace(const VertexCacheModel& cache, const StripFace& face);
    // Whether a -> b runs in the face's own vertex order.
    static bool KeepsWinding(const StripFace& face, i32 a, i32 b);

    // Runs search passes until every face belongs to a committed strip.
    void SearchStrips(u32 sampleCount = 10);

    StripEdge* FindEdge(i32 a, i32 b) const { return m_Info.FindEdge(a, b); }
    StripFace* FaceAcross(i32 a, i32 b, const StripFace* face) const {
        return m_Info.FaceAcross(a, b, face);
    }
    // Position of the first face with at least two edges without a face across, or -1.
    i32 FindOpenEdgeFace() const;
    // The next uncommitted seed face from the moving start position, or null; advances the jump.
    StripFace* NextSeedFace();
    // Where the trial of `strip` goes on, or a start with a null face.
    StripStart FindNextStart(const StripRecord& strip) const;
    void CommitTrial(std::vector<StripRecord>& trial);
    static double MeanStripLength(std::span<const StripRecord> strips);

    // The committed strips in commit order, valid as long as the stripifier lives.
    const std::vector<StripRecord>& Strips() const { return m_Strips; }
    const StripifyInfo& Info() const { return m_Info; }
    i32 FacePosition(const StripFace* face) const { return i32(face - m_Info.Faces.data()); }
    float SeedJump() const { return m_SeedJump; }
    // Faces claimed by all trial strips so far, winners and losers: the work of the search,
    // which its rules put between one and a few dozen per face depending on the mesh. No trial
    // of a pass holds more than twice the faces of the winner (a score is the faces plus the
    // mean strip length), so with ten samples (sixty trials) it is at most 120 per face.
    u64 GrownFaces() const { return m_GrownFaces; }

private:
    i32 FirstUncommittedFrom(i32 start);
    // A record whose face list reuses the storage of a released one.
    StripRecord NewRecord();
    // Hands the face lists of a losing trial's strips back for reuse and empties the trial.
    void ReleaseTrial(std::vector<StripRecord>& trial);
    void MarkCommitted(const StripFace* face);

    StripifyInfo m_Info;
    std::vector<StripRecord> m_Strips;
    float m_SeedJump = 0.0f;
    bool m_FirstSeed = true;
    i32 m_NextStripId = 0;
    i32 m_NextTrialId = 0;
    std::vector<i32> m_NextOpen; // "next uncommitted face at or after" links, compressed on use
    std::vector<u32> m_Marks;    // per-vertex stamps of the new-vertex test
    u32 m_MarkStamp = 0;
    u64 m_GrownFaces = 0;
    std::vector<std::vector<StripFace*>> m_SpareFaces; // face lists of losing strips, for reuse
};

} // namespace plug
