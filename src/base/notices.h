// Notices of the platform layer: what it falls back to (offscreen video, no game controllers, full
// screen refused, ...), each text once per run. The game connects them to its log. Notices raised while
// they are held (before the game has opened its log) are delivered when they are released, so they land
// in the new session's log; with no handler they go to standard error. Safe to raise from any thread.
#pragma once

#include <functional>
#include <string>

void SetPlatformNoticeHandler(std::function<void(const std::string&)> handler);
// Raises a notice (for every platform module).
void ReportPlatformNotice(const std::string& text);

// A new run: every notice may be raised once more, and they are held until ReleasePlatformNotices.
void StartHoldingPlatformNotices();
void ReleasePlatformNotices();
