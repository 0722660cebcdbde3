#include "StripifierReference.h"

#include <algorithm>

namespace stripref {
namespace {

using i32 = std::int32_t;

struct Face {
    i32 V[3];
    i32 StripId = -1, TrialStripId = -1, TrialId = -1;
};

struct Edge {
    i32 V0, V1;
    i32 Face0, Face1;   // face positions, -1 for none
    i32 NextV0, NextV1; // edge positions, -1 for none
};

struct Rec {
    i32 StartFace, StartEdge;
    bool TowardV1;
    std::vector<i32> Faces;
    i32 StripId, TrialId;
};

struct Run {
    std::vector<Face> Faces;
    std::vector<Edge> Edges;
    std::vector<i32> Heads;
    std::vector<std::uint16_t> Scratch;
    std::string Lines;
    float Jump = 0.0f;
    bool First = true;
    i32 NextStrip = 0, NextTrial = 0;

    void Line(const char* text) {
        Lines += text;
        Lines += '\n';
    }

    i32 FindEdge(i32 a, i32 b) const {
        i32 e = Heads[size_t(a)];
        while (e >= 0) {
            const Edge& E = Edges[size_t(e)];
            if (E.V0 == a) {
                if (E.V1 == b)
                    return e;
                e = E.NextV0;
            } else {
                if (E.V0 == b)
                    return e;
                e = E.NextV1;
            }
        }
        return -1;
    }

    i32 FaceAcross(i32 a, i32 b, i32 face) const {
        const Edge& E = Edges[size_t(FindEdge(a, b))];
        return E.Face0 == face ? E.Face1 : E.Face0;
    }

    i32 NextIndex(i32 face) {
        const i32 i0 = Scratch[Scratch.size() - 2], i1 = Scratch[Scratch.size() - 1];
        const i32* v = Faces[size_t(face)].V;
        auto in = [&](i32 x) { return x == i0 || x == i1; };
        for (int k = 0; k < 3; ++k) {
            if (!in(v[k])) {
                int others = 0;
                for (int j = 0; j < 3; ++j)
                    if (j != k && in(v[j]))
                        ++others;
                if (others != 2) {
                    Line("GetNextIndex: Triangle doesn't have all of its vertices");
                    Line("GetNextIndex: Duplicate triangle probably got us derailed");
                }
                return v[k];
            }
        }
        Line("GetNextIndex: Duplicate triangle sent");
        return -1;
    }

    bool NewVertex(const std::vector<i32>& list, i32 face) const {
        bool seen[3] = {false, false, false};
        for (i32 f : list) {
            for (int k = 0; k < 3; ++k)
                for (int j = 0; j < 3; ++j)
                    if (Faces[size_t(f)].V[j] == Faces[size_t(face)].V[k])
                        seen[k] = true;
            if (seen[0] && seen[1] && seen[2])
                return false;
        }
        return true;
    }

    bool Claims(const Rec& s, i32 f) const {
        return Faces[size_t(f)].StripId >= 0 ||
               (s.TrialId >= 0 && Faces[size_t(f)].TrialId == s.TrialId);
    }
    void Claim(const Rec& s, i32 f) {
        Face& F = Faces[size_t(f)];
        if (s.TrialId >= 0) {
            F.TrialId = s.TrialId;
            F.TrialStripId = s.StripId;
        } else {
            F.TrialId = -1;
            F.StripId = s.StripId;
        }
    }
    bool Owns(const Rec& s, i32 f) const {
        if (f < 0)
            return false;
        return s.TrialId >= 0 ? Faces[size_t(f)].TrialStripId == s.StripId
                              : Faces[size_t(f)].StripId == s.StripId;
    }

    void Walk(Rec& s, i32 from, i32 x, i32 y, std::vector<i32>& test, std::vector<i32>* also) {
        i32 next = FaceAcross(x, y, from);
        while (next >= 0 && !Claims(s, next)) {
            if (!NewVertex(test, next))
                break;
            if (also)
                also->push_back(next);
            test.push_back(next);
            Claim(s, next);
            x = y;
            y = NextIndex(next);
            Scratch.push_back(std::uint16_t(y));
            next = FaceAcross(x, y, next);
        }
    }

    void Extend(Rec& s) {
        Scratch.clear();
        std::vector<i32> forward{s.StartFace};
        Claim(s, s.StartFace);
        const Edge& E = Edges[size_t(s.StartEdge)];
        const i32 a = s.TowardV1 ? E.V0 : E.V1, b = s.TowardV1 ? E.V1 : E.V0;
        Scratch.push_back(std::uint16_t(a));
        Scratch.push_back(std::uint16_t(b));
        const i32 c = NextIndex(s.StartFace);
        Scratch.push_back(std::uint16_t(c));
        Walk(s, s.StartFace, b, c, forward, nullptr);
        std::vector<i32> combined = forward, backward;
        Scratch = {std::uint16_t(c), std::uint16_t(b), std::uint16_t(a)};
        Walk(s, s.StartFace, b, a, combined, &backward);
        s.Faces.assign(backward.rbegin(), backward.rend());
        s.Faces.insert(s.Faces.end(), forward.begin(), forward.end());
    }

    i32 OpenEdgeFace() const {
        for (size_t i = 0; i < Faces.size(); ++i) {
            const i32* v = Faces[i].V;
            int open = 0;
            for (int k = 0; k < 3; ++k)
                if (FaceAcross(v[k], v[(k + 1) % 3], i32(i)) < 0)
                    ++open;
            if (open >= 2)
                return i32(i);
        }
        return -1;
    }

