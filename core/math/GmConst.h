#pragma once
// Scalar constants shared by the engine's geometry code. Tolerances compare squared distances
// with GmEpsilonSq, so that no square root is needed.
#include "platform/Types.h"

#include <limits>

inline constexpr f32 GmEpsilon = 0.00001f;
inline constexpr f32 GmInvEpsilon = 1.0f / GmEpsilon;
inline constexpr f32 GmEpsilonSq = GmEpsilon * GmEpsilon;
inline constexpr f32 GmPi = 3.1415927f;
inline constexpr f32 GmHalfPi = 1.5707964f;
inline constexpr f32 GmMaxReal = std::numeric_limits<f32>::max();
inline constexpr f32 GmMinReal = -GmMaxReal;

static_assert(GmInvEpsilon == 100000.0f);
