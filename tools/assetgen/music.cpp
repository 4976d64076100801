// The game's five music tracks, written as standard MIDI files for the General MIDI synth. Each song
// is a small score: a key, a tempo, instruments, two themes of four one-bar motifs, accompaniment
// patterns and a list of sections (intro, A, B, A', bridge, A, outro). The arranger below turns the
// score into notes with the composition toolkit: themes become phrases over the section's chords
// (the second phrase of each period closes on the tonic), the harmony is voice-led from bar to bar,
// the bass follows the chord roots, drums play the section's groove with a fill into the next section
// and a crash on its first beat, and the last bar holds the tonic chord under a slight ritardando.
#include <cstdio>
#include <string>
#include <vector>

#include "audio_assets.h"
#include "composer.h"
#include "midi_writer.h"

namespace {

constexpr uint16_t TicksPerQuarter = 480;
constexpr int TicksPerStep = TicksPerQuarter / 4;

// General MIDI channels of the parts; drums sit on channel 10 (index 9).
constexpr int MelodyChannel = 0, HarmonyChannel = 1, BassChannel = 2, CounterChannel = 3, DrumChannel = 9;

// General MIDI percussion keys used by the grooves.
constexpr int Kick = 36, SideStick = 37, Snare = 38, Clap = 39, ClosedHat = 42, OpenHat = 46, Crash = 49,
              Ride = 51, Tambourine = 54, Shaker = 70, LowTom = 45, MidTom = 47, HighTom = 50;

enum class Tune { None, ThemeA, ThemeB, ThemeAVaried, Long };

struct DrumLane {
    int key;
    const char* pattern;  // 'X' accent, 'x' normal, 'o' soft, 'g' ghost
};
using Groove = std::vector<DrumLane>;

struct Section {
    const char* name;
    int bars;
    const char* chords;  // one chord a bar, repeated when the section is longer
    Tune tune;
    bool harmony, counter, bass;
    int groove;    // index into the song's grooves, -1 for none
    int dynamics;  // added to every velocity of the section
    bool closes;   // the second phrase of each eight bars ends on the tonic
};

struct Song {
    const char* file;
    const char* title;
    double bpm;
    Scale scale;
    int melodyProgram, harmonyProgram, bassProgram, counterProgram;
    int melodyLow, melodyHigh, melodyStart;  // scale degrees
    std::vector<Motif> themeA, themeB;
    Motif longLine;              // the bridge's slow melody, on the counter voice
    const char* harmonyPattern;  // 'x' the whole chord, digits single chord tones
    const char* counterPattern;  // digits: chord tones upwards, 3 = the root an octave up
    const char* bassPattern;     // R root, 3 third, 5 fifth, 8 octave, a approach to the next root
    std::vector<Groove> grooves;
    int swingTicks;  // delay of the off-beat eighths
    uint32_t seed;
    std::vector<Section> sections;
};

const Groove DrumFill = {{Snare, "........x.x.o..."},
                         {HighTom, "............x..."},
                         {MidTom, "..............x."},
                         {LowTom, "...............x"}};

int DrumVelocity(char symbol) {
    switch (symbol) {
        case 'X':
            return 112;
        case 'x':
            return 92;
        case 'o':
            return 66;
        default:
            return 42;
    }
}

class Arranger {
public:
    explicit Arranger(const Song& song) : song(song), random(song.seed) {
        tracks.resize(6);
        tracks[0].Name(song.title);
        tracks[0].TimeSignature(0, 4, 2);
        tracks[0].Tempo(0, song.bpm);
        SetUp(tracks[1], "Melody", MelodyChannel, song.melodyProgram, 108, 64, 50);
        SetUp(tracks[2], "Counter", CounterChannel, song.counterProgram, 78, 88, 70);
        SetUp(tracks[3], "Harmony", HarmonyChannel, song.harmonyProgram, 76, 40, 70);
        SetUp(tracks[4], "Bass", BassChannel, song.bassProgram, 100, 64, 25);
        SetUp(tracks[5], "Drums", DrumChannel, -1, 96, 64, 40);
    }

