#pragma once
// Modal dialogs built from templates (Template.h), their controls and their data exchange.
//
// A dialog class derives from ui::Dialog and overrides the handlers it needs. DoModal builds
// the controls from the dialog's table, runs OnInitDialog, then a nested loop until EndDialog,
// then OnDestroy on the dialog and on its pages, and returns the code. Pages are child dialogs
// created inside a host control of their dialog (CreateChild), destroyed with it.
//
// Only the top dialog of the modal stack and its pages take user input; the dialogs below keep
// their timers. Notifications come only from the user, except the slider's NM_CUSTOMDRAW,
// which models the redraw: it is sent whenever the slider's position changes and when the
// slider is first shown.
//
// Texts cross the layer as UTF-8. Result codes, notification codes and placement flags keep
// the numbers of the platform the dialogs were first written for, so the handlers read the
// same. Addressing a control id the template lacks, or using a control in a way its kind does
// not allow, is a programming error: it is reported to the backend (the headless backend fails
// the test) and the call does nothing.
#include "platform/Types.h"
#include "platform/ui/Template.h"

#include <array>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ui {

// Dialog and message-box results.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Command codes (OnCommand) and notification codes (OnNotify).
inline constexpr i32 BN_CLICKED = 0;
inline constexpr i32 CBN_SELCHANGE = 1;
inline constexpr i32 CBN_SELENDOK = 9;
inline constexpr i32 TCN_SELCHANGE = -551;
inline constexpr i32 NM_CUSTOMDRAW = -12; // the slider was drawn

// SetWindowPos flags.
inline constexpr u32 SWP_NOSIZE = 0x1;
inline constexpr u32 SWP_NOMOVE = 0x2;
inline constexpr u32 SWP_NOZORDER = 0x4; // without it the window goes on top of its siblings
inline constexpr u32 SWP_SHOWWINDOW = 0x40;
inline constexpr u32 SWP_HIDEWINDOW = 0x80;
inline constexpr u32 SWP_NOOWNERZORDER = 0x200;

class Dialog;
class DataExchange;
enum class Change : u8; // Backend.h

namespace detail {
struct Access;
struct Window;
} // namespace detail

// One control of an open dialog. Operations that a kind does not have are programming errors.
class Control {
public:
    Control(Dialog* dialog, const ControlTemplate& controlTemplate);

    u32 Id() const { return m_Id; }
    ControlKind Kind() const { return m_Kind; }
    u32 Flags() const { return m_Flags; }
    // The dialog the control belongs to (null for the stand-in answered for a missing id).
    Dialog* GetDialog() const { return m_Dialog; }

    // Window text; a drop-down list answers its selected entry and takes no text.
    void SetText(std::string_view text);
    std::string GetText() const;
    void Enable(bool enable);
    bool IsEnabled() const { return m_Enabled; }
    void Show(bool show);
    bool IsVisible() const { return m_Visible; }
    // Shown on screen: visible, in a shown dialog (and a shown page).
    bool IsOnScreen() const;
    void SetFocus();
    bool HasFocus() const;

    // In the dialog's client coordinates.
    Rect WindowRect() const { return m_Rect; }
    Rect ClientRect() const { return {0, 0, m_Rect.Width(), m_Rect.Height()}; }
    void SetWindowPos(i32 x, i32 y, i32 width, i32 height, u32 flags);

    // Check boxes.
    void SetCheck(bool checked);
    bool GetCheck() const { return m_Checked; }

    // Drop-down lists and tab controls. An index outside a list's entries leaves no selection
    // (-1) and answers false; a tab control keeps its selection on a bad index.
    void ResetContent();
    i32 AddString(std::string_view text); // the new entry's index
    i32 GetCount() const { return i32(m_Items.size()); }
    i32 GetCurSel() const { return m_Selection; }
    bool SetCurSel(i32 index);
    std::string GetItemText(i32 index) const;
    // A drop-down list's open height, from its template.
    i32 DropHeight() const { return m_DropHeight; }

    // Sliders and progress bars: range 0 to 100 until set; positions are clamped to the range.
    void SetRange(i32 min, i32 max);
    i32 GetRangeMin() const { return m_Min; }
    i32 GetRangeMax() const { return m_Max; }
    void SetPos(i32 position);
    i32 GetPos() const { return m_Position; }
    void SetTicFreq(i32 frequency); // sliders
    i32 GetTicFreq() const { return m_TicFrequency; }

    // Edits: the selected part of the text, in bytes; an end of -1 or past the text is its end.
    void SetSel(i32 start, i32 end);
    std::pair<i32, i32> GetSel() const { return {m_SelStart, m_SelEnd}; }

    // IP address controls: one u32 with the first field in the highest byte. GetAddress answers
    // the number of fields that are not blank; blank fields read as 0.
    void SetAddress(u32 address);
    void ClearAddress();
    i32 GetAddress(u32& address) const;
    std::array<i16, 4> AddressFields() const { return m_Fields; } // -1: blank

    // Tab controls. InsertItem answers the new item's index; the first item becomes the
    // selection. GetItemRect is measured by the backend, in the control's client coordinates.
    i32 InsertItem(i32 index, std::string_view text);
    Rect GetItemRect(i32 index) const;

    // Picture controls: shows the registered picture and takes its size. A missing or damaged
    // picture leaves the control empty and answers false.
    bool SetPicture(u32 resourceId);
    u32 PictureId() const { return m_PictureId; } // last asked for, 0 for none
    bool HasPicture() const { return m_HasPicture; }

private:
    friend struct detail::Access;
    friend class Dialog;
    friend class DataExchange;

    // False for the stand-in answered for a missing id, which was reported when asked for.
    bool Usable() const { return m_Dialog != nullptr; }
    bool Is(const char* operation, std::initializer_list<ControlKind> kinds) const;
    void SetPosition(i32 position);
    void Changed(Change what);

