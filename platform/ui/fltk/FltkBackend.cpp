#include "platform/ui/fltk/FltkBackend.h"

#include "platform/Clock.h"
#include "platform/Crt.h"
#include "platform/Process.h"
#include "platform/ui/Layer.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/fltk/FltkText.h"
#include "platform/ui/fltk/FltkWidgets.h"

#include <FL/Fl.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_File_Input.H>
#include <FL/Fl_Image.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unordered_map>
#include <utility>
#include <vector>

extern char** environ;

namespace ui::fltk {

namespace {

// The widest line of a message box's text, in pixels.
constexpr int BoxTextWidth = 480;
constexpr int BoxMargin = 12;
constexpr int BoxButtonWidth = 75;
constexpr int BoxButtonHeight = 23;
constexpr int BoxButtonGap = 6;
constexpr int BoxSignSize = 32;

// Passes of the snapshot's wait for a window to be mapped and drawn (10 ms each).
constexpr int DrawWaitPasses = 500;

// The longest wait for an event while children let go still run (platform/Process.h).
constexpr double ReapWakeSeconds = 0.1;

std::string Decimal(i64 value) {
    return platform::Format("%lld", static_cast<long long>(value)).text;
}

// "\r\n" and "\r" as "\n", for the multi-line edit (which draws no symbols).
std::string LineBreaks(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The screen's work area, where a dialog without owner is centred.
void ScreenArea(int& x, int& y, int& w, int& h) {
    Fl::screen_work_area(x, y, w, h, 0);
}

// Centres a w x h window over a rectangle, kept inside the screen's work area.
void CentreOver(int& x, int& y, int w, int h, int overX, int overY, int overW, int overH) {
    int sx = 0;
    int sy = 0;
    int sw = 0;
    int sh = 0;
    ScreenArea(sx, sy, sw, sh);
    x = overX + (overW - w) / 2;
    y = overY + (overH - h) / 2;
    x = std::max(sx, std::min(x, sx + sw - w));
    y = std::max(sy, std::min(y, sy + sh - h));
}

bool Viewable(Fl_Window& window) {
    const ::Window xid = fl_xid(&window);
    if (!xid)
        return false;
    XWindowAttributes attributes{};
    return XGetWindowAttributes(fl_display, xid, &attributes) && attributes.map_state == IsViewable;
}

// Lets FLTK map and draw a window: true once it is viewable with nothing left to draw (and, for
// the backend's own windows, drawn at least once).
bool WaitDrawn(Fl_Window& window, const Window* ours) {
    for (int pass = 0; pass < DrawWaitPasses; ++pass) {
        Fl::flush();
        XSync(fl_display, False);
        if (window.shown() && window.visible() && Viewable(window) && !window.damage() &&
            (!ours || ours->Draws() > 0))
            return true;
        Fl::wait(0.01);
    }
    return false;
}

// Runs ImageMagick's import on a window and waits for it.
bool RunImport(::Window xid, const std::string& path) {
    const std::string id = platform::Format("0x%lx", static_cast<unsigned long>(xid)).text;
    const char* const argv[] = {"import", "-window", id.c_str(), path.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "import", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool SaveWindow(Fl_Window& window, const Window* ours, const std::string& path) {
    if (!WaitDrawn(window, ours)) {
        std::fprintf(stderr, "[ui] snapshot %s: the window was not drawn\n", path.c_str());
        return false;
    }
    if (!RunImport(fl_xid(&window), path)) {
        std::fprintf(stderr, "[ui] snapshot %s: import failed\n", path.c_str());
        return false;
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    return true;
}

// The message of a name the file dialog refused: the name as the layer checked it (with the
// default extension when it had none) and the layer's reason.
std::string RefusalText(std::string path, const OpenFileSpec& spec, const std::string& problem) {
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!name.empty() && name.find('.') == std::string::npos && !spec.DefaultExtension.empty())
        path += "." + spec.DefaultExtension;
    std::string sentence = problem;
    if (!sentence.empty() && sentence[0] >= 'a' && sentence[0] <= 'z')
        sentence[0] = char(sentence[0] - 'a' + 'A');
    return path + "\n" + Translate(sentence + ".");
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Views: the FLTK side of each open dialog, control and message box.

struct DialogView;

struct ControlView {
    FltkBackend::Impl* Owner = nullptr;
    DialogView* Dialog = nullptr;
    Control* Model = nullptr; // gone once the view is dropped: Kind stays
    ControlKind Kind = ControlKind::Label;
    Fl_Widget* Widget = nullptr;
    // Drop-down lists: the entries as FLTK menu items (the last one empty) and their labels.
    std::vector<std::string> ItemLabels;
    std::vector<Fl_Menu_Item> Items;
    // Multi-line edits: the buffer and the text last shown.
    std::unique_ptr<Fl_Text_Buffer> Buffer;
    std::string Shown;
    // Pictures.
    PicturePixels Pixels;
    std::unique_ptr<Fl_RGB_Image> Image;

    // Lets go of the buffer, the picture and the menu before the widget goes.
    void Detach() {
        if (Buffer)
            static_cast<Fl_Text_Display*>(Widget)->buffer(nullptr);
        if (Image)
            Widget->image(nullptr);
        if (Kind == ControlKind::ComboList)
            static_cast<Fl_Choice*>(Widget)->menu(nullptr);
    }
};

struct DialogView final : WindowEvents {
    FltkBackend::Impl* Owner = nullptr;
    Dialog* Model = nullptr;
    DialogView* Parent = nullptr; // pages
    Fl_Group* Group = nullptr;    // the window of a dialog, the group of a page
    Window* Win = nullptr;        // dialogs only
    std::vector<std::unique_ptr<ControlView>> Controls;
    Rect AppliedPlace;               // dialogs: the layer's place last applied to the window
    Fl_Widget* FocusBelow = nullptr; // dialogs: the focus they had when a frame opened above
    bool Opened = false;
    bool Snapped = false;

    ~DialogView() override {
        for (auto& control : Controls)
            control->Detach();
        if (Win) {
            delete Win;
        } else if (Group) {
            if (Group->parent())
                Group->parent()->remove(Group);
            delete Group;
        }
    }

    bool Key(bool enter) override;
    void CloseBox() override;
};

struct BoxView final : WindowEvents {
    FltkBackend::Impl* Owner = nullptr;
    Frame* Box = nullptr;
    Window* Win = nullptr;
    std::vector<std::pair<Fl_Button*, int>> Buttons;
    bool Snapped = false;

    ~BoxView() override { delete Win; }

    bool Key(bool enter) override;
    void CloseBox() override;
};

struct FltkBackend::Impl {
    Options Settings;
    ui::Backend* Previous = nullptr;
    std::unordered_map<const Dialog*, std::unique_ptr<DialogView>> Dialogs;
    std::unordered_map<const Control*, ControlView*> Controls;
    std::unordered_map<const Fl_Widget*, ControlView*> Widgets;
    std::unordered_map<const Frame*, std::unique_ptr<BoxView>> Boxes;
    // Views taken down while a widget's callback runs: deleted once it returned.
    std::vector<std::unique_ptr<DialogView>> DoomedDialogs;
    std::vector<std::unique_ptr<BoxView>> DoomedBoxes;
    int CallbackDepth = 0;
    u32 BoxSnapshots = 0;
    u32 FileSnapshots = 0;
    std::string ChooserFolder; // the folder of a refused choice, where the chooser opens again
    // The name field of FLTK's chooser while it runs, and the callback FLTK gave it.
    Fl_File_Input* ChooserName = nullptr;
    Fl_File_Chooser* Chooser = nullptr;
    Fl_Callback* ChooserNameCallback = nullptr;
    void* ChooserNameData = nullptr;

    explicit Impl(Options options) : Settings(std::move(options)) {}

    // Counts the callbacks on the stack, so views are not deleted under them.
    struct CallbackScope {
        explicit CallbackScope(Impl& impl) : m_Impl(impl) { ++impl.CallbackDepth; }
        ~CallbackScope() {
            if (--m_Impl.CallbackDepth == 0)
                m_Impl.Reap();
        }
        CallbackScope(const CallbackScope&) = delete;
        CallbackScope& operator=(const CallbackScope&) = delete;
        Impl& m_Impl;
    };

    void Reap() {
        if (CallbackDepth > 0)
            return;
        DoomedDialogs.clear();
        DoomedBoxes.clear();
    }

    DialogView* Find(const Dialog* dialog) const {
        const auto found = Dialogs.find(dialog);
        return found == Dialogs.end() ? nullptr : found->second.get();
    }
    ControlView* Find(const Control* control) const {
        const auto found = Controls.find(control);
        return found == Controls.end() ? nullptr : found->second;
    }
    ControlView* FindWidget(const Fl_Widget* widget) const {
        const auto found = Widgets.find(widget);
        return found == Widgets.end() ? nullptr : found->second;
    }

    // The window a dialog or page is shown in.
    static Window* TopWindow(const DialogView& view) {
        const DialogView* at = &view;
        while (at->Parent)
            at = at->Parent;
        return at->Win;
    }

    // Window coordinates of a dialog's client origin.
    static void Origin(const DialogView& view, int& x, int& y) {
        if (view.Win) {
            x = 0;
            y = 0;
        } else {
            x = view.Group->x();
            y = view.Group->y();
        }
    }

    // ---- building

    void Build(Dialog& dialog);
    void BuildControl(DialogView& view, Control& control);
    void Place(ControlView& view);
    void PlacePage(DialogView& page);
    void Apply(ControlView& view, Change what);
    void ApplyAll(ControlView& view);
    void SyncPages(const Control& host);
    void ShowPage(DialogView& page);
    void Drop(DialogView& view);

    // ---- what the user does

    void UserChanged(ControlView& view);
    void AddressChanged(ControlView& view);
    void DialogKey(DialogView& view, bool enter);
    void FocusFromModel(DialogView& view);

    // ---- frames

    void OpenBox(Frame& frame);
    void RunChooser(Frame& frame);
    void Snapshot(Frame& frame);
    std::string SnapshotPath(const std::string& name) const;

    // ---- timers

    void ArmWake();
    static void Wake(void* data);
    static void ChooserCheck(void* data);
    static void OnChooserName(Fl_Widget* widget, void* data);
    static void SnapshotChooser(void* data);
    static void OnWidget(Fl_Widget* widget, void* data);
};

// ---------------------------------------------------------------------------------------------
// Building

void FltkBackend::Impl::Build(Dialog& dialog) {
    auto view = std::make_unique<DialogView>();
    view->Owner = this;
    view->Model = &dialog;
    Fl_Group::current(nullptr);
    const Rect client = dialog.ClientRect();
    if (dialog.IsPage()) {
        view->Parent = Find(dialog.Parent());
        if (!view->Parent) {
            std::fprintf(stderr, "[ui] page %u: its dialog has no window\n", dialog.TemplateId());
            return;
        }
        auto* group = new Fl_Group(0, 0, client.Width(), client.Height());
        group->end();
        group->box(FL_NO_BOX);
        group->resizable(nullptr);
        group->hide();
        view->Group = group;
        view->Parent->Group->add(group);
        PlacePage(*view);
    } else {
        auto* window = new Window(client.Width(), client.Height(), *view);
        view->Win = window;
        view->Group = window;
        view->AppliedPlace = dialog.WindowRect();
        window->copy_label(dialog.GetWindowText().c_str());
        if (!(dialog.Template()->Style & StyleCaption))
            window->border(0);
        int x = 0;
        int y = 0;
        const DialogView* owner = Find(dialog.Owner());
        if (owner && owner->Win) {
            CentreOver(x, y, window->w(), window->h(), owner->Win->x(), owner->Win->y(),
                       owner->Win->w(), owner->Win->h());
        } else {
            int sx = 0;
            int sy = 0;
            int sw = 0;
            int sh = 0;
            ScreenArea(sx, sy, sw, sh);
            CentreOver(x, y, window->w(), window->h(), sx, sy, sw, sh);
        }
        window->position(x, y);
    }
    DialogView& built = *view;
    Dialogs[&dialog] = std::move(view);
    // Group boxes first, so every other control is drawn over them.
    for (Control& control : dialog.Controls()) {
        if (control.Kind() == ControlKind::GroupBox)
            BuildControl(built, control);
    }
    for (Control& control : dialog.Controls()) {
        if (control.Kind() != ControlKind::GroupBox)
            BuildControl(built, control);
    }
}

void FltkBackend::Impl::BuildControl(DialogView& dialog, Control& control) {
    auto view = std::make_unique<ControlView>();
    view->Owner = this;
    view->Dialog = &dialog;
    view->Model = &control;
    view->Kind = control.Kind();
    Fl_Group::current(nullptr);
    Fl_Widget* widget = nullptr;
    switch (control.Kind()) {
        case ControlKind::Button: {
            auto* button = new Fl_Button(0, 0, 1, 1);
            if (control.Flags() & FlagFlat)
                button->box(FL_BORDER_BOX);
            widget = button;
            break;
        }
        case ControlKind::DefButton:
            widget = new DefaultButton(0, 0, 1, 1);
            break;
        case ControlKind::Check: {
            auto* check = new Fl_Check_Button(0, 0, 1, 1);
            check->when(FL_WHEN_CHANGED);
            // A check box's own text shows inside its rectangle only, as on the platform: a box
            // too narrow for it never writes over its neighbours.
            check->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
            widget = check;
            break;
        }
        case ControlKind::Label:
            widget = new LabelBox(0, 0, 1, 1);
            break;
        case ControlKind::GroupBox:
            widget = new GroupFrame(0, 0, 1, 1);
            break;
        case ControlKind::Picture:
            widget = new Fl_Box(0, 0, 1, 1);
            widget->box(FL_NO_BOX);
            break;
        case ControlKind::ComboList: {
            auto* choice = new Fl_Choice(0, 0, 1, 1);
            choice->textsize(FontSize);
            choice->when(FL_WHEN_RELEASE | FL_WHEN_NOT_CHANGED);
            widget = choice;
            break;
        }
        case ControlKind::Slider:
            widget = new TickSlider(0, 0, 1, 1);
            break;
        case ControlKind::Progress: {
            auto* progress = new Fl_Progress(0, 0, 1, 1);
            progress->selection_color(FL_SELECTION_COLOR);
            widget = progress;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new Edit(0, 0, 1, 1, control.Flags() & FlagNumber);
            if (control.Flags() & FlagReadOnly) {
                edit->readonly(1);
                edit->color(FL_BACKGROUND_COLOR);
            }
            widget = edit;
            break;
        }
        case ControlKind::EditMultiRO: {
            auto* display = new ReadOnlyText(0, 0, 1, 1, !(control.Flags() & FlagVScroll));
            view->Buffer = std::make_unique<Fl_Text_Buffer>();
            display->buffer(view->Buffer.get());
            display->textsize(FontSize);
            display->textfont(FL_HELVETICA);
            display->color(FL_BACKGROUND_COLOR);
            display->wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);
            display->scrollbar_width(16);
            if (control.Flags() & FlagVScroll)
                display->scrollbar_align(FL_ALIGN_RIGHT);
            widget = display;
            break;
        }
        case ControlKind::IpAddress: {
            auto* address = new AddressBox(0, 0, 1, 1);
            ControlView* raw = view.get();
            address->Changed = [this, address, raw] {
                if (FindWidget(address) == raw)
                    AddressChanged(*raw);
            };
            for (int i = 0; i < 4; ++i)
                Widgets[&address->Field(i)] = view.get();
            widget = address;
            break;
        }
        case ControlKind::Tab: {
            auto* tabs = new Fl_Tabs(0, 0, 1, 1);
            tabs->end();
            widget = tabs;
            break;
        }
    }
    widget->labelsize(FontSize);
    if (control.Kind() != ControlKind::IpAddress)
        widget->callback(&Impl::OnWidget, view.get());
    view->Widget = widget;
    dialog.Group->add(widget);
    Controls[&control] = view.get();
    Widgets[widget] = view.get();
    ApplyAll(*view);
    dialog.Controls.push_back(std::move(view));
}

void FltkBackend::Impl::Place(ControlView& view) {
    int x = 0;
    int y = 0;
    Origin(*view.Dialog, x, y);
    const Rect rect = view.Model->WindowRect();
    view.Widget->resize(x + rect.Left, y + rect.Top, std::max(rect.Width(), 0),
                        std::max(rect.Height(), 0));
    if (view.Model->Kind() == ControlKind::Tab) {
        auto* tabs = static_cast<Fl_Tabs*>(view.Widget);
        for (int i = 0; i < tabs->children(); ++i)
            tabs->child(i)->resize(tabs->x(), tabs->y() + TabRowHeight, tabs->w(),
                                   std::max(tabs->h() - TabRowHeight, 0));
    }
    if (Fl_Window* window = view.Widget->window())
        window->redraw();
    SyncPages(*view.Model);
}

void FltkBackend::Impl::PlacePage(DialogView& page) {
    const ControlView* host = Find(page.Model->Host());
    if (!host)
        return;
    int x = 0;
    int y = 0;
    Origin(*page.Parent, x, y);
    const Rect hostRect = host->Model->WindowRect();
    const Rect place = page.Model->WindowRect();
    page.Group->resize(x + hostRect.Left + place.Left, y + hostRect.Top + place.Top,
                       std::max(place.Width(), 0), std::max(place.Height(), 0));
    // Placed on top of its siblings.
    page.Parent->Group->add(page.Group);
    ShowPage(page);
    if (Fl_Window* window = page.Group->window())
        window->redraw();
}

// A page is shown while it is visible and its host control too.
void FltkBackend::Impl::ShowPage(DialogView& page) {
    const Control* host = page.Model->Host();
    const bool shown = page.Model->IsVisible() && host && host->IsVisible();
    if (shown && !page.Group->visible())
        page.Group->show();
    else if (!shown && page.Group->visible())
        page.Group->hide();
}

void FltkBackend::Impl::SyncPages(const Control& host) {
    for (auto& [dialog, view] : Dialogs) {
        if (view->Parent && dialog->Host() == &host)
            PlacePage(*view);
    }
}

void FltkBackend::Impl::ApplyAll(ControlView& view) {
    for (Change what :
         {Change::Items, Change::Text, Change::Range, Change::Position, Change::Selection,
          Change::Check, Change::Address, Change::Picture, Change::Place, Change::State})
        Apply(view, what);
}

void FltkBackend::Impl::Apply(ControlView& view, Change what) {
    Control& control = *view.Model;
    Fl_Widget& widget = *view.Widget;
    const ControlKind kind = control.Kind();
    switch (what) {
        case Change::Text: {
            const std::string text = control.GetText();
            switch (kind) {
                case ControlKind::Button:
                case ControlKind::DefButton:
                case ControlKind::Label:
                case ControlKind::GroupBox:
                    widget.copy_label(Label(text).c_str());
                    break;
                case ControlKind::Check:
                    widget.copy_label((control.Flags() & FlagOwnText) ? Label(text).c_str() : "");
                    // The whole text also on hover, for a box too narrow to show it.
                    widget.copy_tooltip((control.Flags() & FlagOwnText) && !text.empty()
                                            ? Label(text).c_str()
                                            : nullptr);
                    break;
                case ControlKind::Edit:
                    static_cast<Fl_Input&>(widget).value(text.c_str());
                    break;
                case ControlKind::EditMultiRO: {
                    // Text added at the end scrolls to the last line; other text shows from the
                    // top.
                    const bool appended = !view.Shown.empty() && text.size() > view.Shown.size() &&
                                          text.compare(0, view.Shown.size(), view.Shown) == 0;
                    view.Shown = text;
                    view.Buffer->text(LineBreaks(text).c_str());
                    auto& display = static_cast<ReadOnlyText&>(widget);
                    display.Refit();
                    if (appended) {
                        display.insert_position(view.Buffer->length());
                        display.show_insert_position();
                    } else {
                        display.insert_position(0);
                        display.scroll(0, 0);
                    }
                    break;
                }
                default:
                    break;
            }
            widget.redraw_label();
            widget.redraw();
            break;
        }
        case Change::State:
            if (control.IsEnabled())
                widget.activate();
            else
                widget.deactivate();
            if (control.IsVisible())
                widget.show();
            else
                widget.hide();
            SyncPages(control);
            break;
        case Change::Check:
            if (kind == ControlKind::Check)
                static_cast<Fl_Check_Button&>(widget).value(control.GetCheck() ? 1 : 0);
            break;
        case Change::Items:
            if (kind == ControlKind::ComboList) {
                auto& choice = static_cast<Fl_Choice&>(widget);
                view.ItemLabels.clear();
                for (i32 i = 0; i < control.GetCount(); ++i)
                    view.ItemLabels.push_back(MenuItem(control.GetItemText(i)));
                // Plain item labels, never Fl_Menu_::add, which reads '/', '&', '_' and tabs.
                view.Items.assign(view.ItemLabels.size() + 1, Fl_Menu_Item{});
                for (size_t i = 0; i < view.ItemLabels.size(); ++i) {
                    view.Items[i].text = view.ItemLabels[i].c_str();
                    view.Items[i].labelsize_ = FontSize;
                }
                choice.menu(view.Items.data());
                Apply(view, Change::Selection);
            } else if (kind == ControlKind::Tab) {
                auto& tabs = static_cast<Fl_Tabs&>(widget);
                tabs.clear();
                for (i32 i = 0; i < control.GetCount(); ++i) {
                    auto* item = new Fl_Group(tabs.x(), tabs.y() + TabRowHeight, tabs.w(),
                                              std::max(tabs.h() - TabRowHeight, 0));
                    item->end();
                    item->copy_label(Label(control.GetItemText(i)).c_str());
                    item->labelsize(FontSize);
                    tabs.add(item);
                }
                Apply(view, Change::Selection);
                tabs.redraw();
            }
            break;
        case Change::Selection:
            if (kind == ControlKind::ComboList) {
                static_cast<Fl_Choice&>(widget).value(control.GetCurSel());
                widget.redraw();
            } else if (kind == ControlKind::Tab) {
                auto& tabs = static_cast<Fl_Tabs&>(widget);
                const i32 index = control.GetCurSel();
                if (index >= 0 && index < tabs.children())
                    tabs.value(tabs.child(index));
            } else if (kind == ControlKind::Edit) {
                const auto [start, end] = control.GetSel();
                static_cast<Fl_Input&>(widget).position(end, start);
            }
            break;
        case Change::Range:
            if (kind == ControlKind::Slider) {
                auto& slider = static_cast<TickSlider&>(widget);
                slider.bounds(control.GetRangeMin(), control.GetRangeMax());
                slider.Ticks(control.GetTicFreq());
            } else if (kind == ControlKind::Progress) {
                auto& progress = static_cast<Fl_Progress&>(widget);
                progress.minimum(float(control.GetRangeMin()));
                progress.maximum(float(control.GetRangeMax()));
            }
            widget.redraw();
            break;
        case Change::Position:
            if (kind == ControlKind::Slider)
                static_cast<TickSlider&>(widget).value(control.GetPos());
            else if (kind == ControlKind::Progress)
                static_cast<Fl_Progress&>(widget).value(float(control.GetPos()));
            widget.redraw();
            break;
        case Change::Address:
            if (kind == ControlKind::IpAddress) {
                auto& address = static_cast<AddressBox&>(widget);
                const std::array<i16, 4> fields = control.AddressFields();
                for (int i = 0; i < 4; ++i) {
                    const i16 field = fields[size_t(i)];
                    address.Field(i).value(field < 0 ? "" : Decimal(field).c_str());
                }
            }
            break;
        case Change::Picture:
            if (kind == ControlKind::Picture) {
                widget.image(nullptr);
                view.Image.reset();
                view.Pixels = {};
                std::string problem;
                if (control.HasPicture() &&
                    DecodePicture(FindPicture(control.PictureId()), view.Pixels, problem)) {
                    view.Image = std::make_unique<Fl_RGB_Image>(
                        view.Pixels.Rgb.data(), view.Pixels.Width, view.Pixels.Height, 3);
                    widget.image(view.Image.get());
                } else if (control.HasPicture()) {
                    std::fprintf(stderr, "[ui] picture %u not shown: %s\n", control.PictureId(),
                                 problem.c_str());
                }
                Place(view);
            }
            break;
        case Change::Place:
            Place(view);
            break;
        case Change::Focus:
            if (TakesInput(*control.GetDialog()) && control.IsOnScreen()) {
                if (kind == ControlKind::IpAddress)
                    static_cast<AddressBox&>(widget).Field(0).take_focus();
                else
                    widget.take_focus();
            }
            break;
    }
}

// Takes a view down: its pages first, the map entries, then the widgets (now, or once the
// callbacks on the stack returned).
void FltkBackend::Impl::Drop(DialogView& view) {
    std::vector<DialogView*> pages;
    for (auto& [dialog, other] : Dialogs) {
        if (other->Parent == &view)
            pages.push_back(other.get());
    }
    for (DialogView* page : pages)
        Drop(*page);
    for (auto& control : view.Controls) {
        Controls.erase(control->Model);
        std::erase_if(Widgets, [&](const auto& entry) { return entry.second == control.get(); });
    }
    if (view.Group && !view.Win && view.Group->parent()) {
        view.Group->hide();
        view.Group->parent()->remove(view.Group);
    }
    if (view.Win)
        view.Win->hide();
    const auto found = Dialogs.find(view.Model);
    if (found == Dialogs.end())
        return;
    DoomedDialogs.push_back(std::move(found->second));
    Dialogs.erase(found);
    Reap();
}

// ---------------------------------------------------------------------------------------------
// What the user does

void FltkBackend::Impl::OnWidget(Fl_Widget* widget, void* data) {
    auto* view = static_cast<ControlView*>(data);
    if (view->Owner->FindWidget(widget) == view)
        view->Owner->UserChanged(*view);
}

void FltkBackend::Impl::UserChanged(ControlView& view) {
    const CallbackScope scope(*this);
    Control& control = *view.Model;
    Fl_Widget& widget = *view.Widget;
    InputResult result = InputResult::Done;
    Change resync = Change::Text;
    switch (control.Kind()) {
        case ControlKind::Button:
        case ControlKind::DefButton:
            input::Click(control);
            return;
        case ControlKind::Check:
            result = input::Check(control, static_cast<Fl_Check_Button&>(widget).value() != 0);
            resync = Change::Check;
            break;
        case ControlKind::ComboList:
            result = input::Select(control, static_cast<Fl_Choice&>(widget).value());
            resync = Change::Selection;
            break;
        case ControlKind::Edit:
            result = input::Type(control, static_cast<Fl_Input&>(widget).value());
            resync = Change::Text;
            break;
        case ControlKind::Slider:
            result =
                input::Slide(control, i32(std::lround(static_cast<TickSlider&>(widget).value())));
            resync = Change::Position;
            break;
        case ControlKind::Tab: {
            auto& tabs = static_cast<Fl_Tabs&>(widget);
            result = input::SelectTab(control, tabs.find(tabs.value()));
            resync = Change::Selection;
            break;
        }
        default:
            return;
    }
    // The handler may have taken the page down; otherwise the widget shows the model again
    // where the layer refused or changed the value.
    if (Find(&control) != &view)
        return;
    if (result != InputResult::Done || resync != Change::Text)
        Apply(view, resync);
}

void FltkBackend::Impl::AddressChanged(ControlView& view) {
    const CallbackScope scope(*this);
    auto& address = static_cast<AddressBox&>(*view.Widget);
    std::array<i32, 4> fields{};
    for (int i = 0; i < 4; ++i) {
        const char* text = address.Field(i).value();
        // A field above 255 is 255 for the layer; the field shows it once it loses the focus.
        fields[size_t(i)] = *text ? std::min(std::atoi(text), 255) : -1;
    }
    Control& control = *view.Model;
    if (input::SetAddress(control, fields) != InputResult::Done && Find(&control) == &view)
        Apply(view, Change::Address);
}

void FltkBackend::Impl::DialogKey(DialogView& view, bool enter) {
    const CallbackScope scope(*this);
    Dialog* target = TopDialog();
    if (!target || !TakesInput(*view.Model))
        return;
    // The key goes to the dialog or page holding the focus, which the layer learns first.
    if (ControlView* focus = FindWidget(Fl::focus())) {
        Dialog* dialog = focus->Model->GetDialog();
        if (dialog && TakesInput(*dialog) && input::Focus(*focus->Model) == InputResult::Done)
            target = dialog;
    }
    input::PressKey(*target, enter ? Key::Enter : Key::Escape);
}

bool DialogView::Key(bool enter) {
    Owner->DialogKey(*this, enter);
    return true;
}

void DialogView::CloseBox() {
    const FltkBackend::Impl::CallbackScope scope(*Owner);
    input::Close(*Model);
}

// The focus the layer holds (set by code), else the window itself: no control has it when a
// dialog opens.
void FltkBackend::Impl::FocusFromModel(DialogView& view) {
    for (auto& control : view.Controls) {
        if (control->Model->HasFocus()) {
            Apply(*control, Change::Focus);
            return;
        }
    }
    for (auto& [dialog, page] : Dialogs) {
        if (page->Parent == &view)
            for (auto& control : page->Controls) {
                if (control->Model->HasFocus()) {
                    Apply(*control, Change::Focus);
                    return;
                }
            }
    }
    Fl::focus(view.Win);
}

// ---------------------------------------------------------------------------------------------
// Message boxes

void FltkBackend::Impl::OpenBox(Frame& frame) {
    auto view = std::make_unique<BoxView>();
    view->Owner = this;
    view->Box = &frame;
    Fl_Group::current(nullptr);

    const std::string text = Label(frame.Text);
    fl_font(FL_HELVETICA, FontSize);
    int textW = BoxTextWidth;
    int textH = 0;
    fl_measure(text.c_str(), textW, textH, 1);
    textW = std::max(textW, 1) + 2;
    textH = std::max(textH, fl_height());
    const std::span<const int> results = BoxButtons(frame.BoxType);
    const int count = int(results.size());
    const int rowW = count * BoxButtonWidth + (count - 1) * BoxButtonGap;
    // The error sign stands left of the text, which moves right to make room for it.
    const bool sign = (frame.BoxType & MB_ICONERROR) != 0;
    const int textX = sign ? BoxMargin + BoxSignSize + BoxMargin : BoxMargin;
    const int topH = sign ? std::max(textH, BoxSignSize) : textH;
    const int w = std::max(textX - BoxMargin + textW, rowW) + 2 * BoxMargin;
    const int h = BoxMargin + topH + BoxMargin + BoxButtonHeight + BoxMargin;

    auto* window = new Window(w, h, *view);
    view->Win = window;
    window->copy_label(std::string(frame.Caption).c_str());
    if (sign)
        window->add(new ErrorSign(BoxMargin, BoxMargin, BoxSignSize));
    // Shown as written: the box takes '&' as it stands, so no shortcut marks.
    auto* body = new LabelBox(textX, BoxMargin + (topH - textH) / 2, textW, textH, false);
    body->copy_label(text.c_str());
    window->add(body);
    int x = (w - rowW) / 2;
    for (const int result : results) {
        Fl_Button* button = view->Buttons.empty()
                                ? new DefaultButton(x, h - BoxMargin - BoxButtonHeight,
                                                    BoxButtonWidth, BoxButtonHeight)
                                : new Fl_Button(x, h - BoxMargin - BoxButtonHeight, BoxButtonWidth,
                                                BoxButtonHeight);
        button->copy_label(Label(ButtonText(result)).c_str());
        button->labelsize(FontSize);
        button->callback(
            [](Fl_Widget* widget, void* data) {
                auto* box = static_cast<BoxView*>(data);
                const Impl::CallbackScope scope(*box->Owner);
                for (const auto& [candidate, answer] : box->Buttons) {
                    if (candidate == widget) {
                        input::AnswerBox(*box->Box, answer);
                        return;
                    }
                }
            },
            view.get());
        window->add(button);
        view->Buttons.emplace_back(button, result);
        x += BoxButtonWidth + BoxButtonGap;
    }

    int px = 0;
    int py = 0;
    const DialogView* owner = frame.Owner ? Find(frame.Owner) : nullptr;
    Window* over = owner ? TopWindow(*owner) : nullptr;
    if (over && over->shown()) {
        CentreOver(px, py, w, h, over->x(), over->y(), over->w(), over->h());
    } else {
        int sx = 0;
        int sy = 0;
        int sw = 0;
        int sh = 0;
        ScreenArea(sx, sy, sw, sh);
        CentreOver(px, py, w, h, sx, sy, sw, sh);
    }
    window->position(px, py);
    window->show();
    view->Buttons.front().first->take_focus();
    Boxes[&frame] = std::move(view);
}

bool BoxView::Key(bool enter) {
    const FltkBackend::Impl::CallbackScope scope(*Owner);
    if (!enter) {
        input::BoxKey(*Box, ui::Key::Escape);
        return true;
    }
    // Enter presses the focused button; the first is focused when the box opens.
    for (const auto& [button, answer] : Buttons) {
        if (Fl::focus() == button) {
            input::AnswerBox(*Box, answer);
            return true;
        }
    }
    input::BoxKey(*Box, ui::Key::Enter);
    return true;
}

void BoxView::CloseBox() {
    const FltkBackend::Impl::CallbackScope scope(*Owner);
    input::CloseBox(*Box);
}

// ---------------------------------------------------------------------------------------------
// The open-file dialog

namespace {

// FLTK's chooser gives its filter menu a fixed width, which cuts a longer entry (a description
// with the case-blind pattern after it): the window grows, as far as the screen allows, and the
// menu takes the room, the buttons beside it moving right.
void WidenFilterMenu(Fl_Window& window) {
    Fl_Group* row = nullptr;
    Fl_Choice* menu = nullptr;
    for (int i = 0; i < window.children() && !menu; ++i) {
        row = window.child(i)->as_group();
        for (int k = 0; row && k < row->children() && !menu; ++k)
            menu = dynamic_cast<Fl_Choice*>(row->child(k));
    }
    if (!menu)
        return;
    fl_font(menu->textfont(), menu->textsize());
    int widest = 0;
    for (int i = 0; i < menu->size(); ++i) {
        if (const char* text = menu->text(i))
            widest = std::max(widest, int(std::ceil(fl_width(text))));
    }
    // The menu's frame, its arrow (at most 20 pixels) and the entry's own padding.
    const int arrow = std::min(20, menu->h() - 2 * Fl::box_dh(menu->box()));
    const int needed = widest + arrow + Fl::box_dw(menu->box()) + 12;
    const int extra = std::min(needed - menu->w(), Fl::w() - 20 - window.w());
    if (extra <= 0)
        return;
    std::vector<std::pair<Fl_Widget*, std::array<int, 4>>> before;
    for (int k = 0; k < row->children(); ++k) {
        Fl_Widget* child = row->child(k);
        before.push_back({child, {child->x(), child->y(), child->w(), child->h()}});
    }
    const int menuRight = menu->x() + menu->w();
    window.resize(std::max(0, window.x() - extra / 2), window.y(), window.w() + extra, window.h());
    // The row scaled its children with the window: they are placed again.
    for (const auto& [child, box] : before) {
        if (child == menu)
            child->resize(box[0], box[1], box[2] + extra, box[3]);
        else if (box[0] >= menuRight)
            child->resize(box[0] + extra, box[1], box[2], box[3]);
        else
            child->resize(box[0], box[1], box[2], box[3]);
    }
    window.redraw();
}

} // namespace

// Every pass of the chooser's own loop: the idle hook, and the chooser's name field taken over
// once its window is up.
void FltkBackend::Impl::ChooserCheck(void* data) {
    if (const IdleHook idle = detail::GetState().Idle)
        idle();
    auto* impl = static_cast<Impl*>(data);
    Fl_Window* window = Fl::modal();
    if (impl->ChooserName || !window)
        return;
    for (auto& [dialog, view] : impl->Dialogs) {
        if (view->Win == window)
            return;
    }
    for (const auto& [frame, box] : impl->Boxes) {
        if (box->Win == window)
            return;
    }
    WidenFilterMenu(*window);
    // FLTK's chooser window carries its Fl_File_Chooser as user data.
    for (int i = 0; i < window->children() && !impl->ChooserName; ++i) {
        Fl_Group* group = window->child(i)->as_group();
        for (int k = 0; group && k < group->children(); ++k) {
            if (auto* input = dynamic_cast<Fl_File_Input*>(group->child(k))) {
                impl->ChooserName = input;
                impl->Chooser = static_cast<Fl_File_Chooser*>(window->user_data());
                impl->ChooserNameCallback = input->callback();
                impl->ChooserNameData = input->user_data();
                input->callback(&Impl::OnChooserName, impl);
                break;
            }
        }
    }
}

// FLTK 1.3's chooser takes a name typed without a folder from the process's current folder,
// not from the folder it shows: the shown folder is put before it first.
void FltkBackend::Impl::OnChooserName(Fl_Widget* widget, void* data) {
    auto* impl = static_cast<Impl*>(data);
    auto* input = static_cast<Fl_File_Input*>(widget);
    const std::string text = input->value();
    if (!text.empty() && text[0] != '/' && text[0] != '~' && text[0] != '$' && impl->Chooser) {
        std::string folder = impl->Chooser->directory() ? impl->Chooser->directory() : "";
        if (!folder.empty()) {
            if (folder.back() != '/')
                folder += '/';
            const int position = input->position() + int(folder.size());
            input->value((folder + text).c_str());
            input->position(position);
        }
    }
    if (impl->ChooserNameCallback)
        impl->ChooserNameCallback(widget, impl->ChooserNameData);
}

void FltkBackend::Impl::SnapshotChooser(void* data) {
    auto* impl = static_cast<Impl*>(data);
    Fl_Window* chooser = Fl::modal();
    bool ours = false;
    for (auto& [dialog, view] : impl->Dialogs)
        ours = ours || view->Win == chooser;
    if (!chooser || ours) {
        Fl::repeat_timeout(0.02, &Impl::SnapshotChooser, data);
        return;
    }
    ++impl->FileSnapshots;
    SaveWindow(*chooser, nullptr,
               impl->SnapshotPath("file-" + Decimal(impl->FileSnapshots) + ".png"));
    // Cancelled as by Escape.
    Fl::e_keysym = FL_Escape;
    Fl::e_state = 0;
    Fl::e_text = const_cast<char*>("\x1b");
    Fl::e_length = 1;
    Fl::handle(FL_KEYBOARD, chooser);
    // The chooser's loop waits for an event to see that its window went: the X server's news of
    // it, or this timeout (late enough not to run in the pass that runs this one).
    Fl::add_timeout(0.05, [](void*) {});
}

void FltkBackend::Impl::RunChooser(Frame& frame) {
    const OpenFileSpec& spec = *frame.File;
    // The save type lets any name through FLTK's chooser (its open type refuses a name that is
    // not there, so a name typed without its extension could never be taken); the layer then
    // applies the default extension and the existence rules, as the platform's dialog does.
    Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_SAVE_FILE);
    if (!spec.Title.empty())
        chooser.title(spec.Title.c_str());
    if (!spec.Patterns.empty())
        chooser.filter(Filter(spec.FilterDescription, spec.Patterns).c_str());
    const std::string& folder = ChooserFolder.empty() ? spec.InitialFolder : ChooserFolder;
    if (!folder.empty())
        chooser.directory(folder.c_str());
    // FLTK's chooser runs a loop of its own: the idle hook and the timers keep running in it.
    ChooserName = nullptr;
    Chooser = nullptr;
    Fl::add_check(&Impl::ChooserCheck, this);
    if (!Settings.SnapshotFolder.empty())
        Fl::add_timeout(0.0, &Impl::SnapshotChooser, this);
    const int shown = chooser.show();
    Fl::remove_timeout(&Impl::SnapshotChooser, this);
    Fl::remove_check(&Impl::ChooserCheck, this);
    ChooserName = nullptr;
    Chooser = nullptr;

    const char* picked = chooser.filename();
    if (shown != 0 || !picked || !*picked) {
        if (shown < 0)
            std::fprintf(stderr, "[ui] file chooser: %s\n", chooser.errmsg());
        ChooserFolder.clear();
        input::CancelFile(frame);
        return;
    }
    const std::string path = picked;
    std::string problem;
    if (input::ChooseFile(frame, path, problem) == InputResult::Refused) {
        // The refusal, then the chooser again in the same folder.
        const size_t slash = path.rfind('/');
        ChooserFolder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        MessageBox(frame.Owner, RefusalText(path, spec, problem),
                   spec.Title.empty() ? std::string_view("Open") : spec.Title, MB_OK);
        return;
    }
    ChooserFolder.clear();
    if (!problem.empty())
        std::fprintf(stderr, "[ui] file dialog: %s\n", problem.c_str());
}

// ---------------------------------------------------------------------------------------------
// Snapshots

std::string FltkBackend::Impl::SnapshotPath(const std::string& name) const {
    std::string path = Settings.SnapshotFolder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + name;
}

void FltkBackend::Impl::Snapshot(Frame& frame) {
    if (frame.Kind == FrameKind::Dialog) {
        DialogView* view = Find(frame.Modal);
        view->Snapped = true;
        SaveWindow(*view->Win, view->Win,
                   SnapshotPath(Decimal(frame.Modal->TemplateId()) + ".png"));
        if (!frame.Ended)
            input::PressKey(*frame.Modal, Key::Escape);
        if (!frame.Ended) {
            std::fprintf(stderr, "[ui] snapshot: dialog %u stays open after Escape; closed\n",
                         frame.Modal->TemplateId());
            input::Abandon(frame);
        }
    } else if (frame.Kind == FrameKind::Box) {
        BoxView& view = *Boxes[&frame];
        view.Snapped = true;
        ++BoxSnapshots;
        SaveWindow(*view.Win, view.Win, SnapshotPath("box-" + Decimal(BoxSnapshots) + ".png"));
        if (!frame.Ended)
            input::Abandon(frame);
    }
}

// ---------------------------------------------------------------------------------------------
// Timers: the layer keeps them; one FLTK timeout wakes whatever loop runs at the next due time.

void FltkBackend::Impl::ArmWake() {
    Fl::remove_timeout(&Impl::Wake, this);
    const i64 due = NextTimerDue();
    if (due < 0)
        return;
    const double seconds = double(std::max<i64>(due - platform::CounterNow(), 0)) /
                           double(platform::CounterFrequency());
    Fl::add_timeout(seconds, &Impl::Wake, this);
}

void FltkBackend::Impl::Wake(void* data) {
    auto* impl = static_cast<Impl*>(data);
    // A fired timer arms the next wake-up before its handler runs; a wake-up that came a little
    // early arms itself again.
    if (!FireDueTimer())
        impl->ArmWake();
    impl->Reap();
}

// ---------------------------------------------------------------------------------------------
// FltkBackend

FltkBackend::FltkBackend(Options options) : m_Impl(std::make_unique<Impl>(std::move(options))) {
    if (!OpenDisplay())
        std::exit(NoDisplayStatus);
    if (!m_Impl->Settings.SnapshotFolder.empty())
        mkdir(m_Impl->Settings.SnapshotFolder.c_str(), 0755);
    m_Impl->Previous = SetBackend(this);
}

FltkBackend::~FltkBackend() {
    Fl::remove_timeout(&Impl::Wake, m_Impl.get());
    SetBackend(m_Impl->Previous);
    m_Impl->Boxes.clear();
    while (!m_Impl->Dialogs.empty())
        m_Impl->Drop(*m_Impl->Dialogs.begin()->second);
    m_Impl->CallbackDepth = 0;
    m_Impl->Reap();
}

bool FltkBackend::SaveSnapshot(const Dialog& dialog, const std::string& path) {
    const DialogView* view = m_Impl->Find(&dialog);
    Window* window = view ? Impl::TopWindow(*view) : nullptr;
    if (!window || !window->shown()) {
        std::fprintf(stderr, "[ui] snapshot %s: dialog %u is not shown\n", path.c_str(),
                     dialog.TemplateId());
        return false;
    }
    return SaveWindow(*window, window, path);
}

Fl_Window* FltkBackend::WindowOf(const Dialog& dialog) const {
    const DialogView* view = m_Impl->Find(&dialog);
    return view ? Impl::TopWindow(*view) : nullptr;
}

Fl_Widget* FltkBackend::WidgetOf(const Control& control) const {
    const ControlView* view = m_Impl->Find(&control);
    return view ? view->Widget : nullptr;
}

Fl_Window* FltkBackend::BoxWindow() const {
    const std::span<Frame* const> frames = Frames();
    if (frames.empty() || frames.back()->Kind != FrameKind::Box)
        return nullptr;
    const auto found = m_Impl->Boxes.find(frames.back());
    return found == m_Impl->Boxes.end() ? nullptr : found->second->Win;
}

void FltkBackend::DialogCreated(Dialog& dialog) {
    m_Impl->Build(dialog);
}

void FltkBackend::DialogChanged(Dialog& dialog, Change what) {
    DialogView* view = m_Impl->Find(&dialog);
    if (!view)
        return;
    switch (what) {
        case Change::Text:
            if (view->Win)
                view->Win->copy_label(dialog.GetWindowText().c_str());
            break;
        case Change::State:
            if (!view->Win)
                m_Impl->ShowPage(*view);
            else if (!dialog.IsVisible())
                view->Win->hide();
            else if (view->Opened)
                view->Win->show();
            break;
        case Change::Place:
            if (!view->Win) {
                m_Impl->PlacePage(*view);
            } else {
                // The layer's place starts at the origin: the window moves only when code moved
                // it, and takes a size that code set.
                const Rect place = dialog.WindowRect();
                const Rect& applied = view->AppliedPlace;
                const bool moved = place.Left != applied.Left || place.Top != applied.Top;
                view->Win->resize(moved ? place.Left : view->Win->x(),
                                  moved ? place.Top : view->Win->y(), std::max(place.Width(), 1),
                                  std::max(place.Height(), 1));
                view->AppliedPlace = place;
            }
            break;
        default:
            break;
    }
}

void FltkBackend::DialogDestroyed(Dialog& dialog, int) {
    if (DialogView* view = m_Impl->Find(&dialog))
        m_Impl->Drop(*view);
    // Its timers went with it.
    m_Impl->ArmWake();
}

void FltkBackend::ControlChanged(Control& control, Change what) {
    if (ControlView* view = m_Impl->Find(&control))
        m_Impl->Apply(*view, what);
}

void FltkBackend::FrameOpened(Frame& frame) {
    // The dialog below keeps its focus for when the frame goes.
    const std::span<Frame* const> frames = Frames();
    for (auto at = frames.rbegin(); at != frames.rend(); ++at) {
        if (*at != &frame && (*at)->Kind == FrameKind::Dialog) {
            if (DialogView* below = m_Impl->Find((*at)->Modal))
                below->FocusBelow = Fl::focus();
            break;
        }
    }
    switch (frame.Kind) {
        case FrameKind::Dialog: {
            DialogView* view = m_Impl->Find(frame.Modal);
            if (!view)
                return;
            view->Opened = true;
            view->Win->show();
            m_Impl->FocusFromModel(*view);
            break;
        }
        case FrameKind::Box:
            m_Impl->OpenBox(frame);
            break;
        case FrameKind::File:
            break;
    }
}

void FltkBackend::FrameClosed(Frame& frame) {
    if (frame.Kind == FrameKind::Dialog) {
        if (DialogView* view = m_Impl->Find(frame.Modal))
            view->Win->hide();
    } else if (frame.Kind == FrameKind::Box) {
        const auto found = m_Impl->Boxes.find(&frame);
        if (found != m_Impl->Boxes.end()) {
            found->second->Win->hide();
            m_Impl->DoomedBoxes.push_back(std::move(found->second));
            m_Impl->Boxes.erase(found);
            m_Impl->Reap();
        }
    }
    // The focus goes back to the dialog below, where it was.
    if (Dialog* top = TopDialog()) {
        DialogView* view = m_Impl->Find(top);
        if (view && view->Win && view->Win->shown() && frame.Modal != top) {
            Fl_Widget* focus = view->FocusBelow;
            view->FocusBelow = nullptr;
            if (focus == view->Win ||
                (m_Impl->FindWidget(focus) && m_Impl->FindWidget(focus)->Dialog &&
                 Impl::TopWindow(*m_Impl->FindWidget(focus)->Dialog) == view->Win))
                Fl::focus(focus);
            else
                m_Impl->FocusFromModel(*view);
        }
    }
}

void FltkBackend::LoopPass(Frame& top) {
    m_Impl->Reap();
    if (!m_Impl->Settings.SnapshotFolder.empty()) {
        bool pending = false;
        if (top.Kind == FrameKind::Dialog) {
            const DialogView* view = m_Impl->Find(top.Modal);
            pending = view && !view->Snapped;
        } else if (top.Kind == FrameKind::Box) {
            const auto found = m_Impl->Boxes.find(&top);
            pending = found != m_Impl->Boxes.end() && !found->second->Snapped;
        }
        if (pending) {
            m_Impl->Snapshot(top);
            return;
        }
    }
    if (FireDueTimer())
        return;
    if (top.Kind == FrameKind::File) {
        m_Impl->RunChooser(top);
        return;
    }
    const i64 due = NextTimerDue();
    double wait = 1e20;
    if (due >= 0)
        wait = double(std::max<i64>(due - platform::CounterNow(), 0)) /
               double(platform::CounterFrequency());
    // A child let go ends without an event: the next pass's idle hook reaps it.
    if (platform::DetachedProcessCount() > 0)
        wait = std::min(wait, ReapWakeSeconds);
    Fl::wait(wait);
}

Rect FltkBackend::TabItemRect(const Control& tab, i32 index) {
    const ControlView* view = m_Impl->Find(&tab);
    if (!view || index < 0)
        return {};
    auto& tabs = static_cast<Fl_Tabs&>(*view->Widget);
    if (index >= tabs.children())
        return {};
    // FLTK keeps its tab positions to itself: find the item's columns along the row.
    Fl_Widget* item = tabs.child(index);
    const int row = tabs.y() + TabRowHeight / 2;
    int left = -1;
    int right = -1;
    for (int x = tabs.x(); x < tabs.x() + tabs.w(); ++x) {
        if (tabs.which(x, row) == item) {
            if (left < 0)
                left = x;
            right = x + 1;
        } else if (left >= 0) {
            break;
        }
    }
    if (left < 0)
        return {};
    // The first tab is drawn inside the control's frame, where FLTK also answers it.
    if (index == 0)
        left = std::max(left, tabs.x() + Fl::box_dx(tabs.box()));
    return {left - tabs.x(), 2, right - tabs.x(), TabRowHeight};
}

void FltkBackend::Misuse(std::string_view what) {
    std::fprintf(stderr, "[ui] programming error: %.*s\n", int(what.size()), what.data());
}

void FltkBackend::TimerEvent(Dialog&, TimerChange, u32, u32) {
    m_Impl->ArmWake();
}

// ---------------------------------------------------------------------------------------------
// Display

bool OpenDisplay() {
    if (fl_display)
        return true;
    // Opened here, so that FLTK finds it open: without a display FLTK would end the process
    // with a message of its own.
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "%.*s\n", int(NoDisplayMessage.size()), NoDisplayMessage.data());
        return false;
    }
    fl_open_display(display);
    // FLTK's own chooser: GTK's would set the whole locale when it initialises.
    Fl::option(Fl::OPTION_FNFC_USES_GTK, false);
    return true;
}

std::string SnapshotFolderFromEnvironment() {
    const char* folder = std::getenv("BRISALDE_UI_SNAPSHOT");
    return folder ? std::string(folder) : std::string();
}

} // namespace ui::fltk
