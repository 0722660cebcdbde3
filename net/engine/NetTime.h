#pragma once
// The one clock the Net engine reads: milliseconds of the scheduling core's computer clock
// (live from the platform counter), or of the counter itself when no core exists. Meter samples,
// the meter's trim and the HTTP client's wait deadline all come from here, so tests move them by
// replacing the counter (platform::SetCounterSource).
#include "platform/Types.h"

u32 NetGetTimeMs();