    i32 NextSeed() {
        const i32 n = i32(Faces.size());
        i32 start;
        if (First) {
            First = false;
            start = OpenEdgeFace();
            if (start < 0)
                start = i32(double(n - 1) * double(Jump));
        } else {
            start = i32(double(n - 1) * double(Jump));
        }
        i32 found = -1;
        for (i32 k = 0; k < n; ++k) {
            const i32 at = (start + k) % n;
            if (Faces[size_t(at)].StripId < 0) {
                found = at;
                break;
            }
        }
        volatile float sum = Jump + 0.1f;
        Jump = sum > 1.0f ? 0.05f : float(sum);
        return found;
    }

    bool NextStart(const Rec& s, Rec& out) const {
        const Edge& SE = Edges[size_t(s.StartEdge)];
        const i32 v = s.TowardV1 ? SE.V1 : SE.V0;
        for (i32 e = Heads[size_t(v)]; e >= 0;) {
            const Edge& E = Edges[size_t(e)];
            i32 face = -1;
            if (E.Face0 >= 0 && !Owns(s, E.Face0) && E.Face1 >= 0 && !Claims(s, E.Face1))
                face = E.Face1;
            else if (E.Face1 >= 0 && !Owns(s, E.Face1) && E.Face0 >= 0 && !Claims(s, E.Face0))
                face = E.Face0;
            if (face >= 0) {
                bool touches = false;
                const i32* fv = Faces[size_t(face)].V;
                for (int k = 0; k < 3; ++k) {
                    const Edge& T = Edges[size_t(FindEdge(fv[k], fv[(k + 1) % 3]))];
                    if (Owns(s, T.Face0) || Owns(s, T.Face1))
                        touches = true;
                }
                out.StartFace = face;
                out.StartEdge = e;
                out.TowardV1 = touches ? E.V0 == v : E.V1 == v;
                return true;
            }
            e = E.V0 == v ? E.NextV0 : E.NextV1;
        }
        return false;
    }
};

} // namespace

Result Search(std::span<const std::uint16_t> indices) {
    Result result;
    Run run;
    std::uint16_t largest = 0;
    for (size_t i = 0; i < indices.size() / 3 * 3; ++i)
        largest = std::max(largest, indices[i]);
    run.Heads.assign(size_t(largest) + 1, -1);
    for (size_t t = 0; t < indices.size() / 3; ++t) {
        Face f;
        f.V[0] = indices[3 * t];
        f.V[1] = indices[3 * t + 1];
        f.V[2] = indices[3 * t + 2];
        if (f.V[0] == f.V[1] || f.V[1] == f.V[2] || f.V[2] == f.V[0]) {
            ++result.SetAside;
            continue;
        }
        bool duplicate = false;
        for (const Face& kept : run.Faces)
            if (kept.V[0] == f.V[0] && kept.V[1] == f.V[1] && kept.V[2] == f.V[2])
                duplicate = true;
        if (duplicate)
            continue;
        const i32 at = i32(run.Faces.size());
        run.Faces.push_back(f);
        for (int k = 0; k < 3; ++k) {
            const i32 a = f.V[k], b = f.V[(k + 1) % 3];
            const i32 e = run.FindEdge(a, b);
            if (e < 0) {
                run.Edges.push_back(Edge{a, b, at, -1, run.Heads[size_t(a)], run.Heads[size_t(b)]});
                run.Heads[size_t(a)] = run.Heads[size_t(b)] = i32(run.Edges.size() - 1);
            } else if (run.Edges[size_t(e)].Face1 < 0) {
                run.Edges[size_t(e)].Face1 = at;
            } else {
                run.Line("BuildStripifyInfo: > 2 triangles on an edge... uncertain consequences");
            }
        }
    }

    for (bool last = false; !last;) {
        std::vector<i32> seeds;
        std::vector<std::vector<Rec>> trials;
        for (int s = 0; s < 10; ++s) {
            const i32 f = run.NextSeed();
            if (f < 0) {
                last = true;
                break;
            }
            if (std::find(seeds.begin(), seeds.end(), f) != seeds.end())
                continue;
            seeds.push_back(f);
            const i32* v = run.Faces[size_t(f)].V;
            for (int k = 0; k < 3; ++k) {
                const i32 e = run.FindEdge(v[k], v[(k + 1) % 3]);
                for (bool toward : {true, false})
                    trials.push_back({Rec{f, e, toward, {}, run.NextStrip++, run.NextTrial++}});
            }
        }
        for (auto& trial : trials) {
            run.Extend(trial[0]);
            Rec next{};
            while (run.NextStart(trial.back(), next)) {
                next.Faces.clear();
                next.StripId = run.NextStrip++;
                next.TrialId = trial[0].TrialId;
                run.Extend(next);
                trial.push_back(next);
            }
        }
        if (trials.empty())
            break;
        double best = 0;
        size_t bestAt = 0;
        for (size_t i = 0; i < trials.size(); ++i) {
            double sum = 0;
            for (const Rec& r : trials[i])
                sum += double(r.Faces.size());
            const double mean = sum / double(trials[i].size());
            const double score = mean + double(trials[i].size()) * mean;
            if (score > best) {
                best = score;
                bestAt = i;
            }
        }
        for (Rec& r : trials[bestAt]) {
            r.TrialId = -1;
            for (i32 f : r.Faces)
                run.Claim(r, f);
            result.Strips.push_back(Strip{r.StripId, r.TrialId, r.Faces});
        }
    }
    result.Lines = run.Lines;
    return result;
}

} // namespace stripref
