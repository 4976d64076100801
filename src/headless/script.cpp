#include "headless/script.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "base/messages.h"
#include "base/paths.h"

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> Split(std::string_view text) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSpace(text[i])) ++i;
        size_t start = i;
        while (i < text.size() && !IsSpace(text[i])) ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

// A whole word as an integer (decimal, or hexadecimal with 0x), within [lo, hi].
bool ParseInteger(std::string_view word, int64_t lo, int64_t hi, int64_t& value) {
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    }
    if (word.empty()) return false;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    return ec == std::errc() && end == word.data() + word.size() && value >= lo && value <= hi;
}

// Converts UTF-8 text to code-page bytes; false when a character has no code-page byte.
size_t CountCharacters(std::string_view utf8) {
    size_t characters = 0;
    for (char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
    }
    return characters;
}

bool ToCodePage(std::string_view utf8, std::string& bytes) {
    std::vector<Message> chars;
    AppendTextMessages(utf8, chars);
    bytes.clear();
    for (const Message& m : chars) bytes.push_back(static_cast<char>(m.wParam));
    // Every UTF-8 character gives exactly one byte when it is representable.
    return CountCharacters(utf8) == bytes.size();
}

struct LineParser {
    int line;
    std::string& error;

    bool Fail(const std::string& reason) {
        error = "script:" + std::to_string(line) + ": " + reason;
        return false;
    }
    bool Coordinate(std::string_view word, int& out) {
        int64_t value;
        if (!ParseInteger(word, -32768, 32767, value))
            return Fail("bad coordinate \"" + std::string(word) + "\"");
        out = static_cast<int>(value);
        return true;
    }
};

}  // namespace

