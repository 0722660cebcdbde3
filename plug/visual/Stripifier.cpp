#include "plug/visual/Stripifier.h"

#include "core/base/ClassicLog.h"
#include "platform/Crt.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <set>
#include <utility>

namespace plug {
namespace {

// The index list a strip grows with: one for the whole program (single-threaded), emptied at the
// start of every growth and never shrinking its storage.
std::vector<u16> s_Scratch;
// The faces a growth meets forward and backward from its start face, kept between growths for
// their storage likewise: a strip's own list is then allocated once, at its final size.
std::vector<StripFace*> s_Forward, s_Backward;

struct NoValue {};

// Open-addressing table of keys, each with a value (none for NoValue); a key with all bits set
// marks an empty slot. It starts with room for `expected` keys and doubles whenever it would be
// more than three quarters full. Key and value share one slot, so a lookup reads one place.
template <typename Key, typename Value>
class HashTable {
public:
    static constexpr Key kEmpty = Key(~Key(0));

    explicit HashTable(size_t expected)
        : m_Slots(std::max<size_t>(16, std::bit_ceil(expected + expected / 3 + 1)),
                  Slot{kEmpty, {}}) {}

    // The slot's value of `key`, or null.
    const Value* Find(Key key) const {
        for (size_t i = Home(key);; i = (i + 1) & (m_Slots.size() - 1)) {
            if (m_Slots[i].K == key)
                return &m_Slots[i].V;
            if (m_Slots[i].K == kEmpty)
                return nullptr;
        }
    }

    // Inserts `key` unless present; answers whether it was inserted.
    bool Insert(Key key, Value value) {
        if ((m_Count + 1) * 4 > m_Slots.size() * 3) {
            std::vector<Slot> old(m_Slots.size() * 2, Slot{kEmpty, {}});
            old.swap(m_Slots);
            for (const Slot& slot : old)
                if (slot.K != kEmpty)
                    Place(slot);
        }
        for (size_t i = Home(key);; i = (i + 1) & (m_Slots.size() - 1)) {
            if (m_Slots[i].K == key)
                return false;
            if (m_Slots[i].K == kEmpty) {
                m_Slots[i] = Slot{key, value};
                ++m_Count;
                return true;
            }
        }
    }

private:
    struct Slot {
        Key K;
        [[no_unique_address]] Value V;
    };

    // A key known to be absent, into the first empty slot from its home.
    void Place(const Slot& slot) {
        size_t i = Home(slot.K);
        while (m_Slots[i].K != kEmpty)
            i = (i + 1) & (m_Slots.size() - 1);
        m_Slots[i] = slot;
    }

    size_t Home(Key key) const {
        return size_t((u64(key) * 0x9E3779B97F4A7C15ull) >> 20) & (m_Slots.size() - 1);
    }

