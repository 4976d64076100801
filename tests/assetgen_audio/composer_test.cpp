// The composition toolkit and the MIDI writer: scale arithmetic, the text notations, the melody
// writer's voice-leading rules over many random motifs, chord voicing, and the byte-level rules of
// the file format (variable-length numbers, running status, order of events at one tick).
#include "composer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "midi_reader.h"
#include "midi_writer.h"

namespace {

TEST(Scales, DegreesWalkOctavesBothWays) {
    Scale c = MajorScale(60);
    EXPECT_EQ(c.Pitch(0), 60);
    EXPECT_EQ(c.Pitch(2), 64);
    EXPECT_EQ(c.Pitch(7), 72);
    EXPECT_EQ(c.Pitch(-1), 59);  // B below middle C
    EXPECT_EQ(c.Pitch(-7), 48);
    EXPECT_EQ(c.Pitch(-8), 47);
    EXPECT_EQ(HarmonicMinorScale(62).Pitch(6), 73);  // the raised seventh, C sharp
    for (int degree = -20; degree <= 20; ++degree) {
        EXPECT_EQ(c.DegreeAtOrBelow(c.Pitch(degree)), degree);
        EXPECT_LT(c.Pitch(degree), c.Pitch(degree + 1));
    }
    EXPECT_EQ(c.DegreeAtOrBelow(61), 0);  // C sharp is not in C major: C is the degree below
    EXPECT_EQ(c.DegreeAtOrBelow(58), -2);
}

TEST(Notation, ProgressionsAndPatternsParse) {
    std::vector<Chord> chords = ParseProgression("I vi IV V7 bogus vii");
    ASSERT_EQ(chords.size(), 5u);
    EXPECT_EQ(chords[0].degree, 0);
    EXPECT_EQ(chords[1].degree, 5);
    EXPECT_EQ(chords[2].degree, 3);
    EXPECT_EQ(chords[3].degree, 4);
    EXPECT_TRUE(chords[3].seventh);
    EXPECT_FALSE(chords[2].seventh);
    EXPECT_EQ(chords[4].degree, 6);
    // V7 in C: G B D F, with degrees wrapping round the octave.
    EXPECT_TRUE(chords[3].Contains(4) && chords[3].Contains(6) && chords[3].Contains(8) &&
                chords[3].Contains(10));
    EXPECT_TRUE(chords[3].Contains(-3));  // F an octave down
    EXPECT_FALSE(chords[3].Contains(0));

    std::vector<Hit> hits = ParseHits("-x--.R5-..x");
    ASSERT_EQ(hits.size(), 4u);  // a hold with nothing before it is ignored
    EXPECT_EQ(hits[0].step, 1);
    EXPECT_EQ(hits[0].length, 3);
    EXPECT_EQ(hits[1].symbol, 'R');
    EXPECT_EQ(hits[1].length, 1);
    EXPECT_EQ(hits[2].symbol, '5');
    EXPECT_EQ(hits[2].length, 2);
    EXPECT_EQ(hits[3].step, 10);
}

// Checks the rules the melody writer promises on one phrase.
void CheckPhrase(const Scale& scale, const std::vector<Chord>& chords, const std::vector<NoteEvent>& notes,
                 int startStep, int bars, bool closing, int low, int high) {
    ASSERT_FALSE(notes.empty());
    std::vector<int> degrees;
    for (const NoteEvent& note : notes) {
        int degree = scale.DegreeAtOrBelow(note.pitch);
        ASSERT_EQ(scale.Pitch(degree), note.pitch) << "a note outside the scale";
        EXPECT_GE(degree, low);
        EXPECT_LE(degree, high);
        degrees.push_back(degree);
    }
    for (size_t i = 0; i < notes.size(); ++i) {
        const Chord& chord = chords[size_t((notes[i].step - startStep) / StepsPerBar) % chords.size()];
        bool strong = (notes[i].step - startStep) % 8 == 0;
        if (strong) {
            EXPECT_TRUE(chord.Contains(degrees[i])) << "strong beat off the chord at step " << notes[i].step;
        }
        if (i == 0) continue;
        int move = degrees[i] - degrees[i - 1];
        if (std::abs(move) >= 2) {
            EXPECT_TRUE(chord.Contains(degrees[i])) << "leap onto a passing note at step " << notes[i].step;
        }
        if (i >= 2 && i + 1 < notes.size()) {
            int before = degrees[i - 1] - degrees[i - 2];
            if (std::abs(before) >= 3) {
                EXPECT_TRUE((before > 0 && move < 0) || (before < 0 && move > 0))
                    << "large leap not turned back at step " << notes[i].step;
                EXPECT_LE(std::abs(move), 3);
            }
        }
        EXPECT_GE(notes[i].step, notes[i - 1].step + notes[i - 1].length) << "notes overlap";
    }
    const NoteEvent& last = notes.back();
    EXPECT_EQ(last.step + last.length, startStep + bars * StepsPerBar) << "the cadence is held to the end";
    if (closing && chords[size_t(bars - 1) % chords.size()].Contains(0)) {
        EXPECT_EQ(((degrees.back() % 7) + 7) % 7, 0) << "a closing phrase ends on the tonic";
    }
}

TEST(MelodyWriter, KeepsItsRulesOverManyRandomMotifs) {
    const char* rhythms[] = {"x-x-x---x-x-x---", "x.x.x.x.x.x.x.x.", "x-----x-x---x-x-",
                             "x---x---x---x---", "..x-x-x-x---x-x-", "x-------x-------"};
    SynthRandom random(1234);
    for (int trial = 0; trial < 300; ++trial) {
        SCOPED_TRACE(trial);
        Scale scale = trial % 2 ? MajorScale(60 + trial % 7) : HarmonicMinorScale(57 + trial % 5);
        // Closing phrases mostly end on the tonic chord; every fifth one ends elsewhere and must
        // still close on a chord tone.
        const char* progression = trial % 5 == 4 ? "I vi IV V" : (trial % 3 ? "IV ii V I" : "ii V7 iii I");
        std::vector<Chord> chords = ParseProgression(progression);
        std::vector<Motif> bars;
        for (int b = 0; b < 4; ++b) {
            Motif motif{rhythms[random.Range(0, 5)], {}};
            for (int m = 0; m < 8; ++m) motif.moves.push_back(random.Range(-5, 5));
            bars.push_back(trial % 4 == 3 ? VaryMotif(motif, random) : motif);
        }
        int low = random.Range(-3, 2), high = low + random.Range(7, 12);
        MelodyWriter writer(scale, low, high, random.Range(low, high));
        std::vector<NoteEvent> notes;
        bool closing = trial % 2 == 0;
        writer.Phrase(bars, chords, 64, closing, 90, notes);
        CheckPhrase(scale, chords, notes, 64, 4, closing, low, high);
        for (const NoteEvent& note : notes) EXPECT_TRUE(note.velocity > 60 && note.velocity < 127);
    }
}

TEST(MelodyWriter, RestartReplaysTheSamePhrase) {
    Scale scale = MajorScale(62);
    std::vector<Chord> chords = ParseProgression("I vi IV V");
    std::vector<Motif> bars(4, Motif{"x-x-x---x-x-x---", {1, 1, 2, -1, -1, 3}});
    MelodyWriter writer(scale, 0, 11, 4);
    std::vector<NoteEvent> first, second;
    writer.Phrase(bars, chords, 0, false, 90, first);
    writer.Restart(4);
    writer.Phrase(bars, chords, 0, false, 90, second);
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i].pitch, second[i].pitch);
}

