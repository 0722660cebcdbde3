#pragma once
// The open-file dialog: the user picks one existing file of the kinds the filter names.
//
// The answer is a host path (UTF-8), or nothing when the user cancelled or the dialog failed.
// A name typed without extension gets the default extension. The patterns choose the files the
// list shows; a name typed by the user is taken even when they do not list it. A name holding
// '*' or '?' is refused (the dialog stays open; on the platform it filters the list), as is a
// missing file or folder when the flags ask for it to exist. A path longer than 259 characters in
// its engine form (the drive "Z:" before it, counted in UTF-16 units) fails the dialog, as the
// 260-character buffer of the platform's dialog did.
#include "platform/Types.h"

#include <optional>
#include <string>
#include <string_view>

namespace ui {

class Dialog;

inline constexpr u32 OFN_HIDEREADONLY = 0x4;
inline constexpr u32 OFN_PATHMUSTEXIST = 0x800;
inline constexpr u32 OFN_FILEMUSTEXIST = 0x1000;

struct OpenFileSpec {
    std::string Title;
    std::string FilterDescription; // "images files (*.tga,*.jpg)"
    std::string Patterns;          // ";"-joined: "*.tga;*.jpg"
    std::string DefaultExtension;  // without the dot: "jpg"
    std::string InitialFolder;     // host path; relative names typed are taken from here
    u32 Flags = 0;                 // OFN_ values
};

std::optional<std::string> OpenFileDialog(const Dialog* owner, const OpenFileSpec& spec);

// Whether a file name matches one of the ";"-joined patterns ('*' any run, '?' one character,
// ASCII letters without regard to case; "*.*" matches every name). An empty list matches all.
bool MatchesPatterns(std::string_view name, std::string_view patterns);

} // namespace ui
