#include "composer.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

namespace {
int FloorDiv(int a, int b) {
    return (a >= 0) ? a / b : -((-a + b - 1) / b);
}
int Mod(int a, int b) {
    return a - FloorDiv(a, b) * b;
}
int Sign(int v) {
    return (v > 0) - (v < 0);
}
constexpr int LargeLeap = 3;  // scale steps: a fourth
}  // namespace

int Scale::Pitch(int degree) const {
    int n = Size();
    int octave = FloorDiv(degree, n);
    return root + 12 * octave + offsets[static_cast<size_t>(degree - octave * n)];
}

int Scale::DegreeAtOrBelow(int pitch) const {
    int degree = FloorDiv(pitch - root, 12) * Size();
    while (Pitch(degree + 1) <= pitch) ++degree;
    while (Pitch(degree) > pitch) --degree;
    return degree;
}

Scale MajorScale(int root) {
    return {root, {0, 2, 4, 5, 7, 9, 11}};
}
Scale NaturalMinorScale(int root) {
    return {root, {0, 2, 3, 5, 7, 8, 10}};
}
Scale HarmonicMinorScale(int root) {
    return {root, {0, 2, 3, 5, 7, 8, 11}};
}
Scale DorianScale(int root) {
    return {root, {0, 2, 3, 5, 7, 9, 10}};
}

bool Chord::Contains(int scaleDegree, int scaleSize) const {
    int d = Mod(scaleDegree - degree, scaleSize);
    return d == 0 || d == 2 || d == 4 || (seventh && d == 6);
}

std::vector<int> Chord::Degrees() const {
    std::vector<int> degrees = {degree, degree + 2, degree + 4};
    if (seventh) degrees.push_back(degree + 6);
    return degrees;
}

std::vector<Chord> ParseProgression(const std::string& numerals) {
    static const char* names[] = {"i", "ii", "iii", "iv", "v", "vi", "vii"};
    std::vector<Chord> chords;
    std::istringstream in(numerals);
    std::string token;
    while (in >> token) {
        Chord chord;
        if (!token.empty() && token.back() == '7') {
            chord.seventh = true;
            token.pop_back();
        }
        for (char& c : token) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (int d = 0; d < 7; ++d) {
            if (token == names[d]) {
                chord.degree = d;
                chords.push_back(chord);
                break;
            }
        }
    }
    return chords;
}

std::vector<Hit> ParseHits(const std::string& pattern) {
    std::vector<Hit> hits;
    bool holding = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '.' || c == ' ') {
            holding = false;
        } else if (c == '-') {
            if (holding) ++hits.back().length;
        } else {
            hits.push_back({static_cast<int>(i), 1, c});
            holding = true;
        }
    }
    return hits;
}

Motif VaryMotif(const Motif& motif, SynthRandom& random) {
    Motif varied = motif;
    std::vector<Hit> hits = ParseHits(motif.rhythm);
    if (hits.empty() || motif.moves.empty()) return varied;
    // Spell the moves out, one per note, so a split can insert one.
    varied.moves.clear();
    for (size_t i = 0; i < hits.size(); ++i) varied.moves.push_back(motif.moves[i % motif.moves.size()]);
    int nudges = random.Range(1, 2);
    for (int n = 0; n < nudges; ++n) {
        int& move = varied.moves[static_cast<size_t>(random.Range(0, static_cast<int>(hits.size()) - 1))];
        move += random.Range(0, 1) ? 1 : -1;
    }
    if (random.Uniform() < 0.4) {
        for (size_t i = 0; i < hits.size(); ++i) {
            if (hits[i].length >= 4 && hits[i].length % 2 == 0) {
                size_t split = static_cast<size_t>(hits[i].step) + static_cast<size_t>(hits[i].length / 2);
                varied.rhythm[split] = 'x';
                varied.moves.insert(varied.moves.begin() + static_cast<long>(i) + 1,
                                    random.Range(0, 1) ? 1 : -1);
                break;
            }
        }
    }
    return varied;
}

MelodyWriter::MelodyWriter(const Scale& scale, int lowDegree, int highDegree, int startDegree)
    : scale(scale),
      low(lowDegree),
      high(highDegree),
      lastDegree(std::clamp(startDegree, lowDegree, highDegree)) {}

void MelodyWriter::Restart(int degree) {
    lastDegree = std::clamp(degree, low, high);
    lastMove = 0;
}