TEST(MelodyWriter, VariationsStayCloseToTheMotif) {
    Motif motif{"x---x-x-x-------", {1, 2, -1, -1}};
    SynthRandom random(99);
    std::set<std::string> rhythms;
    for (int i = 0; i < 50; ++i) {
        Motif varied = VaryMotif(motif, random);
        std::vector<Hit> hits = ParseHits(varied.rhythm);
        ASSERT_EQ(varied.moves.size(), hits.size());  // one move for every note, also after a split
        EXPECT_LE(hits.size(), 5u);
        EXPECT_EQ(varied.rhythm.size(), motif.rhythm.size());
        int changed = 0;
        if (hits.size() == 4)
            for (size_t m = 0; m < 4; ++m) changed += varied.moves[m] != motif.moves[m];
        EXPECT_LE(changed, 2);
        rhythms.insert(varied.rhythm);
    }
    EXPECT_GE(rhythms.size(), 2u);  // sometimes the long note is split
}

TEST(ChordVoicing, StaysInRangeAndMovesLittle) {
    Scale c = MajorScale(60);
    std::vector<Chord> progression = ParseProgression("I vi IV V7 I iii ii V");
    std::vector<int> voicing;
    for (const Chord& chord : progression) {
        std::vector<int> next = VoiceChord(chord, c, voicing, 53, 72);
        ASSERT_EQ(next.size(), chord.seventh ? 4u : 3u);
        for (size_t i = 0; i < next.size(); ++i) {
            EXPECT_GE(next[i], 53);
            EXPECT_LE(next[i], 72);
            EXPECT_TRUE(chord.Contains(c.DegreeAtOrBelow(next[i])));
            if (i > 0) {
                EXPECT_GT(next[i], next[i - 1]);
            }
        }
        if (!voicing.empty() && voicing.size() == next.size()) {
            int moved = 0;
            for (size_t i = 0; i < next.size(); ++i) moved += std::abs(next[i] - voicing[i]);
            EXPECT_LE(moved, 7) << "a leap of the whole chord";
        }
        voicing = next;
    }
    // C major to F major: the common tone C stays, E and G step up to F and A.
    std::vector<int> cMajor = {60, 64, 67};
    EXPECT_EQ(VoiceChord(ParseProgression("IV")[0], c, cMajor, 53, 72), (std::vector<int>{60, 65, 69}));
}

