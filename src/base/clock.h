// The run's one clock. In a normal run it is the monotonic millisecond counter since start; the
// headless runner switches it to a virtual clock that it advances frame by frame, so that timers,
// the frame-rate meter and the blinking cursor replay identically. No SDL here.
#pragma once

#include <cstdint>
#include <string>

// Milliseconds since the clock started (the real clock starts at the first call).
uint32_t TickCountMs();

// The system's millisecond tick count (time since the machine started), which differs from run to run:
// the random generator is seeded from it. Under the virtual clock it answers the virtual time.
uint32_t SystemTickCountMs();

// Switches to the virtual clock and sets its value; every later TickCountMs answers it.
void SetVirtualTickCount(uint32_t milliseconds);
bool IsClockVirtual();

// Local wall-clock time as "HH:MM:SS" (24-hour). Under the virtual clock it counts from 00:00:00,
// so logs of headless runs are reproducible.
std::string LocalTimeHms();