    std::vector<uint8_t> Arrange() {
        MelodyWriter melody(song.scale, song.melodyLow, song.melodyHigh, song.melodyStart);
        MelodyWriter bridgeLine(song.scale, song.melodyLow - 3, song.melodyHigh - 3, song.melodyStart - 2);
        int step = 0;
        int totalBars = 0;
        for (const Section& section : song.sections) totalBars += section.bars;
        int bar = 0;
        for (size_t s = 0; s < song.sections.size(); ++s) {
            const Section& section = song.sections[s];
            std::vector<Chord> chords = ParseProgression(section.chords);
            bool nextHasDrums = s + 1 < song.sections.size() && song.sections[s + 1].groove >= 0;
            WriteTune(section, chords, step, melody, bridgeLine);
            for (int b = 0; b < section.bars; ++b, ++bar) {
                const Chord& chord = chords[static_cast<size_t>(b) % chords.size()];
                Chord next = chord;
                if (b + 1 < section.bars)
                    next = chords[static_cast<size_t>(b + 1) % chords.size()];
                else if (s + 1 < song.sections.size())
                    next = ParseProgression(song.sections[s + 1].chords).front();
                bool finalBar = bar == totalBars - 1;
                int barStep = step + b * StepsPerBar;
                if (section.harmony) WriteHarmony(chord, barStep, section.dynamics, finalBar);
                if (section.counter && section.tune != Tune::Long && !finalBar)
                    WriteCounter(chord, barStep, section.dynamics);
                if (section.bass) WriteBass(chord, next, barStep, section.dynamics, finalBar);
                if (section.groove >= 0) {
                    bool fill = b == section.bars - 1 && nextHasDrums;
                    WriteDrums(song.grooves[static_cast<size_t>(section.groove)], barStep, section.dynamics,
                               fill, b == 0 && s > 0, finalBar);
                }
                if (bar == totalBars - 2) tracks[0].Tempo(Tick(barStep), song.bpm * 0.94);
                if (finalBar) tracks[0].Tempo(Tick(barStep), song.bpm * 0.86);
            }
            step += section.bars * StepsPerBar;
        }
        return EncodeMidiFile(tracks, TicksPerQuarter);
    }

private:
    static void SetUp(MidiTrack& track, const char* name, int channel, int program, int volume, int pan,
                      int reverb) {
        track.Name(name);
        if (program >= 0) track.Program(0, channel, program);
        track.Control(0, channel, 7, volume);
        track.Control(0, channel, 10, pan);
        track.Control(0, channel, 91, reverb);
    }

    // Off-beat eighths are pushed late by the song's swing.
    uint32_t Tick(int step) const {
        int swing = (step % 4 == 2) ? song.swingTicks : 0;
        return static_cast<uint32_t>(step * TicksPerStep + swing);
    }

    int Humanise(int velocity) { return velocity + random.Range(-5, 5); }

    void Emit(int track, int channel, const NoteEvent& note) {
        uint32_t start = Tick(note.step);
        uint32_t end = Tick(note.step + note.length);
        // A short gap before the next note keeps repeated notes articulated.
        uint32_t length = end - start > 40 ? end - start - 20 : end - start;
        tracks[static_cast<size_t>(track)].Note(start, length, channel, note.pitch, Humanise(note.velocity));
    }

    void WriteTune(const Section& section, const std::vector<Chord>& chords, int step, MelodyWriter& melody,
                   MelodyWriter& bridgeLine) {
        if (section.tune == Tune::None) return;
        std::vector<NoteEvent> notes;
        for (int p = 0; p * 4 < section.bars; ++p) {
            std::vector<Chord> phraseChords;
            phraseChords.reserve(4);
            for (int b = 0; b < 4; ++b)
                phraseChords.push_back(chords[static_cast<size_t>(p * 4 + b) % chords.size()]);
            int phraseStep = step + p * 4 * StepsPerBar;
            bool closing = section.closes && (p % 2 == 1 || p * 4 + 4 >= section.bars);
            if (section.tune == Tune::Long) {
                bridgeLine.Phrase(std::vector<Motif>(4, song.longLine), phraseChords, phraseStep, closing,
                                  70 + section.dynamics, notes);
                continue;
            }
            bool themeB = section.tune == Tune::ThemeB;
            // Each period of a theme starts from the same note, so the tune is recognised when it returns.
            if (p % 2 == 0) melody.Restart(themeB ? song.melodyStart + 2 : song.melodyStart);
            std::vector<Motif> bars = themeB ? song.themeB : song.themeA;
            // The answering phrase varies the third bar; the returning A varies every bar but the first.
            if (p % 2 == 1) bars[2] = VaryMotif(bars[2], random);
            if (section.tune == Tune::ThemeAVaried)
                for (size_t b = 1; b < bars.size(); ++b) bars[b] = VaryMotif(bars[b], random);
            melody.Phrase(bars, phraseChords, phraseStep, closing, 92 + section.dynamics, notes);
        }
        bool onCounter = section.tune == Tune::Long;
        for (const NoteEvent& note : notes)
            Emit(onCounter ? 2 : 1, onCounter ? CounterChannel : MelodyChannel, note);
    }

