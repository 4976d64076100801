#include "headless/run_options.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "headless/script.h"

namespace {

// The sides --size accepts: a drawable the GL driver can hold.
constexpr int64_t MinSide = 16, MaxSide = 16384;

bool EndsWithPng(const std::string& name) {
    if (name.size() < 5) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".png";
}

bool ParseWhole(const std::string& text, int64_t lo, int64_t hi, int64_t& value) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= lo && value <= hi;
}

bool ParseReal(const std::string& text, double lo, double hi, double& value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && std::isfinite(value) && value >= lo &&
           value <= hi;
}

}  // namespace

std::string RunOptionsUsage() {
    return "Usage: kelvane [options]\n"
           "  --headless              run without a display: offscreen drawing on a virtual clock\n"
           "  --fps N                 frames per second of the virtual clock (default 60)\n"
           "  --frames N              end after N frames\n"
           "  --seconds S             end after S seconds\n"
           "  --seed N                fixed random seed\n"
           "  --script FILE           input, one command per line (also replays in a window):\n"
           "                            wait N | at FRAME | key down|up|press NAME|CODE | char C | text "
           "WORDS\n"
           "                            pad down|up|press BUTTON (a, b, start, dpleft, ...)\n"
           "                            move X Y | button left|right down|up [X Y] | click X Y | click "
           "ACTION\n"
           "                            focus lost|gained | command N | quit    ('#' starts a comment)\n"
           "  --dump FILE             write the game's final state as JSON\n"
           "  --dump FRAME:FILE       write the state after frame FRAME is drawn (repeatable)\n"
           "  --trace FILE            write one JSON line per game event, sound and music change\n"
           "  --trace-text            the trace also lists every text drawn, frame by frame\n"
           "  --screenshot FRAME:FILE.png   save what frame FRAME shows (repeatable)\n"
           "  --size WxH              the window's client size in pixels (headless: the whole run's; "
           "default\n"
           "                          the game's 800x600); the picture keeps its shape, with bars beside it\n"
           "  --record FILE           (windowed) write the player's input as a script for --headless\n"
           "  --game-dir DIR          read and write every file (assets, config.ini, scores.ini, app.log)\n"
           "                          in DIR, as a headless run does in the working directory\n"
           "  --help                  show this text\n"
           "Without --frames, --seconds or a script a headless run stops at a close or after 10 minutes.\n"
           "A windowed run without --game-dir keeps config.ini in ~/.config/kelvane, scores.ini in\n"
           "~/.local/share/kelvane and app.log in ~/.local/state/kelvane (or under $XDG_CONFIG_HOME,\n"
           "$XDG_DATA_HOME, $XDG_STATE_HOME) and reads the installed assets, a file of the same name in\n"
           "~/.local/share/kelvane first.\n";
}

