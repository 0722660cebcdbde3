#pragma once
// Shared trivial bodies: free functions that belong to no class, used wherever a caller needs
// exactly that behaviour (for example a callback that must answer 0).
#include "platform/Types.h"

// Answers 0 and reads none of its arguments; one body for every argument list, so that it can
// stand in for any callback type that returns an i32 (`&FoldedReturnZero<i32>` takes a level
// index, `FoldedReturnZero()` takes nothing).
template <typename... Ignored>
constexpr i32 FoldedReturnZero(Ignored...) noexcept {
    return 0;
}
