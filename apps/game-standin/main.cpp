// Stands in for the game program, which is not part of this system: tests and the demo install
// copy it into an install folder as "Brisalde" and the launcher starts it.
//
// It reads its behaviour from "GameStandin.txt" in its working folder, one "key = value" per
// line (blank lines and lines starting with '#' are skipped; a missing file keeps every
// default):
//   exit_code = 0          the exit status (0 to 255)
//   delay_ms = 0           milliseconds to wait before ending
//   hang = 0               1: never end (until killed)
//   gpu_vendor = 0x10DE    the adapter's ids for the GPU table row (hexadecimal after "0x",
//   gpu_device = 0x0322    else decimal)
//   write_gpuperf = 1      0: "/bench" leaves the GPU table alone
//
// Each start appends to "GameStandin.log" in its working folder the line
//   start "<working folder>" "<argument 1>" "<argument 2>" ...
// (backslash, double quote, CR, LF and tab escaped as \\ \" \r \n \t), and each end that is not a
// hang the line "end <exit status>".
//
// With the argument "/bench" it writes or updates "GameData/GfxDevicePerfs.txt": the table's two
// header lines and a row of scores for the configured vendor and device, the rows kept sorted by
// vendor and device and a row with the same ids replaced.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kBehaviourFile = "GameStandin.txt";
constexpr const char* kLogFile = "GameStandin.log";
constexpr const char* kTableHeader =
    "Vendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 PArith20";
constexpr const char* kRowScores = "100 400 380 340 280 220 300 420 260";

struct Behaviour {
    unsigned ExitCode = 0;
    unsigned DelayMs = 0;
    bool Hang = false;
    unsigned GpuVendor = 0;
    unsigned GpuDevice = 0;
    bool WriteGpuPerf = true;
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

Behaviour ReadBehaviour() {
    Behaviour behaviour;
    std::ifstream file(kBehaviourFile);
    std::string line;
    while (std::getline(file, line)) {
        const std::string_view text = Trim(line);
        if (text.empty() || text[0] == '#')
            continue;
        const size_t equals = text.find('=');
        unsigned value = 0;
        if (equals == std::string_view::npos ||
            !ParseNumber(Trim(text.substr(equals + 1)), value)) {
            std::cerr << "game stand-in: line ignored: " << line << "\n";
            continue;
        }
        const std::string_view key = Trim(text.substr(0, equals));
        if (key == "exit_code")
            behaviour.ExitCode = std::min(value, 255u);
        else if (key == "delay_ms")
            behaviour.DelayMs = value;
        else if (key == "hang")
            behaviour.Hang = value != 0;
        else if (key == "gpu_vendor")
            behaviour.GpuVendor = value;
        else if (key == "gpu_device")
            behaviour.GpuDevice = value;
        else if (key == "write_gpuperf")
            behaviour.WriteGpuPerf = value != 0;
        else
            std::cerr << "game stand-in: unknown key: " << key << "\n";
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

// Writes the GPU table with the configured row; false (and a line on standard error) when it
// cannot.
bool WriteGpuTable(const Behaviour& behaviour) {
    std::error_code error;
    const fs::path data = FindNoCase(fs::current_path(error), "GameData");
    fs::create_directories(data, error);
    const fs::path table = FindNoCase(data, "GfxDevicePerfs.txt");

    std::vector<std::string> rows;
    {
        std::ifstream in(table, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        std::vector<std::string> lines = SplitLines(text);
        if (HeaderIsTheTable(lines))
            rows.assign(lines.begin() + 2, lines.end());
    }
    char ids[32];
    std::snprintf(ids, sizeof ids, "%04X %04X ", behaviour.GpuVendor, behaviour.GpuDevice);
    const std::string row = std::string(ids) + kRowScores;
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

    const fs::path temporary = table.string() + ".standin.tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << "1\r\n" << kTableHeader << "\r\n";
        for (const std::string& line : rows)
            out << line << "\r\n";
        out.flush();
        if (!out) {
            std::cerr << "game stand-in: cannot write " << temporary << "\n";
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, table, error);
    if (error) {
        std::cerr << "game stand-in: cannot write " << table << ": " << error.message() << "\n";
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const Behaviour behaviour = ReadBehaviour();

    std::error_code error;
    std::string line = "start " + Quoted(fs::current_path(error).string());
    bool bench = false;
    for (int i = 1; i < argc; ++i) {
        line += " " + Quoted(argv[i]);
        bench = bench || std::string_view(argv[i]) == "/bench";
    }
    AppendLog(line);

    if (bench && behaviour.WriteGpuPerf)
        WriteGpuTable(behaviour);
    if (behaviour.DelayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(behaviour.DelayMs));
    while (behaviour.Hang)
        std::this_thread::sleep_for(std::chrono::hours(1));
    AppendLog("end " + std::to_string(behaviour.ExitCode));
    return int(behaviour.ExitCode);
}
