#include "persist/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/clock.h"
#include "base/paths.h"

namespace {

const char* const AsteriskLine = "**************************************************************************";

// Entries written before the session starts are kept for the replay, within these bounds: a run that
// logs more than this before its session start is already broken, and the log must not grow memory.
constexpr size_t MaxEarlyEntries = 64;
constexpr size_t MaxEarlyBytes = size_t{64} * 1024;

struct LogState {
    bool pathKnown = false;
    std::string path;  // "" when the log has no place this run
    bool sessionStarted = false;
    std::vector<std::string> earlyEntries;
    size_t earlyBytes = 0;
    size_t earlyDropped = 0;
    std::string failureTold;  // why the log could not be written, once said on standard error
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

// Writes to the log file like every other game file: without waiting (a named pipe with no reader is
// refused at once instead of holding the start for ever) and only into a regular file. "" when written,
// otherwise why not.
std::string WriteBytes(const std::string& path, const std::string& bytes, bool truncate) {
    if (path.empty()) return "no place for it: no home directory or working directory";
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    struct stat st {};
    if (fd < 0) {
        const int error = errno;
        // A pipe without a reader refuses the open: name what stands there rather than the code.
        if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return "not a regular file";
        return std::strerror(error);
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return "not a regular file";
    }
    std::string problem;
    if (truncate && ::ftruncate(fd, 0) != 0) problem = std::strerror(errno);
    for (size_t done = 0; problem.empty() && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            problem = n < 0 ? std::strerror(errno) : "nothing written";
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 && problem.empty()) problem = std::strerror(errno);
    return problem;
}

// An entry that cannot reach app.log goes to standard error, after one line that says why, so that
// the run's log is never lost without a word.
void WriteEntry(LogState& state, const std::string& path, const std::string& bytes, bool truncate) {
    const std::string problem = WriteBytes(path, bytes, truncate);
    if (problem.empty()) {
        state.failureTold.clear();
        return;
    }
    if (problem != state.failureTold) {
        std::fprintf(stderr, "kelvane: the log '%s' cannot be written (%s); its entries follow here\n",
                     path.c_str(), problem.c_str());
        state.failureTold = problem;
    }
    std::string text;
    for (char c : bytes)
        if (c != '\r') text += c;
    std::fputs(text.c_str(), stderr);
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
        WriteEntry(state, path, bytes, true);
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
    WriteEntry(state, path, entry, (flags & LogNewFile) != 0);
}

void ResetLogState() {
    State() = LogState();
}