std::optional<Script> ParseScript(std::string_view text, std::string& error) {
    if (text.size() > ScriptMaxBytes) {
        error = "script:1: the script is larger than " + std::to_string(ScriptMaxBytes >> 20) + " MiB";
        return std::nullopt;
    }
    Script script;
    int64_t cursor = 0;
    int lineNumber = 0;
    size_t position = 0;
    while (position <= text.size()) {
        size_t end = text.find('\n', position);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(position, end - position);
        position = end + 1;
        ++lineNumber;
        LineParser parser{lineNumber, error};

        std::string_view line = Trim(raw);
        if (line.empty() || line.front() == '#') {
            if (end == text.size()) break;
            continue;
        }
        if (line.find('\0') != std::string_view::npos) {
            parser.Fail("the line holds a NUL byte");
            return std::nullopt;
        }
        size_t commandEnd = 0;
        while (commandEnd < line.size() && !IsSpace(line[commandEnd])) ++commandEnd;
        std::string_view command = line.substr(0, commandEnd);
        std::string_view rest = Trim(line.substr(commandEnd));
        // Characters and text are taken as written; every other command may end in a "# comment".
        if (command != "char" && command != "text") {
            for (size_t i = 0; i < rest.size(); ++i) {
                if (rest[i] == '#' && (i == 0 || IsSpace(rest[i - 1]))) {
                    rest = Trim(rest.substr(0, i));
                    break;
                }
            }
        }
        std::vector<std::string_view> args = Split(rest);

        ScriptEvent event;
        event.line = lineNumber;
        event.frame = cursor;
        bool emits = true;
        auto arity = [&](size_t count) {
            if (args.size() == count) return true;
            if (args.size() < count)
                return parser.Fail("\"" + std::string(command) + "\" needs " + std::to_string(count) +
                                   " argument(s)");
            return parser.Fail("unexpected \"" + std::string(args[count]) + "\" after \"" +
                               std::string(command) + "\"");
        };

        if (command == "wait" || command == "at") {
            if (!arity(1)) return std::nullopt;
            int64_t value;
            if (!ParseInteger(args[0], 0, ScriptMaxFrame, value)) {
                parser.Fail("bad frame count \"" + std::string(args[0]) + "\"");
                return std::nullopt;
            }
            int64_t target = command == "wait" ? cursor + value : value;
            if (target > ScriptMaxFrame) {
                parser.Fail("the script runs past frame " + std::to_string(ScriptMaxFrame));
                return std::nullopt;
            }
            if (target < cursor) {
                parser.Fail("frame " + std::to_string(target) + " is before frame " + std::to_string(cursor) +
                            ", which the lines above already reached");
                return std::nullopt;
            }
            cursor = target;
            emits = false;
        } else if (command == "key" || command == "pad") {
            if (!arity(2)) return std::nullopt;
            const bool pad = command == "pad";
            int code = pad ? PadButtonFromName(args[1]) : VirtualKeyFromName(args[1]);
            if (code < 0 || (!pad && code == 0)) {
                parser.Fail(std::string(pad ? "unknown pad button" : "unknown key") + " \"" +
                            std::string(args[1]) + "\"");
                return std::nullopt;
            }
            event.code = code;
            const ScriptOp down = pad ? ScriptOp::PadDown : ScriptOp::KeyDown;
            const ScriptOp up = pad ? ScriptOp::PadUp : ScriptOp::KeyUp;
            if (args[0] == "down") {
                event.op = down;
            } else if (args[0] == "up") {
                event.op = up;
            } else if (args[0] == "press") {
                // Down now, up at the next frame; the script goes on from that frame.
                event.op = down;
                script.events.push_back(event);
                if (cursor + 1 > ScriptMaxFrame) {
                    parser.Fail("the script runs past frame " + std::to_string(ScriptMaxFrame));
                    return std::nullopt;
                }
                ++cursor;
                event.frame = cursor;
                event.op = up;
            } else {
                parser.Fail("\"" + std::string(command) + "\" takes down, up or press, not \"" +
                            std::string(args[0]) + "\"");
                return std::nullopt;
            }
        } else if (command == "char") {
            if (rest.empty()) {
                parser.Fail("\"char\" needs a character");
                return std::nullopt;
            }
            std::string bytes;
            int64_t code;
            if (ToCodePage(rest, bytes) && bytes.size() == 1) {
                event.code = static_cast<unsigned char>(bytes[0]);
            } else if (ParseInteger(rest, 1, 255, code)) {
                event.code = static_cast<int>(code);
            } else {
                parser.Fail("\"char\" takes one character of the code page or a code 1-255, not \"" +
                            std::string(rest) + "\"");
                return std::nullopt;
            }
            event.op = ScriptOp::Char;
        } else if (command == "text") {
            std::string bytes;
            if (rest.empty()) {
                parser.Fail("\"text\" needs some text");
                return std::nullopt;
            }
            // One event per character: a line that would overflow the script is refused before
            // anything is built for it.
            if (script.events.size() + CountCharacters(rest) > ScriptMaxEvents) {
                parser.Fail("more than " + std::to_string(ScriptMaxEvents) + " events");
                return std::nullopt;
            }
            if (!ToCodePage(rest, bytes)) {
                parser.Fail("the text holds a character outside the code page");
                return std::nullopt;
            }
            for (char c : bytes) {
                event.op = ScriptOp::Char;
                event.code = static_cast<unsigned char>(c);
                script.events.push_back(event);
            }
            emits = false;
        } else if (command == "move") {
            if (!arity(2) || !parser.Coordinate(args[0], event.x) || !parser.Coordinate(args[1], event.y))
                return std::nullopt;
            event.op = ScriptOp::Move;
        } else if (command == "button") {
            if (args.size() != 2 && args.size() != 4) {
                parser.Fail("\"button\" takes left|right down|up and an optional X Y");
                return std::nullopt;
            }
            if (args[0] != "left" && args[0] != "right") {
                parser.Fail("unknown button \"" + std::string(args[0]) + "\"");
                return std::nullopt;
            }
            if (args[1] != "down" && args[1] != "up") {
                parser.Fail("\"button\" takes down or up, not \"" + std::string(args[1]) + "\"");
                return std::nullopt;
            }
            event.op = ScriptOp::Button;
            event.right = args[0] == "right";
            event.down = args[1] == "down";
            if (args.size() == 4) {
                if (!parser.Coordinate(args[2], event.x) || !parser.Coordinate(args[3], event.y))
                    return std::nullopt;
                event.hasPoint = true;
            }
        } else if (command == "click") {
            if (args.size() == 2) {
                if (!parser.Coordinate(args[0], event.x) || !parser.Coordinate(args[1], event.y))
                    return std::nullopt;
                event.op = ScriptOp::ClickPoint;
            } else if (args.size() == 1) {
                int64_t unused;
                if (ParseInteger(args[0], INT64_MIN, INT64_MAX, unused)) {
                    parser.Fail("\"click\" takes X Y or an action name");
                    return std::nullopt;
                }
                event.op = ScriptOp::ClickAction;
                event.text = std::string(args[0]);
            } else {
                parser.Fail("\"click\" takes X Y or an action name");
                return std::nullopt;
            }
        } else if (command == "focus") {
            if (!arity(1)) return std::nullopt;
            if (args[0] != "lost" && args[0] != "gained") {
                parser.Fail("\"focus\" takes lost or gained, not \"" + std::string(args[0]) + "\"");
                return std::nullopt;
            }
            event.op = ScriptOp::Focus;
            event.down = args[0] == "gained";
        } else if (command == "command") {
            if (!arity(1)) return std::nullopt;
            int64_t id;
            if (!ParseInteger(args[0], 0, 0xFFFF, id)) {
                parser.Fail("bad command number \"" + std::string(args[0]) + "\"");
                return std::nullopt;
            }
            event.op = ScriptOp::Command;
            event.code = static_cast<int>(id);
        } else if (command == "quit") {
            if (!arity(0)) return std::nullopt;
            event.op = ScriptOp::Quit;
        } else {
            parser.Fail("unknown command \"" + std::string(command) + "\"");
            return std::nullopt;
        }
        if (emits) script.events.push_back(event);
        if (script.events.size() > ScriptMaxEvents) {
            parser.Fail("more than " + std::to_string(ScriptMaxEvents) + " events");
            return std::nullopt;
        }
        if (end == text.size()) break;
    }
    script.endFrame = cursor;
    return script;
}

