// Stands in for the game program, which is not part of this system: tests and the demo install
// copy it into an install folder as "Brisalde" and the launcher starts it. It records every start
// and writes made-up results where the game would write real ones.
//
// It reads its behaviour from "GameStandin.txt" in its working folder, one "key = value" per
// line (blank lines and lines starting with '#' are skipped; a missing file keeps every
// default). A key written "key.N" applies to the N-th start only (counted in the start log) and
// wins over the plain key; for the repeatable "warning", the lines of the start replace the
// plain ones.
//   exit_code = 0          the exit status (0 to 255)
//   delay_ms = 0           milliseconds to wait before writing anything and ending
//   hang = 0               1: never end (until killed)
//   gpu_vendor = 0x10DE    the adapter's ids for the GPU table row (hexadecimal after "0x",
//   gpu_device = 0x0322    else decimal)
//   scores = 100 400 ...   the row's nine scores: Geom, Aniso1, Aniso2, Aniso4, Aniso8, Aniso16,
//                          PArith11, PTexD11, PArith20
//   write_gpuperf = 1      0: "/bench" leaves the GPU table alone
//   fps = 60               the bench result's frame rate, as written; "none" leaves the rate and
//                          its marker line out
//   warning = ...          a line added to the bench result (repeatable)
//   write_result = 1       0: a bench writes no result file
//   result_delay_ms = 0    above 0: the result file is written that long after the program
//                          ended, by a child left behind
//   raw_result = <file>    the bytes of that file (from the working folder) become the result
//   copy_config = 0        1: the file named by "/config=" is copied to
//                          "GameStandin-config-N.Zun" at the N-th start
//
// Each start appends to "GameStandin.log" in its working folder the line
//   start "<working folder>" "<argument 1>" "<argument 2>" ...
// (backslash, double quote, CR, LF and tab escaped as \\ \" \r \n \t); with "/config=<file>"
// the line
//   config "<file>" <size in bytes>        or        config "<file>" missing
// which shows what the launcher had saved before the start; and each end that is not a hang the
// line "end <exit status>".
//
// Arguments: "/bench" alone writes or updates "GameData/GfxDevicePerfs.txt" (the table's two
// header lines and a row of scores for the configured vendor and device, the rows kept sorted by
// vendor and device and a row with the same ids replaced). "/bench=<replay>" or
// "/list_benchs=<list>" runs a bench: the result goes to "GameData/Bench/<value of /out=>" (a
// comment line, "// Average Fps", the rate, then the warning lines). Files are written through a
// temporary file and a rename, so a reader never sees half of one. Without arguments (Play) only
// the log line is written; other options are logged and ignored.
//
// It never touches the process locale: numbers are read with std::from_chars and written with
// std::to_chars.
#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kBehaviourFile = "GameStandin.txt";
constexpr const char* kLogFile = "GameStandin.log";
constexpr const char* kTableHeader =
    "Vendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 PArith20";
constexpr size_t kScoreCount = 9;
constexpr std::array<double, kScoreCount> kDefaultScores = {100, 400, 380, 340, 280,
                                                            220, 300, 420, 260};

struct Behaviour {
    unsigned ExitCode = 0;
    unsigned DelayMs = 0;
    bool Hang = false;
    unsigned GpuVendor = 0;
    unsigned GpuDevice = 0;
    std::array<double, kScoreCount> Scores = kDefaultScores;
    bool WriteGpuPerf = true;
    std::string Fps = "60";
    std::vector<std::string> Warnings;
    bool WriteResult = true;
    unsigned ResultDelayMs = 0;
    std::string RawResult;
    bool CopyConfig = false;
};

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool ParseNumber(std::string_view text, unsigned& out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return error == std::errc() && end == text.data() + text.size();
}