std::optional<RunOptions> ParseRunOptions(int argc, char** argv, std::string& error) {
    RunOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                name = arg.substr(0, equals);
                inlineValue = arg.substr(equals + 1);
            }
        }
        auto flag = [&]() {
            if (!inlineValue) return true;
            error = name + " takes no value";
            return false;
        };
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
            } else if (i + 1 < argc && argv[i + 1]) {
                out = argv[++i];
            } else {
                error = name + " needs a value";
                return false;
            }
            if (out.empty()) {
                error = name + " needs a value";
                return false;
            }
            return true;
        };
        std::string text;
        if (name == "--help" || name == "-h") {
            if (!flag()) return std::nullopt;
            options.help = true;
        } else if (name == "--headless") {
            if (!flag()) return std::nullopt;
            options.headless = true;
        } else if (name == "--fps") {
            double fps;
            if (!value(text)) return std::nullopt;
            if (!ParseReal(text, 1e-3, 1000, fps)) {
                error =
                    "--fps takes a number of frames per second above 0 and up to 1000, not \"" + text + "\"";
                return std::nullopt;
            }
            options.fps = static_cast<float>(fps);
        } else if (name == "--seed") {
            int64_t seed;
            if (!value(text)) return std::nullopt;
            if (!ParseWhole(text, 0, UINT32_MAX, seed)) {
                error = "--seed takes a whole number from 0 to 4294967295, not \"" + text + "\"";
                return std::nullopt;
            }
            options.seed = static_cast<uint32_t>(seed);
        } else if (name == "--frames") {
            int64_t frames;
            if (!value(text)) return std::nullopt;
            if (!ParseWhole(text, 0, ScriptMaxFrame, frames)) {
                error = "--frames takes a whole number of frames from 0 to " +
                        std::to_string(ScriptMaxFrame) + ", not \"" + text + "\"";
                return std::nullopt;
            }
            options.frames = frames;
        } else if (name == "--seconds") {
            double seconds;
            if (!value(text)) return std::nullopt;
            if (!ParseReal(text, 0, 1e6, seconds)) {
                error = "--seconds takes a number of seconds from 0 to 1000000, not \"" + text + "\"";
                return std::nullopt;
            }
            options.seconds = seconds;
        } else if (name == "--script") {
            if (!value(options.scriptFile)) return std::nullopt;
        } else if (name == "--dump") {
            if (!value(text)) return std::nullopt;
            // FRAME:FILE when the part before the first colon is a frame number, else the final dump.
            const size_t colon = text.find(':');
            int64_t frame;
            if (colon != std::string::npos && ParseWhole(text.substr(0, colon), 0, ScriptMaxFrame, frame)) {
                if (colon + 1 == text.size()) {
                    error = "--dump takes FRAME:FILE or FILE, not \"" + text + "\"";
                    return std::nullopt;
                }
                options.frameDumps.emplace_back(frame, text.substr(colon + 1));
            } else {
                options.dumpFile = text;
            }
        } else if (name == "--trace-text") {
            if (!flag()) return std::nullopt;
            options.traceText = true;
        } else if (name == "--trace") {
            if (!value(options.traceFile)) return std::nullopt;
        } else if (name == "--record") {
            if (!value(options.recordFile)) return std::nullopt;
        } else if (name == "--game-dir") {
            if (!value(options.gameDir)) return std::nullopt;
        } else if (name == "--size") {
            if (!value(text)) return std::nullopt;
            const size_t cross = text.find_first_of("xX");
            int64_t width = 0, height = 0;
            if (cross == std::string::npos || !ParseWhole(text.substr(0, cross), MinSide, MaxSide, width) ||
                !ParseWhole(text.substr(cross + 1), MinSide, MaxSide, height)) {
                error = "--size takes WIDTHxHEIGHT in pixels, each from " + std::to_string(MinSide) + " to " +
                        std::to_string(MaxSide) + ", not \"" + text + "\"";
                return std::nullopt;
            }
            options.width = static_cast<int>(width);
            options.height = static_cast<int>(height);
        } else if (name == "--screenshot") {
            if (!value(text)) return std::nullopt;
            size_t colon = text.find(':');
            int64_t frame;
            if (colon == std::string::npos || !ParseWhole(text.substr(0, colon), 0, ScriptMaxFrame, frame)) {
                error = "--screenshot takes FRAME:FILE.png, not \"" + text + "\"";
                return std::nullopt;
            }
            std::string file = text.substr(colon + 1);
            if (!EndsWithPng(file)) {
                error = "--screenshot writes PNG files: the name must end in .png, not \"" + file + "\"";
                return std::nullopt;
            }
            options.screenshots.emplace_back(frame, file);
        } else {
            error = "unknown option \"" + arg + "\"";
            return std::nullopt;
        }
    }
    if (options.frames && options.seconds) {
        error = "--frames and --seconds both end the run: give only one of them";
        return std::nullopt;
    }
    if (options.traceText && options.traceFile.empty()) {
        error = "--trace-text adds the drawn texts to the trace: give --trace FILE too";
        return std::nullopt;
    }
    if (!options.recordFile.empty() && options.headless) {
        error = "--record writes a windowed run's input; a headless run takes its input from --script";
        return std::nullopt;
    }
    return options;
}