    std::vector<Slot> m_Slots;
    size_t m_Count = 0;
};

// Both ends of an edge are 16-bit indices, and never equal, so no pair is the empty key.
u32 PairKey(i32 a, i32 b) {
    return a < b ? (u32(a) << 16) | u32(b) : (u32(b) << 16) | u32(a);
}

} // namespace

struct StripifyInfo::Table {
    explicit Table(size_t edges) : Edges(edges) {}
    HashTable<u32, i32> Edges;      // unordered pair -> position in Edges
    std::vector<i32> FaceEdges;     // per face, the positions of its edges k = 0, 1, 2
    std::vector<StripFace*> Across; // per face, FaceAcross of its edges k = 0, 1, 2
};

StripifyInfo::~StripifyInfo() = default;

StripEdge* StripifyInfo::FindEdge(i32 a, i32 b) const {
    if (!m_Table)
        return nullptr;
    if (a < 0 || b < 0 || a > 0xFFFF || b > 0xFFFF || a == b)
        return nullptr;
    const i32* at = m_Table->Edges.Find(PairKey(a, b));
    return at ? const_cast<StripEdge*>(&Edges[size_t(*at)]) : nullptr;
}

StripFace* StripifyInfo::FaceAcross(i32 a, i32 b, const StripFace* face) const {
    // A kept face asked about one of its own edges answers from its record. The address test
    // goes through integers: `face` may be any face, of this info or not.
    const uintptr_t first = reinterpret_cast<uintptr_t>(Faces.data());
    const uintptr_t at = reinterpret_cast<uintptr_t>(face);
    if (m_Table && at >= first && at < first + Faces.size() * sizeof(StripFace)) {
        const size_t position = size_t(face - Faces.data());
        const i32 v[3] = {face->V0, face->V1, face->V2};
        for (size_t k = 0; k < 3; ++k) {
            const i32 p = v[k], q = v[(k + 1) % 3];
            if ((p == a && q == b) || (p == b && q == a))
                return m_Table->Across[3 * position + k];
        }
    }
    const StripEdge* edge = FindEdge(a, b);
    if (!edge)
        return nullptr;
    return edge->Face0 == face ? edge->Face1 : edge->Face0;
}

StripEdge* StripifyInfo::FaceEdge(const StripFace& face, int k) const {
    const size_t position = size_t(&face - Faces.data());
    return const_cast<StripEdge*>(&Edges[size_t(m_Table->FaceEdges[3 * position + size_t(k)])]);
}

StripifyInfo BuildStripifyInfo(std::span<const u16> indices) {
    StripifyInfo info;
    const size_t triangles = indices.size() / 3;
    u16 largest = 0;
    for (size_t i = 0; i < triangles * 3; ++i)
        largest = std::max(largest, indices[i]);
    // Fixed addresses: faces and edges never outgrow what is reserved here.
    info.Faces.reserve(triangles);
    info.Edges.reserve(triangles * 3);
    info.EdgeHeads.assign(triangles ? size_t(largest) + 1 : 0, nullptr);
    // A closed mesh has three edges for every two triangles; the table grows past that.
    info.m_Table = std::make_unique<StripifyInfo::Table>(triangles * 3 / 2);
    HashTable<u64, NoValue> kept(triangles); // ordered triples of the kept faces
    std::vector<i32>& faceEdges = info.m_Table->FaceEdges;
    faceEdges.reserve(triangles * 3);

    for (size_t t = 0; t < triangles; ++t) {
        const i32 v0 = indices[3 * t], v1 = indices[3 * t + 1], v2 = indices[3 * t + 2];
        if (v0 == v1 || v1 == v2 || v2 == v0) {
            ++info.SetAside;
            continue;
        }
        if (!kept.Insert((u64(u32(v0)) << 32) | (u64(u32(v1)) << 16) | u64(u32(v2)), {}))
            continue;
        info.Faces.push_back(StripFace{v0, v1, v2});
        StripFace* face = &info.Faces.back();
        const i32 pairs[3][2] = {{v0, v1}, {v1, v2}, {v2, v0}};
        for (const auto& pair : pairs) {
            const i32 a = pair[0], b = pair[1];
            StripEdge* edge = info.FindEdge(a, b);
            faceEdges.push_back(edge ? i32(edge - info.Edges.data()) : i32(info.Edges.size()));
            if (!edge) {
                info.m_Table->Edges.Insert(PairKey(a, b), i32(info.Edges.size()));
                info.Edges.push_back(StripEdge{a, b, face, nullptr, info.EdgeHeads[size_t(a)],
                                               info.EdgeHeads[size_t(b)]});
                info.EdgeHeads[size_t(a)] = info.EdgeHeads[size_t(b)] = &info.Edges.back();
            } else if (!edge->Face1) {
                edge->Face1 = face;
            } else {
                platform::WriteOutputLine(
                    "BuildStripifyInfo: > 2 triangles on an edge... uncertain consequences");
            }
        }
    }
    // The faces across are known once every face is registered.
    std::vector<StripFace*>& across = info.m_Table->Across;
    across.resize(faceEdges.size());
    for (size_t i = 0; i < faceEdges.size(); ++i) {
        const StripEdge& edge = info.Edges[size_t(faceEdges[i])];
        const StripFace* face = &info.Faces[i / 3];
        across[i] = edge.Face0 == face ? edge.Face1 : edge.Face0;
    }
    return info;
}

i32 GetNextIndex(std::span<const u16> list, const StripFace& face) {
    const size_t n = list.size();
    const i32 i0 = n >= 2 ? i32(list[n - 2]) : -1;
    const i32 i1 = n >= 1 ? i32(list[n - 1]) : -1;
    const i32 v[3] = {face.V0, face.V1, face.V2};
    for (int k = 0; k < 3; ++k) {
        if (v[k] == i0 || v[k] == i1)
            continue;
        const i32 a = v[(k + 1) % 3], b = v[(k + 2) % 3];
        // The other two must be the list's last two; otherwise the walk left the strip.
        const bool aIn = a == i0 || a == i1, bIn = b == i0 || b == i1;
        if (!aIn || !bIn) {
            platform::WriteOutputLine("GetNextIndex: Triangle doesn't have all of its vertices");
            platform::WriteOutputLine("GetNextIndex: Duplicate triangle probably got us derailed");
        }
        return v[k];
    }
    platform::WriteOutputLine("GetNextIndex: Duplicate triangle sent");
    return -1;
}

bool StripRecord::Claims(const StripFace* face) const {
    return face->StripId >= 0 || (TrialId >= 0 && face->TrialId == TrialId);
}

void StripRecord::Claim(StripFace* face) const {
    if (TrialId >= 0) {
        face->TrialId = TrialId;
        face->TrialStripId = StripId;
    } else {
        face->TrialId = -1;
        face->StripId = StripId;
    }
}

bool StripRecord::Owns(const StripFace* face) const {
    if (!face)
        return false;
    return TrialId >= 0 ? face->TrialStripId == StripId : face->StripId == StripId;
}

namespace {

// The new-vertex test over a list of faces, kept as per-vertex stamps: a face is refused when
// all three of its vertices occur among the faces of the list.
struct VertexMarks {
    std::vector<u32>& Marks;
    u32 Stamp;

