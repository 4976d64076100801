// Headless input scripts: every command, the frames they land on, bad lines with their numbers, and
// the recorder's output replaying the same messages.
#include "headless/script.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/messages.h"
#include "headless/trace.h"

namespace {

Script Parse(const std::string& text) {
    std::string error;
    std::optional<Script> script = ParseScript(text, error);
    EXPECT_TRUE(script.has_value()) << error;
    return script.value_or(Script{});
}

std::string ParseError(const std::string& text) {
    std::string error;
    std::optional<Script> script = ParseScript(text, error);
    EXPECT_FALSE(script.has_value()) << text;
    return error;
}

std::vector<Message> MessagesOf(const Script& script, Point cursor = {}, Point centre = {}) {
    std::vector<Message> out;
    for (const ScriptEvent& event : script.events) ScriptEventMessages(event, cursor, centre, out);
    return out;
}

}  // namespace

TEST(ScriptParser, EveryCommandAtItsFrame) {
    Script script = Parse(
        "# a comment line\n"
        "\n"
        "key down Left\n"
        "wait 10\n"
        "key up left   # trailing comment\n"
        "at 30\n"
        "key press Space\n"
        "char x\n"
        "text ab c\n"
        "move 100 -20\n"
        "button right down\n"
        "button left up 5 6\n"
        "click 400 300\n"
        "click procStart1\n"
        "focus lost\n"
        "focus gained\n"
        "command 40003\n"
        "wait 5\n"
        "quit\n");
    const auto& e = script.events;
    ASSERT_EQ(e.size(), 18u);
    EXPECT_EQ(e[0].op, ScriptOp::KeyDown);
    EXPECT_EQ(e[0].code, VK_LEFT);
    EXPECT_EQ(e[0].frame, 0);
    EXPECT_EQ(e[0].line, 3);
    EXPECT_EQ(e[1].op, ScriptOp::KeyUp);
    EXPECT_EQ(e[1].frame, 10);
    // A press goes down at 30 and up at 31, and the script goes on from 31.
    EXPECT_EQ(e[2].op, ScriptOp::KeyDown);
    EXPECT_EQ(e[2].frame, 30);
    EXPECT_EQ(e[3].op, ScriptOp::KeyUp);
    EXPECT_EQ(e[3].frame, 31);
    EXPECT_EQ(e[4].op, ScriptOp::Char);
    EXPECT_EQ(e[4].code, 'x');
    EXPECT_EQ(e[4].frame, 31);
    // Text keeps its spaces: one character each.
    EXPECT_EQ(e[5].code, 'a');
    EXPECT_EQ(e[6].code, 'b');
    EXPECT_EQ(e[7].code, ' ');
    EXPECT_EQ(e[8].code, 'c');
    EXPECT_EQ(e[9].op, ScriptOp::Move);
    EXPECT_EQ(e[9].y, -20);
    EXPECT_EQ(e[10].op, ScriptOp::Button);
    EXPECT_TRUE(e[10].right);
    EXPECT_TRUE(e[10].down);
    EXPECT_FALSE(e[10].hasPoint);
    EXPECT_TRUE(e[11].hasPoint);
    EXPECT_FALSE(e[11].right);
    EXPECT_FALSE(e[11].down);
    EXPECT_EQ(e[12].op, ScriptOp::ClickPoint);
    EXPECT_EQ(e[13].op, ScriptOp::ClickAction);
    EXPECT_EQ(e[13].text, "procStart1");
    EXPECT_EQ(e[13].line, 14);
    EXPECT_FALSE(e[14].down);
    EXPECT_TRUE(e[15].down);
    EXPECT_EQ(e[16].op, ScriptOp::Command);
    EXPECT_EQ(e[16].code, 40003);
    EXPECT_EQ(e[17].op, ScriptOp::Quit);
    EXPECT_EQ(e[17].frame, 36);
    EXPECT_EQ(script.endFrame, 36);
}

