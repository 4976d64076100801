#include "headless/runner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/paths.h"
#include "device/device.h"
#include "device/image_write.h"
#include "headless/trace.h"

bool HeadlessRunner::Start(const RunOptions& runOptions, std::string& error) {
    options = runOptions;
    script.reset();
    nextScriptEvent = 0;
    outputFailed = false;
    if (!options.scriptFile.empty()) {
        script = LoadScript(options.scriptFile, error);
        if (!script) return false;
    }
    CloseTrace();
    if (!options.traceFile.empty() && !OpenTrace(options.traceFile, options.traceText, error)) {
        script.reset();
        return false;
    }
    return true;
}

bool HeadlessRunner::PlayScript(int64_t scriptFrame, int64_t frame, RunnerGame* game,
                                const std::function<Point()>& cursor,
                                const std::function<bool(const Message&)>& deliver, std::string& error) {
    if (!script) return true;
    std::vector<Message> messages;
    const std::vector<ScriptEvent>& events = script->events;
    while (nextScriptEvent < events.size() && events[nextScriptEvent].frame <= scriptFrame) {
        const ScriptEvent& scripted = events[nextScriptEvent++];
        // A click by action lands on the widget that the screen shows when the click comes.
        Point centre;
        if (scripted.op == ScriptOp::ClickAction &&
            !(game && game->FindActionCentre(scripted.text, centre))) {
            error = "script:" + std::to_string(scripted.line) + ": no widget with the action \"" +
                    scripted.text + "\" on the current screen at frame " + std::to_string(frame);
            return false;
        }
        messages.clear();
        ScriptEventMessages(scripted, cursor(), centre, messages);
        for (const Message& message : messages) {
            if (!deliver(message)) return true;
        }
    }
    return true;
}

void HeadlessRunner::Fail(const std::string& reason) {
    std::fprintf(stderr, "kelvane: %s\n", reason.c_str());
    outputFailed = true;
}

bool HeadlessRunner::WriteDump(const std::string& nativePath, RunnerGame* game) {
    std::FILE* file = OpenOutputFile(nativePath);
    if (!file) {
        Fail("cannot write the state dump " + nativePath + ": " + std::strerror(errno));
        return false;
    }
    const std::string text = JsonText(game ? game->StateJson() : Json::object()) + "\n";
    // The buffer is flushed before the stream is judged: a full disk shows only then.
    const bool written =
        std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written) {
        Fail("cannot write the state dump " + nativePath + ": " +
             std::strerror(written ? errno : writeError));
        return false;
    }
    return true;
}

void HeadlessRunner::AfterFrame(int64_t frame, GraphicsDevice& device, RunnerGame* game) {
    for (const auto& [shotFrame, file] : options.screenshots) {
        if (shotFrame != frame) continue;
        std::vector<uint8_t> rgba;
        int width = 0, height = 0;
        if (!device.ReadPixels(rgba, width, height) ||
            static_cast<size_t>(width) * static_cast<size_t>(height) * 4 != rgba.size() ||
            !WritePng(file, width, height, rgba)) {
            Fail("the screenshot " + file + " of frame " + std::to_string(frame) + " could not be written");
        }
    }
    for (const auto& [dumpFrame, file] : options.frameDumps) {
        if (dumpFrame == frame) WriteDump(file, game);
    }
}

bool HeadlessRunner::WriteFinalOutputs(int64_t framesRun, RunnerGame* game) {
    const bool failedBefore = outputFailed;
    outputFailed = false;
    for (const auto& [frame, file] : options.screenshots) {
        if (frame >= framesRun) {
            Fail("the screenshot " + file + " was not taken: the run ended before frame " +
                 std::to_string(frame));
        }
    }
    for (const auto& [frame, file] : options.frameDumps) {
        if (frame >= framesRun) {
            Fail("the state dump " + file + " was not written: the run ended before frame " +
                 std::to_string(frame));
        }
    }
    if (!options.dumpFile.empty()) WriteDump(options.dumpFile, game);
    outputFailed = outputFailed || failedBefore;
    return !outputFailed;
}

bool HeadlessRunner::Stop() {
    script.reset();
    if (!CloseTrace()) Fail("the trace " + options.traceFile + " could not be written in full");
    return !outputFailed;
}
