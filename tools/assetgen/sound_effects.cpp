// The effects of play and the menu sounds. Landing (fall.wav) sounds hundreds of times a game, so it
// is the shortest and quietest: a soft wooden tock. The rest are small bell, chime and brass figures
// in C major (game over in C minor), each with its own shape so a player can tell them apart by ear.
#include <cstdio>

#include "audio_assets.h"

namespace {

// Peak levels in dBFS: the landing and the pointer tick sit well under the rest.
constexpr double EffectPeakDb = -3.0;
constexpr double LandingPeakDb = -9.0;
// The pick-up is dense (two chip notes and a glint under one peak): at the common peak it would stand
// some 3 dB louder than the other effects.
constexpr double PickUpPeakDb = -6.0;

// A mellow horn: harmonics falling off as 1/n, the upper ones dying faster.
std::vector<Partial> HornPartials(int count) {
    std::vector<Partial> partials;
    for (int n = 1; n <= count; ++n) partials.push_back({double(n), 1.0 / n, 1.0 + 0.35 * (n - 1)});
    return partials;
}

// A pulse-like chip voice: odd harmonics only.
std::vector<Partial> ChipPartials() {
    return {{1, 1, 1}, {3, 0.33, 1.4}, {5, 0.2, 1.8}, {7, 0.14, 2.2}};
}

void Finish(SampleBuffer& samples, double peakDb, double fadeOut) {
    NormalizePeak(samples, peakDb);
    FadeEnds(samples, 0.002, fadeOut);
}

// New game: a bright upward arpeggio that lands on an open octave chord.
SampleBuffer Action() {
    SampleBuffer s = MakeBuffer(0.78);
    const int notes[] = {60, 64, 67, 72};
    for (int i = 0; i < 4; ++i) {
        FmVoice bell{.start = i * 0.075,
                     .length = 0.45,
                     .hertz = MidiToHertz(notes[i]),
                     .gain = 0.5,
                     .attack = 0.003,
                     .tau = 0.16,
                     .ratio = 2,
                     .index = 1.8,
                     .indexEnd = 0.25};
        AddFm(s, bell);
    }
    for (int note : {72, 79, 84}) {
        FmVoice chord{.start = 0.3,
                      .length = 0.48,
                      .hertz = MidiToHertz(note),
                      .gain = 0.3,
                      .attack = 0.006,
                      .tau = 0.22,
                      .ratio = 2,
                      .index = 1.2,
                      .indexEnd = 0.2};
        AddFm(s, chord);
    }
    AddRoom(s, 0.25, 0.22, 0.5);
    Finish(s, EffectPeakDb, 0.05);
    return s;
}

// Rows or cells removed: a rising sweep of air under a quick pentatonic run of chimes.
SampleBuffer Fill() {
    SampleBuffer s = MakeBuffer(0.6);
    AddNoise(s, {.start = 0,
                 .length = 0.5,
                 .gain = 0.9,
                 .attack = 0.06,
                 .tau = 0.16,
                 .fromHz = 700,
                 .toHz = 7000,
                 .q = 2.5,
                 .seed = 0x2F11});
    const int run[] = {72, 74, 76, 79, 81, 84, 86, 88};
    for (int i = 0; i < 8; ++i) {
        FmVoice chime{.start = 0.02 + i * 0.035,
                      .length = 0.3,
                      .hertz = MidiToHertz(run[i]),
                      .gain = 0.28,
                      .attack = 0.002,
                      .tau = 0.08,
                      .ratio = 3.5,
                      .index = 1.0,
                      .indexEnd = 0.3};
        AddFm(s, chime);
    }
    AddRoom(s, 0.2, 0.18, 0.4);
    Finish(s, EffectPeakDb, 0.05);
    return s;
}

// A piece touches down: a short, low wooden tock with a soft edge of noise.
SampleBuffer Fall() {
    SampleBuffer s = MakeBuffer(0.14);
    ToneVoice body{.start = 0,
                   .length = 0.14,
                   .hertz = 190,
                   .gain = 1.0,
                   .attack = 0.0015,
                   .tau = 0.032,
                   .glideSemitones = -4,
                   .glideSeconds = 0.05,
                   .partials = {{1, 1, 1}, {2.76, 0.25, 2.5}, {5.4, 0.08, 4}}};
    AddTone(s, body);
    AddNoise(s, {.start = 0,
                 .length = 0.04,
                 .gain = 0.35,
                 .attack = 0.0008,
                 .tau = 0.006,
                 .fromHz = 1400,
                 .toHz = 900,
                 .q = 0.9,
                 .seed = 0x3A17});
    Finish(s, LandingPeakDb, 0.03);
    return s;
}

// Game over: three falling notes into a low minor chord that sighs away with a slow vibrato.
SampleBuffer GameOver() {
    SampleBuffer s = MakeBuffer(1.6);
    const int fallingLine[] = {67, 63, 60};
    for (int i = 0; i < 3; ++i) {
        ToneVoice note{.start = i * 0.3,
                       .length = 0.42,
                       .hertz = MidiToHertz(fallingLine[i]),
                       .gain = 0.45,
                       .attack = 0.02,
                       .tau = 0.22,
                       .partials = HornPartials(6)};
        AddTone(s, note);
    }
    for (int note : {48, 55, 60, 63}) {
        ToneVoice chord{.start = 0.9,
                        .length = 0.7,
                        .hertz = MidiToHertz(note),
                        .gain = 0.3,
                        .attack = 0.03,
                        .tau = 0.35,
                        .vibratoDepth = 0.12,
                        .vibratoRate = 4.5,
                        .partials = HornPartials(5)};
        AddTone(s, chord);
    }
    AddRoom(s, 0.25, 0.3, 0.6);
    Finish(s, EffectPeakDb, 0.12);
    return s;
}

// A bonus item appears (or slips away): a high two-note twinkle.
SampleBuffer Bonus() {
    SampleBuffer s = MakeBuffer(0.5);
    const int twinkle[] = {88, 95, 88, 95};
    for (int i = 0; i < 4; ++i) {
        FmVoice bell{.start = i * 0.065,
                     .length = 0.28,
                     .hertz = MidiToHertz(twinkle[i]),
                     .gain = 0.4 - 0.06 * i,
                     .attack = 0.002,
                     .tau = 0.09,
                     .ratio = 3.01,
                     .index = 1.3,
                     .indexEnd = 0.4};
        AddFm(s, bell);
    }
    AddRoom(s, 0.3, 0.2, 0.5);
    Finish(s, EffectPeakDb, 0.05);
    return s;
}

// A bonus item caught: a two-step coin pick-up on a chip voice with a glint of bright noise.
SampleBuffer GetBonus() {
    SampleBuffer s = MakeBuffer(0.48);
    AddTone(s, {.start = 0,
                .length = 0.085,
                .hertz = MidiToHertz(83),
                .gain = 0.5,
                .attack = 0.002,
                .tau = 0.2,
                .partials = ChipPartials()});
    AddTone(s, {.start = 0.08,
                .length = 0.4,
                .hertz = MidiToHertz(88),
                .gain = 0.5,
                .attack = 0.002,
                .tau = 0.12,
                .partials = ChipPartials()});
    AddNoise(s, {.start = 0.08,
                 .length = 0.2,
                 .gain = 0.25,
                 .attack = 0.001,
                 .tau = 0.04,
                 .fromHz = 8000,
                 .toHz = 9000,
                 .q = 3,
                 .seed = 0x6B0B});
    AddRoom(s, 0.15, 0.1, 0.3);
    Finish(s, PickUpPeakDb, 0.04);
    return s;
}

// The level rises: a short brass fanfare, three quick steps up to a held major chord.
SampleBuffer Level() {
    SampleBuffer s = MakeBuffer(1.05);
    const int steps[] = {67, 72, 76};
    for (int i = 0; i < 3; ++i) {
        AddTone(s, {.start = i * 0.1,
                    .length = 0.14,
                    .hertz = MidiToHertz(steps[i]),
                    .gain = 0.45,
                    .attack = 0.012,
                    .tau = 0.12,
                    .partials = HornPartials(7)});
    }
    for (int note : {72, 76, 79, 84}) {
        AddTone(s, {.start = 0.3,
                    .length = 0.75,
                    .hertz = MidiToHertz(note),
                    .gain = 0.3,
                    .attack = 0.02,
                    .tau = 0.3,
                    .vibratoDepth = 0.08,
                    .vibratoRate = 5.5,
                    .partials = HornPartials(7)});
    }
    AddRoom(s, 0.22, 0.25, 0.5);
    Finish(s, EffectPeakDb, 0.08);
    return s;
}

// The pointer enters a widget: a tiny, soft tick.
SampleBuffer Over() {
    SampleBuffer s = MakeBuffer(0.05);
    AddTone(s, {.start = 0,
                .length = 0.05,
                .hertz = 1900,
                .gain = 0.6,
                .attack = 0.001,
                .tau = 0.007,
                .partials = {{1, 1, 1}, {2.7, 0.2, 2}}});
    Finish(s, -14.0, 0.01);
    return s;
}

// A click: a crisp press, a bright snap on a short wooden body.
SampleBuffer Click() {
    SampleBuffer s = MakeBuffer(0.08);
    AddNoise(s, {.start = 0,
                 .length = 0.03,
                 .gain = 0.8,
                 .attack = 0.0005,
                 .tau = 0.004,
                 .fromHz = 3600,
                 .toHz = 3000,
                 .q = 1.4,
                 .seed = 0xC11C});
    AddTone(s, {.start = 0,
                .length = 0.08,
                .hertz = 1150,
                .gain = 0.45,
                .attack = 0.0008,
                .tau = 0.014,
                .partials = {{1, 1, 1}, {2.4, 0.3, 2}}});
    AddTone(s, {.start = 0, .length = 0.06, .hertz = 320, .gain = 0.4, .attack = 0.001, .tau = 0.012});
    Finish(s, -4.0, 0.012);
    return s;
}

// A typing click: a key's snap, its body and the softer knock of the key reaching the bottom. The
// three variants differ a little in pitch, brightness and timing so repeated typing never drones.
SampleBuffer TypeClick(int variant) {
    const double snapHz[] = {2600, 3100, 2250};
    const double bodyHz[] = {700, 820, 640};
    const double bottomAt[] = {0.011, 0.014, 0.009};
    SampleBuffer s = MakeBuffer(0.065);
    AddNoise(s, {.start = 0,
                 .length = 0.02,
                 .gain = 0.9,
                 .attack = 0.0004,
                 .tau = 0.0035,
                 .fromHz = snapHz[variant],
                 .toHz = snapHz[variant] * 0.85,
                 .q = 2.0,
                 .seed = 0x7E00u + static_cast<uint32_t>(variant)});
    AddTone(
        s,
        {.start = 0, .length = 0.05, .hertz = bodyHz[variant], .gain = 0.35, .attack = 0.0006, .tau = 0.01});
    AddNoise(s, {.start = bottomAt[variant],
                 .length = 0.03,
                 .gain = 0.45,
                 .attack = 0.0006,
                 .tau = 0.005,
                 .fromHz = 1200,
                 .toHz = 1000,
                 .q = 1.2,
                 .seed = 0x7E10u + static_cast<uint32_t>(variant)});
    Finish(s, -6.0 - variant * 0.7, 0.01);
    return s;
}

bool WriteAll(const std::string& soundDir, const std::vector<GeneratedSound>& sounds, bool ogg) {
    bool ok = true;
    int serial = 0x4B560000;
    for (const GeneratedSound& sound : sounds) {
        std::vector<int16_t> pcm = ToPcm16(sound.samples);
        std::vector<uint8_t> bytes = ogg ? EncodeOggVorbis(pcm, 0.6f, serial++) : EncodeWav(pcm);
        std::string path = soundDir + "/" + sound.fileName;
        if (bytes.empty() || !WriteFileBytes(path, bytes)) {
            std::fprintf(stderr, "assetgen: cannot write %s\n", path.c_str());
            ok = false;
        }
    }
    return ok;
}

}  // namespace

std::vector<GeneratedSound> RenderGameEffects() {
    return {{"action.wav", Action()},     {"fill.wav", Fill()},   {"fall.wav", Fall()},
            {"gameover.wav", GameOver()}, {"bonus.wav", Bonus()}, {"getbonus.wav", GetBonus()},
            {"level.wav", Level()}};
}

std::vector<GeneratedSound> RenderWidgetSounds() {
    return {{"over.ogg", Over()},
            {"click.ogg", Click()},
            {"type_1.ogg", TypeClick(0)},
            {"type_2.ogg", TypeClick(1)},
            {"type_3.ogg", TypeClick(2)}};
}

bool WriteGameEffects(const std::string& soundDir) {
    return WriteAll(soundDir, RenderGameEffects(), false);
}

bool WriteWidgetSounds(const std::string& soundDir) {
    return WriteAll(soundDir, RenderWidgetSounds(), true);
}
