// Writing standard MIDI files: tracks of timed events, encoded with delta times, running status for
// channel messages and a closing end-of-track event. At one tick the writer sends note-offs before
// anything else, so a note repeated on the beat is released before it sounds again, and set-up
// events (names, tempo, programs, controllers) before new notes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class MidiTrack {
public:
    void Name(const std::string& text);
    void Tempo(uint32_t tick, double beatsPerMinute);
    void TimeSignature(uint32_t tick, int numerator, int denominatorPower);
    void Program(uint32_t tick, int channel, int program);
    void Control(uint32_t tick, int channel, int controller, int value);
    // A note from tick for length ticks (at least 1); pitch and velocity are clamped to 1..127.
    void Note(uint32_t tick, uint32_t length, int channel, int pitch, int velocity);

    // The track chunk ("MTrk", size, events), ending at the last event or at endTick if later.
    std::vector<uint8_t> Encode(uint32_t endTick = 0) const;
    uint32_t LastTick() const;
    size_t EventCount() const { return events.size(); }

private:
    struct Event {
        uint32_t tick;
        int order;  // 0 note-off, 1 meta, 2 program and controller, 3 note-on
        uint32_t sequence;
        std::vector<uint8_t> bytes;
    };
    void Add(uint32_t tick, int order, std::vector<uint8_t> bytes);
    std::vector<Event> events;
};

// A format 1 file: header "MThd" with ticksPerQuarter, then the tracks (the first holds the tempo
// map), all ending together at the latest event of any track.
std::vector<uint8_t> EncodeMidiFile(const std::vector<MidiTrack>& tracks, uint16_t ticksPerQuarter);

// The variable-length quantity of delta times and meta lengths (7 bits a byte, high bit = more).
void AppendVarLength(std::vector<uint8_t>& out, uint32_t value);
