// The frames' millisecond clock: the system's tick count, or a fixed moment for headless renders and tests.
#include "gfx.h"

#include "sys.h"

namespace {
// Set by SetFixedClock (the CLI's --time-ms, tests), read by GetClockMs.
std::optional<std::uint32_t> gFixedClockMs;
} // namespace

std::uint32_t GetClockMs() { return gFixedClockMs ? *gFixedClockMs : GetTickMs(); }

void SetFixedClock(std::optional<std::uint32_t> ms) { gFixedClockMs = ms; }