    void Add(const StripFace& f) {
        Marks[size_t(f.V0)] = Marks[size_t(f.V1)] = Marks[size_t(f.V2)] = Stamp;
    }
    bool AllSeen(const StripFace& f) const {
        return Marks[size_t(f.V0)] == Stamp && Marks[size_t(f.V1)] == Stamp &&
               Marks[size_t(f.V2)] == Stamp;
    }
};

// Walks from `face` across (x, y) while the faces are free, new and extend the scratch list.
void Grow(const StripRecord& strip, const StripifyInfo& info, VertexMarks& marks, StripFace* face,
          i32 x, i32 y, std::vector<StripFace*>& out) {
    StripFace* next = info.FaceAcross(x, y, face);
    while (next && !strip.Claims(next)) {
        if (marks.AllSeen(*next))
            break;
        const i32 z = GetNextIndex(s_Scratch, *next);
        if (z < 0)
            break;
        out.push_back(next);
        marks.Add(*next);
        strip.Claim(next);
        x = y;
        y = z;
        s_Scratch.push_back(u16(y));
        face = next;
        next = info.FaceAcross(x, y, face);
    }
}

} // namespace

void StripRecord::Extend(const StripifyInfo& info, std::vector<u32>& marks, u32& markStamp) {
    if (++markStamp == 0) {
        std::fill(marks.begin(), marks.end(), 0u);
        markStamp = 1;
    }
    VertexMarks seen{marks, markStamp};
    StripFace* start = StartFace;
    s_Scratch.clear();
    Faces.clear();
    std::vector<StripFace*>& forward = s_Forward;
    forward.assign(1, start);
    seen.Add(*start);
    Claim(start);

    const i32 a = TowardV1 ? StartEdge->V0 : StartEdge->V1;
    const i32 b = TowardV1 ? StartEdge->V1 : StartEdge->V0;
    s_Scratch.push_back(u16(a));
    s_Scratch.push_back(u16(b));
    const i32 c = GetNextIndex(s_Scratch, *start);
    if (c < 0) {
        Faces.assign(1, start);
        return;
    }
    s_Scratch.push_back(u16(c));
    Grow(*this, info, seen, start, b, c, forward);

    // Backward from the start face; the vertex test now covers the forward faces as well.
    std::vector<StripFace*>& backward = s_Backward;
    backward.clear();
    s_Scratch.clear();
    s_Scratch.push_back(u16(c));
    s_Scratch.push_back(u16(b));
    s_Scratch.push_back(u16(a));
    Grow(*this, info, seen, start, b, a, backward);

    // Face lists are passed on from strip to strip (see SearchStrips): one that must grow grows
    // to a power of two, so it soon fits the strips that take it over.
    const size_t count = backward.size() + forward.size();
    if (Faces.capacity() < count)
        Faces.reserve(std::bit_ceil(count));
    Faces.assign(backward.rbegin(), backward.rend());
    Faces.insert(Faces.end(), forward.begin(), forward.end());
}

Stripifier::Stripifier(StripifyInfo info) : m_Info(std::move(info)) {
    const size_t n = m_Info.Faces.size();
    m_NextOpen.resize(n + 1);
    for (size_t i = 0; i <= n; ++i)
        m_NextOpen[i] = i32(i);
    m_Marks.assign(m_Info.EdgeHeads.size(), 0u);
}

i32 Stripifier::FindOpenEdgeFace() const {
    for (size_t i = 0; i < m_Info.Faces.size(); ++i) {
        const StripFace& f = m_Info.Faces[i];
        const int open = int(!FaceAcross(f.V0, f.V1, &f)) + int(!FaceAcross(f.V1, f.V2, &f)) +
                         int(!FaceAcross(f.V2, f.V0, &f));
        if (open >= 2)
            return i32(i);
    }
    return -1;
}

// The first uncommitted position at or after `start` (the face count when there is none).
i32 Stripifier::FirstUncommittedFrom(i32 start) {
    i32 root = start;
    while (m_NextOpen[size_t(root)] != root)
        root = m_NextOpen[size_t(root)];
    while (m_NextOpen[size_t(start)] != root) {
        const i32 next = m_NextOpen[size_t(start)];
        m_NextOpen[size_t(start)] = root;
        start = next;
    }
    return root;
}

void Stripifier::MarkCommitted(const StripFace* face) {
    const i32 at = FacePosition(face);
    m_NextOpen[size_t(at)] = at + 1;
}

StripFace* Stripifier::NextSeedFace() {
    const i32 n = i32(m_Info.Faces.size());
    i32 start = -1;
    if (m_FirstSeed) {
        m_FirstSeed = false;
        start = FindOpenEdgeFace();
    }
    if (start < 0)
        start = i32(double(n - 1) * double(m_SeedJump)); // truncated toward zero
    StripFace* found = nullptr;
    if (n > 0) {
        i32 at = FirstUncommittedFrom(start);
        if (at == n)
            at = FirstUncommittedFrom(0);
        if (at < n)
            found = &m_Info.Faces[size_t(at)];
    }
    const float next = m_SeedJump + 0.1f;
    m_SeedJump = next > 1.0f ? 0.05f : next;
    return found;
}

StripStart Stripifier::FindNextStart(const StripRecord& strip) const {
    const StripEdge* startEdge = strip.StartEdge;
    const i32 v = strip.TowardV1 ? startEdge->V1 : startEdge->V0;
    for (StripEdge* e = m_Info.EdgeHeads[size_t(v)]; e; e = e->V0 == v ? e->NextV0 : e->NextV1) {
        StripFace* f0 = e->Face0;
        StripFace* f1 = e->Face1;
        StripFace* face = nullptr;
        if (f0 && !strip.Owns(f0) && f1 && !strip.Claims(f1))
            face = f1;
        else if (f1 && !strip.Owns(f1) && f0 && !strip.Claims(f0))
            face = f0;
        else
            continue;
        bool touches = false;
        for (int k = 0; k < 3; ++k) {
            const StripEdge* edge = m_Info.FaceEdge(*face, k);
            if (strip.Owns(edge->Face0) || strip.Owns(edge->Face1))
                touches = true;
        }
        return StripStart{face, e, touches ? e->V0 == v : e->V1 == v};
    }
    return StripStart{};
}

void Stripifier::CommitTrial(std::vector<StripRecord>& trial) {
    for (StripRecord& strip : trial) {
        strip.TrialId = -1;
        for (StripFace* face : strip.Faces) {
            strip.Claim(face);
            MarkCommitted(face);
        }
        // A face list taken over from a longer losing strip is copied to its own size, so the
        // committed strips hold no more than their faces.
        if (strip.Faces.capacity() > strip.Faces.size()) {
            std::vector<StripFace*> own(strip.Faces.begin(), strip.Faces.end());
            m_SpareFaces.push_back(std::move(strip.Faces));
            strip.Faces = std::move(own);
        }
        m_Strips.push_back(std::move(strip));
    }
    trial.clear();
}

double Stripifier::MeanStripLength(std::span<const StripRecord> strips) {
    double faces = 0;
    for (const StripRecord& strip : strips)
        faces += double(strip.Faces.size());
    return faces / double(strips.size());
}

void Stripifier::ReleaseTrial(std::vector<StripRecord>& trial) {
    for (StripRecord& strip : trial)
        m_SpareFaces.push_back(std::move(strip.Faces));
    trial.clear();
}

StripRecord Stripifier::NewRecord() {
    StripRecord strip;
    if (!m_SpareFaces.empty()) {
        strip.Faces = std::move(m_SpareFaces.back());
        m_SpareFaces.pop_back();
    }
    return strip;
}

void Stripifier::SearchStrips(u32 sampleCount) {
    // The trials of a pass, the first `trialCount` of them in use; trial lists keep their
    // storage from pass to pass.
    std::vector<std::vector<StripRecord>> trials;
    size_t trialCount = 0;
    std::vector<const StripFace*> seeds;
    for (;;) {
        seeds.clear();
        for (size_t i = 0; i < trialCount; ++i)
            ReleaseTrial(trials[i]);
        trialCount = 0;
        bool last = false;
        for (u32 s = 0; s < sampleCount; ++s) {
            StripFace* f = NextSeedFace();
            if (!f) {
                last = true;
                break;
            }
            if (std::find(seeds.begin(), seeds.end(), f) != seeds.end())
                continue;
            seeds.push_back(f);
            StripEdge* const edges[3] = {m_Info.FaceEdge(*f, 0), m_Info.FaceEdge(*f, 1),
                                         m_Info.FaceEdge(*f, 2)};
            for (StripEdge* edge : edges) {
                for (const bool toward : {true, false}) {
                    StripRecord start = NewRecord();
                    start.StartFace = f;
                    start.StartEdge = edge;
                    start.TowardV1 = toward;
                    start.StripId = m_NextStripId++;
                    start.TrialId = m_NextTrialId++;
                    if (trialCount == trials.size())
                        trials.emplace_back();
                    trials[trialCount++].push_back(std::move(start));
                }
            }
        }

        // Each trial is scored as soon as it is grown, and only the best so far is kept: a
        // trial's growth reads the faces' own marks, never another trial's records, and the
        // commit needs the winner's records alone. The first of equal scores wins.
        double bestScore = 0;
        size_t best = 0;
        for (size_t i = 0; i < trialCount; ++i) {
            std::vector<StripRecord>& trial = trials[i];
            trial.front().Extend(m_Info, m_Marks, m_MarkStamp);
            m_GrownFaces += trial.front().Faces.size();
            for (;;) {
                const StripStart next = FindNextStart(trial.back());
                if (!next.Face)
                    break;
                StripRecord strip = NewRecord();
                strip.StartFace = next.Face;
                strip.StartEdge = next.Edge;
                strip.TowardV1 = next.TowardV1;
                strip.StripId = m_NextStripId++;
                strip.TrialId = trial.front().TrialId;
                strip.Extend(m_Info, m_Marks, m_MarkStamp);
                m_GrownFaces += strip.Faces.size();
                trial.push_back(std::move(strip));
            }
            const double mean = MeanStripLength(trial);
            const double score = mean + double(trial.size()) * mean;
            if (score > bestScore) {
                if (best != i)
                    ReleaseTrial(trials[best]);
                bestScore = score;
                best = i;
            } else if (best != i) {
                ReleaseTrial(trial);
            }
        }
        if (trialCount > 0)
            CommitTrial(trials[best]);
        if (last || trialCount == 0)
            break;
    }
    // Losing trials end with their search.
    m_SpareFaces = {};
}

namespace {

i32 s_VertexCacheSize = 16;
bool s_ListOutputOnly = false;

// Vertex indices are 16 bits.
constexpr size_t kVertexRange = 0x10000;

bool Holds(const StripFace& face, i32 v) {
    return face.V0 == v || face.V1 == v || face.V2 == v;
}

void AppendFace(std::vector<u16>& out, const StripFace& face) {
    out.insert(out.end(), {u16(face.V0), u16(face.V1), u16(face.V2)});
}

// Scores = cache slots per face, with at most `cacheSize` faces a piece: two distinct scores
// differ by at least 1 / cacheSize^2, far more than a score moves when it is rounded to 32 bits
// (at most 2^-23 below 3) while the cache keeps at most this many entries. Up to there the held
// best of the plain scan is known without the scan (see PieceRanking::Pick).
constexpr i32 kRankedCacheLimit = 1024;

// The unvisited pieces with their cache hits kept current as vertices enter and leave the cache:
// a vertex that moves changes the hits of the pieces that hold it and of no other. Each vertex
// lists the unvisited pieces holding it (with how many of their slots it fills), and a visited
// piece leaves the lists of its vertices.
class PieceRanking {
public:
    PieceRanking(std::span<const StripRecord> pieces, bool ranked)
        : m_Ranked(ranked), m_Hits(pieces.size(), 0), m_Faces(pieces.size(), 0),
          m_VertexStart(VertexRange(pieces) + 1, 0), m_VertexLive(m_VertexStart.size() - 1, 0) {
        // Each piece's distinct vertices and how many slots each fills.
        std::vector<std::pair<u32, u32>> entries; // (vertex, piece)
        std::vector<u32> slots;
        m_PieceStart.reserve(pieces.size() + 1);
        m_PieceStart.push_back(0);
        std::vector<u32> multiplicity;
        for (size_t p = 0; p < pieces.size(); ++p) {
            m_Faces[p] = u32(pieces[p].Faces.size());
            slots.clear();
            for (const StripFace* face : pieces[p].Faces)
                slots.insert(slots.end(), {u32(face->V0), u32(face->V1), u32(face->V2)});
            std::sort(slots.begin(), slots.end());
            for (size_t i = 0; i < slots.size();) {
                size_t j = i;
                while (j < slots.size() && slots[j] == slots[i])
                    ++j;
                entries.emplace_back(slots[i], u32(p));
                multiplicity.push_back(u32(j - i));
                ++m_VertexStart[slots[i] + 1];
                i = j;
            }
            m_PieceStart.push_back(u32(entries.size()));
        }
        for (size_t v = 0; v < m_VertexLive.size(); ++v) {
            m_VertexLive[v] = m_VertexStart[v + 1];
            m_VertexStart[v + 1] += m_VertexStart[v];
        }
        m_Occurrences.resize(entries.size());
        m_PieceEntries.resize(entries.size());
        std::vector<u32> fill(m_VertexStart.begin(), m_VertexStart.end() - 1);
        for (size_t k = 0; k < entries.size(); ++k) {
            const u32 at = fill[entries[k].first]++;
            m_Occurrences[at] =
                Occurrence{entries[k].second, entries[k].first, multiplicity[k], u32(k)};
            m_PieceEntries[k] = at;
        }
        if (m_Ranked)
            for (size_t p = 0; p < pieces.size(); ++p)
                m_Order.emplace(0.0, u32(p));
        m_Visited.assign(pieces.size(), false);
        m_TouchStamp.assign(m_VertexLive.size(), 0);
        m_ChangeStamp.assign(pieces.size(), 0);
    }

