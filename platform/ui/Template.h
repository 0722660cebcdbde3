#pragma once
// Dialog templates as data, and the pictures the dialogs show.
//
// Every dialog is one constant table: the dialog record (template id, size in dialog units,
// style, caption) and its control records (id, kind, rectangle in dialog units, template text,
// flags). The launcher registers its tables at start-up; a dialog finds its table by template
// id when it opens. Both backends lay the controls out through DuToPixels, so they share one
// layout.
//
// Pictures are registered by resource id as the bytes of a BMP file; a picture control shown
// one takes the picture's size.
#include "platform/Types.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// A rectangle in pixels; Right and Bottom lie just outside it.
struct Rect {
    i32 Left = 0;
    i32 Top = 0;
    i32 Right = 0;
    i32 Bottom = 0;

    constexpr i32 Width() const { return Right - Left; }
    constexpr i32 Height() const { return Bottom - Top; }
    bool operator==(const Rect&) const = default;
};

enum class ControlKind : u8 {
    Button,      // push button
    DefButton,   // the dialog's default push button
    Check,       // check box
    Label,       // static text
    GroupBox,    // frame with a title
    Picture,     // static showing a registered picture
    ComboList,   // drop-down list
    Slider,      // track bar
    Progress,    // progress bar
    Edit,        // single-line edit
    EditMultiRO, // multi-line read-only edit
    IpAddress,   // four fields of 0 to 255
    Tab,         // tab control hosting pages
};

// The kind's name as the transcript writes it ("Button", "ComboList").
const char* ControlKindName(ControlKind kind);

// Dialog styles.
inline constexpr u32 StylePopup = 0x1;      // a top-level dialog
inline constexpr u32 StyleCaption = 0x2;    // with a title bar
inline constexpr u32 StyleSystemMenu = 0x4; // with a close box
inline constexpr u32 StyleChild = 0x8;      // a page placed in a host control of another dialog

// Control flags.
inline constexpr u32 FlagFlat = 0x1;     // flat push button
inline constexpr u32 FlagOwnText = 0x2;  // check box showing its own text beside the box
inline constexpr u32 FlagNumber = 0x4;   // edit whose keyboard takes digits only
inline constexpr u32 FlagReadOnly = 0x8; // edit the user cannot change
inline constexpr u32 FlagVScroll = 0x10; // edit with a vertical scroll bar

struct ControlTemplate {
    u32 Id = 0;
    ControlKind Kind = ControlKind::Label;
    i32 XDu = 0;
    i32 YDu = 0;
    i32 WDu = 0;
    i32 HDu = 0; // for a drop-down list: the height of its open list
    std::string_view Text = {};
    u32 Flags = 0;
};

struct DialogTemplate {
    u32 TemplateId = 0;
    i32 WidthDu = 0; // client area
    i32 HeightDu = 0;
    u32 Style = 0;
    std::string_view Caption = {};
    std::span<const ControlTemplate> Controls = {};
};

// Dialog units to pixels for the dialogs' font (8 point, 6 x 13 pixels per 4 x 8 units):
// x * 6 / 4 and y * 13 / 8, truncated, applied to the left, top, right and bottom edges.
constexpr Rect DuToPixels(i32 x, i32 y, i32 w, i32 h) {
    return {x * 6 / 4, y * 13 / 8, (x + w) * 6 / 4, (y + h) * 13 / 8};
}

// The height of a drop-down list's own box; its template height is the open list's.
inline constexpr i32 ComboLineHeight = 21;

// Registers a dialog table; the table must outlive its use (a constant table does). Registering
// the same table again is harmless. False, with a line on standard error, for a table whose id
// another table holds, a size that is not positive or two controls with one id.
bool RegisterTemplate(const DialogTemplate& dialogTemplate);
// The table of a template id, or null.
const DialogTemplate* FindTemplate(u32 templateId);

// Registers (or replaces) the picture of a resource id: the bytes of a BMP file, copied.
void RegisterPicture(u32 resourceId, std::span<const u8> bytes);
// The bytes registered for a resource id; empty when there are none.
std::span<const u8> FindPicture(u32 resourceId);

struct PictureSize {
    i32 Width = 0;
    i32 Height = 0;
};

// Reads the size from a BMP file's headers (the core and the Windows headers, bottom-up or
// top-down). Sizes up to 16384 pixels a side are accepted. False with the reason in problem for
// anything else.
bool ReadPictureSize(std::span<const u8> bytes, PictureSize& size, std::string& problem);

// A picture's pixels: rows top-down, three bytes (red, green, blue) per pixel.
struct PicturePixels {
    i32 Width = 0;
    i32 Height = 0;
    std::vector<u8> Rgb;
};

// Pictures of more pixels than this are not decoded.
inline constexpr i64 MaxPicturePixels = i64(4096) * 4096;

// Decodes an uncompressed BMP file (1, 4 or 8 bits with a palette; 16 bits as 5-5-5; 24 or 32
// bits), for a backend that shows pictures. False, with no pixels and the reason in problem,
// for anything else and for rows the bytes do not hold.
bool DecodePicture(std::span<const u8> bytes, PicturePixels& pixels, std::string& problem);

} // namespace ui
