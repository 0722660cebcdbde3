#pragma once
// The bench dialog behind the configuration dialog's Bench button. It measures the graphics card
// by starting the game program in its bench mode, once per configuration to bench, and reads back
// the frame rate from the result file the game writes for each run: the current configuration
// alone, or six configurations one after the other, each prepared and saved by the dialog as
// "Bench.SystemConfig.Zun" beside the launcher. The game plays the replay
// "GameData\Tracks\Replays\Bench.Replay.Zun", or the benches a list file "BenchList.txt" beside
// the launcher names. At the end the player is told the frame rate of the configuration that
// matches the card.
//
// A 50 ms timer starts each run and polls the game; only one game runs at a time.
#include "core/base/ClassicString.h"
#include "platform/Process.h"
#include "platform/Types.h"
#include "platform/ui/Dialog.h"

#include <span>
#include <string>

class CSystemConfig;

// Template and control ids.
inline constexpr u32 kBenchDlgTemplateId = 150;
inline constexpr u32 kBenchDlgOutputId = 1098;
inline constexpr u32 kBenchDlgConfigListId = 1102;
inline constexpr u32 kBenchDlgConfigLabelId = 1104;

// The timer that starts and polls the runs.
inline constexpr u32 kBenchDlgTimerId = 1;
inline constexpr u32 kBenchDlgTimerPeriodMs = 50;

// The result file: at most its first bytes are read, and the wait for it is a number of checks
// a few milliseconds apart.
inline constexpr u32 kBenchResultReadLimit = 4096;
inline constexpr u32 kBenchResultChecks = 100;
inline constexpr u32 kBenchResultCheckPeriodMs = 5;

// Registers the dialog's template with the dialog layer.
void RegisterBenchDlgResources();

// One configuration to bench: the preset it applies (6: none, the current configuration for
// entry 0 and the automatic settings for entry 5) and its name, a translation key.
struct SBenchConfig {
    u32 Preset;
    const char* Name;
};
inline constexpr u32 kBenchConfigCount = 6;
// The preset value that stands for no preset.
inline constexpr u32 kBenchNoPreset = 6;
// Process-wide, as the dialog keeps it: each construction names the entries with a preset after
// the preset's value name.
extern SBenchConfig g_BenchConfigs[kBenchConfigCount];

// The result file's name of an entry: "Bench_", the name without its context ("|Config|" or
// "|DisplayPreset|"), ".txt".
CClassicString BenchResultFileName(const SBenchConfig& config);
// The game's arguments for an entry: "/bench=Bench.Replay.Zun", or in list mode
// "/list_benchs=BenchList.txt"; " /config=Bench.SystemConfig.Zun" for every entry but the first;
// then " /out=" and the result file's name.
CClassicString BenchCommandLine(u32 index, bool listMode);

// What a result file says.
struct SBenchResult {
    f32 Fps = 0; // 0 when the file holds no frame rate
    bool FilteringForced = false;
    bool AntialiasingForced = false;
};

// Reads a result file's bytes (all of them; the caller cuts the file to its first 4096 bytes).
// Lines end at CR or LF and empty lines are skipped. A line equal to "// Average Fps" (ASCII case
// ignored) makes the next line the frame rate, read as a real with blanks ignored (ParseFloat);
// that line is nothing else. A rate line that is not a finite number leaves the rate as it was.
// A line whose first 10 characters are "// WARNING" and that contains "driver" sets the filtering
// flag when it also contains "filter" and the antialiasing flag when it contains "alias" (all
// ignoring ASCII case). NUL bytes are ordinary bytes.
SBenchResult ParseBenchResult(std::span<const u8> bytes);

class CBenchDlg : public ui::Dialog {
public:
    // Builds the paths from theApp's install folder; the bench configuration starts with its
    // defaults, 800 x 600 and full screen.
    CBenchDlg();
    ~CBenchDlg() override;
    CBenchDlg(const CBenchDlg&) = delete;
    CBenchDlg& operator=(const CBenchDlg&) = delete;

    // The frame rate measured for an entry, 0 when none.
    f32 Result(u32 index) const { return m_Results[index]; }
    const CSystemConfig& BenchConfig() const { return *m_BenchConfig; }

protected:
    bool OnInitDialog() override;
    // Run; once the series is done, the end of the dialog.
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(u32 id) override;
    void OnDestroy() override;
    void DoDataExchange(ui::DataExchange& dx) override;

private:
    void OnRun();
    // Writes the outcome of a run to the output; with success, reads its result file.
    bool ReadBenchResult(bool success);
    bool IsBenchConfigSupported() const;
    // The next run of the series: announced, prepared and started.
    void StartNextRun();
    // Prepares the bench configuration for the current entry and saves it; false when it cannot
    // be saved.
    bool PrepareBenchConfig();
    // The current entry's result file under "GameData\\Bench\\".
    CClassicWideString ResultPath() const;
    // Removes a result file an earlier run left, so that a run whose game writes none reads no
    // rate; false (and a log line) when it stays.
    bool RemoveEarlierResult() const;
    // The series is done: OK enabled, Cancel disabled and, with the replay, the result told.
    void EndSeries();
    void Append(CClassicWideStringRef text);

    CClassicWideString m_Output;
    CClassicWideString m_LabelText;
    u32 m_TimerId = 0;
    platform::Process m_Game;
    CSystemConfig* m_BenchConfig = nullptr;
    u32 m_Index = 0;
    u32 m_EndIndex = 0;
    bool m_ListMode = false;
    CClassicWideString m_BenchConfigPath;
    CClassicWideString m_ReplayName;
    CClassicWideString m_ReplayPath;
    CClassicWideString m_ListName;
    CClassicWideString m_ListPath;
    CClassicString m_ResultFileName;
    f32 m_Results[kBenchConfigCount] = {};
};
