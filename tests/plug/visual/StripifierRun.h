#pragma once
// Runs the engine's stripifier search and answers in the comparison form of the plain search,
// with the warning lines captured through the platform's output redirect.
#include "StripifierReference.h"
#include "platform/Crt.h"
#include "plug/visual/Stripifier.h"

#include <array>
#include <set>
#include <string>

namespace stripref {

inline std::string& CapturedLines() {
    static std::string lines;
    return lines;
}

// Sends the warning lines to CapturedLines() while it lives.
class LineCapture {
public:
    LineCapture() {
        CapturedLines().clear();
        m_Old = platform::SetOutputLineSink([](const char* text) {
            CapturedLines() += text;
            CapturedLines() += '\n';
        });
    }
    ~LineCapture() { platform::SetOutputLineSink(m_Old); }
    LineCapture(const LineCapture&) = delete;
    LineCapture& operator=(const LineCapture&) = delete;

private:
    platform::OutputLineSink m_Old;
};

inline Result FromEngine(const plug::Stripifier& run) {
    Result result;
    for (const plug::StripRecord& strip : run.Strips()) {
        Strip out{strip.StripId, strip.TrialId, {}};
        for (const plug::StripFace* face : strip.Faces)
            out.Faces.push_back(run.FacePosition(face));
        result.Strips.push_back(std::move(out));
    }
    result.SetAside = run.Info().SetAside;
    return result;
}

inline Result RunEngine(std::span<const std::uint16_t> indices) {
    LineCapture capture;
    plug::Stripifier run(plug::BuildStripifyInfo(indices));
    run.SearchStrips(10);
    Result result = FromEngine(run);
    result.Lines = CapturedLines();
    return result;
}

// What must hold of any search of ten samples: each kept face in exactly one committed strip,
// consecutive faces of a strip sharing exactly two vertices, the faces being the input triangles
// less exact repeats and triangles with a repeated vertex, and the trials having grown at most
// 120 faces per kept face (sixty trials a pass, none above twice the winner's faces). Answers
// the first broken rule, or "".
inline std::string CheckStrips(std::span<const std::uint16_t> indices,
                               const plug::Stripifier& run) {
    using Triple = std::array<std::int32_t, 3>;
    std::set<Triple> expected;
    for (size_t t = 0; t < indices.size() / 3; ++t) {
        const Triple v{indices[3 * t], indices[3 * t + 1], indices[3 * t + 2]};
        if (v[0] != v[1] && v[1] != v[2] && v[2] != v[0])
            expected.insert(v);
    }
    const auto& faces = run.Info().Faces;
    if (faces.size() != expected.size())
        return "kept " + std::to_string(faces.size()) + " faces of " +
               std::to_string(expected.size());
    std::vector<int> seen(faces.size(), 0);
    std::set<Triple> got;
    for (const plug::StripRecord& strip : run.Strips()) {
        if (strip.Faces.empty())
            return "empty strip " + std::to_string(strip.StripId);
        for (size_t i = 0; i < strip.Faces.size(); ++i) {
            const plug::StripFace* f = strip.Faces[i];
            ++seen[size_t(run.FacePosition(f))];
            got.insert(Triple{f->V0, f->V1, f->V2});
            if (i == 0)
                continue;
            const plug::StripFace* p = strip.Faces[i - 1];
            int shared = 0;
            for (std::int32_t a : {f->V0, f->V1, f->V2})
                shared += int(a == p->V0 || a == p->V1 || a == p->V2);
            if (shared != 2)
                return "strip " + std::to_string(strip.StripId) + " breaks at face " +
                       std::to_string(i);
        }
    }
    for (size_t i = 0; i < seen.size(); ++i)
        if (seen[i] != 1)
            return "face " + std::to_string(i) + " in " + std::to_string(seen[i]) + " strips";
    if (got != expected)
        return "the strips' faces are not the input's";
    if (run.GrownFaces() > 120 * faces.size())
        return "the trials grew " + std::to_string(run.GrownFaces()) + " faces for " +
               std::to_string(faces.size());
    return "";
}

} // namespace stripref
