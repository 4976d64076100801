// The composition toolkit behind the game's music: scales and scale degrees, chords built on a
// degree, progressions written as roman numerals, rhythm patterns written as text, and a melody
// writer that turns short motifs into phrases under a few rules of voice leading:
//  - notes on the strong beats (1 and 3) are chord tones;
//  - a leap (a move of two scale steps or more) lands on a chord tone;
//  - a large leap (a fourth or more) turns back: the next move goes the other way, by a step where
//    the beat allows, else to the nearest chord tone;
//  - the melody stays inside its range;
//  - a phrase closes on a long chord tone, the tonic when it is the closing phrase over a chord
//    that holds it.
// Time is counted in steps of a sixteenth note, 16 to the bar.
#pragma once

#include <string>
#include <vector>

#include "sound_synth.h"

constexpr int StepsPerBar = 16;

// A scale: a root pitch (MIDI number) and the semitone offsets of its degrees within the octave.
// Degrees are whole numbers without bound: degree 7 of a seven-note scale is the root an octave up.
struct Scale {
    int root = 60;
    std::vector<int> offsets;
    int Size() const { return static_cast<int>(offsets.size()); }
    int Pitch(int degree) const;
    // The highest degree whose pitch is at or below pitch.
    int DegreeAtOrBelow(int pitch) const;
};
Scale MajorScale(int root);
Scale NaturalMinorScale(int root);
Scale HarmonicMinorScale(int root);
Scale DorianScale(int root);

// A chord on a scale degree (0-based): the degree, its third and fifth, and the seventh if asked.
struct Chord {
    int degree = 0;
    bool seventh = false;
    bool Contains(int scaleDegree, int scaleSize = 7) const;
    // The chord's tones as degrees from the root upwards (3 or 4 of them).
    std::vector<int> Degrees() const;
};
// "I vi IV V7": one chord per token; the numeral gives the degree whatever its case, "7" adds the
// seventh. Unknown tokens are skipped.
std::vector<Chord> ParseProgression(const std::string& numerals);

// One onset of a pattern: its step, how many steps it lasts and the symbol that started it.
struct Hit {
    int step = 0;
    int length = 1;
    char symbol = 'x';
};
// A pattern is one character per step: '.' is a rest, '-' holds the note before it, any other
// character starts a note and names what to play (a drum accent, a bass tone, a chord tone ...).
std::vector<Hit> ParseHits(const std::string& pattern);

// A note of a part, in steps.
struct NoteEvent {
    int step = 0;
    int length = 1;
    int pitch = 60;
    int velocity = 90;
};

// A motif: a one-bar rhythm and, for each of its notes, the move in scale steps from the note
// before (the moves repeat if there are fewer of them than notes).
struct Motif {
    std::string rhythm;
    std::vector<int> moves;
};
// A variation of a motif: one or two moves nudged by a step, sometimes a long note split in two.
Motif VaryMotif(const Motif& motif, SynthRandom& random);

class MelodyWriter {
public:
    // The range is given in scale degrees; the melody starts at startDegree.
    MelodyWriter(const Scale& scale, int lowDegree, int highDegree, int startDegree);

    // One phrase: a motif per bar over its chord (chords cycle if shorter), starting at startStep.
    // The last note becomes a cadence: a chord tone held to the end of the phrase, on the tonic
    // when closing is set and the last chord holds the tonic.
    void Phrase(const std::vector<Motif>& bars, const std::vector<Chord>& chords, int startStep, bool closing,
                int velocity, std::vector<NoteEvent>& out);

    // Starts the line afresh at a degree, as a theme does when it comes back.
    void Restart(int degree);
    int LastDegree() const { return lastDegree; }

private:
    int Place(int wanted, int direction, const Chord& chord, bool needChordTone) const;
    Scale scale;
    int low, high;
    int lastDegree;
    int lastMove = 0;
};

// A close voicing of the chord inside [low, high] (MIDI pitches) that moves the least from the
// previous voicing (any voicing when previous is empty).
std::vector<int> VoiceChord(const Chord& chord, const Scale& scale, const std::vector<int>& previous, int low,
                            int high);