    // The piece the plain scan picks: among the unvisited pieces in order, each replaces the held
    // best (a float starting at -1) when its score is strictly greater than the held value
    // widened to double, which then takes the score rounded to 32 bits. -1 when every piece is
    // visited.
    i64 Pick() const {
        if (!m_Ranked) {
            float held = -1.0f;
            i64 best = -1;
            for (size_t p = 0; p < m_Faces.size(); ++p) {
                if (m_Visited[p])
                    continue;
                const double hits = Score(p);
                if (hits > double(held)) {
                    held = float(hits);
                    best = i64(p);
                }
            }
            return best;
        }
        if (m_Order.empty())
            return -1;
        // The first piece of the highest score S takes the held value to S rounded to 32 bits,
        // above every lower score. When that rounds S down, every later piece of score S beats
        // it in turn and the last one is picked; otherwise none does and the first one stays.
        const double top = std::prev(m_Order.end())->first;
        if (double(float(top)) < top)
            return i64(std::prev(m_Order.end())->second);
        return i64(m_Order.lower_bound({top, 0u})->second);
    }

    void Visit(size_t p) {
        m_Visited[p] = true;
        if (m_Ranked)
            m_Order.erase({Score(p), u32(p)});
        for (u32 k = m_PieceStart[p]; k < m_PieceStart[p + 1]; ++k) {
            const u32 at = m_PieceEntries[k];
            const u32 v = m_Occurrences[at].Vertex;
            const u32 last = m_VertexStart[v] + --m_VertexLive[v];
            if (at != last) {
                m_Occurrences[at] = m_Occurrences[last];
                m_PieceEntries[m_Occurrences[at].Entry] = at;
            }
        }
    }

