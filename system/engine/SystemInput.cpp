#include "system/engine/SystemInput.h"

static_assert(kSystemKeyCount == 93);

#define CSYSTEMWINDOW_MEMBERS(X)                                                                   \
    X(NaturalRange, 0x0B003000, "SizeX", MW_FIELD(m_SizeX), "SizeX", 0x01, 0x3F80, 0u, 64000u)     \
    X(NaturalRange, 0x0B003001, "SizeY", MW_FIELD(m_SizeY), "SizeY", 0x01, 0x3F80, 0u, 64000u)     \
    X(NaturalRange, 0x0B003002, "PosX", MW_FIELD(m_PosX), "PosX", 0x01, 0x3F80, 0u, 64000u)        \
    X(NaturalRange, 0x0B003003, "PosY", MW_FIELD(m_PosY), "PosY", 0x01, 0x3F80, 0u, 64000u)        \
    X(Real, 0x0B003004, "Ratio", MW_FIELD(m_Ratio), "Ratio", 0x01, 0x3F80)                         \
    X(Bool, 0x0B003005, "HasSizeChanged", MW_FIELD(m_HasSizeChanged), "Size Changed", 0x01,        \
      0x3F80)                                                                                      \
    X(Bool, 0x0B003006, "HasPosChanged", MW_FIELD(m_HasPosChanged), "Pos Changed", 0x01, 0x3F80)   \
    X(StringInt, 0x0B003007, "StatusString", MW_FIELD(m_StatusString), "Status", 0x03, 0x3F80)

#define CSYSTEMMOUSE_MEMBERS(X)                                                                    \
    X(RealRange, 0x0B001000, "CoordX", MW_FIELD(m_CoordX), "CoordX", 0x01, 0x3F80, 0.0f, 1.0f)     \
    X(RealRange, 0x0B001001, "CoordY", MW_FIELD(m_CoordY), "CoordY", 0x01, 0x3F80, 0.0f, 1.0f)     \
    X(Bool, 0x0B001002, "IsDownLeft", MW_FIELD(m_IsDownLeft), "Left", 0x03, 0x3F80)                \
    X(Bool, 0x0B001003, "IsDownMiddle", MW_FIELD(m_IsDownMiddle), "Middle", 0x03, 0x3F80)          \
    X(Bool, 0x0B001004, "IsDownRight", MW_FIELD(m_IsDownRight), "Right", 0x03, 0x3F80)             \
    X(Real, 0x0B001005, "DeltaWheel", MW_FIELD(m_DeltaWheel), "Delta", 0x03, 0x3F80)               \
    X(Real, 0x0B001006, "TotalWheel", MW_FIELD(m_TotalWheel), "Total", 0x03, 0x3F80)

// Two rows per key, from the one key table; the labels are the names.
#define CSYSTEMKEYBOARD_KEY_ROWS(X, Key, DownId, StrokeId)                                         \
    X(Bool, DownId, "IsDown" #Key, MW_FIELD(m_IsDownVk##Key), "IsDown" #Key, 0x01, 0x3F80)         \
    X(Bool, StrokeId, "IsStroke" #Key, MW_FIELD(m_IsStrokeVk##Key), "IsStroke" #Key, 0x01, 0x3F80)
#define CSYSTEMKEYBOARD_MEMBERS(X)                                                                 \
    SYSTEM_KEYBOARD_KEYS(CSYSTEMKEYBOARD_KEY_ROWS, X)                                              \
    X(Bool, 0x0B0020BA, "IsOnNumlock", MW_FIELD(m_IsOnNumlock), "Stroke Numlock", 0x01, 0x3F80)    \
    X(Bool, 0x0B0020BB, "IsOnCapslock", MW_FIELD(m_IsOnCapslock), "Stroke Capslock", 0x01, 0x3F80)

MW_DEFINE_CLASS(CNodSystem, MwFactory<CNodSystem>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CSystemWindow, MwFactory<CSystemWindow>, CSYSTEMWINDOW_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CSystemMouse, MwFactory<CSystemMouse>, CSYSTEMMOUSE_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CSystemKeyboard, MwFactory<CSystemKeyboard>, CSYSTEMKEYBOARD_MEMBERS, MW_NO_CHUNKS);

namespace {

u32 Bit(u32 mask, u32 bit) {
    return (mask & bit) ? 1 : 0;
}

} // namespace

void CSystemWindow::Update() {
    if (!m_Source)
        return;
    SSystemWindowState& source = *m_Source;
    m_HasSizeChanged = source.HasSizeChanged;
    m_HasPosChanged = source.HasPosChanged;
    for (u32 i = 0; i < 3; ++i)
        m_SourceWords[i] = source.Words[i];
    source.HasSizeChanged = 0;
    source.HasPosChanged = 0;
    if (!m_HasSizeChanged && !m_HasPosChanged)
        return;
    m_SizeX = source.SizeX;
    m_SizeY = source.SizeY;
    m_PosX = source.PosX;
    m_PosY = source.PosY;
    m_Ratio = m_SizeY ? f32(m_SizeX) / f32(m_SizeY) : s_NoHeightRatio;
}

void CSystemMouse::Update() {
    if (!m_Source)
        return;
    SSystemMouseState& source = *m_Source;
    m_DeltaX = source.X - m_CoordX;
    m_DeltaY = source.Y - m_CoordY;
    m_DeltaWheel = source.Wheel;
    m_TotalWheel += source.Wheel;
    source.Wheel = 0;

    m_SourceWord = source.Word;
    m_CoordX = source.X;
    m_CoordY = source.Y;
    const u32 released = m_Buttons & ~source.Buttons;
    m_IsReleasedLeft = Bit(released, kSystemMouseLeft);
    m_IsReleasedMiddle = Bit(released, kSystemMouseMiddle);
    m_IsReleasedRight = Bit(released, kSystemMouseRight);
    m_Buttons = source.Buttons;
    m_SecondButtons = source.SecondButtons;
    m_IsDownLeft = Bit(m_Buttons, kSystemMouseLeft);
    m_IsDownMiddle = Bit(m_Buttons, kSystemMouseMiddle);
    m_IsDownRight = Bit(m_Buttons, kSystemMouseRight);
    m_IsSecondLeft = Bit(m_SecondButtons, kSystemMouseLeft);
    m_IsSecondMiddle = Bit(m_SecondButtons, kSystemMouseMiddle);
    m_IsSecondRight = Bit(m_SecondButtons, kSystemMouseRight);
    source.SecondButtons = 0;
}

void CSystemKeyboard::Update() {
    if (!m_Source)
        return;
    const SSystemKeyboardState& source = *m_Source;
#define SYSTEM_KEY_UPDATE(X, Key, DownId, StrokeId)                                                \
    {                                                                                              \
        const u32 down = source.IsDown[kSystemKey##Key] ? 1 : 0;                                   \
        m_IsStrokeVk##Key = down && !m_IsDownVk##Key ? 1 : 0;                                      \
        m_IsDownVk##Key = down;                                                                    \
    }
    SYSTEM_KEYBOARD_KEYS(SYSTEM_KEY_UPDATE, )
#undef SYSTEM_KEY_UPDATE
    m_IsOnNumlock = source.IsOnNumlock ? 1 : 0;
    m_IsOnCapslock = source.IsOnCapslock ? 1 : 0;
}
