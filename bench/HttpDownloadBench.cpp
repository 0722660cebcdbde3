// Downloads from nginx on loopback (1, 16 and 100 MB, with Content-Length and chunked) through
// the engine's HTTP client (Get, then WaitForRequests until Done) against the curl command line
// tool fetching the same URL with its output discarded. The two take turns, their order swapped
// at every iteration, and are timed by the wall clock. curl runs as a process of its own, while
// the client runs inside the benchmark: so that curl's start is not counted in its download,
// every iteration also times curl fetching an empty file from the same server, and curl's time
// is the difference.
//   project_ms  median time of one download through the client (a new client, connection and
//               body each time)
//   peer_ms     the same for curl, less its start: the median of its downloads less the median
//               of its fetches of the empty file
//   peer_start_ms  median time of curl fetching the empty file (its start, connection, request
//               and answer head)
//   ratio       project_ms / peer_ms (absent when curl's start hid its download)
//   project_cpu_ms  median CPU time of the benchmark's process over one download through the
//               client (nginx and curl run in processes of their own)
// Goal: ratio at most 1 / 0.9 at 16 and 100 MB (the client's throughput at least 0.9 times
// curl's).
//
// DownloadToFile/MB:n: the update road's download as a whole process (http_fetch: the body
// streamed into a temporary file beside the target, renamed over it once whole) against
// `curl -s -o <target>` into the same folder, both whole processes started, waited for and
// measured by the kernel (wait4), in alternating runs. Counters: project_ms and peer_ms (median
// wall time from the start to the exit), ratio (their quotient), project_max_rss_mb and
// peer_max_rss_mb (median peak resident memory, ru_maxrss), rss_ratio, and project_cpu_ms and
// peer_cpu_ms (user and system time), project_max_ms and peer_max_ms (the slowest run). With
// memory:1 http_fetch takes the road before streaming (the body kept in memory, then written),
// for comparison. Goal: ratio at most 1.1 and rss_ratio at most 2 at 100 MB.
#include "BenchPair.h"
#include "ProcessRun.h"
#include "net/http/NetHttpClient.h"
#include "net/http/NetHttpResult.h"
#include "tests/support/http/TestServers.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct CServer {
    TestFolder Root;
    std::unique_ptr<TestNginx> Nginx;
    CServer() {
        std::ofstream(Root.File("empty.bin"), std::ios::binary);
        for (int mb : {1, 16, 100}) {
            std::string bytes(size_t(mb) << 20, '\0');
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = char(i % 251);
            const std::string name = "f" + std::to_string(mb);
            std::ofstream(Root.File(name) + ".bin", std::ios::binary)
                .write(bytes.data(), std::streamsize(bytes.size()));
        }
        Nginx = std::make_unique<TestNginx>(Root.Path());
    }
};

CServer& Server() {
    static CServer server;
    return server;
}

// The server, or null with the benchmark skipped when nginx did not start.
CServer* RunningServer(benchmark::State& state) {
    if (Server().Nginx->IsRunning())
        return &Server();
    state.SkipWithError("nginx did not start");
    return nullptr;
}

using bench::NowMs;
using bench::RunProcess;
using bench::SProcessRun;

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// One download through the client; false when it did not end Done with every byte.
bool ThroughClient(u16 port, const std::string& path, u32 size) {
    CNetHttpClient client;
    if (!client.Open("127.0.0.1", port))
        return false;
    CNetHttpResult* request = client.Get(CClassicStringRef(path.c_str()), true, true, 0);
    if (!request)
        return false;
    request->AddRef();
    while (client.GetRequestCount() != 0)
        client.WaitForRequests(1000);
    const bool ok = request->m_Status == 3 && request->m_Body.GetLength() == size;
    request->Release();
    return ok;
}