TEST(ScriptParser, CharactersCommentsAndCodes) {
    Script script =
        Parse("char #\nchar 0x41\nchar 5\nchar \xC3\xA9\ntext x # y\nkey down 0x70\nkey down 38\n");
    const auto& e = script.events;
    ASSERT_EQ(e.size(), 11u);
    EXPECT_EQ(e[0].code, '#');
    EXPECT_EQ(e[1].code, 0x41);
    EXPECT_EQ(e[2].code, '5');
    EXPECT_EQ(e[3].code, 0xE9);
    // Text is taken as written, '#' included.
    EXPECT_EQ(e[4].code, 'x');
    EXPECT_EQ(e[6].code, '#');
    EXPECT_EQ(e[8].code, 'y');
    EXPECT_EQ(e[9].code, VK_F1);
    EXPECT_EQ(e[10].code, VK_UP);
    EXPECT_EQ(Parse("").events.size(), 0u);
    EXPECT_EQ(Parse("wait 3\r\nwait 4").endFrame, 7);
}

TEST(ScriptParser, BadLinesNameTheirLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"jump 3", "script:1: unknown command \"jump\""},
        {"wait 1\n\nwait x", "script:3: bad frame count"},
        {"wait -1", "script:1: bad frame count"},
        {"wait", "script:1: \"wait\" needs 1 argument"},
        {"wait 1 2", "script:1: unexpected \"2\""},
        {"at 10\nat 5", "script:2: frame 5 is before frame 10"},
        {"key down Lefty", "script:1: unknown key \"Lefty\""},
        {"key hold Left", "script:1: \"key\" takes down, up or press"},
        {"key down", "script:1: \"key\" needs 2"},
        {"pad down select", "script:1: unknown pad button \"select\""},
        {"pad tap a", "script:1: \"pad\" takes down, up or press"},
        {"pad press", "script:1: \"pad\" needs 2"},
        {"char", "script:1: \"char\" needs a character"},
        {"char ab", "script:1: \"char\" takes one character"},
        {"char 0x100", "script:1: \"char\" takes one character"},
        {"char \xE6\x97\xA5", "script:1: \"char\" takes one character"},
        {"text", "script:1: \"text\" needs some text"},
        {"text a\xE6\x97\xA5", "script:1: the text holds a character outside the code page"},
        {"move 1", "script:1: \"move\" needs 2"},
        {"move 1 70000", "script:1: bad coordinate \"70000\""},
        {"button middle down", "script:1: unknown button"},
        {"button left press", "script:1: \"button\" takes down or up"},
        {"button left down 4", "script:1: \"button\" takes left|right"},
        {"click", "script:1: \"click\" takes X Y or an action name"},
        {"click 5", "script:1: \"click\" takes X Y or an action name"},
        {"click a b c", "script:1: \"click\" takes X Y"},
        {"focus away", "script:1: \"focus\" takes lost or gained"},
        {"command 70000", "script:1: bad command number"},
        {"quit now", "script:1: unexpected \"now\""},
        {"wait 100000000\nwait 1", "script:2: the script runs past frame"},
        {"at 100000000\nkey press A", "script:2: the script runs past frame"},
    };
    for (auto [text, expected] : cases) {
        std::string error = ParseError(text);
        EXPECT_EQ(error.rfind(expected, 0), 0u) << text << " -> " << error;
    }
    EXPECT_EQ(ParseError(std::string("wait 1\nwait\0 2", 13)).rfind("script:2:", 0), 0u);
    EXPECT_EQ(ParseError(std::string(ScriptMaxBytes + 1, '#')).rfind("script:1:", 0), 0u);
    // A text line longer than a script's events may be is refused before its events are built.
    EXPECT_EQ(ParseError("wait 1\ntext " + std::string(ScriptMaxEvents + 1, 'a')),
              "script:2: more than " + std::to_string(ScriptMaxEvents) + " events");
}

TEST(ScriptParser, MissingFileIsAnError) {
    std::string error;
    EXPECT_FALSE(LoadScript("/nonexistent/dir/input.txt", error).has_value());
    EXPECT_EQ(error.rfind("script: cannot read", 0), 0u);
}

