#pragma once
// Test dialogs: templates with every control kind, pages, and a dialog class whose handlers
// record what reaches them and run what a test hands them.
#include "platform/Types.h"
#include "platform/ui/Dialog.h"

#include <functional>
#include <string>
#include <vector>

namespace zoo {

using ui::ControlKind;

// Every control kind.
inline constexpr u32 ZooId = 9001;
inline constexpr ui::ControlTemplate ZooControls[] = {
    {1, ControlKind::DefButton, 5, 180, 50, 14, "OK"},
    {2, ControlKind::Button, 60, 180, 50, 14, "Cancel"},
    {1001, ControlKind::Button, 115, 180, 50, 14, "Push", ui::FlagFlat},
    {1002, ControlKind::Check, 5, 5, 80, 10, "Own text", ui::FlagOwnText},
    {1003, ControlKind::Label, 5, 20, 80, 10, "Label"},
    {1004, ControlKind::GroupBox, 100, 5, 190, 60, "Group"},
    {1005, ControlKind::Picture, 1, 70, 20, 20},
    {1006, ControlKind::ComboList, 5, 35, 90, 50},
    {1007, ControlKind::Slider, 5, 50, 90, 10},
    {1008, ControlKind::Progress, 5, 62, 90, 8},
    {1009, ControlKind::Edit, 110, 20, 50, 12, "", ui::FlagNumber},
    {1010, ControlKind::EditMultiRO, 110, 35, 170, 25, "", ui::FlagReadOnly | ui::FlagVScroll},
    {1011, ControlKind::IpAddress, 110, 70, 75, 11},
    {1012, ControlKind::Tab, 100, 90, 190, 80},
    {1013, ControlKind::Edit, 200, 20, 80, 12},
    {1014, ControlKind::Edit, 200, 35, 80, 12, "fixed", ui::FlagReadOnly},
};
inline constexpr ui::DialogTemplate Zoo{
    ZooId, 300, 200, ui::StylePopup | ui::StyleCaption | ui::StyleSystemMenu, "Zoo", ZooControls};

// Key rules: no default button and no control 1 (as the download dialog).
inline constexpr u32 NoDefaultId = 9002;
inline constexpr ui::ControlTemplate NoDefaultControls[] = {
    {2, ControlKind::Button, 105, 120, 50, 14, "Cancel"},
    {1001, ControlKind::Button, 5, 120, 50, 14, "Push"},
    {1002, ControlKind::Check, 5, 5, 80, 10},
    {1003, ControlKind::Label, 5, 20, 80, 10},
};
inline constexpr ui::DialogTemplate NoDefault{
    NoDefaultId,      267, 137, ui::StylePopup | ui::StyleCaption | ui::StyleSystemMenu, "",
    NoDefaultControls};

// Key rules: default button 4 (as the configuration dialog's Save).
inline constexpr u32 SaveDefaultId = 9003;
inline constexpr ui::ControlTemplate SaveDefaultControls[] = {
    {4, ControlKind::DefButton, 5, 210, 56, 14, "Save"},
    {2, ControlKind::Button, 125, 210, 55, 14, "Cancel"},
    {1001, ControlKind::Button, 65, 210, 55, 14, "Bench"},
    {1002, ControlKind::Check, 90, 30, 9, 10},
};
inline constexpr ui::DialogTemplate SaveDefault{SaveDefaultId,
                                                190,
                                                231,
                                                ui::StylePopup | ui::StyleCaption |
                                                    ui::StyleSystemMenu,
                                                "Configuration",
                                                SaveDefaultControls};

// Key rules: no system menu and no control 2.
inline constexpr u32 NoCloseBoxId = 9004;
inline constexpr ui::ControlTemplate NoCloseBoxControls[] = {
    {1, ControlKind::DefButton, 5, 5, 50, 14, "OK"},
    {1001, ControlKind::Button, 60, 5, 50, 14},
};
inline constexpr ui::DialogTemplate NoCloseBox{
    NoCloseBoxId, 120, 30, ui::StylePopup | ui::StyleCaption, "", NoCloseBoxControls};

// A dialog with pages in a tab control (as the advanced settings dialog).
inline constexpr u32 TabbedId = 9020;
inline constexpr ui::ControlTemplate TabbedControls[] = {
    {1, ControlKind::DefButton, 75, 212, 50, 14, "Ok"},
    {2, ControlKind::Button, 301, 212, 50, 14, "Cancel"},
    {1011, ControlKind::Tab, 7, 13, 344, 197},
    {5, ControlKind::Button, 242, 5, 109, 14, "Reset to defaults"},
};
inline constexpr ui::DialogTemplate Tabbed{
    TabbedId,   358,           233, ui::StylePopup | ui::StyleCaption | ui::StyleSystemMenu,
    "Advanced", TabbedControls};

inline constexpr u32 PageAId = 9101;
inline constexpr ui::ControlTemplate PageAControls[] = {
    {1030, ControlKind::Edit, 85, 5, 57, 12, "", ui::FlagNumber},
    {1031, ControlKind::Edit, 85, 20, 57, 12, "", ui::FlagNumber},
    {1088, ControlKind::Edit, 106, 128, 46, 12, "", ui::FlagNumber},
    {1104, ControlKind::Slider, 100, 34, 98, 9},
    {1012, ControlKind::Button, 238, 165, 97, 15, "Reset to default"},
};
inline constexpr ui::DialogTemplate PageA{PageAId, 343, 189, ui::StyleChild, "", PageAControls};

inline constexpr u32 PageBId = 9102;
inline constexpr ui::ControlTemplate PageBControls[] = {
    {1112, ControlKind::Edit, 110, 130, 57, 13, "", ui::FlagNumber},
    {1065, ControlKind::Check, 110, 115, 95, 12},
    {1012, ControlKind::Button, 104, 150, 100, 13, "Reset to default"},
};
inline constexpr ui::DialogTemplate PageB{PageBId, 212, 167, ui::StyleChild, "", PageBControls};

// Three levels of nesting, one control table.
inline constexpr u32 LevelIds[] = {9010, 9011, 9012};
inline constexpr ui::ControlTemplate LevelControls[] = {
    {1001, ControlKind::Button, 5, 5, 50, 14, "Deeper"},
    {2, ControlKind::Button, 60, 5, 50, 14, "Close"},
};
inline constexpr ui::DialogTemplate Levels[] = {
    {LevelIds[0], 120, 30, ui::StylePopup | ui::StyleCaption, "", LevelControls},
    {LevelIds[1], 120, 30, ui::StylePopup | ui::StyleCaption, "", LevelControls},
    {LevelIds[2], 120, 30, ui::StylePopup | ui::StyleCaption, "", LevelControls},
};

inline void RegisterAll() {
    for (const ui::DialogTemplate* table :
         {&Zoo, &NoDefault, &SaveDefault, &NoCloseBox, &Tabbed, &PageA, &PageB})
        ui::RegisterTemplate(*table);
    for (const ui::DialogTemplate& level : Levels)
        ui::RegisterTemplate(level);
}

// A dialog whose handlers record their calls ("init", "command 1001 0", "notify 1007 -12",
// "timer 3", "destroy") and then run the test's hooks; without a hook a handler does what the
// base does.
class Recorder : public ui::Dialog {
public:
    explicit Recorder(u32 templateId = 0) : Dialog(templateId) {}

