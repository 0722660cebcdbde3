#pragma once
// The GPU performance table: "GfxDevicePerfs.txt" in the data folder holds measured scores per
// graphics adapter (vendor id and device id). The row of the adapter described in g_GpuInfo is
// kept in the process-wide record g_GpuPerf, whose scores drive the quality presets and the
// automatic display settings.
//
// The table is 8-bit text. Lines are separated by CR and LF (runs of them count as one, so empty
// lines are skipped). Line 1 is the format version, 1. Line 2 names the columns, separated by
// runs of blanks, tabs, CR or LF, compared ignoring ASCII case, exactly these first eleven:
//   Vendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 PArith20
// Every further line is a row: vendor id and device id in hexadecimal without prefix, then the
// nine scores as decimal reals in the column order; further tokens are ignored. Rows are sorted by
// vendor id, then device id, both ascending: the search stops at the first row past the adapter.
#include "core/base/ClassicString.h"
#include "core/base/ClassicTokenizer.h"
#include "platform/Types.h"
#include "system/config/GpuInfo.h"

// Flags of GpuPerf: bit 0 says the record holds the adapter's scores. Reading a table clears
// bits 0 to 2; bit 2 marks a record that is not to be reported, set by no code here.
inline constexpr u32 kGpuPerfFound = 0x1;
inline constexpr u32 kGpuPerfReadClears = 0x7;

struct GpuPerf {
    f32 Geom = 0;
    f32 PArith11 = 0;
    f32 PArith20 = 0;
    f32 PTexD11 = 0;
    f32 Aniso1 = 0;
    f32 Aniso2 = 0;
    f32 Aniso4 = 0;
    f32 Aniso8 = 0;
    f32 Aniso16 = 0;
    u32 Flags = 0;

    bool IsFound() const { return (Flags & kGpuPerfFound) != 0; }
};

// The scores of the current adapter: all zero until a table is read.
extern constinit GpuPerf g_GpuPerf;

// The table's name in the data folder.
inline constexpr char16_t kGfxDevicePerfsName[] = u"GfxDevicePerfs.txt";
// A file of this size or less is no table.
inline constexpr u32 kGfxDevicePerfsMinSize = 5;
// The largest table read (the shipped one is a few kilobytes); a larger file is refused.
inline constexpr u32 kGfxDevicePerfsMaxSize = 0x1000000;

// Where an empty table path leads: the data folder's full path, ending with a backslash. The
// System engine installs the source that answers its data folder; without a source, or when the
// source answers false, there is no data folder and the default table cannot be read.
using GpuPerfDataFolderSource = bool (*)(CClassicWideString& fullPath);
// Returns the source replaced.
GpuPerfDataFolderSource SetGpuPerfDataFolderSource(GpuPerfDataFolderSource source);

// The next token of the row, parsed as an unsigned hexadecimal number (ParseInteger); false when
// there is no token or it does not parse.
bool ReadHexToken(CClassicTokenizer& tokenizer, const CClassicString& row, u32& out);
// The next token of the row, parsed as a real (ParseFloat); false when there is no token or it
// does not parse.
bool ReadFloatToken(CClassicTokenizer& tokenizer, const CClassicString& row, f32& out);

// Opens the table, reads it whole into `text` and checks lines 1 and 2 through `lines` (a
// tokenizer over CR and LF whose runs collapse; it is left after line 2). An empty path first
// becomes the data folder's full path + "GfxDevicePerfs.txt" (the argument is changed). A missing
// file fails quietly; a table refused is reported in the log.
bool ReadGfxDevicePerfsHeader(CClassicString& text, CClassicTokenizer& lines,
                              CClassicWideString& path);

// Checks lines 1 and 2 of a table's text through `lines`; `path` names the table in the log line
// of a refusal.
bool CheckGfxDevicePerfsHeader(const CClassicString& text, CClassicTokenizer& lines,
                               CClassicWideStringRef path);

// The rows of a table whose header `lines` has just passed: clears the flags' bits 0 to 2, then
// searches the adapter's row and, when it is complete, stores its scores and sets the found bit.
// `path` goes into the log lines.
bool ReadGpuPerfRows(const CClassicString& text, CClassicTokenizer& lines,
                     CClassicWideStringRef path, const GpuInfo& gpu, GpuPerf& perf);

// Fills g_GpuPerf for the adapter of g_GpuInfo from the table at `path` (empty: the data folder's
// table). True when the record is found:
// - an adapter whose vendor or device id is 0 never gets a record (false, g_GpuPerf untouched);
// - an adapter of pixel-shader class 0 gets a found record of zeros without any file;
// - a table whose header is refused leaves g_GpuPerf untouched; once the header is accepted the
//   flags' bits 0 to 2 are cleared, and only a complete row sets the scores and the found bit,
//   so a damaged row never leaves part of its scores in the record;
// - a found row writes "[Sys] GpuPerf found in <path>" to the log's secondary and file sinks.
bool ReadGpuPerfTable(CClassicWideStringRef path);
// The same for any adapter and record (ReadGpuPerfTable passes the process-wide ones).
bool ReadGpuPerfTable(CClassicWideStringRef path, const GpuInfo& gpu, GpuPerf& perf);