int MelodyWriter::Place(int wanted, int direction, const Chord& chord, bool needChordTone) const {
    wanted = std::clamp(wanted, low, high);
    if (!needChordTone) return wanted;
    int d = direction == 0 ? 1 : direction;
    for (int offset : {0, d, -d, 2 * d, -2 * d, 3 * d, -3 * d}) {
        int candidate = wanted + offset;
        if (candidate >= low && candidate <= high && chord.Contains(candidate, scale.Size()))
            return candidate;
    }
    return wanted;
}

void MelodyWriter::Phrase(const std::vector<Motif>& bars, const std::vector<Chord>& chords, int startStep,
                          bool closing, int velocity, std::vector<NoteEvent>& out) {
    if (bars.empty() || chords.empty()) return;
    const int n = scale.Size();
    for (size_t b = 0; b < bars.size(); ++b) {
        const Chord& chord = chords[b % chords.size()];
        std::vector<Hit> hits = ParseHits(bars[b].rhythm);
        const std::vector<int>& moves = bars[b].moves;
        int barStart = startStep + static_cast<int>(b) * StepsPerBar;
        for (size_t i = 0; i < hits.size(); ++i) {
            const Hit& hit = hits[i];
            bool cadence = b + 1 == bars.size() && i + 1 == hits.size();
            bool strong = hit.step % 8 == 0;
            int placed = lastDegree;
            if (cadence) {
                if (closing && chord.Contains(0, n)) {
                    // The tonic nearest to where the line is, inside the range.
                    int best = low, bestDistance = 1 << 20;
                    for (int d = FloorDiv(low, n) * n; d <= high; d += n) {
                        if (d >= low && std::abs(d - lastDegree) < bestDistance)
                            best = d, bestDistance = std::abs(d - lastDegree);
                    }
                    placed = best;
                } else {
                    placed = Place(lastDegree, 1, chord, true);
                }
            } else if (std::abs(lastMove) >= LargeLeap) {
                // A large leap turns back: a step if it fits the beat, otherwise the nearest chord tone
                // on the way back.
                int back = -Sign(lastMove);
                placed = lastDegree + back;
                if (strong && !chord.Contains(placed, n)) {
                    for (int k = 2; k <= 3; ++k) {
                        placed = lastDegree + back * k;
                        if (chord.Contains(placed, n)) break;
                    }
                }
            } else {
                int move = moves.empty() ? 0 : moves[i % moves.size()];
                int wanted = lastDegree + move;
                if (wanted > high || wanted < low) wanted = lastDegree - move;  // turn back at the edge
                bool leap = std::abs(wanted - lastDegree) >= 2;
                placed = Place(wanted, Sign(move), chord, strong || leap);
            }
            lastMove = placed - lastDegree;
            lastDegree = placed;
            int accent = strong ? 8 : (hit.step % 4 == 0 ? 3 : 0);
            int arc = (b == 1 || b == 2) ? 4 : 0;
            int length =
                cadence ? (startStep + static_cast<int>(bars.size()) * StepsPerBar) - (barStart + hit.step)
                        : hit.length;
            out.push_back({barStart + hit.step, length, scale.Pitch(placed), velocity + accent + arc});
        }
    }
}

std::vector<int> VoiceChord(const Chord& chord, const Scale& scale, const std::vector<int>& previous, int low,
                            int high) {
    std::vector<int> classes;
    for (int degree : chord.Degrees()) classes.push_back(Mod(scale.Pitch(degree), 12));
    const size_t k = classes.size();
    std::vector<int> best;
    int bestCost = 1 << 20;
    for (size_t inversion = 0; inversion < k; ++inversion) {
        for (int first = low; first <= high; ++first) {
            if (Mod(first, 12) != classes[inversion]) continue;
            std::vector<int> voicing = {first};
            for (size_t t = 1; t < k; ++t) {
                int pc = classes[(inversion + t) % k];
                int p = voicing.back() + 1;
                while (Mod(p, 12) != pc) ++p;
                voicing.push_back(p);
            }
            if (voicing.back() > high) continue;
            int cost = 0;
            if (previous.empty()) {
                int centre = (low + high) / 2;
                cost = std::abs((voicing.front() + voicing.back()) / 2 - centre);
            } else {
                for (size_t t = 0; t < k; ++t)
                    cost += std::abs(voicing[t] - previous[std::min(t, previous.size() - 1)]);
            }
            if (cost < bestCost) bestCost = cost, best = voicing;
        }
    }
    return best;
}
