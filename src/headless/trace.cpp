#include "headless/trace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/paths.h"

namespace {
std::FILE* traceFile = nullptr;
bool traceFailed = false;  // a line could not be written: the trace is incomplete
bool traceText = false;
int64_t traceFrame = 0;
float traceNow = 0;
}  // namespace

bool OpenTrace(const std::string& nativePath, bool withText, std::string& error) {
    CloseTrace();
    traceFailed = false;
    traceText = withText;
    traceFrame = 0;
    traceNow = 0;
    traceFile = OpenOutputFile(nativePath);
    if (!traceFile) {
        error = "cannot write the trace " + nativePath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool CloseTrace() {
    if (traceFile) {
        if (std::fflush(traceFile) != 0 || std::ferror(traceFile)) traceFailed = true;
        if (std::fclose(traceFile) != 0) traceFailed = true;
        traceFile = nullptr;
    }
    // Told once: the next run (tests run many in one process) starts with a clean slate.
    const bool written = !traceFailed;
    traceFailed = false;
    return written;
}

bool IsTraceOpen() {
    return traceFile != nullptr;
}

bool IsTextTraced() {
    return traceFile != nullptr && traceText;
}

void SetTraceClock(int64_t frame, float now) {
    traceFrame = frame;
    traceNow = now;
}

void TraceEvent(const char* name, const Json& fields) {
    if (!traceFile) return;
    Json line = {{"frame", traceFrame}, {"t", TraceNumber(traceNow)}, {"event", name ? name : ""}};
    if (fields.is_object()) {
        for (const auto& [key, value] : fields.items()) line[key] = value;
    }
    const std::string text = JsonText(line) + "\n";
    if (std::fputs(text.c_str(), traceFile) < 0) traceFailed = true;
}
