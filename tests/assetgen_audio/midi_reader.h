// A small standard MIDI file reader for the tests, written apart from the generator's writer so the
// two cannot share a mistake: header, track chunks, delta times, running status, meta and system
// exclusive events, and the length in seconds from the tempo map.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct MidiReadEvent {
    uint32_t tick = 0;
    uint8_t status = 0;  // 0xFF meta, 0xF0/0xF7 system exclusive, else a channel status
    uint8_t data1 = 0, data2 = 0;
    uint8_t metaType = 0;
    std::vector<uint8_t> metaData;
    bool IsNoteOn() const { return (status & 0xF0) == 0x90 && data2 > 0; }
    bool IsNoteOff() const { return (status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && data2 == 0); }
    int Channel() const { return status & 0x0F; }
};

struct MidiReadFile {
    std::string error;
    int format = -1, declaredTracks = 0, division = 0;
    std::vector<std::vector<MidiReadEvent>> tracks;
    bool endsWithEndOfTrack = true;

    uint32_t LastTick() const {
        uint32_t last = 0;
        for (const auto& track : tracks)
            if (!track.empty()) last = std::max(last, track.back().tick);
        return last;
    }
    // Seconds from tick 0 to tick, walking every tempo change of every track (default 120 BPM).
    double Seconds(uint32_t tick) const {
        std::map<uint32_t, uint32_t> tempo;
        for (const auto& track : tracks)
            for (const MidiReadEvent& e : track)
                if (e.status == 0xFF && e.metaType == 0x51 && e.metaData.size() == 3)
                    tempo[e.tick] = (e.metaData[0] << 16) | (e.metaData[1] << 8) | e.metaData[2];
        double seconds = 0;
        uint32_t at = 0, micros = 500000;
        for (const auto& [changeTick, value] : tempo) {
            if (changeTick >= tick) break;
            seconds += double(changeTick - at) * micros / division / 1e6;
            at = changeTick, micros = value;
        }
        return seconds + double(tick - at) * micros / division / 1e6;
    }
};

inline MidiReadFile ReadMidi(const std::vector<uint8_t>& d) {
    MidiReadFile file;
    auto be32 = [&](size_t p) {
        return uint32_t(d[p]) << 24 | uint32_t(d[p + 1]) << 16 | uint32_t(d[p + 2]) << 8 | d[p + 3];
    };
    if (d.size() < 14 || std::string(d.begin(), d.begin() + 4) != "MThd" || be32(4) != 6) {
        file.error = "no MThd header";
        return file;
    }
    file.format = d[8] << 8 | d[9];
    file.declaredTracks = d[10] << 8 | d[11];
    file.division = d[12] << 8 | d[13];
    size_t pos = 14;
    for (int t = 0; t < file.declaredTracks; ++t) {
        if (pos + 8 > d.size() || std::string(d.begin() + long(pos), d.begin() + long(pos) + 4) != "MTrk") {
            file.error = "missing MTrk chunk";
            return file;
        }
        size_t end = pos + 8 + be32(pos + 4);
        if (end > d.size()) {
            file.error = "track chunk runs past the end";
            return file;
        }
        size_t p = pos + 8;
        auto need = [&](size_t n) { return p + n <= end; };
        auto varLength = [&](uint32_t& value) {
            value = 0;
            for (int i = 0; i < 4; ++i) {
                if (!need(1)) return false;
                uint8_t b = d[p++];
                value = value << 7 | (b & 0x7F);
                if (!(b & 0x80)) return true;
            }
            return false;
        };
        std::vector<MidiReadEvent> events;
        uint32_t tick = 0;
        uint8_t running = 0;
        bool ended = false;
        while (p < end && !ended) {
            uint32_t delta = 0;
            if (!varLength(delta)) {
                file.error = "bad delta time";
                return file;
            }
            tick += delta;
            MidiReadEvent e;
            e.tick = tick;
            if (!need(1)) break;
            uint8_t first = d[p];
            if (first == 0xFF) {
                if (!need(2)) break;
                e.status = 0xFF;
                e.metaType = d[p + 1];
                p += 2;
                uint32_t length = 0;
                if (!varLength(length) || !need(length)) {
                    file.error = "bad meta event";
                    return file;
                }
                e.metaData.assign(d.begin() + long(p), d.begin() + long(p + length));
                p += length;
                running = 0;
                ended = e.metaType == 0x2F;
            } else if (first == 0xF0 || first == 0xF7) {
                ++p;
                uint32_t length = 0;
                if (!varLength(length) || !need(length)) {
                    file.error = "bad system exclusive event";
                    return file;
                }
                e.status = first;
                p += length;
                running = 0;
            } else {
                if (first & 0x80) {
                    running = first;
                    ++p;
                } else if (running == 0) {
                    file.error = "data byte without running status";
                    return file;
                }
                e.status = running;
                int dataBytes = ((running & 0xF0) == 0xC0 || (running & 0xF0) == 0xD0) ? 1 : 2;
                if (!need(size_t(dataBytes))) break;
                e.data1 = d[p++];
                if (dataBytes == 2) e.data2 = d[p++];
                if ((e.data1 | e.data2) & 0x80) {
                    file.error = "data byte with the high bit set";
                    return file;
                }
            }
            events.push_back(e);
        }
        if (!ended || p != end) file.endsWithEndOfTrack = false;
        file.tracks.push_back(std::move(events));
        pos = end;
    }
    return file;
}
