#pragma once
// FLTK widgets of the backend (internal: only the backend's sources include FLTK's headers).
#include "platform/Types.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Text_Display.H>
#include <array>
#include <functional>

namespace ui::fltk {

// The size of every label and text, in pixels: the line height of the dialogs' 8-point layouts.
inline constexpr int FontSize = 11;
// The height of a tab control's row of tabs.
inline constexpr int TabRowHeight = 20;

// What a top-level window of the backend hands back: keys it keeps from FLTK's own rules, its
// close box and its first draw.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    // Enter (true) or Escape (false); answers whether the key was taken.
    virtual bool Key(bool enter) = 0;
    virtual void CloseBox() = 0;
};

// A modal top-level window: Enter and Escape go to the layer's rules instead of FLTK's (the
// default button's shortcut, Escape hiding the window), the close box to the layer's rule, and
// Tab from the window itself (no control focused yet) to the first control.
class Window final : public Fl_Double_Window {
public:
    Window(int w, int h, WindowEvents& events);

    int handle(int event) override;
    // Draws counted, so a snapshot waits for the first.
    u32 Draws() const { return m_Draws; }

protected:
    void draw() override;

private:
    static void OnClose(Fl_Widget* widget, void* data);

    WindowEvents& m_Events;
    u32 m_Draws = 0;
};

// The smallest size a text is shrunk to when it does not fit its control.
inline constexpr int MinLabelSize = 8;

// The default push button: the look of FLTK's return button, without its Enter shortcut. A text
// wider than the room the return arrow leaves is drawn smaller (down to MinLabelSize) instead of
// running under the arrow.
class DefaultButton final : public Fl_Return_Button {
public:
    DefaultButton(int x, int y, int w, int h) : Fl_Return_Button(x, y, w, h) {}
    int handle(int event) override;

protected:
    void draw() override;
};

// Static text: left-aligned from the top edge and the left edge (FLTK's own labels keep three
// pixels from it), wrapped, clipped to its rectangle; with shortcuts, '&' marks the underlined
// letter as in buttons, else it shows as it stands. A text whose wrapped lines are taller than
// the rectangle is drawn smaller, down to MinLabelSize: the templates were laid out for a font
// narrower than FLTK's, so that a label of one line would otherwise lose its second.
class LabelBox final : public Fl_Box {
public:
    LabelBox(int x, int y, int w, int h, bool shortcuts = true);

protected:
    void draw() override;
};

// The error sign of a message box: a red disc with a white cross, size x size pixels.
class ErrorSign final : public Fl_Widget {
public:
    ErrorSign(int x, int y, int size) : Fl_Widget(x, y, size, size) {}

protected:
    void draw() override;
};

// A group box: an engraved frame with its title at the top left, drawn behind the controls
// inside it (a sibling, so that events reach them).
class GroupFrame final : public Fl_Box {
public:
    GroupFrame(int x, int y, int w, int h);

protected:
    void draw() override;
};

// A single-line edit. A number-only edit drops typed keys other than digits (pasted text is not
// filtered, as on the platform).
class Edit : public Fl_Input {
public:
    Edit(int x, int y, int w, int h, bool numberOnly);
    int handle(int event) override;

private:
    bool m_NumberOnly;
};

// A read-only multi-line text. Without a scroll bar of its own (fit), it shows none, and a text
// whose wrapped lines are taller than the control is drawn smaller, down to MinLabelSize, as a
// label's: the templates were laid out for a font narrower than FLTK's. Refit after the text
// changed.
class ReadOnlyText final : public Fl_Text_Display {
public:
    ReadOnlyText(int x, int y, int w, int h, bool fit);
    void resize(int x, int y, int w, int h) override;
    void Refit();

private:
    bool m_Fit;
};

// A horizontal slider with tick marks under its track every tick-frequency positions.
class TickSlider final : public Fl_Slider {
public:
    TickSlider(int x, int y, int w, int h);
    void Ticks(int frequency);

protected:
    void draw() override;

private:
    int m_Frequency = 1;
};

// Four number fields of at most three digits with dots between them. A field above 255 becomes
// 255 when it loses the focus; '.' moves to the next field. Pasted text must be digits only.
class AddressBox final : public Fl_Group {
public:
    AddressBox(int x, int y, int w, int h);
    void resize(int x, int y, int w, int h) override;

    Fl_Input& Field(int index);
    // Called after a field changed (typed or set to 255).
    std::function<void()> Changed;

private:
    class AddressField;
    void Layout();
    void FocusNext(const AddressField& from);

    std::array<AddressField*, 4> m_Fields{};
    std::array<Fl_Box*, 3> m_Dots{};
};

} // namespace ui::fltk
