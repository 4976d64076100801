#include "sound_synth.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {
constexpr double TwoPi = 2 * std::numbers::pi;

// Index of the first sample at or after t seconds, clamped to the buffer.
size_t SampleAt(const SampleBuffer& out, double t) {
    if (t <= 0) return 0;
    return std::min(out.size(), static_cast<size_t>(std::lround(t * SynthRate)));
}

// Every voice closes with a short raised-cosine release into its last sample, so a note whose decay
// still sounds at the end of its length stops on silence instead of a step (a step is a tick of
// every frequency up to the top of the hearing range).
constexpr double NoteRelease = 0.015;

double EndRelease(double t, double length) {
    const double release = std::min(NoteRelease, length / 2);
    const double left = length - t;
    if (left >= release) return 1;
    if (left <= 0) return 0;
    const double s = std::sin(0.5 * std::numbers::pi * left / release);
    return s * s;
}
}  // namespace

uint32_t SynthRandom::Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

double SynthRandom::Uniform() {
    return (Next() >> 8) * (1.0 / 16777216.0);
}

double SynthRandom::Bipolar() {
    return Uniform() * 2 - 1;
}

int SynthRandom::Range(int lo, int hi) {
    if (hi <= lo) return lo;
    return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1));
}

void Biquad::Tune(double hertz, double q) {
    hertz = std::clamp(hertz, 10.0, SynthRate * 0.45);
    q = std::max(q, 0.05);
    double w = TwoPi * hertz / SynthRate;
    double cosw = std::cos(w), alpha = std::sin(w) / (2 * q);
    double a0 = 1 + alpha;
    switch (kind) {
        case Kind::LowPass:
            b0 = (1 - cosw) / 2, b1 = 1 - cosw, b2 = (1 - cosw) / 2;
            break;
        case Kind::HighPass:
            b0 = (1 + cosw) / 2, b1 = -(1 + cosw), b2 = (1 + cosw) / 2;
            break;
        case Kind::BandPass:
            b0 = alpha, b1 = 0, b2 = -alpha;
            break;
    }
    b0 /= a0, b1 /= a0, b2 /= a0;
    a1 = -2 * cosw / a0;
    a2 = (1 - alpha) / a0;
}

double Biquad::Process(double x) {
    double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
}

double AttackDecay(double t, double attack, double tau) {
    if (t < 0) return 0;
    if (t < attack) {
        double s = std::sin(0.5 * std::numbers::pi * t / attack);
        return s * s;
    }
    return std::exp(-(t - attack) / tau);
}

double AttackRelease(double t, double attack, double length, double release) {
    if (t < 0 || t > length + release) return 0;
    if (t < attack) {
        double s = std::sin(0.5 * std::numbers::pi * t / attack);
        return s * s;
    }
    if (t <= length) return 1;
    double c = std::cos(0.5 * std::numbers::pi * (t - length) / release);
    return c * c;
}