    void WriteHarmony(const Chord& chord, int barStep, int dynamics, bool finalBar) {
        harmonyVoicing = VoiceChord(chord, song.scale, harmonyVoicing, 53, 72);
        const char* pattern = finalBar ? "x---------------" : song.harmonyPattern;
        for (const Hit& hit : ParseHits(pattern)) {
            NoteEvent note{barStep + hit.step, hit.length, 0, 62 + dynamics};
            if (hit.symbol == 'x') {
                for (int pitch : harmonyVoicing) {
                    note.pitch = pitch;
                    Emit(3, HarmonyChannel, note);
                }
            } else {
                note.pitch = ChordTone(harmonyVoicing, hit.symbol - '0');
                Emit(3, HarmonyChannel, note);
            }
        }
    }

    void WriteCounter(const Chord& chord, int barStep, int dynamics) {
        counterVoicing = VoiceChord(chord, song.scale, counterVoicing, 62, 76);
        for (const Hit& hit : ParseHits(song.counterPattern)) {
            int accent = hit.step % 4 == 0 ? 6 : 0;
            Emit(2, CounterChannel,
                 {barStep + hit.step, hit.length, ChordTone(counterVoicing, hit.symbol - '0'),
                  58 + accent + dynamics});
        }
    }

    static int ChordTone(const std::vector<int>& voicing, int index) {
        int k = static_cast<int>(voicing.size());
        index = std::max(index, 0);
        return voicing[static_cast<size_t>(index % k)] + 12 * (index / k);
    }

    // The chord's root in the bass register (E1 .. D#2 above the lowest string of a bass).
    int BassRoot(const Chord& chord) const {
        int pitch = song.scale.Pitch(chord.degree);
        while (pitch >= 40) pitch -= 12;
        while (pitch < 28) pitch += 12;
        return pitch + 12;
    }

    void WriteBass(const Chord& chord, const Chord& next, int barStep, int dynamics, bool finalBar) {
        int root = BassRoot(chord);
        const char* pattern = finalBar ? "R---------------" : song.bassPattern;
        for (const Hit& hit : ParseHits(pattern)) {
            int pitch = root;
            switch (hit.symbol) {
                case '3':
                    pitch = root + (song.scale.Pitch(chord.degree + 2) - song.scale.Pitch(chord.degree));
                    break;
                case '5':
                    pitch = root + (song.scale.Pitch(chord.degree + 4) - song.scale.Pitch(chord.degree));
                    break;
                case '8':
                    pitch = root + 12;
                    break;
                case 'a': {
                    // A half step into the next root, from below when it lies above, else from above.
                    int target = BassRoot(next);
                    pitch = target >= root ? target - 1 : target + 1;
                    break;
                }
                default:
                    break;
            }
            int accent = hit.step % 8 == 0 ? 8 : 0;
            Emit(4, BassChannel, {barStep + hit.step, hit.length, pitch, 84 + accent + dynamics});
        }
    }

    void WriteDrums(const Groove& groove, int barStep, int dynamics, bool fill, bool crash, bool finalBar) {
        auto play = [&](int key, const Hit& hit) {
            Emit(5, DrumChannel, {barStep + hit.step, 1, key, DrumVelocity(hit.symbol) + dynamics});
        };
        if (finalBar) {
            play(Crash, {0, 1, 'X'});
            play(Kick, {0, 1, 'X'});
            return;
        }
        if (crash) play(Crash, {0, 1, 'x'});
        for (const DrumLane& lane : groove)
            for (const Hit& hit : ParseHits(lane.pattern))
                if (!fill || hit.step < 8) play(lane.key, hit);
        if (fill)
            for (const DrumLane& lane : DrumFill)
                for (const Hit& hit : ParseHits(lane.pattern)) play(lane.key, hit);
    }