    Dialog* m_Dialog = nullptr;
    u32 m_Id = 0;
    ControlKind m_Kind = ControlKind::Label;
    u32 m_Flags = 0;
    Rect m_Rect;
    i32 m_DropHeight = 0;
    std::string m_Text;
    bool m_Enabled = true;
    bool m_Visible = true;
    bool m_Checked = false;
    bool m_DrawnOnce = false;
    std::vector<std::string> m_Items; // drop-down entries or tab items
    i32 m_Selection = -1;
    i32 m_Min = 0;
    i32 m_Max = 100;
    i32 m_Position = 0;
    i32 m_TicFrequency = 1;
    i32 m_SelStart = 0;
    i32 m_SelEnd = 0;
    std::array<i16, 4> m_Fields = {-1, -1, -1, -1};
    u32 m_PictureId = 0;
    bool m_HasPicture = false;
};

// Hooks the launcher installs. The idle hook runs first in every loop pass of either backend.
// The translation hook translates the layer's own texts (the refusal messages and the
// message-box buttons); without it they appear unchanged.
using IdleHook = void (*)();
IdleHook SetIdleHook(IdleHook hook);
using TranslationHook = std::string (*)(std::string_view text);
TranslationHook SetTranslationHook(TranslationHook hook);
std::string Translate(std::string_view text);
// The caption of the data-exchange refusals.
void SetApplicationTitle(std::string_view title);
std::string ApplicationTitle();

class Dialog {
public:
    // A dialog of a template; pages get theirs from CreateChild.
    explicit Dialog(u32 templateId = 0);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog; without owner it is owned by the top dialog. Answers the code given to
    // EndDialog, or -1 when the template is unknown or no backend is installed.
    int DoModal(Dialog* owner = nullptr);
    // Ends the dialog when control returns to its loop; inside OnInitDialog it ends it before it
    // is shown. On a page it does nothing: a page lives as long as its dialog.
    void EndDialog(int code);
    // Creates a page from its template inside the host control of this open dialog, hidden, at
    // the host's origin. The page's OnInitDialog runs inside this call.
    bool CreateChild(Dialog& page, u32 templateId, u32 hostId);

    // A window timer: fires OnTimer every period from whatever loop runs. Answers the id; an id
    // already set gets the new period. Periods below 10 ms run at 10 ms.
    u32 SetTimer(u32 id, u32 periodMs);
    bool KillTimer(u32 id);

    // Runs DoDataExchange: save true reads the controls into the members; false answers false
    // when a value was refused.
    bool UpdateData(bool save = true);

    Control& Item(u32 id);
    const Control* FindItem(u32 id) const; // null when the template lacks it or not open

    void SetWindowText(std::string_view text);
    std::string GetWindowText() const;
    Rect ClientRect() const;
    // A page's place in its host control's client coordinates; a dialog's on the screen.
    Rect WindowRect() const;
    void SetWindowPos(i32 x, i32 y, i32 width, i32 height, u32 flags);
    void Show(bool show);
    bool IsVisible() const;

    u32 TemplateId() const { return m_TemplateId; }
    bool IsOpen() const { return m_Window != nullptr; }
    bool IsPage() const;
    const DialogTemplate* Template() const;
    Dialog* Owner() const;  // modal dialogs: the dialog it was opened over
    Dialog* Parent() const; // pages: the dialog holding the host control
    Control* Host() const;  // pages: the host control
    std::span<Dialog* const> Pages() const;
    std::span<Control> Controls();
    std::span<const Control> Controls() const;

protected:
    // The base runs UpdateData(false) and answers true.
    virtual bool OnInitDialog();
    // The base runs UpdateData(true) and ends with IDOK when it succeeded.
    virtual void OnOK();
    // The base ends with IDCANCEL.
    virtual void OnCancel();
    // The base sends a click of id 1 to OnOK and of id 2 to OnCancel.
    virtual void OnCommand(u32 id, i32 code);
    virtual void OnNotify(u32 id, i32 code);
    virtual void OnTimer(u32 id);
    virtual void OnDestroy();
    virtual void DoDataExchange(DataExchange& dx);

private:
    friend struct detail::Access;

    detail::Window* Open(const char* operation) const;

    u32 m_TemplateId = 0;
    std::unique_ptr<detail::Window> m_Window;
};

// One pass of data exchange. Loading never fails. Saving an integer takes blanks around an
// optional sign and decimal digits that fit 32 bits; a refused value shows a message box,
// focuses the edit with its text selected and skips every later exchange of the pass.
class DataExchange {
public:
    bool IsSaving() const { return m_Saving; }
    bool Failed() const { return m_Failed; }
    Dialog& GetDialog() const { return m_Dialog; }

    // Texts of edits, labels, group boxes, buttons and check boxes.
    void Text(u32 id, std::string& value);
    // Integers in edits, optionally limited to min to max.
    void Int(u32 id, i32& value);
    void Int(u32 id, i32& value, i32 min, i32 max);
    // 0 or 1.
    void Check(u32 id, i32& value);
    // Selected entry of a drop-down list, -1 for none.
    void ComboIndex(u32 id, i32& index);
    void SliderPos(u32 id, i32& position);

private:
    friend class Dialog;
    DataExchange(Dialog& dialog, bool saving) : m_Dialog(dialog), m_Saving(saving) {}

    Control* Find(u32 id, const char* operation, std::initializer_list<ControlKind> kinds);
    void IntExchange(u32 id, i32& value, const i32* min, const i32* max);
    void Refuse(Control& control, const std::string& message);

    Dialog& m_Dialog;
    bool m_Saving;
    bool m_Failed = false;
};

} // namespace ui