bool ParseScores(std::string_view text, std::array<double, kScoreCount>& out) {
    std::array<double, kScoreCount> scores{};
    size_t count = 0;
    while (!(text = Trim(text)).empty()) {
        const size_t end = std::min(text.find_first_of(" \t"), text.size());
        if (count == kScoreCount)
            return false;
        const auto [stop, error] = std::from_chars(text.data(), text.data() + end, scores[count]);
        if (error != std::errc() || stop != text.data() + end)
            return false;
        ++count;
        text.remove_prefix(end);
    }
    if (count != kScoreCount)
        return false;
    out = scores;
    return true;
}

std::string Number(double value) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

std::string Number(unsigned value) {
    char text[16];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

// Four upper-case hexadecimal digits at least, as the table writes its ids.
std::string HexId(unsigned value) {
    char text[16];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, 16);
    std::string digits = error == std::errc() ? std::string(text, end) : std::string("0");
    for (char& c : digits)
        c = c >= 'a' && c <= 'f' ? char(c - 32) : c;
    return std::string(digits.size() < 4 ? 4 - digits.size() : 0, '0') + digits;
}

// One line of the behaviour file: false (and a message) when its value does not fit the key.
bool Apply(std::string_view key, std::string_view value, Behaviour& behaviour,
           bool& warningsOfThisStart, bool thisStart) {
    unsigned number = 0;
    const bool isNumber = ParseNumber(value, number);
    if (key == "fps") {
        behaviour.Fps = std::string(value);
        return true;
    }
    if (key == "warning") {
        // The first warning line of a start drops the plain ones.
        if (thisStart && !warningsOfThisStart) {
            behaviour.Warnings.clear();
            warningsOfThisStart = true;
        }
        behaviour.Warnings.emplace_back(value);
        return true;
    }
    if (key == "raw_result") {
        behaviour.RawResult = std::string(value);
        return true;
    }
    if (key == "scores")
        return ParseScores(value, behaviour.Scores);
    if (key != "exit_code" && key != "delay_ms" && key != "hang" && key != "gpu_vendor" &&
        key != "gpu_device" && key != "write_gpuperf" && key != "write_result" &&
        key != "result_delay_ms" && key != "copy_config") {
        std::cerr << "game stand-in: unknown key: " << key << "\n";
        return true;
    }
    if (!isNumber)
        return false;
    if (key == "exit_code")
        behaviour.ExitCode = std::min(number, 255u);
    else if (key == "delay_ms")
        behaviour.DelayMs = number;
    else if (key == "hang")
        behaviour.Hang = number != 0;
    else if (key == "gpu_vendor")
        behaviour.GpuVendor = number;
    else if (key == "gpu_device")
        behaviour.GpuDevice = number;
    else if (key == "write_gpuperf")
        behaviour.WriteGpuPerf = number != 0;
    else if (key == "write_result")
        behaviour.WriteResult = number != 0;
    else if (key == "result_delay_ms")
        behaviour.ResultDelayMs = number;
    else
        behaviour.CopyConfig = number != 0;
    return true;
}

// The behaviour of the start-th start: the plain keys first, then the keys of that start.
Behaviour ReadBehaviour(unsigned start) {
    struct Line {
        std::string Key;
        std::string Value;
        std::string Text;
        bool ThisStart;
    };
    std::vector<Line> lines;
    std::ifstream file(kBehaviourFile, std::ios::binary);
    std::string text;
    while (std::getline(file, text)) {
        const std::string_view line = Trim(text);
        if (line.empty() || line[0] == '#')
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            std::cerr << "game stand-in: line ignored: " << text << "\n";
            continue;
        }
        std::string_view key = Trim(line.substr(0, equals));
        bool thisStart = false;
        if (const size_t dot = key.rfind('.'); dot != std::string_view::npos) {
            unsigned only = 0;
            if (!ParseNumber(key.substr(dot + 1), only) || key.substr(dot + 1).starts_with("0x")) {
                std::cerr << "game stand-in: line ignored: " << text << "\n";
                continue;
            }
            if (only != start)
                continue;
            key = key.substr(0, dot);
            thisStart = true;
        }
        lines.push_back(
            {std::string(key), std::string(Trim(line.substr(equals + 1))), text, thisStart});
    }
    Behaviour behaviour;
    bool warningsOfThisStart = false;
    for (const bool pass : {false, true}) {
        for (const Line& line : lines) {
            if (line.ThisStart == pass &&
                !Apply(line.Key, line.Value, behaviour, warningsOfThisStart, pass))
                std::cerr << "game stand-in: line ignored: " << line.Text << "\n";
        }
    }
    return behaviour;
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out + "\"";
}