std::optional<Script> LoadScript(const std::string& nativePath, std::string& error) {
    std::FILE* file = OpenRegularFile(nativePath);
    if (!file) {
        error = "script: cannot read " + nativePath + ": " +
                (errno ? std::strerror(errno) : "not a regular file");
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, got);
        if (text.size() > ScriptMaxBytes) break;  // ParseScript reports the size
    }
    bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError) {
        error = "script: cannot read " + nativePath;
        return std::nullopt;
    }
    return ParseScript(text, error);
}

void ScriptEventMessages(const ScriptEvent& event, Point cursor, Point actionCentre,
                         std::vector<Message>& out) {
    switch (event.op) {
        case ScriptOp::KeyDown:
            AppendKeyMessages(event.code, true, false, out);
            break;
        case ScriptOp::KeyUp:
            AppendKeyMessages(event.code, false, false, out);
            break;
        case ScriptOp::PadDown:
            AppendPadMessages(event.code, true, false, out);
            break;
        case ScriptOp::PadUp:
            AppendPadMessages(event.code, false, false, out);
            break;
        case ScriptOp::Char:
            out.push_back({WM_CHAR, static_cast<uint64_t>(event.code), 1});
            break;
        case ScriptOp::Move:
            out.push_back({WM_MOUSEMOVE, 0, PointLParam(event.x, event.y)});
            break;
        case ScriptOp::Button: {
            int64_t where = event.hasPoint ? PointLParam(event.x, event.y) : PointLParam(cursor.x, cursor.y);
            if (event.right) {
                out.push_back({event.down ? WM_RBUTTONDOWN : WM_RBUTTONUP, event.down ? 2u : 0u, where});
                if (!event.down) out.push_back({WM_CONTEXTMENU, 0, where});
            } else {
                out.push_back({event.down ? WM_LBUTTONDOWN : WM_LBUTTONUP, event.down ? 1u : 0u, where});
            }
            break;
        }
        case ScriptOp::ClickPoint:
        case ScriptOp::ClickAction: {
            Point at = event.op == ScriptOp::ClickPoint ? Point{event.x, event.y} : actionCentre;
            int64_t where = PointLParam(at.x, at.y);
            out.push_back({WM_MOUSEMOVE, 0, where});
            out.push_back({WM_LBUTTONDOWN, 1, where});
            out.push_back({WM_LBUTTONUP, 0, where});
            break;
        }
        case ScriptOp::Focus:
            out.push_back({event.down ? WM_SETFOCUS : WM_KILLFOCUS, 0, 0});
            break;
        case ScriptOp::Command:
            out.push_back({WM_COMMAND, static_cast<uint64_t>(event.code), 0});
            break;
        case ScriptOp::Quit:
            out.push_back({WM_CLOSE, 0, 0});
            break;
    }
}