TEST(ScriptMessages, EventsBecomeTheMessagesOfRealInput) {
    std::vector<Message> keys = MessagesOf(Parse("key down Enter\nkey up Enter"));
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].id, WM_KEYDOWN);
    EXPECT_EQ(keys[1].id, WM_CHAR);
    EXPECT_EQ(keys[1].wParam, 0x0Du);
    EXPECT_EQ(keys[2].id, WM_KEYUP);

    // A pad press: the button down, and up a frame later; names as SDL spells them, in any case.
    Script pad = Parse("pad press A\npad down dpleft\npad up DPLEFT");
    ASSERT_EQ(pad.events.size(), 4u);
    EXPECT_EQ(pad.events[1].frame, 1);
    EXPECT_EQ(pad.events[2].frame, 1);
    std::vector<Message> buttons = MessagesOf(pad);
    ASSERT_EQ(buttons.size(), 4u);
    EXPECT_EQ(buttons[0].id, WM_PADBUTTONDOWN);
    EXPECT_EQ(buttons[0].wParam, static_cast<uint64_t>(PAD_A));
    EXPECT_EQ(buttons[1].id, WM_PADBUTTONUP);
    EXPECT_EQ(buttons[2].wParam, static_cast<uint64_t>(PAD_DPLEFT));
    EXPECT_EQ(buttons[3].id, WM_PADBUTTONUP);

    std::vector<Message> click = MessagesOf(Parse("click 12 34"));
    ASSERT_EQ(click.size(), 3u);
    EXPECT_EQ(click[0].id, WM_MOUSEMOVE);
    EXPECT_EQ(click[1].id, WM_LBUTTONDOWN);
    EXPECT_EQ(click[2].id, WM_LBUTTONUP);
    EXPECT_EQ(LParamPoint(click[2].lParam).x, 12);
    EXPECT_EQ(LParamPoint(click[2].lParam).y, 34);

    std::vector<Message> action = MessagesOf(Parse("click procOptions"), {}, {401, 222});
    ASSERT_EQ(action.size(), 3u);
    EXPECT_EQ(LParamPoint(action[1].lParam).x, 401);

    // A button without a point presses where the pointer is; the right release asks for the menu.
    std::vector<Message> right = MessagesOf(Parse("button right down\nbutton right up"), {77, 88});
    ASSERT_EQ(right.size(), 3u);
    EXPECT_EQ(right[0].id, WM_RBUTTONDOWN);
    EXPECT_EQ(LParamPoint(right[0].lParam).x, 77);
    EXPECT_EQ(right[2].id, WM_CONTEXTMENU);

    std::vector<Message> rest = MessagesOf(Parse("focus lost\nfocus gained\ncommand 40003\nquit\nchar q"));
    ASSERT_EQ(rest.size(), 5u);
    EXPECT_EQ(rest[0].id, WM_KILLFOCUS);
    EXPECT_EQ(rest[1].id, WM_SETFOCUS);
    EXPECT_EQ(rest[2].id, WM_COMMAND);
    EXPECT_EQ(rest[2].wParam, 40003u);
    EXPECT_EQ(rest[3].id, WM_CLOSE);
    EXPECT_EQ(rest[4].wParam, static_cast<uint64_t>('q'));
}