    // Feeds a piece to the cache, face by face, each vertex pushed only on a miss. The scores
    // follow the cache's change over the whole piece: a vertex that enters and leaves again
    // within it (a fan's centre under a small cache) changes no score, and touching its pieces
    // twice per piece placed would make the ordering quadratic in them.
    void Feed(VertexCacheModel& cache, const StripRecord& piece) {
        m_Touched.clear();
        auto touch = [&](i32 v, bool before) {
            if (m_TouchStamp[size_t(v)] != m_Stamp) {
                m_TouchStamp[size_t(v)] = m_Stamp;
                m_Touched.emplace_back(v, before);
            }
        };
        for (const StripFace* face : piece.Faces)
            for (const i32 v : {face->V0, face->V1, face->V2}) {
                if (cache.Contains(v))
                    continue;
                touch(v, false);
                const i32 dropped = cache.Push(v);
                if (dropped >= 0)
                    touch(dropped, true);
            }
        m_Changed.clear();
        for (const auto& [v, before] : m_Touched)
            if (cache.Contains(v) != before)
                Move(v, before ? -1 : +1);
        // Each changed piece moves once in the order, however many of its vertices moved.
        if (m_Ranked)
            for (const auto& [p, old] : m_Changed) {
                m_Order.erase({old, p});
                m_Order.emplace(Score(p), p);
            }
        ++m_Stamp;
    }

private:
    // One more than the largest vertex of the pieces.
    static size_t VertexRange(std::span<const StripRecord> pieces) {
        i32 largest = -1;
        for (const StripRecord& piece : pieces)
            for (const StripFace* face : piece.Faces)
                largest = std::max({largest, face->V0, face->V1, face->V2});
        return size_t(largest + 1);
    }

