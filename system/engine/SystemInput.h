#pragma once
// The input nods: reflected views of the window, the mouse and the keyboard for scripts and other
// nods. Each mirrors a state record that the platform's input layer fills (the records below,
// reached through m_Source) and turns it, once per frame, into members with edge information:
// changed, pressed or released this frame. A nod without a record does nothing. They are made by
// class id only and nothing in this system fills a record, so here they stay idle; the System
// engine calls Update on those in its nod lists every frame.
#include "core/base/ClassicString.h"
#include "core/nod/MwNod.h"
#include "platform/Types.h"

// The common base of the input nods.
class CNodSystem : public CMwNod {
    MW_DECLARE_CLASS(CNodSystem, CMwNod, 0x0B007000)
public:
    // The per-frame update; nothing here.
    virtual void Update() {}
};

// The window's state as the platform keeps it. The window nod clears the two changed flags when
// it has taken them.
struct SSystemWindowState {
    u32 SizeX = 0;
    u32 SizeY = 0;
    u32 PosX = 0;
    u32 PosY = 0;
    u32 HasSizeChanged = 0;
    u32 HasPosChanged = 0;
    // Further words of the record, mirrored as they are.
    u32 Words[3] = {};
};

class CSystemWindow : public CNodSystem {
    MW_DECLARE_CLASS(CSystemWindow, CNodSystem, 0x0B003000)
public:
    // What Ratio becomes for a window without height.
    static constexpr f32 s_NoHeightRatio = 0.12345679f;

    // The changed flags and the further words are taken every frame; the sizes, the position
    // and the ratio only in a frame with a change.
    void Update() override;

    SSystemWindowState* m_Source = nullptr;
    u32 m_SizeX = 0;
    u32 m_SizeY = 0;
    u32 m_PosX = 0;
    u32 m_PosY = 0;
    f32 m_Ratio = 0;
    u32 m_HasSizeChanged = 0;
    u32 m_HasPosChanged = 0;
    CClassicWideString m_StatusString;
    u32 m_SourceWords[3] = {};
};

// Mouse buttons in the masks.
inline constexpr u32 kSystemMouseLeft = 0x1;
inline constexpr u32 kSystemMouseMiddle = 0x2;
inline constexpr u32 kSystemMouseRight = 0x4;

// The mouse's state as the platform keeps it. The mouse nod takes the wheel movement and the
// second mask and clears them in the record.
struct SSystemMouseState {
    f32 X = 0;
    f32 Y = 0;
    // The wheel movement since the last update.
    f32 Wheel = 0;
    u32 Buttons = 0;
    // A second mask of the same buttons.
    u32 SecondButtons = 0;
    // A further word of the record, mirrored as it is.
    u32 Word = 0;
};

class CSystemMouse : public CNodSystem {
    MW_DECLARE_CLASS(CSystemMouse, CNodSystem, 0x0B001000)
public:
    // The movement since the last frame, the coordinates, the wheel (DeltaWheel this frame's
    // movement, added to TotalWheel), the buttons held and those released this frame.
    void Update() override;

    SSystemMouseState* m_Source = nullptr;
    u32 m_SourceWord = 0;
    // The movement of the coordinates during the last frame; not members.
    f32 m_DeltaX = 0;
    f32 m_DeltaY = 0;
    f32 m_CoordX = 0;
    f32 m_CoordY = 0;
    f32 m_DeltaWheel = 0;
    f32 m_TotalWheel = 0;
    u32 m_Buttons = 0;
    u32 m_SecondButtons = 0;
    u32 m_IsDownLeft = 0;
    u32 m_IsDownMiddle = 0;
    u32 m_IsDownRight = 0;
    u32 m_IsReleasedLeft = 0;
    u32 m_IsReleasedMiddle = 0;
    u32 m_IsReleasedRight = 0;
    u32 m_IsSecondLeft = 0;
    u32 m_IsSecondMiddle = 0;
    u32 m_IsSecondRight = 0;
};

