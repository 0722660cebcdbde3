#pragma once
// A message shown to the user that waits until it is closed, for the engine's rare messages of
// its own. The user interface installs the handler that shows it; without one the message goes
// to standard error. Texts reach the handler as UTF-8.
#include "platform/Types.h"

namespace platform {

using MessageBoxHandler = void (*)(const char* text, const char* caption);

void ShowMessageBox(const char16_t* text, const char16_t* caption);

// Replaces the handler; null puts the standard-error one back. Returns the handler replaced
// (null for the standard-error one).
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace platform
