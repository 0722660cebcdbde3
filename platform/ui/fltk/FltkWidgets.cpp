#include "platform/ui/fltk/FltkWidgets.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace ui::fltk {

namespace {

bool PlainKey() {
    return !Fl::event_state(FL_CTRL | FL_ALT | FL_META);
}

bool IsEnterKey(int key) {
    return key == FL_Enter || key == FL_KP_Enter;
}

// Space under a slider's track for its tick marks.
constexpr int TickSpace = 4;

} // namespace

// ---------------------------------------------------------------------------------------------
// Window

Window::Window(int w, int h, WindowEvents& events) : Fl_Double_Window(w, h), m_Events(events) {
    end();
    set_modal();
    callback(&Window::OnClose, this);
    labelsize(FontSize);
}

int Window::handle(int event) {
    if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
        const int key = Fl::event_key();
        if ((IsEnterKey(key) || key == FL_Escape) && PlainKey())
            return m_Events.Key(key != FL_Escape) ? 1 : 0;
        if (key == FL_Tab && Fl::focus() == this && event == FL_KEYBOARD) {
            // No control has the focus yet: Tab gives it to the first (Shift+Tab to the last).
            const bool back = Fl::event_state(FL_SHIFT);
            for (int i = 0; i < children(); ++i) {
                Fl_Widget* next = child(back ? children() - 1 - i : i);
                if (next->visible() && next->take_focus())
                    return 1;
            }
            return 1;
        }
    }
    return Fl_Double_Window::handle(event);
}

void Window::draw() {
    ++m_Draws;
    Fl_Double_Window::draw();
}

void Window::OnClose(Fl_Widget*, void* data) {
    // Escape is taken in handle; what reaches the callback is the close box.
    static_cast<Window*>(data)->m_Events.CloseBox();
}

// ---------------------------------------------------------------------------------------------
// Buttons and labels

int DefaultButton::handle(int event) {
    // Fl_Return_Button presses itself on Enter; the window decides what Enter does.
    if (event == FL_SHORTCUT && IsEnterKey(Fl::event_key()))
        return 0;
    return Fl_Return_Button::handle(event);
}

void DefaultButton::draw() {
    // FLTK's return button keeps a square of the height (at most a third of the width) for its
    // arrow and gives the text the rest, four pixels overlapping.
    const int arrow = std::min(h(), w() / 3);
    const int room = w() - arrow + 4 - 2 * Fl::box_dx(box());
    const Fl_Fontsize size = labelsize();
    for (Fl_Fontsize smaller = size; smaller > MinLabelSize; --smaller) {
        int width = 0;
        int height = 0;
        measure_label(width, height);
        if (width <= room)
            break;
        labelsize(smaller - 1);
    }
    Fl_Return_Button::draw();
    labelsize(size);
}

LabelBox::LabelBox(int x, int y, int w, int h, bool shortcuts) : Fl_Box(x, y, w, h) {
    box(FL_NO_BOX);
    align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP | FL_ALIGN_CLIP);
    labelsize(FontSize);
    if (shortcuts)
        set_flag(SHORTCUT_LABEL);
}

void LabelBox::draw() {
    draw_box();
    const Fl_Fontsize size = labelsize();
    for (Fl_Fontsize smaller = size; smaller > MinLabelSize; --smaller) {
        int width = w();
        int height = 0;
        measure_label(width, height);
        if (height <= h())
            break;
        labelsize(smaller - 1);
    }
    draw_label(x(), y(), w(), h(), align());
    labelsize(size);
}

void ErrorSign::draw() {
    fl_color(fl_rgb_color(204, 32, 32));
    fl_pie(x(), y(), w(), h(), 0.0, 360.0);
    const int inset = w() * 3 / 10;
    fl_color(FL_WHITE);
    fl_line_style(FL_SOLID | FL_CAP_ROUND, std::max(2, w() / 10));
    fl_line(x() + inset, y() + inset, x() + w() - 1 - inset, y() + h() - 1 - inset);
    fl_line(x() + w() - 1 - inset, y() + inset, x() + inset, y() + h() - 1 - inset);
    fl_line_style(0);
}