    const Song& song;
    SynthRandom random;
    std::vector<MidiTrack> tracks;
    std::vector<int> harmonyVoicing, counterVoicing;
};

// 1. The main theme: bright and upbeat, D major, square lead over electric piano off-beats.
Song MainTheme() {
    Song song{"music_1.mid",
              "Stacking Up",
              128,
              MajorScale(62),
              80,
              4,
              38,
              11,
              0,
              11,
              4,
              {{"x-x-x---x-x-x---", {0, 1, 1, 2, -1, -1}},
               {"x-x-x-x-x-------", {1, 1, -1, -2, 1}},
               {"x-x-x---x-x-x-x-", {2, -1, -1, 3, -1, -1, -1}},
               {"x---x---x-------", {-1, -1, -1}}},
              {{"x-----x-----x---", {4, -1, -1}},
               {"x-x---x-x---x---", {1, 1, -1, -1, 2}},
               {"x-----x---x-x---", {-2, 1, 1, 1}},
               {"x-x-x-x-x-------", {-1, -1, -1, -1, 0}}},
              {"x-------x-------", {2, -1}},
              "..x-..x-..x-..x-",
              "0.1.2.3.2.1.0.1.",
              "R-R-8-R-R-R-5-a-",
              {{{Kick, "X...x.....X.x..."}, {Snare, "....X.......X..."}, {ClosedHat, "x.x.x.x.x.x.x.x."}},
               {{Kick, "X...x.....X.x..."},
                {Snare, "....X.......X..."},
                {ClosedHat, "xoxoxoxoxoxoxoxo"},
                {OpenHat, "......x.......x."}},
               {{Kick, "X.......X......."}, {ClosedHat, "..x...x...x...x."}}},
              0,
              0x5101,
              {{"intro", 4, "I IV I V", Tune::None, true, true, true, 2, -8, false},
               {"A", 16, "I vi IV V I vi V I", Tune::ThemeA, true, false, true, 0, 0, true},
               {"B", 8, "IV V iii vi IV V ii V", Tune::ThemeB, true, true, true, 0, 2, false},
               {"A'", 16, "I vi IV V I vi V I", Tune::ThemeAVaried, true, true, true, 1, 4, true},
               {"bridge", 8, "ii V I vi ii V IV V", Tune::Long, true, true, true, 2, -6, false},
               {"A", 8, "I vi IV V I vi V I", Tune::ThemeA, true, true, true, 1, 4, true},
               {"outro", 4, "I IV V I", Tune::ThemeA, true, false, true, 0, -4, true}}};
    return song;
}

// 2. A calm one: F major, slow; flute over a warm pad, harp arpeggios and soft percussion.
Song CalmWaters() {
    Song song{"music_2.mid",
              "Still Glass",
              80,
              MajorScale(65),
              73,
              89,
              32,
              46,
              0,
              9,
              2,
              {{"x-----x-x-------", {0, 1, 1}},
               {"x---x---x-------", {2, -1, -1}},
               {"x-----x-x---x---", {-1, -1, 2, 1}},
               {"x-------x-------", {-1, -1}}},
              {{"x-------x---x---", {3, -1, -1}},
               {"x-----x-x-------", {-1, -1, 2}},
               {"x---x---x---x---", {1, 1, -1, -2}},
               {"x---------------", {0}}},
              {"x---------------", {2}},
              "x---------------",
              "0.1.2.3.4.3.2.1.",
              "R-------5-------",
              {{{Kick, "X.......o......."}, {SideStick, "....x.......x..."}, {Shaker, "x.o.x.o.x.o.x.o."}},
               {{Shaker, "x.o.x.o.x.o.x.o."}}},
              0,
              0x5202,
              {{"intro", 4, "I IV I V", Tune::None, true, true, false, -1, -10, false},
               {"A", 8, "I iii IV V vi IV V I", Tune::ThemeA, true, false, true, 1, -6, true},
               {"B", 8, "vi iii IV I ii vi IV V", Tune::ThemeB, true, true, true, 0, -4, false},
               {"A'", 8, "I iii IV V vi IV V I", Tune::ThemeAVaried, true, true, true, 0, -2, true},
               {"bridge", 8, "IV V iii vi ii V IV V", Tune::Long, true, false, true, 1, -8, false},
               {"A", 8, "I iii IV V vi IV V I", Tune::ThemeA, true, true, true, 0, -4, true},
               {"outro", 4, "IV V vi I", Tune::ThemeA, true, false, true, 1, -10, true}}};
    return song;
}

// 3. A driving fast one: E minor at full tilt; saw lead, overdriven guitar stabs, pumping synth bass.
Song Overdrive() {
    Song song{"music_3.mid",
              "Fast Drop",
              156,
              NaturalMinorScale(64),
              81,
              29,
              38,
              90,
              0,
              10,
              4,
              {{"x-x-x-x-x---x---", {0, 1, 1, -1, 2, -1}},
               {"x-x-x-x-x-x-x---", {1, 1, 1, -2, -1, 1, -1}},
               {"x---x-x-x---x-x-", {3, -1, -1, -1, 1, -1}},
               {"x-x-x-----------", {-1, -1, -1}}},
              {{"x-------x-------", {4, -1}},
               {"x---x---x---x---", {-1, -1, 1, 2}},
               {"x-------x---x---", {-1, -2, 1}},
               {"x-x-x-x-x-------", {-1, -1, 1, -1, -1}}},
              {"x-------x-------", {1, -1}},
              "x--.x--.x-.x-.x.",
              "0123012301230123",
              "R.R.R.R.R.R.5.8.",
              {{{Kick, "X.....x.X.x....."}, {Snare, "....X.......X..."}, {ClosedHat, "x.x.x.x.x.x.x.x."}},
               {{Kick, "X.x...x.X.x...x."}, {Snare, "....X..o....X.o."}, {ClosedHat, "xoxoxoxoxoxoxoxo"}},
               {{Kick, "X...X...X...X..."}, {OpenHat, "..x...x...x...x."}}},
              0,
              0x5303,
              {{"intro", 8, "i VI III VII", Tune::None, false, true, true, 2, -6, false},
               {"A", 16, "i VI III VII i iv VII i", Tune::ThemeA, true, false, true, 0, 0, true},
               {"B", 16, "VI VII III i iv VI VII VII", Tune::ThemeB, true, true, true, 1, 4, false},
               {"A'", 16, "i VI III VII i iv VII i", Tune::ThemeAVaried, true, true, true, 1, 6, true},
               {"bridge", 8, "iv iv i i VI VI VII VII", Tune::Long, true, false, true, 2, -4, false},
               {"A", 8, "i VI III VII i iv VII i", Tune::ThemeA, true, true, true, 1, 6, true},
               {"outro", 4, "VI VII VII i", Tune::ThemeA, true, false, true, 0, 0, true}}};
    return song;
}

// 4. A mysterious one: D harmonic minor, its raised seventh and augmented third chord; clarinet,
// strings and celesta over a fretless bass and sparse, dry percussion.
Song NightWell() {
    Song song{"music_4.mid",
              "Deep Well",
              92,
              HarmonicMinorScale(62),
              71,
              48,
              35,
              8,
              0,
              10,
              4,
              {{"x-----x-x-x-----", {0, 1, -1, -1}},
               {"x-------x---x---", {3, -1, -1}},
               {"x-x-x-----x-x---", {1, 1, 1, -1, -1}},
               {"x---x-----------", {-1, -1}}},
              {{"x---x---x---x---", {-2, 1, 1, 1}},
               {"x-----------x---", {2, -1}},
               {"x-x-x-x-x---x---", {-1, -1, -1, -1, 2, -1}},
               {"x---------------", {-1}}},
              {"x---------------", {1}},
              "x-------x-------",
              "0..1..2..3..2...",
              "R-----R-5-------",
              {{{Kick, "X.........X....."}, {SideStick, "......x.......x."}, {Shaker, "..x...x...x...x."}},
               {{Kick, "X.........X....."},
                {SideStick, "......x.......x."},
                {Tambourine, "..o...o...o...o."},
                {Ride, "x...x...x...x..."}}},
              0,
              0x5404,
              {{"intro", 4, "i VI iv V", Tune::None, true, true, true, -1, -8, false},
               {"A", 8, "i VI iv V i VI V i", Tune::ThemeA, true, false, true, 0, -4, true},
               {"B", 8, "iv i VI III iv VI V V", Tune::ThemeB, true, true, true, 1, 0, false},
               {"A'", 8, "i VI iv V i VI V i", Tune::ThemeAVaried, true, true, true, 1, 2, true},
               {"bridge", 8, "VI VI III III iv iv V V", Tune::Long, true, false, true, 0, -6, false},
               {"A", 8, "i VI iv V i VI V i", Tune::ThemeA, true, true, true, 1, 0, true},
               {"outro", 4, "iv V V i", Tune::ThemeA, true, false, true, 0, -8, true}}};
    return song;
}

// 5. A bouncy, playful one: G major with a swing; piccolo, oom-pah piano and tuba, marimba.
Song Bounce() {
    Song song{"music_5.mid",
              "Bounce Back",
              120,
              MajorScale(67),
              72,
              0,
              58,
              12,
              0,
              9,
              2,
              {{"x.x.x.x.x---x---", {0, 2, -1, 1, 2, -2}},
               {"x.x.x---x.x.x---", {1, 1, -2, 1, 1, -2}},
               {"x.x.x.x.x.x.x.x.", {2, -1, -1, -1, 2, -1, -1, -1}},
               {"x---x---x-------", {-1, -1, -1}}},
              {{"x---x.x.x---x---", {3, -1, -1, -1, 1}},
               {"x.x.x.x.x-------", {1, 1, 1, -2, -1}},
               {"x---x---x.x.x.x.", {-2, 1, 1, 1, -1, -1}},
               {"x.x.x---x-------", {1, -1, -1, -1}}},
              {"x-------x-------", {-1, 1}},
              "....x-......x-..",
              "0.2.1.2.0.2.1.2.",
              "R-------5-------",
              {{{Kick, "X.......X......."}, {Snare, "....x.......x..."}, {ClosedHat, "x.x.x.x.x.x.x.x."}},
               {{Kick, "X.......X.x....."},
                {Clap, "....x.......x..."},
                {ClosedHat, "x.x.x.x.x.x.x.x."},
                {Tambourine, "..o...o...o...o."}},
               {{Kick, "X.......X......."}, {ClosedHat, "..x...x...x...x."}}},
              45,
              0x5505,
              {{"intro", 4, "I IV V I", Tune::None, true, true, true, 2, -6, false},
               {"A", 16, "I IV I V I IV V I", Tune::ThemeA, true, false, true, 0, 0, true},
               {"B", 8, "IV IV I I ii V I V", Tune::ThemeB, true, true, true, 1, 2, false},
               {"A'", 16, "I IV I V I IV V I", Tune::ThemeAVaried, true, true, true, 1, 4, true},
               {"bridge", 8, "vi vi ii ii IV IV V V", Tune::Long, true, false, true, 2, -6, false},
               {"A", 8, "I IV I V I IV V I", Tune::ThemeA, true, true, true, 1, 2, true},
               {"outro", 4, "IV V V I", Tune::ThemeA, true, false, true, 0, -4, true}}};
    return song;
}

}  // namespace

std::vector<std::pair<std::string, std::vector<uint8_t>>> ComposeMusicTracks() {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    for (const Song& song : {MainTheme(), CalmWaters(), Overdrive(), NightWell(), Bounce()}) {
        Arranger arranger(song);
        files.emplace_back(song.file, arranger.Arrange());
    }
    return files;
}

bool WriteMusicTracks(const std::string& soundDir) {
    bool ok = true;
    for (const auto& [name, bytes] : ComposeMusicTracks()) {
        std::string path = soundDir + "/" + name;
        if (!WriteFileBytes(path, bytes)) {
            std::fprintf(stderr, "assetgen: cannot write %s\n", path.c_str());
            ok = false;
        }
    }
    return ok;
}