// The number of starts the log holds.
unsigned CountStarts() {
    std::ifstream log(kLogFile, std::ios::binary);
    unsigned starts = 0;
    std::string line;
    while (std::getline(log, line))
        starts += line.starts_with("start ") ? 1 : 0;
    return starts;
}

void AppendLog(const std::string& line) {
    std::ofstream log(kLogFile, std::ios::app | std::ios::binary);
    log << line << "\n";
    if (!log)
        std::cerr << "game stand-in: cannot write " << kLogFile << "\n";
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
               return fold(x) == fold(y);
           });
}

// The entry of the folder named `name` ignoring ASCII case (exact spelling first), or the name as
// written when none is.
fs::path FindNoCase(const fs::path& folder, std::string_view name) {
    std::error_code error;
    if (fs::exists(folder / name, error))
        return folder / name;
    std::vector<std::string> matches;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string entryName = entry.path().filename().string();
        if (EqualsNoCase(entryName, name))
            matches.push_back(entryName);
    }
    if (matches.empty())
        return folder / name;
    return folder / *std::min_element(matches.begin(), matches.end());
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The vendor and device of a row as one sortable key; false for a line that is not a row.
bool RowKey(const std::string& row, unsigned long long& key) {
    std::istringstream tokens(row);
    std::string vendorText, deviceText;
    unsigned vendor = 0, device = 0;
    if (!(tokens >> vendorText >> deviceText))
        return false;
    const auto parse = [](const std::string& text, unsigned& out) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, 16);
        return error == std::errc() && end == text.data() + text.size();
    };
    if (!parse(vendorText, vendor) || !parse(deviceText, device))
        return false;
    key = (unsigned long long)vendor << 32 | device;
    return true;
}

bool HeaderIsTheTable(const std::vector<std::string>& lines) {
    if (lines.size() < 2 || Trim(lines[0]) != "1")
        return false;
    std::istringstream have(lines[1]), want(kTableHeader);
    std::string a, b;
    while (want >> b) {
        if (!(have >> a) || !EqualsNoCase(a, b))
            return false;
    }
    return true;
}