    std::vector<std::string> Events;
    std::function<void(Recorder&)> Init;
    std::function<void(Recorder&, u32 id, i32 code)> Command;
    std::function<void(Recorder&, u32 id, i32 code)> Notify;
    std::function<void(Recorder&, u32 id)> Timer;
    std::function<void(Recorder&)> Ok;
    std::function<void(Recorder&)> Cancel;
    std::function<void(Recorder&)> Destroy;
    std::function<void(ui::DataExchange&)> Exchange;

    // The base handlers, for hooks that also want them.
    void BaseCommand(u32 id, i32 code) { Dialog::OnCommand(id, code); }
    void BaseOk() { Dialog::OnOK(); }

protected:
    bool OnInitDialog() override {
        Events.push_back("init");
        Dialog::OnInitDialog();
        if (Init)
            Init(*this);
        return true;
    }
    void OnCommand(u32 id, i32 code) override {
        Events.push_back("command " + std::to_string(id) + " " + std::to_string(code));
        if (Command)
            Command(*this, id, code);
        else
            Dialog::OnCommand(id, code);
    }
    void OnNotify(u32 id, i32 code) override {
        Events.push_back("notify " + std::to_string(id) + " " + std::to_string(code));
        if (Notify)
            Notify(*this, id, code);
    }
    void OnTimer(u32 id) override {
        Events.push_back("timer " + std::to_string(id));
        if (Timer)
            Timer(*this, id);
    }
    void OnOK() override {
        if (Ok)
            Ok(*this);
        else
            Dialog::OnOK();
    }
    void OnCancel() override {
        if (Cancel)
            Cancel(*this);
        else
            Dialog::OnCancel();
    }
    void OnDestroy() override {
        Events.push_back("destroy");
        if (Destroy)
            Destroy(*this);
    }
    void DoDataExchange(ui::DataExchange& dx) override {
        if (Exchange)
            Exchange(dx);
    }
};

} // namespace zoo
