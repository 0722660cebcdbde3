#pragma once
// A message shown to the user that waits until it is closed, for the engine's rare messages of
// its own. Without a handler it is the dialog layer's MB_OK box (ui::MessageBox), which goes to
// standard error while no backend is installed. Texts reach the handler as UTF-8.
#include "platform/Types.h"

namespace platform {

using MessageBoxHandler = void (*)(const char* text, const char* caption);

void ShowMessageBox(const char16_t* text, const char16_t* caption);

// Replaces the handler; null puts the dialog layer's box back. Returns the handler replaced
// (null for the dialog layer's box).
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace platform
