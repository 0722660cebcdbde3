#include "platform/ui/Dialog.h"

#include "platform/Clock.h"
#include "platform/Crt.h"
#include "platform/ui/Layer.h"
#include "platform/ui/MessageBox.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>

namespace ui {

using detail::Printf;

namespace detail {

State& GetState() {
    static State state;
    return state;
}

void Misuse(const std::string& what) {
    if (Backend* backend = GetState().Installed)
        backend->Misuse(what);
    else
        std::fprintf(stderr, "[ui] %s\n", what.c_str());
}

Control& Access::Null() {
    // Answered for a missing id: every operation on it does nothing.
    static Control null(nullptr, ControlTemplate{});
    return null;
}

Dialog& TopLevel(Dialog& dialog) {
    Dialog* at = &dialog;
    while (Dialog* parent = at->Parent())
        at = parent;
    return *at;
}

bool DialogOnScreen(const Dialog& dialog) {
    const Window* window = Access::Of(dialog);
    if (!window || !window->Visible)
        return false;
    if (!window->Parent)
        return true;
    return window->Host->IsVisible() && DialogOnScreen(*window->Parent);
}

void DrawNewSliders(Dialog& dialog) {
    Window* window = Access::Of(dialog);
    if (!window)
        return;
    for (Control& control : window->Controls) {
        if (control.Kind() == ControlKind::Slider && !Access::DrawnOnce(control) &&
            control.IsOnScreen()) {
            Access::SetDrawnOnce(control);
            Access::Notify(dialog, control.Id(), NM_CUSTOMDRAW);
        }
    }
    const std::vector<Dialog*> pages = window->Pages;
    for (Dialog* page : pages)
        DrawNewSliders(*page);
}

void RunModalLoop(Frame& frame) {
    while (!frame.Ended) {
        State& state = GetState();
        if (state.Idle)
            state.Idle();
        if (!state.Installed) {
            // The backend went away under an open frame: nothing can end it any more.
            input::Abandon(frame);
            break;
        }
        state.Installed->LoopPass(frame);
    }
}

} // namespace detail

using detail::Access;
using detail::GetState;
using detail::Misuse;
using detail::Window;

namespace {

std::string Describe(const Dialog& dialog) {
    return Printf("dialog %u", dialog.TemplateId());
}

void NotifyDialog(Dialog& dialog, Change what) {
    if (Backend* backend = GetState().Installed)
        backend->DialogChanged(dialog, what);
}

// Applies SetWindowPos to a rectangle and a visibility; answers whether it was moved or sized.
bool Place(Rect& rect, bool& visible, i32 x, i32 y, i32 width, i32 height, u32 flags,
           bool& visibilityChanged) {
    const bool move = !(flags & SWP_NOMOVE);
    const bool size = !(flags & SWP_NOSIZE);
    if (move) {
        const i32 w = rect.Width();
        const i32 h = rect.Height();
        rect = {x, y, x + w, y + h};
    }
    if (size)
        rect = {rect.Left, rect.Top, rect.Left + std::max(width, 0),
                rect.Top + std::max(height, 0)};
    const bool wasVisible = visible;
    if (flags & SWP_SHOWWINDOW)
        visible = true;
    else if (flags & SWP_HIDEWINDOW)
        visible = false;
    visibilityChanged = visible != wasVisible;
    return move || size;
}

// Blanks the integer exchange skips around a number.
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Blanks, an optional sign, decimal digits, blanks; the value must fit 32 bits.
std::optional<i32> ParseInteger(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    i64 magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    const i64 value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return i32(value);
}

// Replaces %1 and %2 in one scan, so that a substituted text is not scanned again.
std::string Substitute(std::string_view text, std::string_view first, std::string_view second) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
            out += text[i + 1] == '1' ? first : second;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::unique_ptr<Window> BuildWindow(Dialog& dialog, const DialogTemplate& dialogTemplate) {
    auto window = std::make_unique<Window>();
    window->Template = &dialogTemplate;
    window->Caption = dialogTemplate.Caption;
    const Rect size = DuToPixels(0, 0, dialogTemplate.WidthDu, dialogTemplate.HeightDu);
    window->Place = {0, 0, size.Width(), size.Height()};
    window->Controls.reserve(dialogTemplate.Controls.size());
    for (const ControlTemplate& controlTemplate : dialogTemplate.Controls)
        window->Controls.emplace_back(&dialog, controlTemplate);
    return window;
}

// Lets go of the timers a dialog leaves set, telling the backend of each.
void DropTimers(Dialog& dialog) {
    detail::State& state = GetState();
    std::vector<u32> dropped;
    std::erase_if(state.Timers, [&](const detail::Timer& timer) {
        if (timer.Owner != &dialog)
            return false;
        dropped.push_back(timer.Id);
        return true;
    });
    if (state.Installed) {
        for (const u32 id : dropped)
            state.Installed->TimerEvent(dialog, TimerChange::Dropped, id, 0);
    }
}

void ClearFocusIn(const Dialog& dialog) {
    Window* top = Access::Of(detail::TopLevel(const_cast<Dialog&>(dialog)));
    if (top && top->Focus && top->Focus->GetDialog() == &dialog)
        top->Focus = nullptr;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Control

Control::Control(Dialog* dialog, const ControlTemplate& controlTemplate)
    : m_Dialog(dialog), m_Id(controlTemplate.Id), m_Kind(controlTemplate.Kind),
      m_Flags(controlTemplate.Flags), m_Rect(DuToPixels(controlTemplate.XDu, controlTemplate.YDu,
                                                        controlTemplate.WDu, controlTemplate.HDu)),
      m_Text(controlTemplate.Text) {
    if (m_Kind == ControlKind::ComboList) {
        m_DropHeight = m_Rect.Height();
        m_Rect.Bottom = m_Rect.Top + ComboLineHeight;
    }
}

bool Control::Is(const char* operation, std::initializer_list<ControlKind> kinds) const {
    if (!Usable())
        return false;
    if (std::find(kinds.begin(), kinds.end(), m_Kind) != kinds.end())
        return true;
    Misuse(Printf("%s on control %u of dialog %u, a %s", operation, m_Id, m_Dialog->TemplateId(),
                  ControlKindName(m_Kind)));
    return false;
}

void Control::Changed(Change what) {
    if (Backend* backend = GetState().Installed)
        backend->ControlChanged(*this, what);
}

void Control::SetText(std::string_view text) {
    using enum ControlKind;
    if (!Is("SetText", {Button, DefButton, Check, Label, GroupBox, Picture, Edit, EditMultiRO}))
        return;
    if (m_Text == text)
        return;
    m_Text = text;
    m_SelStart = m_SelEnd = 0;
    Changed(Change::Text);
}

std::string Control::GetText() const {
    if (m_Kind == ControlKind::ComboList)
        return GetItemText(m_Selection);
    return m_Text;
}

void Control::Enable(bool enable) {
    if (!Usable() || m_Enabled == enable)
        return;
    m_Enabled = enable;
    Changed(Change::State);
}

void Control::Show(bool show) {
    if (!Usable() || m_Visible == show)
        return;
    m_Visible = show;
    Changed(Change::State);
    if (show)
        detail::DrawNewSliders(*m_Dialog);
}

bool Control::IsOnScreen() const {
    return m_Dialog && m_Visible && detail::DialogOnScreen(*m_Dialog);
}

void Control::SetFocus() {
    if (!Usable())
        return;
    Window* top = Access::Of(detail::TopLevel(*m_Dialog));
    if (!top || top->Focus == this)
        return;
    top->Focus = this;
    Changed(Change::Focus);
}

bool Control::HasFocus() const {
    if (!m_Dialog)
        return false;
    const Window* top = Access::Of(detail::TopLevel(*m_Dialog));
    return top && top->Focus == this;
}

void Control::SetWindowPos(i32 x, i32 y, i32 width, i32 height, u32 flags) {
    if (!Usable())
        return;
    bool visibilityChanged = false;
    if (Place(m_Rect, m_Visible, x, y, width, height, flags, visibilityChanged))
        Changed(Change::Place);
    if (visibilityChanged) {
        Changed(Change::State);
        if (m_Visible)
            detail::DrawNewSliders(*m_Dialog);
    }
}

void Control::SetCheck(bool checked) {
    if (!Is("SetCheck", {ControlKind::Check}) || m_Checked == checked)
        return;
    m_Checked = checked;
    Changed(Change::Check);
}

void Control::ResetContent() {
    if (!Is("ResetContent", {ControlKind::ComboList}))
        return;
    m_Items.clear();
    m_Selection = -1;
    Changed(Change::Items);
}

i32 Control::AddString(std::string_view text) {
    if (!Is("AddString", {ControlKind::ComboList}))
        return -1;
    m_Items.emplace_back(text);
    Changed(Change::Items);
    return i32(m_Items.size()) - 1;
}

bool Control::SetCurSel(i32 index) {
    if (!Is("SetCurSel", {ControlKind::ComboList, ControlKind::Tab}))
        return false;
    const bool inside = index >= 0 && index < GetCount();
    // A tab control keeps its selection on a bad index; a list loses it.
    const i32 selection = inside ? index : m_Kind == ControlKind::Tab ? m_Selection : -1;
    if (selection != m_Selection) {
        m_Selection = selection;
        Changed(Change::Selection);
    }
    return inside;
}

std::string Control::GetItemText(i32 index) const {
    if (index < 0 || index >= GetCount())
        return {};
    return m_Items[size_t(index)];
}

void Control::SetRange(i32 min, i32 max) {
    if (!Is("SetRange", {ControlKind::Slider, ControlKind::Progress}))
        return;
    m_Min = min;
    m_Max = std::max(min, max);
    Changed(Change::Range);
    SetPosition(m_Position);
}

void Control::SetPos(i32 position) {
    if (!Is("SetPos", {ControlKind::Slider, ControlKind::Progress}))
        return;
    SetPosition(position);
}

void Control::SetPosition(i32 position) {
    const i32 clamped = std::clamp(position, m_Min, m_Max);
    if (clamped != m_Position) {
        m_Position = clamped;
        Changed(Change::Position);
    }
    // A slider redraws on every change of its position or range.
    if (m_Kind == ControlKind::Slider) {
        m_DrawnOnce = m_DrawnOnce || IsOnScreen();
        Access::Notify(*m_Dialog, m_Id, NM_CUSTOMDRAW);
    }
}

void Control::SetTicFreq(i32 frequency) {
    if (!Is("SetTicFreq", {ControlKind::Slider}) || m_TicFrequency == frequency)
        return;
    m_TicFrequency = frequency;
    Changed(Change::Range);
}

void Control::SetSel(i32 start, i32 end) {
    if (!Is("SetSel", {ControlKind::Edit, ControlKind::EditMultiRO}))
        return;
    const i32 size = i32(m_Text.size());
    end = end < 0 || end > size ? size : end;
    start = std::clamp(start, 0, size);
    if (start > end)
        std::swap(start, end);
    m_SelStart = start;
    m_SelEnd = end;
    Changed(Change::Selection);
}

void Control::SetAddress(u32 address) {
    if (!Is("SetAddress", {ControlKind::IpAddress}))
        return;
    for (int i = 0; i < 4; ++i)
        m_Fields[size_t(i)] = i16((address >> (24 - 8 * i)) & 0xFF);
    Changed(Change::Address);
}

void Control::ClearAddress() {
    if (!Is("ClearAddress", {ControlKind::IpAddress}))
        return;
    m_Fields = {-1, -1, -1, -1};
    Changed(Change::Address);
}

i32 Control::GetAddress(u32& address) const {
    address = 0;
    if (!Is("GetAddress", {ControlKind::IpAddress}))
        return 0;
    i32 count = 0;
    for (int i = 0; i < 4; ++i) {
        const i16 field = m_Fields[size_t(i)];
        if (field >= 0) {
            address |= u32(field) << (24 - 8 * i);
            ++count;
        }
    }
    return count;
}

i32 Control::InsertItem(i32 index, std::string_view text) {
    if (!Is("InsertItem", {ControlKind::Tab}) || index < 0)
        return -1;
    index = std::min(index, GetCount());
    m_Items.insert(m_Items.begin() + index, std::string(text));
    if (m_Items.size() == 1)
        m_Selection = 0;
    else if (m_Selection >= index)
        ++m_Selection;
    Changed(Change::Items);
    return index;
}

Rect Control::GetItemRect(i32 index) const {
    if (!Is("GetItemRect", {ControlKind::Tab}) || index < 0 || index >= GetCount())
        return {};
    Backend* backend = GetState().Installed;
    return backend ? backend->TabItemRect(*this, index) : Rect{};
}

bool Control::SetPicture(u32 resourceId) {
    if (!Is("SetPicture", {ControlKind::Picture}))
        return false;
    m_PictureId = resourceId;
    PictureSize size;
    std::string problem;
    const std::span<const u8> bytes = FindPicture(resourceId);
    m_HasPicture = !bytes.empty() && ReadPictureSize(bytes, size, problem);
    if (m_HasPicture)
        m_Rect = {m_Rect.Left, m_Rect.Top, m_Rect.Left + size.Width, m_Rect.Top + size.Height};
    else if (!bytes.empty())
        std::fprintf(stderr, "[ui] picture %u: %s\n", resourceId, problem.c_str());
    Changed(Change::Picture);
    return m_HasPicture;
}

// ---------------------------------------------------------------------------------------------
// Hooks

IdleHook SetIdleHook(IdleHook hook) {
    return std::exchange(GetState().Idle, hook);
}

TranslationHook SetTranslationHook(TranslationHook hook) {
    return std::exchange(GetState().Translate, hook);
}

std::string Translate(std::string_view text) {
    const TranslationHook hook = GetState().Translate;
    return hook ? hook(text) : std::string(text);
}

void SetApplicationTitle(std::string_view title) {
    GetState().Title = title;
}

std::string ApplicationTitle() {
    return GetState().Title;
}

// ---------------------------------------------------------------------------------------------
// Dialog

Dialog::Dialog(u32 templateId) : m_TemplateId(templateId) {}

Dialog::~Dialog() {
    if (!m_Window)
        return;
    DropTimers(*this);
    if (Dialog* parent = m_Window->Parent) {
        // A page deleted while its dialog stays open leaves the dialog.
        ClearFocusIn(*this);
        std::erase(Access::Of(*parent)->Pages, this);
        if (Backend* backend = GetState().Installed)
            backend->DialogDestroyed(*this, 0);
        return;
    }
    Misuse(Describe(*this) + " was destroyed while it runs");
    std::erase(GetState().Frames, m_Window->ModalFrame);
}

Window* Dialog::Open(const char* operation) const {
    if (!m_Window)
        Misuse(std::string(operation) + " on " + Describe(*this) + ", which is not open");
    return m_Window.get();
}

int Dialog::DoModal(Dialog* owner) {
    detail::State& state = GetState();
    if (m_Window) {
        Misuse("DoModal of " + Describe(*this) + ", which is open");
        return -1;
    }
    const DialogTemplate* dialogTemplate = FindTemplate(m_TemplateId);
    if (!dialogTemplate || !state.Installed) {
        std::fprintf(stderr, "[ui] %s cannot open: %s\n", Describe(*this).c_str(),
                     dialogTemplate ? "no backend is installed" : "its template is unknown");
        Trace(Describe(*this) + " cannot open");
        return -1;
    }

    Frame frame;
    frame.Kind = FrameKind::Dialog;
    frame.Modal = this;
    m_Window = BuildWindow(*this, *dialogTemplate);
    m_Window->Owner = owner && owner->IsOpen() ? &detail::TopLevel(*owner) : TopDialog();
    m_Window->ModalFrame = &frame;
    state.Frames.push_back(&frame);

    // Takes the dialog down whichever way DoModal is left; the handlers run only on the way
    // out of a normal end.
    struct Teardown {
        Dialog& dialog;
        Frame& frame;
        bool shown = false;
        ~Teardown() {
            detail::State& state = GetState();
            if (shown && state.Installed)
                state.Installed->FrameClosed(frame);
            Window& window = *Access::Of(dialog);
            for (Dialog* page : window.Pages) {
                DropTimers(*page);
                if (state.Installed)
                    state.Installed->DialogDestroyed(*page, 0);
                page->m_Window.reset();
            }
            window.Pages.clear();
            DropTimers(dialog);
            if (state.Installed)
                state.Installed->DialogDestroyed(dialog, frame.Result);
            std::erase(state.Frames, &frame);
            dialog.m_Window.reset();
        }
    } teardown{*this, frame};

    if (state.Installed)
        state.Installed->DialogCreated(*this);
    OnInitDialog();
    if (!frame.Ended) {
        m_Window->Visible = true;
        teardown.shown = true;
        if (state.Installed)
            state.Installed->FrameOpened(frame);
        detail::DrawNewSliders(*this);
        detail::RunModalLoop(frame);
    }
    OnDestroy();
    const std::vector<Dialog*> pages = m_Window->Pages;
    for (Dialog* page : pages) {
        if (page->m_Window)
            page->OnDestroy();
    }
    return frame.Result;
}

void Dialog::EndDialog(int code) {
    Window* window = Open("EndDialog");
    if (!window)
        return;
    if (window->Parent) {
        if (Backend* backend = GetState().Installed)
            backend->PageEndIgnored(*this, code);
        return;
    }
    window->ModalFrame->Ended = true;
    window->ModalFrame->Result = code;
}

bool Dialog::CreateChild(Dialog& page, u32 templateId, u32 hostId) {
    Window* window = Open("CreateChild");
    if (!window)
        return false;
    if (page.m_Window || &page == this) {
        Misuse("CreateChild of a page of " + Describe(*this) + " that is open");
        return false;
    }
    Control* host = nullptr;
    for (Control& control : window->Controls) {
        if (control.Id() == hostId)
            host = &control;
    }
    if (!host) {
        Misuse(Describe(*this) + Printf(" has no control %u to host a page", hostId));
        return false;
    }
    const DialogTemplate* pageTemplate = FindTemplate(templateId);
    if (!pageTemplate) {
        std::fprintf(stderr, "[ui] page template %u is unknown\n", templateId);
        Trace(Printf("page %u cannot open", templateId));
        return false;
    }
    page.m_TemplateId = templateId;
    page.m_Window = BuildWindow(page, *pageTemplate);
    page.m_Window->Parent = this;
    page.m_Window->Host = host;
    window->Pages.push_back(&page);
    if (Backend* backend = GetState().Installed)
        backend->DialogCreated(page);
    page.OnInitDialog();
    return true;
}

u32 Dialog::SetTimer(u32 id, u32 periodMs) {
    if (!Open("SetTimer"))
        return 0;
    // The platform's window timers run between 10 ms and 0x7FFFFFFF ms.
    const u32 period = std::clamp<u32>(periodMs, 10, 0x7FFFFFFF);
    const i64 ticks = i64(period) * platform::CounterFrequency() / 1000;
    const i64 now = platform::CounterNow();
    detail::State& state = GetState();
    auto found = std::find_if(state.Timers.begin(), state.Timers.end(), [&](const auto& timer) {
        return timer.Owner == this && timer.Id == id;
    });
    if (found != state.Timers.end()) {
        found->Period = ticks;
        found->Due = now + ticks;
    } else {
        state.Timers.push_back({this, id, ticks, now + ticks, state.TimerOrder++});
    }
    if (state.Installed)
        state.Installed->TimerEvent(*this, TimerChange::Set, id, period);
    return id;
}

bool Dialog::KillTimer(u32 id) {
    detail::State& state = GetState();
    const size_t erased = std::erase_if(state.Timers, [&](const detail::Timer& timer) {
        return timer.Owner == this && timer.Id == id;
    });
    if (erased && state.Installed)
        state.Installed->TimerEvent(*this, TimerChange::Kill, id, 0);
    return erased != 0;
}

bool Dialog::UpdateData(bool save) {
    if (!Open("UpdateData"))
        return false;
    DataExchange dx(*this, save);
    DoDataExchange(dx);
    return !dx.Failed();
}

Control& Dialog::Item(u32 id) {
    Window* window = Open("Item");
    if (!window)
        return Access::Null();
    for (Control& control : window->Controls) {
        if (control.Id() == id)
            return control;
    }
    Misuse(Describe(*this) + Printf(" has no control %u", id));
    return Access::Null();
}

const Control* Dialog::FindItem(u32 id) const {
    if (!m_Window)
        return nullptr;
    for (const Control& control : m_Window->Controls) {
        if (control.Id() == id)
            return &control;
    }
    return nullptr;
}

void Dialog::SetWindowText(std::string_view text) {
    Window* window = Open("SetWindowText");
    if (!window || window->Caption == text)
        return;
    window->Caption = text;
    NotifyDialog(*this, Change::Text);
}

std::string Dialog::GetWindowText() const {
    const Window* window = Open("GetWindowText");
    return window ? window->Caption : std::string();
}

Rect Dialog::ClientRect() const {
    const Window* window = Open("ClientRect");
    return window ? Rect{0, 0, window->Place.Width(), window->Place.Height()} : Rect{};
}

Rect Dialog::WindowRect() const {
    const Window* window = Open("WindowRect");
    return window ? window->Place : Rect{};
}

void Dialog::SetWindowPos(i32 x, i32 y, i32 width, i32 height, u32 flags) {
    Window* window = Open("SetWindowPos");
    if (!window)
        return;
    bool visibilityChanged = false;
    if (Place(window->Place, window->Visible, x, y, width, height, flags, visibilityChanged))
        NotifyDialog(*this, Change::Place);
    if (visibilityChanged) {
        NotifyDialog(*this, Change::State);
        if (window->Visible)
            detail::DrawNewSliders(*this);
    }
}

void Dialog::Show(bool show) {
    Window* window = Open("Show");
    if (!window || window->Visible == show)
        return;
    window->Visible = show;
    NotifyDialog(*this, Change::State);
    if (show)
        detail::DrawNewSliders(*this);
}

bool Dialog::IsVisible() const {
    return m_Window && m_Window->Visible;
}

bool Dialog::IsPage() const {
    return m_Window && m_Window->Parent;
}

const DialogTemplate* Dialog::Template() const {
    return m_Window ? m_Window->Template : nullptr;
}

Dialog* Dialog::Owner() const {
    return m_Window ? m_Window->Owner : nullptr;
}

Dialog* Dialog::Parent() const {
    return m_Window ? m_Window->Parent : nullptr;
}

Control* Dialog::Host() const {
    return m_Window ? m_Window->Host : nullptr;
}

std::span<Dialog* const> Dialog::Pages() const {
    if (!m_Window)
        return {};
    return m_Window->Pages;
}

std::span<Control> Dialog::Controls() {
    if (!m_Window)
        return {};
    return m_Window->Controls;
}

std::span<const Control> Dialog::Controls() const {
    if (!m_Window)
        return {};
    return m_Window->Controls;
}

bool Dialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void Dialog::OnOK() {
    if (UpdateData(true))
        EndDialog(IDOK);
}

void Dialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void Dialog::OnCommand(u32 id, i32 code) {
    if (code != BN_CLICKED)
        return;
    if (id == u32(IDOK))
        OnOK();
    else if (id == u32(IDCANCEL))
        OnCancel();
}

void Dialog::OnNotify(u32, i32) {}

void Dialog::OnTimer(u32) {}

void Dialog::OnDestroy() {}

void Dialog::DoDataExchange(DataExchange&) {}

// ---------------------------------------------------------------------------------------------
// DataExchange

Control* DataExchange::Find(u32 id, const char* operation,
                            std::initializer_list<ControlKind> kinds) {
    if (m_Failed)
        return nullptr;
    Control& control = m_Dialog.Item(id);
    return control.Is(operation, kinds) ? &control : nullptr;
}

void DataExchange::Text(u32 id, std::string& value) {
    using enum ControlKind;
    Control* control = Find(id, "DataExchange::Text",
                            {Edit, EditMultiRO, Label, GroupBox, Button, DefButton, Check});
    if (!control)
        return;
    if (m_Saving)
        value = control->GetText();
    else
        control->SetText(value);
}

void DataExchange::Int(u32 id, i32& value) {
    IntExchange(id, value, nullptr, nullptr);
}

void DataExchange::Int(u32 id, i32& value, i32 min, i32 max) {
    IntExchange(id, value, &min, &max);
}

void DataExchange::IntExchange(u32 id, i32& value, const i32* min, const i32* max) {
    Control* control = Find(id, "DataExchange::Int", {ControlKind::Edit});
    if (!control)
        return;
    if (!m_Saving) {
        control->SetText(Printf("%d", value));
        return;
    }
    const std::optional<i32> parsed = ParseInteger(control->GetText());
    if (!parsed) {
        Refuse(*control, Translate("Please enter an integer."));
        return;
    }
    if (min && (*parsed < *min || *parsed > *max)) {
        const std::string low = Printf("%d", *min);
        const std::string high = Printf("%d", *max);
        Refuse(*control,
               Substitute(Translate("Please enter an integer between %1 and %2."), low, high));
        return;
    }
    value = *parsed;
}

void DataExchange::Check(u32 id, i32& value) {
    Control* control = Find(id, "DataExchange::Check", {ControlKind::Check});
    if (!control)
        return;
    if (m_Saving)
        value = control->GetCheck() ? 1 : 0;
    else
        control->SetCheck(value != 0);
}

void DataExchange::ComboIndex(u32 id, i32& index) {
    Control* control = Find(id, "DataExchange::ComboIndex", {ControlKind::ComboList});
    if (!control)
        return;
    if (m_Saving)
        index = control->GetCurSel();
    else
        control->SetCurSel(index);
}

void DataExchange::SliderPos(u32 id, i32& position) {
    Control* control = Find(id, "DataExchange::SliderPos", {ControlKind::Slider});
    if (!control)
        return;
    if (m_Saving)
        position = control->GetPos();
    else
        control->SetPos(position);
}

void DataExchange::Refuse(Control& control, const std::string& message) {
    m_Failed = true;
    if (Backend* backend = GetState().Installed)
        backend->ExchangeRefused(control, control.GetText());
    MessageBox(&m_Dialog, message, ApplicationTitle(), MB_OK);
    // The box's loop may have closed the dialog (a failure unwinding the flow).
    if (control.GetDialog()->IsOpen()) {
        control.SetFocus();
        control.SetSel(0, -1);
    }
}

} // namespace ui
