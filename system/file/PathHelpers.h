#pragma once
// Functions on Windows-form paths held in wide strings: splitting a path into its parts, the
// archive-extension and suffix tests, normalisation of separators and invalid characters with
// resolution of ".\" and "..\" components, component iteration, and the recursive listing of
// files.
//
// Paths use the backslash as separator ('/' counts as one where said); a drive is a letter and a
// colon, and a path may begin with two backslashes. Every function works in storage of its own
// call, so an output may be the input string itself.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "platform/Types.h"

// Flags of NormalizePathFlags.
inline constexpr u32 kPathTrailingBackslash = 0x01; // end with '\'; a final '\' stays one
inline constexpr u32 kPathKeepSeparators = 0x02;    // else every '\' but a final one becomes '_'
inline constexpr u32 kPathKeepPrefix = 0x04;        // keep ':' and '\' of a drive or UNC start
inline constexpr u32 kPathKeepDotDotAbove = 0x08;   // keep ".." components above the start
inline constexpr u32 kPathKeepQuestionMark = 0x10;  // else '?' becomes '_'
inline constexpr u32 kPathKeepDoubleStart = 0x20;   // keep a doubled '\' at the very start
// The combinations in use: folder paths of the tree walks, file names and full paths, folder
// paths with a trailing backslash.
inline constexpr u32 kPathFlagsFolderWalk = 0x03;
inline constexpr u32 kPathFlagsFile = 0x16;
inline constexpr u32 kPathFlagsFolder = 0x17;

// Splits a path ('/' read as '\'): drive up to and including the first colon; folder from there
// up to and including the last backslash (or, without one, a further colon); name up to the
// first dot; extensions from that dot on; classExtension the text between the dot before a last
// extension ".Zun" (any case) and it. Null outputs are not produced; outputs are assigned.
void SplitPath(CClassicWideStringRef path, CClassicWideString* drive, CClassicWideString* folder,
               CClassicWideString* name, CClassicWideString* extensions,
               CClassicWideString* classExtension);

void GetDriveOfPath(CClassicWideStringRef path, CClassicWideString& out);
// Drive and folder.
void GetFolderOfPath(CClassicWideStringRef path, CClassicWideString& out);
// Name and extensions.
void GetFileNameOfPath(CClassicWideStringRef path, CClassicWideString& out);
// The name alone: no folder, nothing from the first dot on.
void GetBaseNameOfPath(CClassicWideStringRef path, CClassicWideString& out);
// Drive, folder and name: every extension removed.
void RemovePathExtensions(CClassicWideStringRef path, CClassicWideString& out);

// True when the path is longer than 4 characters and ends with ".Zun" in any ASCII case.
bool HasZunExtension(CClassicWideStringRef path);
// True when the ASCII suffix is strictly shorter than the path and equals its end with ASCII
// letters lowered; a path character of 128 or above in the compared part gives false.
bool PathEndsWith(CClassicWideStringRef path, const char* suffix);
// The path cut before its last dot when no backslash follows that dot; else the path.
void RemoveLastExtension(CClassicWideStringRef path, CClassicWideString& out);

// Normalises in place (see the flags); an empty path is left alone. Characters '"', '*', '<',
// '>', '|' (and ':' outside a kept prefix, '?' without its flag) become '_', doubled separators
// collapse, ".\" components are dropped and "..\" removes the component before it (with the
// trailing backslash, a final "." or ".." is a component too). Without kPathKeepPrefix every
// backslash the path begins with is dropped. A ".." that would climb above the start of a
// relative path is dropped, or kept with kPathKeepDotDotAbove; above a drive or root ("C:\",
// "\") it is always dropped. The components after it resolve from there. Normalising a second
// time changes nothing.
void NormalizePathFlags(CClassicWideString& path, u32 flags);
// NormalizePathFlags with kPathFlagsFolder when trailingBackslash is set, else kPathFlagsFile.
void NormalizeFilePath(CClassicWideString& path, bool trailingBackslash);
// out := path normalised with kPathFlagsFile; when it begins with base (ignoring ASCII case),
// base's length is removed from its front and the result is true.
bool MakeRelativePath(CClassicWideStringRef path, CClassicWideStringRef base,
                      CClassicWideString& out);

// From *position: when a backslash follows (at position 0 a leading pair is passed over), out
// gets the text up to and including it, *position moves past it and any backslashes after it,
// and the result is true; otherwise out gets the rest and the result is false.
bool NextPathComponent(CClassicWideStringRef path, CClassicWideString& out, u32* position);
// When a backslash follows the start (after a leading pair), out gets the text up to and
// including it and the backslashes right after it, and path keeps what follows the first of
// them; otherwise out is empty and path unchanged.
void TakeFirstComponent(CClassicWideString& path, CClassicWideString& out);
// Trailing backslashes ignored: out gets the last component and one backslash, and path ends
// with the backslash before it; a path with no other backslash goes whole to out.
void PopLastPathComponent(CClassicWideString& path, CClassicWideString& out);
// Appends the folder, and a backslash when it has none at its end.
void AppendFolderToPath(CClassicWideString& path, CClassicWideStringRef folder);
// Removes every '\' and '/' at the end.
void StripTrailingSlashes(CClassicWideString& path);

// Around a system call that wants a folder without its final backslash: when the path is longer
// than one character and ends with one, it becomes the NUL ending the text (the length stays)
// and hadBackslash is 1; otherwise a NUL character is appended and hadBackslash is 0.
void HideTrailingBackslash(CClassicWideString& path, u32* hadBackslash);
// Puts the backslash back, or removes the appended character.
void RestoreTrailingBackslash(CClassicWideString& path, u32 hadBackslash);

// Appends to out the files of folderPath matching the pattern, then those of every sub-folder,
// recursively, each as a path relative to folderPath. A folder reached a second time (through a
// link) is not listed again.
void ListFilesRecursive(CClassicWideStringRef folderPath, CFastBuffer<CClassicWideString>& out,
                        CClassicWideStringRef pattern);