double MidiToHertz(double note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

double DecibelsToGain(double db) {
    return std::pow(10.0, db / 20.0);
}

void AddTone(SampleBuffer& out, const ToneVoice& tone) {
    size_t first = SampleAt(out, tone.start);
    size_t last = SampleAt(out, tone.start + tone.length);
    std::vector<double> phases(tone.partials.size(), 0.0);
    for (size_t i = first; i < last; ++i) {
        double t = static_cast<double>(i - first) / SynthRate;
        double semis = tone.vibratoDepth * std::sin(TwoPi * tone.vibratoRate * t);
        if (tone.glideSeconds > 0) semis += tone.glideSemitones * std::min(1.0, t / tone.glideSeconds);
        double hertz = tone.hertz * std::pow(2.0, semis / 12.0);
        double sum = 0;
        for (size_t p = 0; p < tone.partials.size(); ++p) {
            const Partial& partial = tone.partials[p];
            double partialHz = hertz * partial.ratio;
            if (partialHz >= SynthRate * 0.45) continue;  // above what the file can hold: would alias
            phases[p] += TwoPi * partialHz / SynthRate;
            if (phases[p] > TwoPi) phases[p] -= TwoPi;
            sum += partial.gain * AttackDecay(t, tone.attack, tone.tau / partial.decayScale) *
                   std::sin(phases[p]);
        }
        out[i] += tone.gain * EndRelease(t, tone.length) * sum;
    }
}

void AddFm(SampleBuffer& out, const FmVoice& fm) {
    size_t first = SampleAt(out, fm.start);
    size_t last = SampleAt(out, fm.start + fm.length);
    double carrier = 0, modulator = 0;
    for (size_t i = first; i < last; ++i) {
        double t = static_cast<double>(i - first) / SynthRate;
        double progress = fm.length > 0 ? t / fm.length : 1;
        double index = fm.index * std::pow(std::max(fm.indexEnd, 1e-3), progress);
        modulator += TwoPi * fm.hertz * fm.ratio / SynthRate;
        carrier += TwoPi * fm.hertz / SynthRate;
        if (modulator > TwoPi) modulator -= TwoPi;
        if (carrier > TwoPi) carrier -= TwoPi;
        out[i] += fm.gain * AttackDecay(t, fm.attack, fm.tau) * EndRelease(t, fm.length) *
                  std::sin(carrier + index * std::sin(modulator));
    }
}

void AddNoise(SampleBuffer& out, const NoiseVoice& noise) {
    size_t first = SampleAt(out, noise.start);
    size_t last = SampleAt(out, noise.start + noise.length);
    SynthRandom random(noise.seed);
    Biquad band(Biquad::Kind::BandPass, noise.fromHz, noise.q);
    double ratio = noise.toHz / noise.fromHz;
    for (size_t i = first; i < last; ++i) {
        double t = static_cast<double>(i - first) / SynthRate;
        if (ratio != 1.0 && (i - first) % 32 == 0) {
            double progress = noise.length > 0 ? t / noise.length : 1;
            band.Tune(noise.fromHz * std::pow(ratio, progress), noise.q);
        }
        out[i] += noise.gain * AttackDecay(t, noise.attack, noise.tau) * EndRelease(t, noise.length) *
                  band.Process(random.Bipolar());
    }
}

void AddRoom(SampleBuffer& buffer, double wet, double tail, double roomSize) {
    buffer.resize(buffer.size() + static_cast<size_t>(tail * SynthRate), 0.0);
    // Mutually prime comb lengths (in samples) keep the echoes from lining up into a metallic ring.
    const int combLengths[4] = {1557, 1617, 1491, 1422};
    const int allPassLengths[2] = {556, 441};
    double feedback = 0.70 + 0.25 * std::clamp(roomSize, 0.0, 1.0);
    std::vector<std::vector<double>> combs;
    for (int length : combLengths) combs.emplace_back(static_cast<size_t>(length), 0.0);
    std::vector<std::vector<double>> allPasses;
    for (int length : allPassLengths) allPasses.emplace_back(static_cast<size_t>(length), 0.0);
    std::vector<size_t> combAt(4, 0), allPassAt(2, 0);
    std::vector<double> damp(4, 0.0);
    for (double& sample : buffer) {
        double dry = sample, sum = 0;
        for (int c = 0; c < 4; ++c) {
            double delayed = combs[c][combAt[c]];
            damp[c] = delayed * 0.6 + damp[c] * 0.4;  // high frequencies die first, as in a room
            combs[c][combAt[c]] = dry + damp[c] * feedback;
            combAt[c] = (combAt[c] + 1) % combs[c].size();
            sum += delayed;
        }
        double y = sum * 0.25;
        for (int a = 0; a < 2; ++a) {
            double delayed = allPasses[a][allPassAt[a]];
            double input = y + delayed * 0.5;
            allPasses[a][allPassAt[a]] = input;
            allPassAt[a] = (allPassAt[a] + 1) % allPasses[a].size();
            y = delayed - input * 0.5;
        }
        sample = dry + wet * y;
    }
}

SampleBuffer MakeBuffer(double seconds) {
    return SampleBuffer(static_cast<size_t>(std::max(0.0, seconds) * SynthRate), 0.0);
}

double PeakOf(const SampleBuffer& buffer) {
    double peak = 0;
    for (double s : buffer) peak = std::max(peak, std::fabs(s));
    return peak;
}

void NormalizePeak(SampleBuffer& buffer, double peakDb) {
    double peak = PeakOf(buffer);
    if (peak <= 0) return;
    double scale = DecibelsToGain(peakDb) / peak;
    for (double& s : buffer) s *= scale;
}

void FadeEnds(SampleBuffer& buffer, double fadeIn, double fadeOut) {
    size_t inSamples = std::min(buffer.size(), static_cast<size_t>(fadeIn * SynthRate));
    size_t outSamples = std::min(buffer.size(), static_cast<size_t>(fadeOut * SynthRate));
    for (size_t i = 0; i < inSamples; ++i) {
        double s = std::sin(0.5 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(inSamples));
        buffer[i] *= s * s;
    }
    for (size_t i = 0; i < outSamples; ++i) {
        // i counts back from the last sample, which ends exactly at 0.
        double c =
            std::sin(0.5 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(outSamples));
        buffer[buffer.size() - 1 - i] *= c * c;
    }
}

std::vector<int16_t> ToPcm16(const SampleBuffer& buffer) {
    std::vector<int16_t> pcm(buffer.size());
    for (size_t i = 0; i < buffer.size(); ++i) {
        double v = std::round(buffer[i] * 32767.0);
        pcm[i] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
    return pcm;
}

namespace {
void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void PutTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}
}  // namespace

std::vector<uint8_t> EncodeWav(const std::vector<int16_t>& samples) {
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> out;
    out.reserve(44 + dataBytes);
    PutTag(out, "RIFF");
    Put32(out, 4 + 8 + 16 + 8 + dataBytes);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    Put32(out, 16);
    Put16(out, 1);              // PCM
    Put16(out, 1);              // mono
    Put32(out, SynthRate);      // samples per second
    Put32(out, SynthRate * 2);  // bytes per second
    Put16(out, 2);              // block alignment
    Put16(out, 16);             // bits per sample
    PutTag(out, "data");
    Put32(out, dataBytes);
    for (int16_t s : samples) Put16(out, static_cast<uint16_t>(s));
    return out;
}

std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& samples, float quality, int serial) {
    std::vector<uint8_t> out;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 1, SynthRate, quality) != 0) {
        vorbis_info_clear(&info);
        return out;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, serial);

    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    ogg_page page;
    auto appendPage = [&out](const ogg_page& p) {
        out.insert(out.end(), p.header, p.header + p.header_len);
        out.insert(out.end(), p.body, p.body + p.body_len);
    };
    // The headers get pages of their own so the audio starts on a fresh page.
    while (ogg_stream_flush(&stream, &page) != 0) appendPage(page);

    const size_t chunk = 1024;
    size_t at = 0;
    bool ended = false;
    while (!ended) {
        size_t count = std::min(chunk, samples.size() - at);
        if (count == 0) {
            vorbis_analysis_wrote(&dsp, 0);  // end of stream
        } else {
            float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(count));
            for (size_t i = 0; i < count; ++i) buffer[0][i] = samples[at + i] / 32768.0f;
            vorbis_analysis_wrote(&dsp, static_cast<int>(count));
            at += count;
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) {
                    appendPage(page);
                    if (ogg_page_eos(&page)) ended = true;
                }
            }
        }
        if (count == 0 && !ended) {
            while (ogg_stream_flush(&stream, &page) != 0) appendPage(page);
            ended = true;
        }
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    return ok;
}