TEST(ScriptRecorder, RecordingReplaysTheSameMessages) {
    // What a player did: typed, pressed control keys (whose characters follow by themselves), moved,
    // clicked with both buttons and lost the focus.
    std::vector<std::pair<Message, uint32_t>> played;
    auto add = [&](std::vector<Message> messages, uint32_t ms) {
        for (const Message& m : messages) played.emplace_back(m, ms);
    };
    std::vector<Message> m;
    AppendKeyMessages(VK_RETURN, true, false, m);
    add(m, 0);
    m.clear();
    AppendKeyMessages(VK_RETURN, false, false, m);
    AppendTextMessages("a #\xC3\xA9", m);
    add(m, 17);
    add({{WM_MOUSEMOVE, 0, PointLParam(300, 40)},
         {WM_LBUTTONDOWN, 1, PointLParam(300, 40)},
         {WM_LBUTTONUP, 0, PointLParam(300, 40)}},
        1000);
    add({{WM_RBUTTONDOWN, 2, PointLParam(-2, 7)},
         {WM_RBUTTONUP, 0, PointLParam(-2, 7)},
         {WM_CONTEXTMENU, 0, PointLParam(-2, 7)}},
        1016);
    m.clear();
    AppendKeyMessages(0x70, true, true, m);
    add(m, 1500);
    m.clear();
    AppendPadMessages(PAD_DPLEFT, true, false, m);
    AppendPadMessages(PAD_START, true, false, m);
    AppendPadMessages(PAD_DPLEFT, false, false, m);
    add(m, 1700);
    add({{WM_KILLFOCUS, 0, 0}, {WM_SETFOCUS, 0, 0}, {WM_CLOSE, 0, 0}}, 2000);

    auto path =
        std::filesystem::temp_directory_path() / ("kelvane-record-" + std::to_string(::getpid()) + ".txt");
    {
        ScriptRecorder recorder;
        std::string error;
        ASSERT_TRUE(recorder.Open(path.string(), 60, 4242, error)) << error;
        for (const auto& [message, ms] : played) recorder.Record(message, ms);
    }
    std::string error;
    std::optional<Script> script = LoadScript(path.string(), error);
    std::filesystem::remove(path);
    ASSERT_TRUE(script) << error;

    std::vector<Message> replayed;
    Point cursor;
    for (const ScriptEvent& event : script->events) {
        std::vector<Message> out;
        ScriptEventMessages(event, cursor, {}, out);
        for (const Message& message : out) {
            if (message.id == WM_MOUSEMOVE) cursor = LParamPoint(message.lParam);
            replayed.push_back(message);
        }
    }
    ASSERT_EQ(replayed.size(), played.size());
    for (size_t i = 0; i < played.size(); ++i) {
        EXPECT_EQ(replayed[i].id, played[i].first.id) << i;
        EXPECT_EQ(replayed[i].wParam & 0xFF, played[i].first.wParam & 0xFF) << i;
        if (played[i].first.id >= WM_MOUSEMOVE) {
            EXPECT_EQ(replayed[i].lParam, played[i].first.lParam) << i;
        }
    }
    // Real time maps to frames at 60 per second.
    EXPECT_EQ(script->events.front().frame, 0);
    EXPECT_EQ(script->events.back().frame, 120);
    auto at1500 = std::find_if(script->events.begin(), script->events.end(),
                               [](const ScriptEvent& e) { return e.code == 0x70; });
    ASSERT_NE(at1500, script->events.end());
    EXPECT_EQ(at1500->frame, 90);
}

// The header names what the replay needs; a recording that reaches a script's size ends there and
// still loads.
TEST(ScriptRecorder, TheHeaderNamesTheSeedAndTheRecordingStaysLoadable) {
    auto path =
        std::filesystem::temp_directory_path() / ("kelvane-long-" + std::to_string(::getpid()) + ".txt");
    ScriptRecorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.Open(path.string(), 30, 123450, error)) << error;
    const Message key{WM_KEYDOWN, 'A', 0};
    size_t recorded = 0;
    while (recorder.Record(key, static_cast<uint32_t>(recorded / 4))) ++recorded;
    EXPECT_EQ(recorded, ScriptMaxEvents);
    EXPECT_FALSE(recorder.IsOpen());
    EXPECT_TRUE(recorder.Record(key, 0));  // nothing more is written once it has ended

    std::ifstream in(path);
    std::string header;
    std::getline(in, header);
    EXPECT_NE(header.find("--fps 30 --seed 123450 --script"), std::string::npos) << header;
    std::optional<Script> script = LoadScript(path.string(), error);
    std::filesystem::remove(path);
    ASSERT_TRUE(script) << error;
    EXPECT_EQ(script->events.size(), ScriptMaxEvents);
}

TEST(ScriptRecorder, UnwritablePathIsReported) {
    ScriptRecorder recorder;
    std::string error;
    EXPECT_FALSE(recorder.Open("/nonexistent/dir/rec.txt", 60, 0, error));
    EXPECT_FALSE(error.empty());
    recorder.Record({WM_CLOSE, 0, 0}, 0);  // a closed recorder ignores input
}

// A trace that could not be written is reported when it is closed, and only then: the next run, with
// or without a trace of its own, does not report it again.
TEST(Trace, AFailedTraceIsReportedOnce) {
    std::string error;
    ASSERT_TRUE(OpenTrace("/dev/full", false, error)) << error;
    TraceEvent("probe", {{"text", std::string(8192, 'x')}});
    EXPECT_FALSE(CloseTrace());
    EXPECT_TRUE(CloseTrace());
    const auto path =
        std::filesystem::temp_directory_path() / ("kelvane-trace-" + std::to_string(::getpid()) + ".jsonl");
    ASSERT_TRUE(OpenTrace(path.string(), false, error)) << error;
    TraceEvent("probe", {});
    EXPECT_TRUE(CloseTrace());
    std::filesystem::remove(path);
}
