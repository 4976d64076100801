// The --trace file: one JSON object per line, {"frame": k, "t": now, "event": name, ...fields}, for the
// game's events (pieces, locks, removals, levels, bonus items, states, sounds, music) and, with
// --trace-text, every text drawn in a frame. Nothing is written when no trace was asked for, so the
// calls cost nothing in a normal run.
#pragma once

#include <cstdint>
#include <string>

#include "headless/json.h"

// Opens the trace for a run (replacing any earlier one); false with the reason in error.
bool OpenTrace(const std::string& nativePath, bool withText, std::string& error);
// Closes it; false when a line could not be written (a full disk): the trace is incomplete.
bool CloseTrace();
bool IsTraceOpen();
// True when the texts drawn are traced too (--trace-text).
bool IsTextTraced();

// The frame and the application time that the next lines carry.
void SetTraceClock(int64_t frame, float now);

// One line. fields is a JSON object (or null for none); its keys follow the three common ones, which
// it must not use itself.
void TraceEvent(const char* name, const Json& fields = nullptr);