GroupFrame::GroupFrame(int x, int y, int w, int h) : Fl_Box(x, y, w, h) {
    box(FL_NO_BOX);
    labelsize(FontSize);
    set_flag(SHORTCUT_LABEL);
}

void GroupFrame::draw() {
    // The frame runs through the middle of the title's line; the title hides it where it
    // stands, on the dialog's colour.
    fl_font(labelfont(), labelsize());
    const int lineHeight = fl_height();
    const int top = y() + lineHeight / 2;
    draw_box(FL_ENGRAVED_FRAME, x(), top, w(), std::max(h() - (top - y()), 2), color());
    const char* title = label();
    if (!title || !*title)
        return;
    int titleWidth = 0;
    int titleHeight = 0;
    measure_label(titleWidth, titleHeight);
    const int left = x() + 6;
    const int width = std::min(titleWidth + 4, std::max(w() - 12, 0));
    fl_push_clip(left, y(), width, lineHeight);
    fl_color(parent() ? parent()->color() : color());
    fl_rectf(left, y(), width, lineHeight);
    draw_label(left + 2, y(), width - 2, lineHeight, FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    fl_pop_clip();
}

// ---------------------------------------------------------------------------------------------
// ReadOnlyText

ReadOnlyText::ReadOnlyText(int x, int y, int w, int h, bool fit)
    : Fl_Text_Display(x, y, w, h), m_Fit(fit) {
    textsize(FontSize);
    // No scroll bar at all: the text gets the whole width.
    if (fit)
        scrollbar_align(FL_ALIGN_CENTER);
}

void ReadOnlyText::resize(int x, int y, int w, int h) {
    Fl_Text_Display::resize(x, y, w, h);
    Refit();
}

void ReadOnlyText::Refit() {
    // Without a buffer (being taken down) there is nothing to fit.
    const Fl_Text_Buffer* text = buffer();
    if (!m_Fit || !text)
        return;
    // Smaller until every wrapped line fits between the frame and the one-pixel margins.
    const int room = h() - Fl::box_dh(box()) - 2;
    for (Fl_Fontsize size = FontSize;; --size) {
        textsize(size);
        Fl_Text_Display::resize(x(), y(), w(), h());
        int lines = 1;
        for (int at = 0;;) {
            const int next = skip_lines(at, 1, true);
            if (next <= at || next >= text->length())
                break;
            ++lines;
            at = next;
        }
        fl_font(textfont(), size);
        if (lines * fl_height() <= room || size <= MinLabelSize)
            break;
    }
    redraw();
}

// ---------------------------------------------------------------------------------------------
// Edit

Edit::Edit(int x, int y, int w, int h, bool numberOnly)
    : Fl_Input(x, y, w, h), m_NumberOnly(numberOnly) {
    textsize(FontSize);
    labelsize(FontSize);
    when(FL_WHEN_CHANGED);
}

int Edit::handle(int event) {
    if (event == FL_KEYBOARD && m_NumberOnly && PlainKey() && Fl::event_length() > 0) {
        const char* text = Fl::event_text();
        const bool printable = u8(text[0]) >= 0x20 && text[0] != 0x7F;
        const bool digits = std::all_of(text, text + Fl::event_length(),
                                        [](char c) { return c >= '0' && c <= '9'; });
        if (printable && !digits) {
            fl_beep();
            return 1;
        }
    }
    return Fl_Input::handle(event);
}

// ---------------------------------------------------------------------------------------------
// TickSlider

TickSlider::TickSlider(int x, int y, int w, int h) : Fl_Slider(x, y, w, h) {
    type(FL_HOR_NICE_SLIDER);
    box(FL_FLAT_BOX);
    step(1);
    when(FL_WHEN_CHANGED);
}

void TickSlider::Ticks(int frequency) {
    m_Frequency = frequency;
    redraw();
}

void TickSlider::draw() {
    if (damage() & FL_DAMAGE_ALL)
        draw_box();
    const int trackX = x() + Fl::box_dx(box());
    const int trackY = y() + Fl::box_dy(box());
    const int trackW = w() - Fl::box_dw(box());
    const int trackH = std::max(h() - Fl::box_dh(box()) - TickSpace, 4);
    Fl_Slider::draw(trackX, trackY, trackW, trackH);

    // The knob's width as Fl_Slider draws a nice slider, so each tick sits under the knob's
    // centre at its position.
    const int knob = std::max(int(slider_size() * trackW + 0.5), trackH / 2 + 1 + 4);
    const double low = minimum();
    const double high = maximum();
    if (high <= low)
        return;
    fl_color(active_r() ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
    const int tickTop = trackY + trackH + 1;
    auto tick = [&](double position) {
        const int at =
            trackX + int((position - low) / (high - low) * (trackW - knob) + 0.5) + knob / 2;
        fl_yxline(at, tickTop, tickTop + TickSpace - 2);
    };
    const double step = std::max(m_Frequency, 1);
    // At most one tick a pixel: a frequency far below the range would only draw a bar.
    if ((high - low) / step <= trackW) {
        for (double position = low; position < high; position += step)
            tick(position);
    }
    tick(high);
}

// ---------------------------------------------------------------------------------------------
// AddressBox

class AddressBox::AddressField final : public Edit {
public:
    explicit AddressField(AddressBox& owner) : Edit(0, 0, 1, 1, true), m_Box(owner) {
        box(FL_FLAT_BOX);
        maximum_size(3);
        align(FL_ALIGN_CENTER);
    }

    int handle(int event) override {
        if (event == FL_KEYBOARD && PlainKey() && Fl::event_length() == 1 &&
            Fl::event_text()[0] == '.') {
            if (size() > 0)
                m_Box.FocusNext(*this);
            return 1;
        }
        // A field holds digits only: unlike a number edit, it refuses pasted or dropped text
        // with anything else, which would show a field the control does not hold.
        if (event == FL_PASTE) {
            const char* text = Fl::event_text();
            if (!std::all_of(text, text + Fl::event_length(),
                             [](char c) { return c >= '0' && c <= '9'; })) {
                fl_beep();
                return 1;
            }
        }
        if (event == FL_UNFOCUS && size() > 0 && std::atoi(value()) > 255) {
            value("255");
            if (m_Box.Changed)
                m_Box.Changed();
        }
        return Edit::handle(event);
    }

private:
    AddressBox& m_Box;
};

AddressBox::AddressBox(int x, int y, int w, int h) : Fl_Group(x, y, w, h) {
    box(FL_DOWN_BOX);
    color(FL_BACKGROUND2_COLOR);
    for (size_t i = 0; i < 4; ++i) {
        m_Fields[i] = new AddressField(*this);
        m_Fields[i]->callback([](Fl_Widget* widget, void*) {
            auto* box = static_cast<AddressBox*>(widget->parent());
            if (box->Changed)
                box->Changed();
        });
        if (i < 3) {
            m_Dots[i] = new Fl_Box(0, 0, 1, 1, ".");
            m_Dots[i]->box(FL_NO_BOX);
            m_Dots[i]->labelsize(FontSize);
        }
    }
    end();
    resizable(nullptr);
    Layout();
}

Fl_Input& AddressBox::Field(int index) {
    return *m_Fields[size_t(index)];
}

void AddressBox::resize(int x, int y, int w, int h) {
    Fl_Widget::resize(x, y, w, h);
    Layout();
}

void AddressBox::Layout() {
    const int dot = 4;
    const int innerX = x() + Fl::box_dx(box());
    const int innerY = y() + Fl::box_dy(box());
    const int innerW = std::max(w() - Fl::box_dw(box()), 0);
    const int innerH = std::max(h() - Fl::box_dh(box()), 0);
    const int fieldW = std::max((innerW - 3 * dot) / 4, 1);
    int at = innerX;
    for (size_t i = 0; i < 4; ++i) {
        m_Fields[i]->resize(at, innerY, fieldW, innerH);
        at += fieldW;
        if (i < 3) {
            m_Dots[i]->resize(at, innerY, dot, innerH);
            at += dot;
        }
    }
}

void AddressBox::FocusNext(const AddressField& from) {
    for (size_t i = 0; i + 1 < 4; ++i) {
        if (m_Fields[i] == &from) {
            m_Fields[i + 1]->take_focus();
            m_Fields[i + 1]->position(0, m_Fields[i + 1]->size());
            return;
        }
    }
}

} // namespace ui::fltk
