#pragma once
// What the pages of the advanced settings dialog share: the page protocol and the keys inside a
// page.
//
// Every page is a child dialog (a template without caption) with three operations: load (the
// controls from a configuration), save (the configuration's members from the controls) and texts
// (its translated texts), and a Reset button 1012 that saves the page, resets the page's group of
// settings and loads the page again. CAdvancedTabDlg declares the three as virtual operations;
// the Game page is driven through them, the other pages by their own methods of the same names.
#include "platform/Types.h"
#include "platform/ui/Dialog.h"

class CSystemConfig;

// Every page's Reset button; its template text is "Reset to default".
inline constexpr u32 kAdvancedPageResetId = 1012;

class CAdvancedTabDlg : public ui::Dialog {
public:
    using ui::Dialog::Dialog;

    // The controls from the configuration's members.
    virtual void LoadFromConfig(CSystemConfig& config) = 0;
    // The configuration's members from the controls; false, writing nothing, when the page's
    // data exchange refused a value (its message was shown).
    virtual bool SaveToConfig(CSystemConfig& config) = 0;
    // The translated texts.
    virtual void UpdateTexts() = 0;
};

// Selects a member's value in its list (filled with FillTranslatedComboBox); a value past the
// list's entries selects nothing.
void SelectListValue(ui::Control& list, u32 value);
// The list's selection into the member; without a selection the member keeps its value, so that
// a damaged value is never replaced by "none".
void SaveListValue(const ui::Control& list, u32& value);

// Enter inside a page: the OK of the advanced dialog holding it, as the player expects (a page
// has no default button of its own). Escape inside a page closes nothing: its OnCancel does
// nothing.
void AdvancedPageEnter(ui::Dialog& page);