// The keyboard's keys, in member order: KEY_ROW(KEY_PASS, name, member id of IsDown<name>,
// member id of IsStroke<name>). KEY_PASS is handed through for the member rows. (The parameters
// have long names: the keys K and X would stand for them.)
#define SYSTEM_KEYBOARD_KEYS(KEY_ROW, KEY_PASS)                                                    \
    KEY_ROW(KEY_PASS, Enter, 0x0B002000, 0x0B002001)                                               \
    KEY_ROW(KEY_PASS, Space, 0x0B002002, 0x0B002003)                                               \
    KEY_ROW(KEY_PASS, Shift, 0x0B002004, 0x0B002005)                                               \
    KEY_ROW(KEY_PASS, Escape, 0x0B002006, 0x0B002007)                                              \
    KEY_ROW(KEY_PASS, Up, 0x0B002008, 0x0B002009)                                                  \
    KEY_ROW(KEY_PASS, Right, 0x0B00200A, 0x0B00200B)                                               \
    KEY_ROW(KEY_PASS, Left, 0x0B00200C, 0x0B00200D)                                                \
    KEY_ROW(KEY_PASS, Down, 0x0B00200E, 0x0B00200F)                                                \
    KEY_ROW(KEY_PASS, Control, 0x0B002010, 0x0B002011)                                             \
    KEY_ROW(KEY_PASS, Alt, 0x0B002012, 0x0B002013)                                                 \
    KEY_ROW(KEY_PASS, PageUp, 0x0B002014, 0x0B002015)                                              \
    KEY_ROW(KEY_PASS, PageDown, 0x0B002016, 0x0B002017)                                            \
    KEY_ROW(KEY_PASS, Tab, 0x0B002018, 0x0B002019)                                                 \
    KEY_ROW(KEY_PASS, Numpad0, 0x0B00201A, 0x0B00201B)                                             \
    KEY_ROW(KEY_PASS, Numpad1, 0x0B00201C, 0x0B00201D)                                             \
    KEY_ROW(KEY_PASS, Numpad2, 0x0B00201E, 0x0B00201F)                                             \
    KEY_ROW(KEY_PASS, Numpad3, 0x0B002020, 0x0B002021)                                             \
    KEY_ROW(KEY_PASS, Numpad4, 0x0B002022, 0x0B002023)                                             \
    KEY_ROW(KEY_PASS, Numpad5, 0x0B002024, 0x0B002025)                                             \
    KEY_ROW(KEY_PASS, Numpad6, 0x0B002026, 0x0B002027)                                             \
    KEY_ROW(KEY_PASS, Numpad7, 0x0B002028, 0x0B002029)                                             \
    KEY_ROW(KEY_PASS, Numpad8, 0x0B00202A, 0x0B00202B)                                             \
    KEY_ROW(KEY_PASS, Numpad9, 0x0B00202C, 0x0B00202D)                                             \
    KEY_ROW(KEY_PASS, Add, 0x0B00202E, 0x0B00202F)                                                 \
    KEY_ROW(KEY_PASS, Sub, 0x0B002030, 0x0B002031)                                                 \
    KEY_ROW(KEY_PASS, Mul, 0x0B002032, 0x0B002033)                                                 \
    KEY_ROW(KEY_PASS, Div, 0x0B002034, 0x0B002035)                                                 \
    KEY_ROW(KEY_PASS, Decimal, 0x0B002036, 0x0B002037)                                             \
    KEY_ROW(KEY_PASS, A, 0x0B002038, 0x0B002039)                                                   \
    KEY_ROW(KEY_PASS, B, 0x0B00203A, 0x0B00203B)                                                   \
    KEY_ROW(KEY_PASS, C, 0x0B00203C, 0x0B00203D)                                                   \
    KEY_ROW(KEY_PASS, D, 0x0B00203E, 0x0B00203F)                                                   \
    KEY_ROW(KEY_PASS, E, 0x0B002040, 0x0B002041)                                                   \
    KEY_ROW(KEY_PASS, F, 0x0B002042, 0x0B002043)                                                   \
    KEY_ROW(KEY_PASS, G, 0x0B002044, 0x0B002045)                                                   \
    KEY_ROW(KEY_PASS, H, 0x0B002046, 0x0B002047)                                                   \
    KEY_ROW(KEY_PASS, I, 0x0B002048, 0x0B002049)                                                   \
    KEY_ROW(KEY_PASS, J, 0x0B00204A, 0x0B00204B)                                                   \
    KEY_ROW(KEY_PASS, K, 0x0B00204C, 0x0B00204D)                                                   \
    KEY_ROW(KEY_PASS, L, 0x0B00204E, 0x0B00204F)                                                   \
    KEY_ROW(KEY_PASS, M, 0x0B002050, 0x0B002051)                                                   \
    KEY_ROW(KEY_PASS, N, 0x0B002052, 0x0B002053)                                                   \
    KEY_ROW(KEY_PASS, O, 0x0B002054, 0x0B002055)                                                   \
    KEY_ROW(KEY_PASS, P, 0x0B002056, 0x0B002057)                                                   \
    KEY_ROW(KEY_PASS, Q, 0x0B002058, 0x0B002059)                                                   \
    KEY_ROW(KEY_PASS, R, 0x0B00205A, 0x0B00205B)                                                   \
    KEY_ROW(KEY_PASS, S, 0x0B00205C, 0x0B00205D)                                                   \
    KEY_ROW(KEY_PASS, T, 0x0B00205E, 0x0B00205F)                                                   \
    KEY_ROW(KEY_PASS, U, 0x0B002060, 0x0B002061)                                                   \
    KEY_ROW(KEY_PASS, V, 0x0B002062, 0x0B002063)                                                   \
    KEY_ROW(KEY_PASS, W, 0x0B002064, 0x0B002065)                                                   \
    KEY_ROW(KEY_PASS, X, 0x0B002066, 0x0B002067)                                                   \
    KEY_ROW(KEY_PASS, Y, 0x0B002068, 0x0B002069)                                                   \
    KEY_ROW(KEY_PASS, Z, 0x0B00206A, 0x0B00206B)                                                   \
    KEY_ROW(KEY_PASS, F1, 0x0B00206C, 0x0B00206D)                                                  \
    KEY_ROW(KEY_PASS, F2, 0x0B00206E, 0x0B00206F)                                                  \
    KEY_ROW(KEY_PASS, F3, 0x0B002070, 0x0B002071)                                                  \
    KEY_ROW(KEY_PASS, F4, 0x0B002072, 0x0B002073)                                                  \
    KEY_ROW(KEY_PASS, F5, 0x0B002074, 0x0B002075)                                                  \
    KEY_ROW(KEY_PASS, F6, 0x0B002076, 0x0B002077)                                                  \
    KEY_ROW(KEY_PASS, F7, 0x0B002078, 0x0B002079)                                                  \
    KEY_ROW(KEY_PASS, F8, 0x0B00207A, 0x0B00207B)                                                  \
    KEY_ROW(KEY_PASS, F9, 0x0B00207C, 0x0B00207D)                                                  \
    KEY_ROW(KEY_PASS, F10, 0x0B00207E, 0x0B00207F)                                                 \
    KEY_ROW(KEY_PASS, F11, 0x0B002080, 0x0B002081)                                                 \
    KEY_ROW(KEY_PASS, F12, 0x0B002082, 0x0B002083)                                                 \
    KEY_ROW(KEY_PASS, 0, 0x0B002084, 0x0B002085)                                                   \
    KEY_ROW(KEY_PASS, 1, 0x0B002086, 0x0B002087)                                                   \
    KEY_ROW(KEY_PASS, 2, 0x0B002088, 0x0B002089)                                                   \
    KEY_ROW(KEY_PASS, 3, 0x0B00208A, 0x0B00208B)                                                   \
    KEY_ROW(KEY_PASS, 4, 0x0B00208C, 0x0B00208D)                                                   \
    KEY_ROW(KEY_PASS, 5, 0x0B00208E, 0x0B00208F)                                                   \
    KEY_ROW(KEY_PASS, 6, 0x0B002090, 0x0B002091)                                                   \
    KEY_ROW(KEY_PASS, 7, 0x0B002092, 0x0B002093)                                                   \
    KEY_ROW(KEY_PASS, 8, 0x0B002094, 0x0B002095)                                                   \
    KEY_ROW(KEY_PASS, 9, 0x0B002096, 0x0B002097)                                                   \
    KEY_ROW(KEY_PASS, Backspace, 0x0B002098, 0x0B002099)                                           \
    KEY_ROW(KEY_PASS, Delete, 0x0B00209A, 0x0B00209B)                                              \
    KEY_ROW(KEY_PASS, Home, 0x0B00209C, 0x0B00209D)                                                \
    KEY_ROW(KEY_PASS, End, 0x0B00209E, 0x0B00209F)                                                 \
    KEY_ROW(KEY_PASS, Insert, 0x0B0020A0, 0x0B0020A1)                                              \
    KEY_ROW(KEY_PASS, Compare, 0x0B0020A2, 0x0B0020A3)                                             \
    KEY_ROW(KEY_PASS, LeftPar, 0x0B0020A4, 0x0B0020A5)                                             \
    KEY_ROW(KEY_PASS, Equal, 0x0B0020A6, 0x0B0020A7)                                               \
    KEY_ROW(KEY_PASS, Circ, 0x0B0020A8, 0x0B0020A9)                                                \
    KEY_ROW(KEY_PASS, Dollar, 0x0B0020AA, 0x0B0020AB)                                              \
    KEY_ROW(KEY_PASS, Percent, 0x0B0020AC, 0x0B0020AD)                                             \
    KEY_ROW(KEY_PASS, MuMult, 0x0B0020AE, 0x0B0020AF)                                              \
    KEY_ROW(KEY_PASS, Comma, 0x0B0020B0, 0x0B0020B1)                                               \
    KEY_ROW(KEY_PASS, Semicolon, 0x0B0020B2, 0x0B0020B3)                                           \
    KEY_ROW(KEY_PASS, TwoPoint, 0x0B0020B4, 0x0B0020B5)                                            \
    KEY_ROW(KEY_PASS, Exclamation, 0x0B0020B6, 0x0B0020B7)                                         \
    KEY_ROW(KEY_PASS, Square, 0x0B0020B8, 0x0B0020B9)

