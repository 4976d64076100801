#include "midi_writer.h"

#include <algorithm>
#include <cmath>

namespace {
uint8_t Clamp7(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 127));
}
uint8_t Channel(int channel) {
    return static_cast<uint8_t>(channel & 0x0F);
}
}  // namespace

void AppendVarLength(std::vector<uint8_t>& out, uint32_t value) {
    value &= 0x0FFFFFFF;  // a quantity holds at most 28 bits
    uint8_t groups[4];
    int count = 0;
    do {
        groups[count++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

void MidiTrack::Add(uint32_t tick, int order, std::vector<uint8_t> bytes) {
    events.push_back({tick, order, static_cast<uint32_t>(events.size()), std::move(bytes)});
}

void MidiTrack::Name(const std::string& text) {
    std::vector<uint8_t> bytes = {0xFF, 0x03};
    AppendVarLength(bytes, static_cast<uint32_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
    Add(0, 1, std::move(bytes));
}

void MidiTrack::Tempo(uint32_t tick, double beatsPerMinute) {
    auto micros = static_cast<uint32_t>(std::lround(60000000.0 / std::clamp(beatsPerMinute, 4.0, 1000.0)));
    Add(tick, 1,
        {0xFF, 0x51, 0x03, static_cast<uint8_t>(micros >> 16), static_cast<uint8_t>(micros >> 8),
         static_cast<uint8_t>(micros)});
}

void MidiTrack::TimeSignature(uint32_t tick, int numerator, int denominatorPower) {
    Add(tick, 1, {0xFF, 0x58, 0x04, Clamp7(numerator), Clamp7(denominatorPower), 24, 8});
}

void MidiTrack::Program(uint32_t tick, int channel, int program) {
    Add(tick, 2, {static_cast<uint8_t>(0xC0 | Channel(channel)), Clamp7(program)});
}

void MidiTrack::Control(uint32_t tick, int channel, int controller, int value) {
    Add(tick, 2, {static_cast<uint8_t>(0xB0 | Channel(channel)), Clamp7(controller), Clamp7(value)});
}

void MidiTrack::Note(uint32_t tick, uint32_t length, int channel, int pitch, int velocity) {
    uint8_t status = static_cast<uint8_t>(0x90 | Channel(channel));
    uint8_t key = static_cast<uint8_t>(std::clamp(pitch, 1, 127));
    Add(tick, 3, {status, key, static_cast<uint8_t>(std::clamp(velocity, 1, 127))});
    // A note-on with velocity 0 releases the note and keeps the running status of the note-ons.
    Add(tick + std::max<uint32_t>(length, 1), 0, {status, key, 0});
}

uint32_t MidiTrack::LastTick() const {
    uint32_t last = 0;
    for (const Event& event : events) last = std::max(last, event.tick);
    return last;
}

std::vector<uint8_t> MidiTrack::Encode(uint32_t endTick) const {
    std::vector<const Event*> sorted;
    sorted.reserve(events.size());
    for (const Event& event : events) sorted.push_back(&event);
    std::sort(sorted.begin(), sorted.end(), [](const Event* a, const Event* b) {
        if (a->tick != b->tick) return a->tick < b->tick;
        if (a->order != b->order) return a->order < b->order;
        return a->sequence < b->sequence;
    });

    std::vector<uint8_t> body;
    uint32_t now = 0;
    uint8_t runningStatus = 0;
    for (const Event* event : sorted) {
        AppendVarLength(body, event->tick - now);
        now = event->tick;
        uint8_t status = event->bytes[0];
        if (status >= 0xF0) {
            runningStatus = 0;  // meta and system events cancel running status
            body.insert(body.end(), event->bytes.begin(), event->bytes.end());
        } else if (status == runningStatus) {
            body.insert(body.end(), event->bytes.begin() + 1, event->bytes.end());
        } else {
            runningStatus = status;
            body.insert(body.end(), event->bytes.begin(), event->bytes.end());
        }
    }
    AppendVarLength(body, std::max(endTick, now) - now);
    body.insert(body.end(), {0xFF, 0x2F, 0x00});

    std::vector<uint8_t> chunk = {'M', 'T', 'r', 'k'};
    uint32_t size = static_cast<uint32_t>(body.size());
    for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back(static_cast<uint8_t>(size >> shift));
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

std::vector<uint8_t> EncodeMidiFile(const std::vector<MidiTrack>& tracks, uint16_t ticksPerQuarter) {
    uint32_t end = 0;
    for (const MidiTrack& track : tracks) end = std::max(end, track.LastTick());
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    out.push_back(static_cast<uint8_t>(tracks.size() >> 8));
    out.push_back(static_cast<uint8_t>(tracks.size()));
    out.push_back(static_cast<uint8_t>(ticksPerQuarter >> 8));
    out.push_back(static_cast<uint8_t>(ticksPerQuarter));
    for (const MidiTrack& track : tracks) {
        std::vector<uint8_t> chunk = track.Encode(end);
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    return out;
}