ScriptRecorder::~ScriptRecorder() {
    Close();
}

bool ScriptRecorder::Open(const std::string& nativePath, float framesPerSecond, uint32_t seed,
                          std::string& error) {
    Close();
    writeFailed = false;
    file = OpenOutputFile(nativePath);
    if (!file) {
        error = "cannot write the recording " + nativePath + ": " + std::strerror(errno);
        return false;
    }
    fps = framesPerSecond;
    lastFrame = -1;
    bytesWritten = 0;
    eventsWritten = 0;
    char header[200];
    std::snprintf(
        header, sizeof header,
        "# Player input recorded at %g frames per second with seed %u; replay with --headless --fps %g "
        "--seed %u --script\n",
        static_cast<double>(fps), seed, static_cast<double>(fps), seed);
    Write(header);
    return true;
}

std::string ScriptRecorder::LineFor(const Message& message) {
    Point at = LParamPoint(message.lParam);
    std::string point = std::to_string(at.x) + " " + std::to_string(at.y);
    switch (message.id) {
        case WM_KEYDOWN:
            return "key down " + VirtualKeyName(static_cast<int>(message.wParam));
        case WM_KEYUP:
            return "key up " + VirtualKeyName(static_cast<int>(message.wParam));
        case WM_PADBUTTONDOWN:
            return "pad down " + PadButtonName(static_cast<int>(message.wParam));
        case WM_PADBUTTONUP:
            return "pad up " + PadButtonName(static_cast<int>(message.wParam));
        case WM_CHAR: {
            auto code = static_cast<int>(message.wParam & 0xFF);
            // The control keys' characters come back with their key downs.
            if (code == VK_BACK || code == VK_TAB || code == VK_RETURN || code == VK_ESCAPE || code == 0)
                return "";
            if (code > 0x20 && code < 0x7F && code != '#')
                return std::string("char ") + static_cast<char>(code);
            char text[16];
            std::snprintf(text, sizeof text, "char 0x%02X", code);
            return text;
        }
        case WM_MOUSEMOVE:
            return "move " + point;
        case WM_LBUTTONDOWN:
            return "button left down " + point;
        case WM_LBUTTONUP:
            return "button left up " + point;
        case WM_RBUTTONDOWN:
            return "button right down " + point;
        case WM_RBUTTONUP:
            return "button right up " + point;
        case WM_SETFOCUS:
            return "focus gained";
        case WM_KILLFOCUS:
            return "focus lost";
        case WM_CLOSE:
            return "quit";
        default:
            return "";
    }
}

bool ScriptRecorder::Record(const Message& message, uint32_t elapsedMs) {
    if (!file) return true;
    std::string line = LineFor(message);
    if (line.empty()) return true;
    auto frame = static_cast<int64_t>(std::floor(static_cast<double>(elapsedMs) * fps / 1000.0));
    std::string text;
    if (frame != lastFrame) text = "at " + std::to_string(frame) + "\n";
    text += line + "\n";
    // The recording stays a script the parser takes: it ends before it grows past a script's limits.
    if (bytesWritten + text.size() > ScriptMaxBytes || eventsWritten + 1 > ScriptMaxEvents) {
        Close();
        return false;
    }
    lastFrame = frame;
    ++eventsWritten;
    Write(text);
    return true;
}

void ScriptRecorder::Write(const std::string& text) {
    if (std::fputs(text.c_str(), file) < 0) writeFailed = true;
    bytesWritten += text.size();
}

bool ScriptRecorder::Close() {
    if (file) {
        // The buffer is flushed before the stream is judged: a full disk shows only then.
        if (std::fflush(file) != 0 || std::ferror(file)) writeFailed = true;
        if (std::fclose(file) != 0) writeFailed = true;
    }
    file = nullptr;
    return !writeFailed;
}
