#include "system/config/GpuPerf.h"

#include "core/base/ClassicLog.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/FileSystem.h"

constinit GpuPerf g_GpuPerf;

namespace {

constinit GpuPerfDataFolderSource s_DataFolderSource = nullptr;

constexpr const char* kColumnNames[] = {"Vendor",   "Device",  "Geom",    "Aniso1",
                                        "Aniso2",   "Aniso4",  "Aniso8",  "Aniso16",
                                        "PArith11", "PTexD11", "PArith20"};
constexpr u32 kScoreCount = 9;

// Row separators: runs of blanks, tabs, CR and LF.
constexpr char kRowSeparators[] = " \t\r\n";

// "[Sys] GPU table <path> refused: <reason>".
void LogRefusal(CClassicWideStringRef path, const char* reason) {
    CClassicString name;
    name.AssignWide(path);
    ClassicLogFormatLine("[Sys] GPU table %s refused: %s", name.GetText(), reason);
}

// The scores of a row in file order, stored in the record's fields.
void StoreScores(const f32 (&scores)[kScoreCount], GpuPerf& perf) {
    perf.Geom = scores[0];
    perf.Aniso1 = scores[1];
    perf.Aniso2 = scores[2];
    perf.Aniso4 = scores[3];
    perf.Aniso8 = scores[4];
    perf.Aniso16 = scores[5];
    perf.PArith11 = scores[6];
    perf.PTexD11 = scores[7];
    perf.PArith20 = scores[8];
}

} // namespace

GpuPerfDataFolderSource SetGpuPerfDataFolderSource(GpuPerfDataFolderSource source) {
    const GpuPerfDataFolderSource old = s_DataFolderSource;
    s_DataFolderSource = source;
    return old;
}

bool ReadHexToken(CClassicTokenizer& tokenizer, const CClassicString& row, u32& out) {
    if (!row.NextToken(tokenizer))
        return false;
    i32 value = 0;
    if (!tokenizer.m_Token.ParseInteger(value, true))
        return false;
    out = static_cast<u32>(value);
    return true;
}

bool ReadFloatToken(CClassicTokenizer& tokenizer, const CClassicString& row, f32& out) {
    return row.NextToken(tokenizer) && tokenizer.m_Token.ParseFloat(out);
}

bool CheckGfxDevicePerfsHeader(const CClassicString& text, CClassicTokenizer& lines,
                               CClassicWideStringRef path) {
    i32 version = 0;
    if (!text.NextToken(lines) || !lines.m_Token.ParseInteger(version) || version != 1) {
        LogRefusal(path, "line 1 is not the version 1");
        return false;
    }
    if (!text.NextToken(lines)) {
        LogRefusal(path, "it has no column names");
        return false;
    }
    CClassicTokenizer columns(kRowSeparators, true);
    for (const char* expected : kColumnNames) {
        if (!lines.m_Token.NextToken(columns) || columns.m_Token.CompareNoCase(expected) != 0) {
            CClassicString reason;
            reason.Format("line 2 lacks the column \"%s\" in its place", expected);
            LogRefusal(path, reason.GetText());
            return false;
        }
    }
    return true;
}

bool ReadGfxDevicePerfsHeader(CClassicString& text, CClassicTokenizer& lines,
                              CClassicWideString& path) {
    if (path.IsEmpty()) {
        CClassicWideString folder;
        if (!s_DataFolderSource || !s_DataFolderSource(folder))
            return false;
        path = folder;
        path.Append(kGfxDevicePerfsName);
    }
    if (!FileExists(path))
        return false;
    CClassicBufferFile file;
    if (!file.Open(path, false, false, false, false)) {
        LogRefusal(path, "it cannot be opened");
        return false;
    }
    const u64 size = GetPathFileSize(path);
    if (size < kGfxDevicePerfsMinSize) {
        LogRefusal(path, "it is shorter than 5 bytes");
        return false;
    }
    if (size > kGfxDevicePerfsMaxSize) {
        LogRefusal(path, "it is larger than 16 MB");
        return false;
    }
    text.SetLength(u32(size));
    if (file.Read(text.GetText(), u32(size)) != size) {
        LogRefusal(path, "it cannot be read whole");
        return false;
    }
    lines.m_TokenCount = 0;
    return CheckGfxDevicePerfsHeader(text, lines, path);
}

bool ReadGpuPerfRows(const CClassicString& text, CClassicTokenizer& lines,
                     CClassicWideStringRef path, const GpuInfo& gpu, GpuPerf& perf) {
    perf.Flags &= ~kGpuPerfReadClears;
    const auto refuseRow = [&](u32 row, const char* what) {
        CClassicString reason;
        reason.Format("row %u: %s does not parse", row, what);
        LogRefusal(path, reason.GetText());
        return false;
    };
    for (u32 row = 1; text.NextToken(lines); ++row) {
        const CClassicString& line = lines.m_Token;
        CClassicTokenizer tokens(kRowSeparators, true);
        u32 vendor = 0, device = 0;
        if (!ReadHexToken(tokens, line, vendor))
            return refuseRow(row, "the vendor id");
        if (vendor < gpu.VendorId)
            continue;
        if (vendor > gpu.VendorId)
            return false;
        if (!ReadHexToken(tokens, line, device))
            return refuseRow(row, "the device id");
        if (device < gpu.DeviceId)
            continue;
        if (device > gpu.DeviceId)
            return false;
        // The row is read whole before anything is stored.
        f32 scores[kScoreCount];
        for (u32 i = 0; i < kScoreCount; ++i) {
            if (!ReadFloatToken(tokens, line, scores[i]))
                return refuseRow(row, kColumnNames[2 + i]);
        }
        StoreScores(scores, perf);
        perf.Flags |= kGpuPerfFound;
        g_ClassicLogLine.Assign("[Sys] GpuPerf found in ");
        ClassicLogAppendWideText(g_ClassicLogLine, path);
        g_ClassicLogLine.Append("\r\n");
        ClassicLogWriteLineToFiles();
        return true;
    }
    return false;
}

bool ReadGpuPerfTable(CClassicWideStringRef path, const GpuInfo& gpu, GpuPerf& perf) {
    if (gpu.VendorId == 0 || gpu.DeviceId == 0)
        return false;
    if (gpu.PixelShaderClass == 0) {
        StoreScores({}, perf);
        perf.Flags = (perf.Flags & ~kGpuPerfReadClears) | kGpuPerfFound;
        return true;
    }
    CClassicTokenizer lines("\r\n", true);
    CClassicString text;
    CClassicWideString tablePath(path);
    if (!ReadGfxDevicePerfsHeader(text, lines, tablePath))
        return false;
    return ReadGpuPerfRows(text, lines, tablePath, gpu, perf);
}

bool ReadGpuPerfTable(CClassicWideStringRef path) {
    return ReadGpuPerfTable(path, g_GpuInfo, g_GpuPerf);
}
