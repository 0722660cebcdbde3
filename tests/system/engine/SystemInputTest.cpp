// The window, mouse and keyboard nods: their members and the per-frame edge flags.
#include "system/engine/SystemInput.h"

#include "tests/system/fid/FidTestSupport.h"

#include <string>
#include <vector>

namespace {

class SystemInput : public CSystemFixture {};

f32 ReadReal(CMwNod& nod, const char* text) {
    CMwParamValue out;
    EXPECT_EQ(ReadMember(nod, text, &out), 0u) << text;
    f32 value = 0;
    if (out.Value)
        std::memcpy(&value, out.Value, sizeof value);
    return value;
}

u32 ReadNatural(CMwNod& nod, const char* text) {
    u32 value = 0xDEAD;
    EXPECT_EQ(ReadWord(nod, text, &value), 0u) << text;
    return value;
}

TEST_F(SystemInput, IdentityAndMembers) {
    struct Row {
        const CMwClassInfo* Class;
        u32 Index;
        u32 Id;
        const char* Name;
        const char* Label;
        u32 Flags;
    };
    const Row rows[] = {
        {&CSystemWindow::s_ClassInfo, 0, 0x0B003000, "SizeX", "SizeX", 0x01},
        {&CSystemWindow::s_ClassInfo, 3, 0x0B003003, "PosY", "PosY", 0x01},
        {&CSystemWindow::s_ClassInfo, 4, 0x0B003004, "Ratio", "Ratio", 0x01},
        {&CSystemWindow::s_ClassInfo, 5, 0x0B003005, "HasSizeChanged", "Size Changed", 0x01},
        {&CSystemWindow::s_ClassInfo, 6, 0x0B003006, "HasPosChanged", "Pos Changed", 0x01},
        {&CSystemWindow::s_ClassInfo, 7, 0x0B003007, "StatusString", "Status", 0x03},
        {&CSystemMouse::s_ClassInfo, 0, 0x0B001000, "CoordX", "CoordX", 0x01},
        {&CSystemMouse::s_ClassInfo, 1, 0x0B001001, "CoordY", "CoordY", 0x01},
        {&CSystemMouse::s_ClassInfo, 2, 0x0B001002, "IsDownLeft", "Left", 0x03},
        {&CSystemMouse::s_ClassInfo, 4, 0x0B001004, "IsDownRight", "Right", 0x03},
        {&CSystemMouse::s_ClassInfo, 5, 0x0B001005, "DeltaWheel", "Delta", 0x03},
        {&CSystemMouse::s_ClassInfo, 6, 0x0B001006, "TotalWheel", "Total", 0x03},
        {&CSystemKeyboard::s_ClassInfo, 0, 0x0B002000, "IsDownEnter", "IsDownEnter", 0x01},
        {&CSystemKeyboard::s_ClassInfo, 1, 0x0B002001, "IsStrokeEnter", "IsStrokeEnter", 0x01},
        {&CSystemKeyboard::s_ClassInfo, 26, 0x0B00201A, "IsDownNumpad0", "IsDownNumpad0", 0x01},
        {&CSystemKeyboard::s_ClassInfo, 56, 0x0B002038, "IsDownA", "IsDownA", 0x01},
        {&CSystemKeyboard::s_ClassInfo, 131, 0x0B002083, "IsStrokeF12", "IsStrokeF12", 0x01},
        {&CSystemKeyboard::s_ClassInfo, 132, 0x0B002084, "IsDown0", "IsDown0", 0x01},
        {&CSystemKeyboard::s_ClassInfo, 185, 0x0B0020B9, "IsStrokeSquare", "IsStrokeSquare", 0x01},
        {&CSystemKeyboard::s_ClassInfo, 186, 0x0B0020BA, "IsOnNumlock", "Stroke Numlock", 0x01},
        {&CSystemKeyboard::s_ClassInfo, 187, 0x0B0020BB, "IsOnCapslock", "Stroke Capslock", 0x01},
    };
    for (const Row& row : rows) {
        ASSERT_LT(row.Index, row.Class->m_MemberCount) << row.Name;
        const CMwMemberInfo* member = row.Class->m_MemberInfos[row.Index];
        EXPECT_EQ(member->MemberId, row.Id) << row.Name;
        EXPECT_STREQ(member->Name, row.Name);
        EXPECT_STREQ(member->Label, row.Label) << row.Name;
        EXPECT_EQ(member->Flags, row.Flags) << row.Name;
    }
    EXPECT_EQ(CNodSystem::s_ClassInfo.m_MemberCount, 0u);
    EXPECT_EQ(CSystemWindow::s_ClassInfo.m_MemberCount, 8u);
    EXPECT_EQ(CSystemMouse::s_ClassInfo.m_MemberCount, 7u);
    EXPECT_EQ(CSystemKeyboard::s_ClassInfo.m_MemberCount, 188u);

    CSystemKeyboard keyboard;
    EXPECT_EQ(keyboard.MemberCount(), 189u); // with the root's
    EXPECT_TRUE(keyboard.IsKindOf(0x0B002000));
    EXPECT_TRUE(keyboard.IsKindOf(0x0B007000));
    EXPECT_TRUE(keyboard.IsKindOf(CMwNod::s_ClassId));
    EXPECT_FALSE(keyboard.IsKindOf(0x0B003000));
    CSystemWindow window;
    EXPECT_TRUE(window.IsKindOf(0x0B007000));
    EXPECT_EQ(CSystemWindow::s_ClassInfo.m_Parent, &CNodSystem::s_ClassInfo);
    EXPECT_EQ(CNodSystem::s_ClassInfo.m_Parent, &CMwNod::s_ClassInfo);
}

// Each key's IsDown and IsStroke members read that key's state and no other: for every key in
// turn, only its two members answer 1.
TEST_F(SystemInput, EveryKeyReachesItsOwnMembers) {
    const CMwClassInfo& info = CSystemKeyboard::s_ClassInfo;
    for (u32 key = 0; key < kSystemKeyCount; ++key) {
        SSystemKeyboardState state;
        CSystemKeyboard keyboard;
        keyboard.m_Source = &state;
        state.IsDown[key] = 1;
        keyboard.Update();
        for (u32 m = 0; m < info.m_MemberCount; ++m) {
            const CMwMemberInfo* member = info.m_MemberInfos[m];
            CMwParamValue out;
            ASSERT_EQ(keyboard.GetMemberValue(const_cast<CMwMemberInfo*>(member), &out), 0u);
            u32 value = 0;
            std::memcpy(&value, out.Value, sizeof value);
            EXPECT_EQ(value, m / 2 == key ? 1u : 0u) << member->Name << " for key " << key;
        }
    }
}

TEST_F(SystemInput, AKeyHeldStrokesOnTheFirstUpdateOnly) {
    SSystemKeyboardState state;
    CSystemKeyboard keyboard;
    keyboard.Update(); // without a record nothing happens
    EXPECT_EQ(keyboard.m_IsDownVkA, 0u);
    keyboard.m_Source = &state;

    state.IsDown[kSystemKeyA] = 1;
    state.IsOnCapslock = 1;
    std::vector<std::string> frames;
    for (u32 frame = 0; frame < 3; ++frame) {
        keyboard.Update();
        frames.push_back(std::to_string(ReadNatural(keyboard, "IsDownA")) +
                         std::to_string(ReadNatural(keyboard, "IsStrokeA")));
    }
    EXPECT_EQ(frames, (std::vector<std::string>{"11", "10", "10"}));
    EXPECT_EQ(ReadNatural(keyboard, "IsOnCapslock"), 1u);
    EXPECT_EQ(ReadNatural(keyboard, "IsOnNumlock"), 0u);

    // Released, then pressed again: a new stroke.
    state.IsDown[kSystemKeyA] = 0;
    keyboard.Update();
    EXPECT_EQ(keyboard.m_IsDownVkA + keyboard.m_IsStrokeVkA, 0u);
    state.IsDown[kSystemKeyA] = 1;
    state.IsDown[kSystemKeySquare] = 1;
    keyboard.Update();
    EXPECT_EQ(keyboard.m_IsStrokeVkA, 1u);
    EXPECT_EQ(keyboard.m_IsStrokeVkSquare, 1u);
    EXPECT_EQ(keyboard.m_IsStrokeVkX, 0u);
    // Members may not be written.
    EXPECT_EQ(WriteMember(keyboard, "IsDownA", u32(0)), u32(MwParam_NotFound));
}

TEST_F(SystemInput, WindowSizeChangeShowsForOneFrame) {
    SSystemWindowState state;
    CSystemWindow window;
    window.m_Source = &state;
    state.SizeX = 800;
    state.SizeY = 600;
    state.PosX = 10;
    state.PosY = 20;
    state.HasSizeChanged = 1;
    state.Words[0] = 7;
    state.Words[2] = 9;
    window.Update();
    EXPECT_EQ(ReadReal(window, "Ratio"), 1.3333334f);
    EXPECT_EQ(ReadNatural(window, "HasSizeChanged"), 1u);
    EXPECT_EQ(ReadNatural(window, "HasPosChanged"), 0u);
    EXPECT_EQ(ReadNatural(window, "SizeX"), 800u);
    EXPECT_EQ(ReadNatural(window, "PosY"), 20u);
    EXPECT_EQ(window.m_SourceWords[0], 7u);
    EXPECT_EQ(window.m_SourceWords[2], 9u);
    // The record's flags were taken.
    EXPECT_EQ(state.HasSizeChanged, 0u);

    // A frame without a change keeps the sizes, even those the record now says.
    state.SizeX = 1024;
    state.Words[0] = 8;
    window.Update();
    EXPECT_EQ(ReadNatural(window, "HasSizeChanged"), 0u);
    EXPECT_EQ(ReadReal(window, "Ratio"), 1.3333334f);
    EXPECT_EQ(ReadNatural(window, "SizeX"), 800u);
    EXPECT_EQ(window.m_SourceWords[0], 8u);

    // A move alone takes the sizes too; no height gives the stand-in ratio.
    state.SizeY = 0;
    state.HasPosChanged = 1;
    window.Update();
    EXPECT_EQ(ReadNatural(window, "HasPosChanged"), 1u);
    EXPECT_EQ(ReadNatural(window, "SizeX"), 1024u);
    EXPECT_EQ(ReadReal(window, "Ratio"), 0.12345679f);

    // The status text is the one member that may be written.
    EXPECT_EQ(WriteMember(window, "StatusString", CClassicWideString(u"Ready")), 0u);
    EXPECT_EQ(ReadWide(window, "StatusString"), "Ready");
    EXPECT_EQ(WriteMember(window, "SizeX", u32(5)), u32(MwParam_NotFound));
}

TEST_F(SystemInput, MouseWheelAndButtons) {
    SSystemMouseState state;
    CSystemMouse mouse;
    mouse.m_Source = &state;
    state.X = 0.25f;
    state.Y = 0.5f;
    state.Wheel = 2;
    state.Buttons = kSystemMouseLeft | kSystemMouseRight;
    state.SecondButtons = kSystemMouseMiddle;
    mouse.m_TotalWheel = 3;
    mouse.Update();
    EXPECT_EQ(ReadReal(mouse, "DeltaWheel"), 2.0f);
    EXPECT_EQ(ReadReal(mouse, "TotalWheel"), 5.0f);
    EXPECT_EQ(ReadReal(mouse, "CoordX"), 0.25f);
    EXPECT_EQ(mouse.m_DeltaX, 0.25f);
    EXPECT_EQ(ReadNatural(mouse, "IsDownLeft"), 1u);
    EXPECT_EQ(ReadNatural(mouse, "IsDownMiddle"), 0u);
    EXPECT_EQ(ReadNatural(mouse, "IsDownRight"), 1u);
    EXPECT_EQ(mouse.m_IsSecondMiddle, 1u);
    // The record's wheel movement and second mask were taken.
    EXPECT_EQ(state.Wheel, 0.0f);
    EXPECT_EQ(state.SecondButtons, 0u);

    // No wheel movement; the left button released for this frame only.
    state.X = 0.75f;
    state.Buttons = kSystemMouseRight;
    mouse.Update();
    EXPECT_EQ(ReadReal(mouse, "DeltaWheel"), 0.0f);
    EXPECT_EQ(ReadReal(mouse, "TotalWheel"), 5.0f);
    EXPECT_EQ(mouse.m_DeltaX, 0.5f);
    EXPECT_EQ(mouse.m_DeltaY, 0.0f);
    EXPECT_EQ(mouse.m_IsReleasedLeft, 1u);
    EXPECT_EQ(mouse.m_IsReleasedRight, 0u);
    EXPECT_EQ(mouse.m_IsSecondMiddle, 0u);
    EXPECT_EQ(ReadNatural(mouse, "IsDownLeft"), 0u);
    mouse.Update();
    EXPECT_EQ(mouse.m_IsReleasedLeft, 0u);
}

} // namespace
