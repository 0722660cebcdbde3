#pragma once
// Work that needs a deeper stack than the caller's: recursive third-party code (a parser that
// descends once per nesting level of its input) runs on a thread of its own whose stack is as
// large as the input can require, while the caller waits for it.
#include <cstddef>

namespace platform {

// Runs body(argument) on a new thread with a stack of at least `bytes` and waits until it has
// returned. False, and the body not run, when no such thread can be made. The body must not
// throw; nothing else runs meanwhile, so it may use the caller's objects.
bool RunWithStack(size_t bytes, void (*body)(void*), void* argument);

} // namespace platform
