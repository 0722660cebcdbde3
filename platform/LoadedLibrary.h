#pragma once
// Libraries the platform loads when it first needs them (dlopen) instead of with the program.
#include <dlfcn.h>

namespace platform {

// Points `function` at the library's symbol of that name; false when there is none.
template <class F>
bool BindSymbol(void* library, F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

} // namespace platform