void Download(benchmark::State& state) {
    CServer* running = RunningServer(state);
    if (!running)
        return;
    CServer& server = *running;
    const u32 size = u32(state.range(0)) << 20;
    const std::string path = std::string(state.range(1) ? "chunked/" : "") + "f" +
                             std::to_string(state.range(0)) + ".bin";
    const u16 port = server.Nginx->Port();
    const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";
    const auto curl = [](const std::string& url) {
        const double start = NowMs();
        return TestRunProgram({"/usr/bin/curl", "-s", "-o", "/dev/null", url}) == 0
                   ? NowMs() - start
                   : -1.0;
    };
    std::vector<double> ours, wholes, starts, cpu;
    bool oursFirst = true;
    for (auto _ : state) {
        for (int side = 0; side < 2; ++side) {
            const bool runOurs = (side == 0) == oursFirst;
            const double start = NowMs();
            if (runOurs) {
                const double cpuStart = ProcessCpuMs();
                if (!ThroughClient(port, path, size)) {
                    state.SkipWithError("the client's download failed");
                    return;
                }
                ours.push_back(NowMs() - start);
                cpu.push_back(ProcessCpuMs() - cpuStart);
            } else {
                const double whole = curl(base + path);
                const double empty = curl(base + "empty.bin");
                if (whole < 0 || empty < 0) {
                    state.SkipWithError("curl failed");
                    return;
                }
                wholes.push_back(whole);
                starts.push_back(empty);
            }
        }
        oursFirst = !oursFirst;
    }
    // The start varies from run to run by more than a small download takes: the medians are
    // subtracted, not each run's pair. A ratio is given only when the difference is a time.
    const double peer = bench::Median(wholes) - bench::Median(starts);
    state.counters["project_ms"] = bench::Median(ours);
    state.counters["peer_ms"] = peer;
    state.counters["peer_start_ms"] = bench::Median(starts);
    if (peer > 0)
        state.counters["ratio"] = bench::Median(ours) / peer;
    state.counters["project_cpu_ms"] = bench::Median(cpu);
    state.SetBytesProcessed(i64(state.iterations()) * 2 * i64(size));
}

bool HoldsServedFile(const std::string& path, u32 size) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != size)
        return false;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] != char(i % 251))
            return false;
    return true;
}

void DownloadToFile(benchmark::State& state) {
    CServer* running = RunningServer(state);
    if (!running)
        return;
    CServer& server = *running;
    const u32 size = u32(state.range(0)) << 20;
    const std::string path = "f" + std::to_string(state.range(0)) + ".bin";
    const std::string port = std::to_string(server.Nginx->Port());
    TestFolder folder;
    const std::string ours = folder.File("ours.bin"), theirs = folder.File("curl.bin");
    std::vector<std::string> fetch = {HTTP_FETCH, "127.0.0.1", port, path, ours};
    if (state.range(1))
        fetch.push_back("memory");
    const std::vector<std::string> curl = {"/usr/bin/curl", "-s", "-o", theirs,
                                           "http://127.0.0.1:" + port + "/" + path};
    std::vector<double> wall[2], rss[2], cpu[2];
    bool oursFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const int side = (turn == 0) == oursFirst ? 0 : 1;
            const SProcessRun run = RunProcess(side == 0 ? fetch : curl, folder.File("report"));
            if (!run.Ok) {
                state.SkipWithError(side == 0 ? "http_fetch failed" : "curl failed");
                return;
            }
            wall[side].push_back(run.WallMs);
            rss[side].push_back(run.MaxRssMb);
            cpu[side].push_back(run.CpuMs);
        }
        oursFirst = !oursFirst;
    }
    if (!HoldsServedFile(ours, size) || !HoldsServedFile(theirs, size)) {
        state.SkipWithError("a downloaded file differs from the served one");
        return;
    }
    const double project = bench::Median(wall[0]), peer = bench::Median(wall[1]);
    const double projectRss = bench::Median(rss[0]), peerRss = bench::Median(rss[1]);
    state.counters["project_ms"] = project;
    state.counters["peer_ms"] = peer;
    state.counters["ratio"] = project / peer;
    state.counters["project_max_rss_mb"] = projectRss;
    state.counters["peer_max_rss_mb"] = peerRss;
    state.counters["rss_ratio"] = projectRss / peerRss;
    state.counters["project_cpu_ms"] = bench::Median(cpu[0]);
    state.counters["peer_cpu_ms"] = bench::Median(cpu[1]);
    state.counters["project_max_ms"] = *std::max_element(wall[0].begin(), wall[0].end());
    state.counters["peer_max_ms"] = *std::max_element(wall[1].begin(), wall[1].end());
}

BENCHMARK(DownloadToFile)
    ->ArgNames({"MB", "memory"})
    ->ArgsProduct({{16, 100}, {0, 1}})
    ->Iterations(12)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(Download)
    ->ArgNames({"MB", "chunked"})
    ->ArgsProduct({{1, 16, 100}, {0, 1}})
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
