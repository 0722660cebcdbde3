// The FLTK backend's tests run on a virtual display: started without one of its own, the
// program runs itself again under xvfb-run, with HOME in a fresh folder so that nothing FLTK
// keeps (its preferences, the chooser's favourites) reaches the user's. A missing xvfb-run is a
// failure, never a skip.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr const char* UnderXvfb = "BRISALDE_FLTK_TEST_UNDER_XVFB";

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (!rest.empty()) {
        const size_t end = rest.find(':');
        const std::filesystem::path candidate =
            std::filesystem::path(rest.substr(0, end)) / program;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    return false;
}

int RunUnderXvfb(int argc, char** argv) {
    for (const char* tool : {"xvfb-run", "xauth", "import", "identify"}) {
        if (!OnPath(tool)) {
            std::fprintf(
                stderr, "%s is missing: the window tests need xvfb, xauth and imagemagick\n", tool);
            return 1;
        }
    }
    char home[] = "/tmp/brisalde-fltk-home-XXXXXX";
    if (!mkdtemp(home)) {
        std::perror("mkdtemp");
        return 1;
    }
    setenv(UnderXvfb, "1", 1);
    setenv("HOME", home, 1);
    setenv("XDG_CONFIG_HOME", (std::string(home) + "/.config").c_str(), 1);
    unsetenv("BRISALDE_UI_SNAPSHOT");
    // LeakSanitizer: what the X, font and FLTK libraries keep until exit.
    std::string lsan = std::getenv("LSAN_OPTIONS") ? std::getenv("LSAN_OPTIONS") : "";
    lsan += std::string(lsan.empty() ? "" : ":") + "suppressions=" + ENGINE_TEST_SOURCE_DIR +
            "/tests/platform/fltk/lsan.supp";
    setenv("LSAN_OPTIONS", lsan.c_str(), 1);

    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::string> arguments = {"xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", self};
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    pid_t pid = 0;
    int status = 1;
    if (posix_spawnp(&pid, "xvfb-run", nullptr, nullptr, pointers.data(), environ) != 0 ||
        waitpid(pid, &status, 0) < 0) {
        std::perror("xvfb-run");
        status = 1 << 8;
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::string_view(argv[i]) == "--gtest_list_tests";
    if (!listing && !std::getenv(UnderXvfb))
        return RunUnderXvfb(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    // Death tests start the program afresh, so a child opens its own display (or none).
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
