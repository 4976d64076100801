// The command line of a run: a windowed game by default; with --headless an offscreen run on a virtual
// clock, fed by a script, that can write screenshots, state dumps and a trace of the game's events.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Command-line options of a run.
struct RunOptions {
    bool headless = false;
    float fps = 60;                 // headless: frames per second of the virtual clock
    std::optional<uint32_t> seed;   // --seed N: fixed random seed
    std::optional<int64_t> frames;  // --frames N
    std::optional<double> seconds;  // --seconds S
    std::string scriptFile;         // --script FILE (headless input)
    std::string dumpFile;           // --dump FILE: final state as JSON
    std::vector<std::pair<int64_t, std::string>> frameDumps;  // --dump FRAME:FILE: the state after that frame
    std::string traceFile;                                    // --trace FILE: one JSON line per game event
    bool traceText = false;  // --trace-text: the trace also lists every text drawn
    std::string recordFile;  // --record FILE: windowed run writes its input as a script
    std::vector<std::pair<int64_t, std::string>> screenshots;  // --screenshot FRAME:FILE.png
    std::string
        gameDir;  // --game-dir DIR: every file in DIR, as a headless run keeps them in the working directory
    int width = 0, height = 0;  // --size WxH: the window's client size (0: the game's own)
    bool help = false;          // --help: Run prints the usage and starts nothing
};

// Parses argv; on a bad option writes the reason to error and returns nullopt.
std::optional<RunOptions> ParseRunOptions(int argc, char** argv, std::string& error);
// The --help text.
std::string RunOptionsUsage();