    struct Occurrence {
        u32 Piece;
        u32 Vertex;
        u32 Slots; // slots of the piece that hold the vertex
        u32 Entry; // its place in m_PieceEntries
    };

    double Score(size_t p) const { return double(m_Hits[p]) / double(m_Faces[p]); }

    // Vertex v entered (+1) or left (-1) the cache: the pieces holding it change their hits, and
    // each is listed once per feed with its score before.
    void Move(i32 v, i32 direction) {
        const u32 from = m_VertexStart[size_t(v)];
        for (u32 at = from; at < from + m_VertexLive[size_t(v)]; ++at) {
            const Occurrence& o = m_Occurrences[at];
            if (m_ChangeStamp[o.Piece] != m_Stamp) {
                m_ChangeStamp[o.Piece] = m_Stamp;
                m_Changed.emplace_back(o.Piece, Score(o.Piece));
            }
            m_Hits[o.Piece] += direction * i32(o.Slots);
        }
    }

    bool m_Ranked;
    std::vector<i32> m_Hits;
    std::vector<u32> m_Faces; // per piece, its face count
    std::vector<bool> m_Visited;
    std::vector<u32> m_VertexStart;              // per vertex, its first occurrence
    std::vector<u32> m_VertexLive;               // per vertex, its occurrences in unvisited pieces
    std::vector<Occurrence> m_Occurrences;       // by vertex, the live ones first
    std::vector<u32> m_PieceStart;               // per piece, its first entry
    std::vector<u32> m_PieceEntries;             // per piece entry, where its occurrence is
    std::set<std::pair<double, u32>> m_Order;    // (score, piece) of the unvisited pieces
    std::vector<std::pair<i32, bool>> m_Touched; // vertices a feed moved, with their state before
    std::vector<u32> m_TouchStamp;               // per vertex, the feed that last moved it
    std::vector<std::pair<u32, double>> m_Changed; // pieces a feed changed, with their score before
    std::vector<u32> m_ChangeStamp;                // per piece, the feed that last changed it
    u32 m_Stamp = 1;
};

} // namespace

VertexCacheModel::VertexCacheModel(i32 size)
    : m_Size(size), m_Ring(size_t(std::clamp<i32>(size, 0, i32(kVertexRange))), -1) {}

i32 VertexCacheModel::Push(i32 v) {
    if (m_Ring.empty())
        return v;
    m_Head = m_Head == 0 ? m_Ring.size() - 1 : m_Head - 1;
    const i32 dropped = m_Ring[m_Head];
    m_Ring[m_Head] = v;
    if (dropped >= 0 && size_t(dropped) < m_Count.size())
        --m_Count[size_t(dropped)];
    if (v >= 0 && size_t(v) < kVertexRange) {
        // Counts for the vertices met so far; the range grows by doubling.
        if (size_t(v) >= m_Count.size())
            m_Count.resize(std::min(kVertexRange, std::max(size_t(v) + 1, 2 * m_Count.size())), 0);
        ++m_Count[size_t(v)];
    }
    return dropped;
}

void VertexCacheModel::FeedFace(const StripFace& face) {
    for (const i32 v : {face.V0, face.V1, face.V2})
        if (!Contains(v))
            Push(v);
}

void VertexCacheModel::FeedStrip(const StripRecord& strip) {
    for (const StripFace* face : strip.Faces)
        FeedFace(*face);
}

i32 VertexCacheModel::Entry(i32 k) const {
    if (k < 0 || size_t(k) >= m_Ring.size())
        return -1;
    return m_Ring[(m_Head + size_t(k)) % m_Ring.size()];
}

void Stripifier::SetVertexCacheSize(i32 size) {
    s_VertexCacheSize = size;
}

void Stripifier::SetListOutputOnly(i32 flag) {
    s_ListOutputOnly = flag != 0;
}

i32 Stripifier::VertexCacheSize() {
    return s_VertexCacheSize;
}

bool Stripifier::ListOutputOnly() {
    return s_ListOutputOnly;
}

i32 Stripifier::CacheSizeFor(i32 option) {
    // Compared before subtracting: the most negative options would overflow.
    return option < 7 ? 1 : option - 6;
}

i32 Stripifier::NeighbourCount(const StripifyInfo& info, const StripFace& face) {
    return i32(info.FaceAcross(face.V0, face.V1, &face) != nullptr) +
           i32(info.FaceAcross(face.V1, face.V2, &face) != nullptr) +
           i32(info.FaceAcross(face.V2, face.V0, &face) != nullptr);
}

i32 Stripifier::CacheHitsOfFace(const VertexCacheModel& cache, const StripFace& face) {
    return i32(cache.Contains(face.V0)) + i32(cache.Contains(face.V1)) +
           i32(cache.Contains(face.V2));
}

double Stripifier::CacheHitsPerFace(const VertexCacheModel& cache, const StripRecord& piece) {
    i64 hits = 0;
    for (const StripFace* face : piece.Faces)
        hits += CacheHitsOfFace(cache, *face);
    return double(hits) / double(piece.Faces.size());
}

bool Stripifier::KeepsWinding(const StripFace& face, i32 a, i32 b) {
    if (face.V0 == a)
        return face.V1 == b;
    if (face.V1 == a)
        return face.V2 == b;
    return face.V0 == b;
}

std::vector<StripFace*> Stripifier::ExtractShortStrips(std::vector<StripRecord>& pieces,
                                                       i32 cacheSize, i32 minStripLength) {
    std::vector<StripFace*> pool;
    std::vector<StripRecord> kept;
    for (StripRecord& piece : pieces) {
        if (i64(piece.Faces.size()) < i64(minStripLength))
            pool.insert(pool.end(), piece.Faces.begin(), piece.Faces.end());
        else
            kept.push_back(std::move(piece));
    }
    pieces = std::move(kept);
    std::vector<StripFace*> leftovers;
    leftovers.reserve(pool.size());
    VertexCacheModel cache(cacheSize);
    std::vector<bool> taken(pool.size(), false);
    for (size_t round = 0; round < pool.size(); ++round) {
        size_t best = 0;
        i32 bestHits = -1;
        for (size_t i = 0; i < pool.size(); ++i) {
            if (taken[i])
                continue;
            const i32 hits = CacheHitsOfFace(cache, *pool[i]);
            if (hits > bestHits) {
                bestHits = hits;
                best = i;
            }
        }
        taken[best] = true;
        cache.FeedFace(*pool[best]);
        leftovers.push_back(pool[best]);
    }
    return leftovers;
}

void Stripifier::SplitAndOrder(const StripifyInfo& info, std::span<const StripRecord> strips,
                               i32 cacheSize, i32 minStripLength, std::vector<StripRecord>& ordered,
                               std::vector<StripFace*>& leftovers) {
    ordered.clear();
    leftovers.clear();
    const size_t length = size_t(std::max(cacheSize, 1));
    std::vector<StripRecord> pieces;
    for (const StripRecord& strip : strips) {
        const size_t count = strip.Faces.size();
        for (size_t at = 0; at < count; at += length) {
            StripRecord piece;
            piece.StripId = 0;
            piece.TrialId = -1;
            piece.Faces.assign(strip.Faces.begin() + ptrdiff_t(at),
                               strip.Faces.begin() + ptrdiff_t(std::min(count, at + length)));
            pieces.push_back(std::move(piece));
        }
    }
    leftovers = ExtractShortStrips(pieces, cacheSize, minStripLength);
    if (pieces.empty())
        return;

    // The first piece: the lowest neighbours per face, held as a float.
    float lowest = 10000.0f;
    size_t first = 0;
    for (size_t p = 0; p < pieces.size(); ++p) {
        i64 neighbours = 0;
        for (const StripFace* face : pieces[p].Faces)
            neighbours += NeighbourCount(info, *face);
        const double cost = double(neighbours) / double(pieces[p].Faces.size());
        if (cost < double(lowest)) {
            lowest = float(cost);
            first = p;
        }
    }

    VertexCacheModel cache(cacheSize);
    PieceRanking ranking(pieces, cacheSize <= kRankedCacheLimit);
    ordered.reserve(pieces.size());
    for (i64 next = i64(first); next >= 0; next = ranking.Pick()) {
        StripRecord& piece = pieces[size_t(next)];
        piece.Visited = true;
        ranking.Visit(size_t(next));
        ranking.Feed(cache, piece);
        ordered.push_back(std::move(piece));
    }
}

Stripifier::RunResult Stripifier::Run(std::span<const u16> indices, i32 cacheSizeOption,
                                      i32 minStripLength) {
    RunResult result;
    result.CacheSize = CacheSizeFor(cacheSizeOption);
    // A fresh search starts with its seed jump at 0 and its first-seed flag set.
    result.Search = std::make_unique<Stripifier>(BuildStripifyInfo(indices));
    result.Search->SearchStrips(10);
    SplitAndOrder(result.Search->Info(), result.Search->Strips(), result.CacheSize, minStripLength,
                  result.Pieces, result.Leftovers);
    return result;
}

std::vector<u16> Stripifier::EmitStripIndices(std::span<const StripRecord> pieces) {
    std::vector<u16> out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::vector<StripFace*>& faces = pieces[i].Faces;
        const size_t n = faces.size();
        if (n == 0)
            continue;
        const StripFace& f0 = *faces[0];
        // The first triangle, turned so that T0 is the vertex the strip leaves first and T2 the
        // one it shares with the third face.
        i32 t[3] = {f0.V0, f0.V1, f0.V2};
        if (n > 1 && Holds(*faces[1], t[0])) {
            if (!Holds(*faces[1], t[1]))
                std::swap(t[0], t[1]);
            else if (!Holds(*faces[1], t[2]))
                std::swap(t[0], t[2]);
        }
        if (n > 2 && !Holds(*faces[2], t[0]) && Holds(*faces[2], t[1]))
            std::swap(t[1], t[2]);
        const bool winding = KeepsWinding(f0, t[0], t[1]);
        // The first triangle must start at an even place when T runs in its face's order, and
        // at an odd one otherwise.
        if (i == 0) {
            if (!winding)
                out.push_back(u16(t[0]));
        } else {
            out.push_back(u16(t[0]));
            if ((out.size() % 2 == 0) != winding)
                out.push_back(u16(t[0]));
        }
        out.insert(out.end(), {u16(t[0]), u16(t[1]), u16(t[2])});
        i32 last[3] = {t[0], t[1], t[2]};
        for (size_t j = 1; j < n; ++j) {
            for (const i32 v : {faces[j]->V0, faces[j]->V1, faces[j]->V2}) {
                if (v == last[0] || v == last[1] || v == last[2])
                    continue;
                out.push_back(u16(v));
                last[0] = last[1];
                last[1] = last[2];
                last[2] = v;
                break;
            }
        }
        if (i + 1 < pieces.size())
            out.push_back(u16(last[2]));
    }
    return out;
}