// The keys' indices in the keyboard's record.
#define SYSTEM_KEY_INDEX(X, Key, DownId, StrokeId) kSystemKey##Key,
enum : u32 { SYSTEM_KEYBOARD_KEYS(SYSTEM_KEY_INDEX, ) kSystemKeyCount };
#undef SYSTEM_KEY_INDEX

// The keyboard's state as the platform keeps it: one word per key, nonzero while it is down.
struct SSystemKeyboardState {
    u32 IsDown[kSystemKeyCount] = {};
    u32 IsOnNumlock = 0;
    u32 IsOnCapslock = 0;
};

class CSystemKeyboard : public CNodSystem {
    MW_DECLARE_CLASS(CSystemKeyboard, CNodSystem, 0x0B002000)
public:
    // IsStroke<Key> is set for a key down in the record that was not down here before; then
    // every IsDown<Key> and the two lock states are taken from the record.
    void Update() override;

    SSystemKeyboardState* m_Source = nullptr;
#define SYSTEM_KEY_FIELDS(X, Key, DownId, StrokeId)                                                \
    u32 m_IsDownVk##Key = 0;                                                                       \
    u32 m_IsStrokeVk##Key = 0;
    SYSTEM_KEYBOARD_KEYS(SYSTEM_KEY_FIELDS, )
#undef SYSTEM_KEY_FIELDS
    u32 m_IsOnNumlock = 0;
    u32 m_IsOnCapslock = 0;
};
