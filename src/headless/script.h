// Input scripts of the headless runner, and the recorder that writes a windowed run's input as one.
// A script is plain text, one command per line, each applied at a frame of the virtual clock:
//   wait N | at FRAME | key down|up|press NAME|CODE | pad down|up|press BUTTON | char C | text WORDS | move X
//   Y button left|right down|up [X Y] | click X Y | click ACTION | focus lost|gained | command N | quit
// with '#' comment lines and blank lines. Parsing checks every line before the run starts; the events
// come out in the order they are applied, each with its frame and its line for run-time errors.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/messages.h"

enum class ScriptOp {
    KeyDown,      // code
    KeyUp,        // code
    PadDown,      // code: the pad button (PAD_A ...)
    PadUp,        // code
    Char,         // code: one code-page character
    Move,         // x, y
    Button,       // right, down, hasPoint, x, y
    ClickPoint,   // x, y: move, left down, left up
    ClickAction,  // text: the widget's action, found when the event is applied
    Focus,        // down: true = gained
    Command,      // code: WM_COMMAND id
    Quit,
};

struct ScriptEvent {
    ScriptOp op = ScriptOp::Quit;
    int64_t frame = 0;
    int line = 0;
    int code = 0;
    int x = 0, y = 0;
    bool hasPoint = false;
    bool right = false;
    bool down = false;
    std::string text;
};

struct Script {
    std::vector<ScriptEvent> events;  // in frame order
    int64_t endFrame = 0;             // the frame the script's last line reaches
};

// Limits that keep a garbage script from running away.
constexpr int64_t ScriptMaxFrame = 100'000'000;
constexpr size_t ScriptMaxBytes = 16u << 20;
constexpr size_t ScriptMaxEvents = 1'000'000;

// Parses a whole script. On the first bad line returns nullopt with error "script:LINE: reason".
std::optional<Script> ParseScript(std::string_view text, std::string& error);
// Reads and parses a script file (a native path); errors as ParseScript, or "script: cannot read ...".
std::optional<Script> LoadScript(const std::string& nativePath, std::string& error);

// The messages an event stands for. A button without a point presses at the cursor; ClickAction needs
// the widget's centre, found by the caller.
void ScriptEventMessages(const ScriptEvent& event, Point cursor, Point actionCentre,
                         std::vector<Message>& out);

// Writes the player's input messages as a script that replays the same messages headless: each line
// stamped with the frame that its real time maps to at the given frame rate.
class ScriptRecorder {
public:
    ~ScriptRecorder();
    // The header names the frame rate and the run's random seed that the replay needs.
    bool Open(const std::string& nativePath, float fps, uint32_t seed, std::string& error);
    bool IsOpen() const { return file != nullptr; }
    // One input message of the player at the given time since the loop started. Messages that the
    // replay regenerates by itself (a key's control character, the context menu) are skipped. False
    // when the recording has just reached the size a script may have and has ended.
    bool Record(const Message& message, uint32_t elapsedMs);
    // Ends the recording; false when some of it could not be written (a full disk, say).
    bool Close();
    // The script line a message is recorded as ("" for messages that are not recorded).
    static std::string LineFor(const Message& message);

private:
    void Write(const std::string& text);

    std::FILE* file = nullptr;
    float fps = 60;
    int64_t lastFrame = -1;
    size_t bytesWritten = 0, eventsWritten = 0;
    bool writeFailed = false;
};