std::vector<StripGroup> Stripifier::BuildStripGroups(std::span<const u16> indices) {
    const RunResult run = Run(indices, s_VertexCacheSize, 0);
    std::vector<StripGroup> groups;
    size_t faces = run.Leftovers.size();
    for (const StripRecord& piece : run.Pieces)
        faces += piece.Faces.size();
    if (s_ListOutputOnly) {
        StripGroup& list = groups.emplace_back();
        list.Type = 0;
        list.Indices.reserve(3 * faces);
        for (const StripRecord& piece : run.Pieces)
            for (const StripFace* face : piece.Faces)
                AppendFace(list.Indices, *face);
        for (const StripFace* face : run.Leftovers)
            AppendFace(list.Indices, *face);
        return groups;
    }
    StripGroup& strip = groups.emplace_back();
    strip.Type = 1;
    strip.Indices = EmitStripIndices(run.Pieces);
    if (!run.Leftovers.empty()) {
        StripGroup& list = groups.emplace_back();
        list.Type = 0;
        list.Indices.reserve(3 * run.Leftovers.size());
        for (const StripFace* face : run.Leftovers)
            AppendFace(list.Indices, *face);
    }
    return groups;
}

bool Stripifier::RenumberVertices(std::span<const StripGroup> groups, u32 vertexCount,
                                  std::vector<StripGroup>& newGroups, std::vector<u16>& table) {
    for (size_t g = 0; g < groups.size(); ++g)
        for (const u16 index : groups[g].Indices)
            if (u32(index) >= vertexCount) {
                ClassicLogFormatLine("Stripifier: vertex %u of group %u is past the %u vertices",
                                     unsigned(index), unsigned(g), unsigned(vertexCount));
                return false;
            }
    std::vector<u16> renumbered(vertexCount, 0xFFFF);
    // Whether a vertex has its new index is kept apart from the table: with 65 536 vertices in
    // use, the last one's new index is 0xFFFF itself.
    std::vector<bool> assigned(std::min<size_t>(vertexCount, kVertexRange), false);
    std::vector<StripGroup> out(groups.size());
    u32 next = 0;
    for (size_t g = 0; g < groups.size(); ++g) {
        out[g].Type = groups[g].Type;
        out[g].Indices.reserve(groups[g].Indices.size());
        for (const u16 index : groups[g].Indices) {
            if (!assigned[index]) {
                assigned[index] = true;
                renumbered[index] = u16(next++);
            }
            out[g].Indices.push_back(renumbered[index]);
        }
    }
    newGroups = std::move(out);
    table = std::move(renumbered);
    return true;
}

} // namespace plug
