#include "plug/visual/Stripifier.h"

#include "platform/Crt.h"

#include <algorithm>
#include <bit>
#include <cstdint>

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

} // namespace plug
