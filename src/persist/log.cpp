#include "persist/log.h"

#include <cstdio>
#include <vector>

#include "base/clock.h"
#include "base/paths.h"

namespace {

const char* const AsteriskLine = "**************************************************************************";

// Entries written before the session starts are kept for the replay, within these bounds: a run that
// logs more than this before its session start is already broken, and the log must not grow memory.
constexpr size_t MaxEarlyEntries = 64;
constexpr size_t MaxEarlyBytes = 64 * 1024;

struct LogState {
    bool pathKnown = false;
    std::string path;  // "" when the log has no place this run
    bool sessionStarted = false;
    std::vector<std::string> earlyEntries;
    size_t earlyBytes = 0;
    size_t earlyDropped = 0;
};

LogState& State() {
    static LogState state;
    return state;
}

// The file is written as text: a bare line feed inside the text becomes CR LF, as the game's texts
// are written on every platform alike.
void AppendLine(std::string& out, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    out += "\r\n";
}

bool WriteBytes(const std::string& path, const std::string& bytes, bool truncate) {
    if (path.empty()) return false;
    std::FILE* file = std::fopen(path.c_str(), truncate ? "wb" : "ab");
    if (!file) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

}  // namespace

std::string FormatLogEntry(const std::string& text, uint32_t flags) {
    std::string entry;
    if (flags & LogFrame) AppendLine(entry, AsteriskLine);
    std::string line;
    if (flags & LogTimeStamp) line += LocalTimeHms() + " : ";
    if (flags & LogWarning) line += "===> Warning: ";
    line += text;
    AppendLine(entry, line);
    if (flags & LogFrame) AppendLine(entry, AsteriskLine);
    return entry;
}

std::string LogFilePath() {
    return State().path;
}

void WriteLog(const std::string& text, uint32_t flags) {
    LogState& state = State();
    if (!state.pathKnown) {
        state.path = LocateGameFile("app.log");
        state.pathKnown = true;
    }
    const std::string path = LogFilePath();
    const std::string entry = FormatLogEntry(text, flags);

    if ((flags & LogNewFile) && !state.sessionStarted) {
        // The session start truncates the file; the entries this run wrote before it follow at once.
        state.sessionStarted = true;
        std::string bytes = entry;
        for (const std::string& early : state.earlyEntries) bytes += early;
        if (state.earlyDropped > 0) {
            AppendLine(bytes, std::to_string(state.earlyDropped) +
                                  " more entries written before the session started were not kept");
        }
        state.earlyEntries.clear();
        state.earlyEntries.shrink_to_fit();
        state.earlyBytes = 0;
        state.earlyDropped = 0;
        WriteBytes(path, bytes, true);
        return;
    }

    if (!state.sessionStarted) {
        if (state.earlyEntries.size() < MaxEarlyEntries && state.earlyBytes + entry.size() <= MaxEarlyBytes) {
            state.earlyEntries.push_back(entry);
            state.earlyBytes += entry.size();
        } else {
            ++state.earlyDropped;
        }
    }
    WriteBytes(path, entry, (flags & LogNewFile) != 0);
}

void ResetLogState() {
    State() = LogState();
}