TEST(MidiWriter, VariableLengthNumbersUseSevenBitGroups) {
    auto encode = [](uint32_t v) {
        std::vector<uint8_t> out;
        AppendVarLength(out, v);
        return out;
    };
    EXPECT_EQ(encode(0), (std::vector<uint8_t>{0x00}));
    EXPECT_EQ(encode(0x7F), (std::vector<uint8_t>{0x7F}));
    EXPECT_EQ(encode(0x80), (std::vector<uint8_t>{0x81, 0x00}));
    EXPECT_EQ(encode(0x2000), (std::vector<uint8_t>{0xC0, 0x00}));
    EXPECT_EQ(encode(0x1FFFFF), (std::vector<uint8_t>{0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(encode(0x0FFFFFFF), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F}));
}

TEST(MidiWriter, RepeatedNotesReleaseBeforeTheyStrikeAgainAndRunningStatusHolds) {
    MidiTrack track;
    track.Name("test");
    track.Note(0, 480, 2, 40, 100);
    track.Note(480, 480, 2, 40, 90);  // the same key again on the beat the first one ends
    track.Tempo(480, 100);            // a meta event between channel events
    track.Note(960, 0, 2, 200, 0);    // out of range: clamped, never a zero length
    MidiTrack conductor;
    conductor.Tempo(0, 120);
    std::vector<uint8_t> bytes = EncodeMidiFile({conductor, track}, 480);
    MidiReadFile file = ReadMidi(bytes);
    ASSERT_EQ(file.error, "");
    ASSERT_EQ(file.tracks.size(), 2u);
    std::vector<MidiReadEvent> notes;
    for (const MidiReadEvent& e : file.tracks[1])
        if (e.IsNoteOn() || e.IsNoteOff()) notes.push_back(e);
    ASSERT_EQ(notes.size(), 6u);
    EXPECT_TRUE(notes[0].IsNoteOn() && notes[0].tick == 0);
    EXPECT_TRUE(notes[1].IsNoteOff() && notes[1].tick == 480);
    EXPECT_TRUE(notes[2].IsNoteOn() && notes[2].tick == 480);
    EXPECT_EQ(notes[4].data1, 127);
    EXPECT_EQ(notes[4].data2, 1);
    EXPECT_GT(notes[5].tick, notes[4].tick);
    EXPECT_EQ(notes[0].Channel(), 2);
    // Seven channel events share one status byte apart from the one after the tempo change: 0x92
    // appears exactly twice in the track chunk.
    std::vector<uint8_t> chunk = track.Encode();
    int statusBytes = 0;
    for (uint8_t b : chunk) statusBytes += b == 0x92;
    EXPECT_EQ(statusBytes, 2);
    // Both tracks end together, and the tempo map times the file: one beat at 120, then 100 BPM.
    EXPECT_EQ(file.tracks[0].back().tick, file.tracks[1].back().tick);
    EXPECT_NEAR(file.Seconds(960), 0.5 + 0.6, 1e-9);
}

}  // namespace
