#pragma once
// Files and folders by their engine paths: existence, folder creation, deletion, copies, the
// read-only attribute, sizes, listings, replacing moves, the program's path and the current
// folder. Results are 1 (true) or 0 (false) unless said.
//
// Engine paths are Windows-form paths whose host root is the drive Z: (platform/HostPath.h); a
// component that does not exist as written is found ignoring ASCII case. The read-only attribute
// is the owner's write bit, checked before every write, deletion, replacing move and copy over a
// file.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "platform/Types.h"

// CreateFolderPath's results.
inline constexpr u32 kCreateFolderCreated = 0;
inline constexpr u32 kCreateFolderAlreadyThere = 1;
inline constexpr u32 kCreateFolderFailed = 2;

// True when the path exists and is not a folder.
bool FileExists(CClassicWideStringRef path);
// True when the path is an existing folder; a trailing backslash is hidden for the query.
bool FolderExists(CClassicWideStringRef path);
// Whether two paths equal ignoring ASCII case name one entry (file or folder). Each is found as
// every open finds it (the exact spelling first, then the first entry equal ignoring case): they
// name one entry when they find the same one, or when neither finds any. So case twins that both
// exist are two entries, and a spelling missing on disk is the twin an open would reach. Paths the
// host has no counterpart of name one entry.
bool PathsNameOneEntry(CClassicWideStringRef a, CClassicWideStringRef b);
// The read-only attribute: 1 when the owner's write bit is clear, and also for a path that
// cannot be read at all (its attributes read as all bits set). isAFile, when given, becomes 1
// for an existing path that is not a folder, else 0.
u32 IsFileReadOnly(CClassicWideStringRef path, u32* isAFile);
// Creates the folders of a path: every component that ends with a backslash after the first
// (the drive); the part after the last backslash is a file name and is not created.
// kCreateFolderCreated, kCreateFolderAlreadyThere or kCreateFolderFailed for the last folder
// handled (created also when there was nothing to create).
u32 CreateFolderPath(CClassicWideStringRef path);
// Deletes a file; with clearAttributes its read-only attribute is cleared first (otherwise a
// read-only file is not deleted).
bool RemoveFile(CClassicWideStringRef path, bool clearAttributes);
// Creates an empty file named by the first 3 characters of the prefix, 1 to 4 hex digits and
// ".tmp" in the folder; out gets folder + '\' + name and the result is 1, or out is empty and
// the result is 0.
bool MakeTempFileName(CClassicWideString& out, CClassicWideStringRef folder, const char* prefix);
// Copies the file's bytes, permissions (the read-only attribute too) and modification time; over
// an existing target unless failIfExists. Fails over a read-only target. The copy replaces the
// target in one step, so a failure leaves the target as it was.
bool CopyFileTo(CClassicWideStringRef source, CClassicWideStringRef target, bool failIfExists);
// Writes the attributes back without the read-only bit; false when they cannot be read or
// written.
bool ClearReadOnlyAttribute(CClassicWideStringRef path);
// The same with the read-only bit set.
bool SetReadOnlyAttribute(CClassicWideStringRef path);
// Moves a file over another in one step; with plain the target must not exist. Fails over a
// read-only target and, without plain, across file systems.
bool MoveFileReplacing(CClassicWideStringRef source, CClassicWideStringRef target, bool plain);
// The size of the file, 0 when it cannot be opened.
u64 GetPathFileSize(CClassicWideStringRef path);

// Fill `out` (emptied first) with the names of the entries of the folder of folder + pattern
// that match the pattern's last component: sub-folders only ("." and ".." left out), or regular
// files only. Names come sorted ignoring ASCII case, then by bytes. See MatchesFilePattern.
void ListSubFolderNames(CClassicWideStringRef folder, CFastBuffer<CClassicWideString>& out,
                        CClassicWideStringRef pattern);
void ListFileNames(CClassicWideStringRef folder, CFastBuffer<CClassicWideString>& out,
                   CClassicWideStringRef pattern);
// Both in one search: the files and the sub-folders that match.
void ListFolderNames(CClassicWideStringRef folder, CFastBuffer<CClassicWideString>& files,
                     CFastBuffer<CClassicWideString>& folders, CClassicWideStringRef pattern);
// The listing pattern: '*' any run of characters, '?' any one character, letters compared
// ignoring ASCII case; "*" and "*.*" match every name, and a pattern ending with ".*" also
// matches the name without that extension ("base.*" matches "base").
bool MatchesFilePattern(CClassicWideStringRef name, CClassicWideStringRef pattern);

// The first token of a command line: leading blanks and tabs skipped; a token that begins with
// a double quote runs to the next one (quotes removed), otherwise to the next blank.
void GetFirstCommandLineToken(CClassicWideStringRef commandLine, CClassicWideString& out);
// The program's path: the first token of the process's command line.
void GetProgramPath(CClassicWideString& out);
// The current folder, without a trailing backslash unless it is the root ("Z:\"); empty when it
// cannot be read.
void GetCurrentFolder(CClassicWideString& out);

// The start-up check of the wide-text layer: nonzero, or the process ends with code 1 after
// "Unicode support unavailable.\nCouldn't load 'unicows.dll'." on the standard error.
i32 CheckUnicodeLayer();
