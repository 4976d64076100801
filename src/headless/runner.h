// The headless runner: what a run does besides playing. It feeds the script's input to the frame loop,
// takes the screenshots and state dumps asked for at their frames, keeps the trace, and at the end
// writes the final dump and checks that every output was written. The framework asks it at fixed points
// of each frame; the game answers it through RunnerGame.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "headless/json.h"
#include "headless/run_options.h"
#include "headless/script.h"

class GraphicsDevice;

// What the runner asks of the game.
class RunnerGame {
public:
    virtual ~RunnerGame() = default;
    // Centre in client pixels of the widget with this action on the current screen.
    virtual bool FindActionCentre(const std::string& action, Point& centre) = 0;
    // The game's whole state, as --dump writes it.
    virtual Json StateJson() = 0;
};

class HeadlessRunner {
public:
    // Exit codes of a run: a failed start-up is 1, a bad command line or script 2, a run that went well
    // but could not write all of its screenshots, dumps or trace 3.
    static constexpr int ExitStartFailed = 1;
    static constexpr int ExitBadInput = 2;
    static constexpr int ExitOutputFailed = 3;

    // Loads the script and opens the trace. False with the reason in error: the run must not start.
    bool Start(const RunOptions& options, std::string& error);
    bool HasScript() const { return script.has_value(); }
    // The frame that the script's last line reaches.
    int64_t ScriptEndFrame() const { return script ? script->endFrame : 0; }

    // Applies the script's events due by this script frame, in order, each as the messages it stands
    // for: deliver takes one message and answers whether the run goes on; cursor answers where the
    // pointer is now. False with the reason in error when a click names an action that the current
    // screen does not have: the run must stop with ExitBadInput.
    bool PlayScript(int64_t scriptFrame, int64_t frame, RunnerGame* game,
                    const std::function<Point()>& cursor, const std::function<bool(const Message&)>& deliver,
                    std::string& error);

    // After a frame is drawn: the screenshots and dumps asked for at this frame.
    void AfterFrame(int64_t frame, GraphicsDevice& device, RunnerGame* game);
    // After the last frame: the final dump, and a note for every screenshot or dump whose frame was
    // never reached. False when one of them is missing.
    bool WriteFinalOutputs(int64_t framesRun, RunnerGame* game);
    // The very end of the run: the trace is closed. False when it could not be written in full.
    bool Stop();

private:
    bool WriteDump(const std::string& nativePath, RunnerGame* game);
    void Fail(const std::string& reason);

    RunOptions options;
    std::optional<Script> script;
    size_t nextScriptEvent = 0;
    bool outputFailed = false;
};
