#pragma once
// Times a project road and its peer in alternating rounds on the same data, so that both sides
// see the same machine: a noisy neighbour, a frequency change or a cold cache hits both alike.
//
// Each benchmark iteration is one pair of rounds, the project's and the peer's, their order
// swapped at every pair. A round repeats its operation until it has taken about kRoundNs of the
// thread's CPU time (the repetition count is calibrated once, per side). The counters hold
//   project_ns  median CPU time of one project operation over the rounds,
//   peer_ns     the same for the peer,
//   ratio       median over the pairs of project time / peer time (below 1: the project wins).
// The Time and CPU columns of the report cover a whole pair (both sides and any set-up).
// InterleaveWallTime times both sides by the wall clock instead, for a peer that runs as a
// process of its own (whose CPU time is not the thread's); InterleaveWallTimeLessStart also
// times that process on an empty input and adds
//   peer_start_ns     median wall time of the peer on the empty input (its start),
//   ratio_less_start  median over the pairs of project time / (peer time less its start).
// InterleaveWithSecondPeer takes turns among three sides: the project, its floor and a library
// doing the same work.
#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace bench {

inline constexpr double kRoundNs = 1e6;

inline double ThreadCpuNs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

inline double WallNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

inline double Median(std::vector<double>& values) {
    if (values.empty())
        return 0;
    const auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// For operations that need no fresh input.
struct NoSetup {
    void operator()() const {}
};

// One side of a pair. Without set-up a round times all its repetitions at once; with set-up
// (fresh input for an operation that consumes it) each repetition is prepared untimed and timed
// alone, so such operations should take tens of microseconds at least.
template <class Setup, class Run>
struct Side {
    Setup m_Setup;
    Run m_Run;
    double (*m_Clock)() = ThreadCpuNs;
    std::uint64_t m_Reps = 1;

    // CPU time of the round, in ns.
    double Round() {
        if constexpr (std::is_same_v<Setup, NoSetup>) {
            const double start = m_Clock();
            for (std::uint64_t i = 0; i < m_Reps; ++i)
                m_Run();
            return m_Clock() - start;
        } else {
            double total = 0;
            for (std::uint64_t i = 0; i < m_Reps; ++i) {
                m_Setup();
                const double start = m_Clock();
                m_Run();
                total += m_Clock() - start;
            }
            return total;
        }
    }

    // A warm-up operation, then repetitions doubled until a round is long enough to time well,
    // then scaled to fill kRoundNs.
    void Calibrate() {
        m_Reps = 1;
        Round();
        double t;
        while ((t = Round()) < kRoundNs / 8)
            m_Reps *= 2;
        m_Reps = std::max<std::uint64_t>(1, std::uint64_t(double(m_Reps) * kRoundNs / t));
    }
};

template <class ProjectSetup, class Project, class PeerSetup, class Peer>
void InterleaveWithSetup(benchmark::State& state, ProjectSetup projectSetup, Project project,
                         PeerSetup peerSetup, Peer peer, double (*clock)() = ThreadCpuNs,
                         std::function<void()> peerStart = {}) {
    Side<ProjectSetup, Project> a{projectSetup, project, clock};
    Side<PeerSetup, Peer> b{peerSetup, peer, clock};
    Side<NoSetup, std::function<void()>> c{NoSetup{}, peerStart, clock};
    a.Calibrate();
    b.Calibrate();
    if (peerStart)
        c.Calibrate();
    std::vector<double> aTimes, bTimes, cTimes, ratios, ratiosLessStart;
    bool projectFirst = true;
    for (auto _ : state) {
        double ta, tb, tc = 0;
        if (projectFirst) {
            ta = a.Round();
            tb = b.Round();
            if (peerStart)
                tc = c.Round();
        } else {
            if (peerStart)
                tc = c.Round();
            tb = b.Round();
            ta = a.Round();
        }
        projectFirst = !projectFirst;
        ta /= double(a.m_Reps);
        tb /= double(b.m_Reps);
        tc /= double(c.m_Reps);
        aTimes.push_back(ta);
        bTimes.push_back(tb);
        ratios.push_back(ta / std::max(tb, 1e-3));
        if (peerStart) {
            cTimes.push_back(tc);
            ratiosLessStart.push_back(ta / std::max(tb - tc, 1e-3));
        }
    }
    state.counters["project_ns"] = Median(aTimes);
    state.counters["peer_ns"] = Median(bTimes);
    state.counters["ratio"] = Median(ratios);
    if (peerStart) {
        state.counters["peer_start_ns"] = Median(cTimes);
        state.counters["ratio_less_start"] = Median(ratiosLessStart);
    }
}

// Runs one round of each side in turn at every iteration, the first side one place further at
// each iteration, and returns each side's time per operation at every iteration.
template <class... Sides>
std::vector<std::vector<double>> Alternate(benchmark::State& state, Sides&... sides) {
    constexpr std::size_t n = sizeof...(Sides);
    const std::array<std::function<double()>, n> rounds{
        [&sides] { return sides.Round() / double(sides.m_Reps); }...};
    std::vector<std::vector<double>> times(n);
    std::size_t first = 0;
    for (auto _ : state) {
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t i = (first + k) % n;
            times[i].push_back(rounds[i]());
        }
        first = (first + 1) % n;
    }
    return times;
}

// Median over the iterations of one side's time / another's.
inline double MedianRatio(const std::vector<double>& times, const std::vector<double>& peerTimes) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < times.size(); ++i)
        ratios.push_back(times[i] / std::max(peerTimes[i], 1e-3));
    return Median(ratios);
}

// The same with a second peer (a library doing the same work) in the rounds: its time per
// operation in the counter <name>_ns, the project's time against it in ratio_<name>.
template <class ProjectSetup, class Project, class PeerSetup, class Peer, class SecondSetup,
          class Second>
void InterleaveWithSecondPeer(benchmark::State& state, const std::string& name,
                              ProjectSetup projectSetup, Project project, PeerSetup peerSetup,
                              Peer peer, SecondSetup secondSetup, Second second) {
    Side<ProjectSetup, Project> a{projectSetup, project};
    Side<PeerSetup, Peer> b{peerSetup, peer};
    Side<SecondSetup, Second> c{secondSetup, second};
    a.Calibrate();
    b.Calibrate();
    c.Calibrate();
    std::vector<std::vector<double>> times = Alternate(state, a, b, c);
    state.counters["ratio"] = MedianRatio(times[0], times[1]);
    state.counters["ratio_" + name] = MedianRatio(times[0], times[2]);
    state.counters["project_ns"] = Median(times[0]);
    state.counters["peer_ns"] = Median(times[1]);
    state.counters[name + "_ns"] = Median(times[2]);
}

// The project's operation and the peer's, each a callable doing one operation.
template <class Project, class Peer>
void Interleave(benchmark::State& state, Project project, Peer peer) {
    InterleaveWithSetup(state, NoSetup{}, project, NoSetup{}, peer);
}

// The same, timed by the wall clock.
template <class Project, class Peer>
void InterleaveWallTime(benchmark::State& state, Project project, Peer peer) {
    InterleaveWithSetup(state, NoSetup{}, project, NoSetup{}, peer, WallNs);
}

// The same for a peer that is a process of its own, whose start is no part of the work: every
// pair also times `peerStart`, the peer on an empty input, in a round of its own.
template <class Project, class Peer>
void InterleaveWallTimeLessStart(benchmark::State& state, Project project, Peer peer,
                                 std::function<void()> peerStart) {
    InterleaveWithSetup(state, NoSetup{}, project, NoSetup{}, peer, WallNs, std::move(peerStart));
}

} // namespace bench