// Writes the bytes to the file through a temporary file in its folder and a rename; false (and a
// line on standard error) when it cannot.
bool WriteReplacing(const fs::path& target, const std::string& bytes) {
    std::error_code error;
    const fs::path temporary = target.string() + ".standin.tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << bytes;
        out.flush();
        if (!out) {
            std::cerr << "game stand-in: cannot write " << temporary << "\n";
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, target, error);
    if (error) {
        std::cerr << "game stand-in: cannot write " << target << ": " << error.message() << "\n";
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

// The data folder, found ignoring case and made when missing.
fs::path DataFolder() {
    std::error_code error;
    const fs::path data = FindNoCase(fs::current_path(error), "GameData");
    fs::create_directories(data, error);
    return data;
}

// Writes the GPU table with the configured row; false when it cannot.
bool WriteGpuTable(const Behaviour& behaviour) {
    const fs::path table = FindNoCase(DataFolder(), "GfxDevicePerfs.txt");

    std::vector<std::string> rows;
    {
        std::ifstream in(table, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        std::vector<std::string> lines = SplitLines(text);
        if (HeaderIsTheTable(lines))
            rows.assign(lines.begin() + 2, lines.end());
    }
    std::string row = HexId(behaviour.GpuVendor) + " " + HexId(behaviour.GpuDevice);
    for (const double score : behaviour.Scores)
        row += " " + Number(score);
    const unsigned long long key =
        (unsigned long long)behaviour.GpuVendor << 32 | behaviour.GpuDevice;
    auto at = rows.begin();
    for (; at != rows.end(); ++at) {
        unsigned long long other = 0;
        if (RowKey(*at, other) && other >= key)
            break;
    }
    unsigned long long found = 0;
    if (at != rows.end() && RowKey(*at, found) && found == key)
        *at = row;
    else
        rows.insert(at, row);

    std::string bytes = std::string("1\r\n") + kTableHeader + "\r\n";
    for (const std::string& line : rows)
        bytes += line + "\r\n";
    return WriteReplacing(table, bytes);
}

// The bench result's bytes.
std::optional<std::string> ResultBytes(const Behaviour& behaviour) {
    if (!behaviour.RawResult.empty()) {
        std::ifstream in(behaviour.RawResult, std::ios::binary);
        if (!in) {
            std::cerr << "game stand-in: cannot read " << behaviour.RawResult << "\n";
            return std::nullopt;
        }
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::string bytes = "// Bench results of the game stand-in (made up)\r\n";
    if (behaviour.Fps != "none")
        bytes += "// Average Fps\r\n" + behaviour.Fps + "\r\n";
    for (const std::string& warning : behaviour.Warnings)
        bytes += warning + "\r\n";
    return bytes;
}

bool WriteResult(const Behaviour& behaviour, const std::string& name) {
    const std::optional<std::string> bytes = ResultBytes(behaviour);
    if (!bytes)
        return false;
    std::error_code error;
    const fs::path folder = FindNoCase(DataFolder(), "Bench");
    fs::create_directories(folder, error);
    return WriteReplacing(folder / name, *bytes);
}

// The value of an argument "<option><value>", if the argument is one.
std::optional<std::string> ValueOf(std::string_view argument, std::string_view option) {
    if (!argument.starts_with(option))
        return std::nullopt;
    return std::string(argument.substr(option.size()));
}

} // namespace

int main(int argc, char** argv) {
    const unsigned start = CountStarts() + 1;
    const Behaviour behaviour = ReadBehaviour(start);

    std::error_code error;
    std::string line = "start " + Quoted(fs::current_path(error).string());
    bool gpuBench = false;
    bool bench = false;
    std::optional<std::string> config;
    std::optional<std::string> out;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        line += " " + Quoted(argument);
        if (argument == "/bench")
            gpuBench = true;
        else if (ValueOf(argument, "/bench=") || ValueOf(argument, "/list_benchs="))
            bench = true;
        else if (const auto value = ValueOf(argument, "/config="))
            config = value;
        else if (const auto value = ValueOf(argument, "/out="))
            out = value;
        else
            std::cerr << "game stand-in: option ignored: " << argument << "\n";
    }
    AppendLog(line);

    if (config) {
        const fs::path file = FindNoCase(fs::current_path(error), *config);
        const bool exists = fs::is_regular_file(file, error);
        AppendLog("config " + Quoted(*config) + " " +
                  (exists ? Number(unsigned(fs::file_size(file, error))) : "missing"));
        if (exists && behaviour.CopyConfig)
            fs::copy_file(file, "GameStandin-config-" + Number(start) + ".Zun",
                          fs::copy_options::overwrite_existing, error);
    }

    if (behaviour.DelayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(behaviour.DelayMs));
    if (gpuBench && behaviour.WriteGpuPerf)
        WriteGpuTable(behaviour);
    if (bench && behaviour.WriteResult) {
        if (!out || out->empty() || out->find('/') != std::string::npos) {
            std::cerr << "game stand-in: a bench needs /out= with a file name\n";
        } else if (behaviour.ResultDelayMs == 0) {
            WriteResult(behaviour, *out);
        } else if (fork() == 0) {
            // Left behind: writes the result once the program has ended.
            std::this_thread::sleep_for(std::chrono::milliseconds(behaviour.ResultDelayMs));
            _exit(WriteResult(behaviour, *out) ? 0 : 1);
        }
    }
    while (behaviour.Hang)
        std::this_thread::sleep_for(std::chrono::hours(1));
    AppendLog("end " + Number(behaviour.ExitCode));
    return int(behaviour.ExitCode);
}
