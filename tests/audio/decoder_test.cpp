// Wave and Ogg decoding: the format records the files declare, the end-of-data rule (loop or pad with
// silence), and the damaged files that must be refused or played only as far as they are valid.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/sound_decoder.h"
#include "audio/wave_effects.h"
#include "audio_test_support.h"

namespace {

std::vector<int16_t> Ramp(int count) {
    std::vector<int16_t> out;
    for (int i = 0; i < count; ++i) out.push_back(static_cast<int16_t>(i * 3 - 1000));
    return out;
}

WaveFile WaveOf(const std::vector<uint8_t>& bytes) {
    return WaveFile(bytes.data(), bytes.size());
}

TEST(WaveReader, ReadsWhatTheFormatChunkHoldsAndZeroesTheRest) {
    const std::vector<uint8_t> samples = Pcm16(Ramp(100));
    TestWaveLayout layout;
    layout.fmtSize = 16;
    const WaveFile plain = WaveOf(MakeWav(layout, samples));
    ASSERT_TRUE(plain.valid) << plain.error;
    EXPECT_EQ(plain.format.channels, 1);
    EXPECT_EQ(plain.format.samplesPerSec, 44100u);
    EXPECT_EQ(plain.format.blockAlign, 2);
    EXPECT_EQ(plain.format.extraSize, 0);
    EXPECT_EQ(plain.dataSize, 200u);
    // The two bytes after a 16-byte "fmt " chunk are the "data" id; they must not become the extra size.
    EXPECT_EQ(std::vector<uint8_t>(plain.data.begin(), plain.data.end()), samples);

    layout.fmtSize = 18;
    layout.channels = 2;
    layout.bits = 8;
    layout.rate = 11025;
    const WaveFile extended = WaveOf(MakeWav(layout, std::vector<uint8_t>(64, 128)));
    ASSERT_TRUE(extended.valid) << extended.error;
    EXPECT_EQ(extended.format.blockAlign, 2);
    EXPECT_EQ(extended.dataSize, 64u);
}

TEST(WaveReader, RefusesWhatTheMixerCannotPlay) {
    const std::vector<uint8_t> samples(120, 1);
    TestWaveLayout zeroChannels;
    zeroChannels.channels = 0;
    TestWaveLayout zeroRate;
    zeroRate.rate = 0;
    TestWaveLayout deep;
    deep.bits = 24;
    TestWaveLayout compressed;
    compressed.formatTag = 2;
    TestWaveLayout many;
    many.channels = 6;
    for (const TestWaveLayout& layout : {zeroChannels, zeroRate, deep, compressed, many}) {
        const WaveFile wave = WaveOf(MakeWav(layout, samples));
        EXPECT_FALSE(wave.valid);
        EXPECT_FALSE(wave.error.empty());
    }
    const std::string text = "this is not a sound at all, just text in a file named .wav";
    EXPECT_FALSE(WaveOf(std::vector<uint8_t>(text.begin(), text.end())).valid);
    EXPECT_FALSE(WaveOf({}).valid);
    // A data chunk before the format chunk is not found.
    std::vector<uint8_t> swapped = {'R',  'I',  'F', 'F', 36,   0,    0, 0, 'W', 'A', 'V', 'E',
                                    'd',  'a',  't', 'a', 4,    0,    0, 0, 1,   2,   3,   4,
                                    'f',  'm',  't', ' ', 16,   0,    0, 0, 1,   0,   1,   0,
                                    0x44, 0xAC, 0,   0,   0x88, 0x58, 1, 0, 2,   0,   16,  0};
    EXPECT_FALSE(WaveOf(swapped).valid);
}

TEST(WaveReader, ChunkSizesPastTheEndPlayOnlyWhatIsThere) {
    TestWaveLayout layout;
    layout.dataSizeOverride = 0x7FFFFFF0;
    const WaveFile wave = WaveOf(MakeWav(layout, Pcm16(Ramp(50))));
    ASSERT_TRUE(wave.valid) << wave.error;
    EXPECT_EQ(wave.dataSize, 100u);
    // An odd byte left over is not a whole frame.
    std::vector<uint8_t> bytes = MakeWav(TestWaveLayout(), Pcm16(Ramp(50)));
    bytes.pop_back();
    const WaveFile cut = WaveOf(bytes);
    ASSERT_TRUE(cut.valid);
    EXPECT_EQ(cut.dataSize, 98u);
    EXPECT_EQ(cut.warning, "cut short: 1 bytes of samples are missing");
    EXPECT_EQ(wave.warning,
              "cut short: " + std::to_string(0x7FFFFFF0 - 100) + " bytes of samples are missing");
    EXPECT_EQ(WaveOf(MakeWav(TestWaveLayout(), Pcm16(Ramp(50)))).warning, "");
    // A file cut inside its format chunk is refused.
    bytes.resize(30);
    EXPECT_FALSE(WaveOf(bytes).valid);
    // A chunk of odd size before "fmt " is skipped with its pad byte.
    std::vector<uint8_t> padded = MakeWav(TestWaveLayout(), Pcm16(Ramp(4)));
    const std::vector<uint8_t> list = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    padded.insert(padded.begin() + 12, list.begin(), list.end());
    padded[4] = static_cast<uint8_t>(padded[4] + list.size());
    const WaveFile withList = WaveOf(padded);
    ASSERT_TRUE(withList.valid) << withList.error;
    EXPECT_EQ(withList.dataSize, 8u);
}

TEST(WavDecoderStream, LoopsAndPadsLikeOggStreams) {
    ScratchDirectory scratch;
    WriteBytes(scratch.Sound("r.wav"), MakeWav(TestWaveLayout(), Pcm16({1, 2, 3})));
    WavDecoder decoder;
    ASSERT_EQ(decoder.Open(scratch.Sound("r.wav").string()), 0);
    EXPECT_EQ(decoder.total, 6u);
    std::vector<uint8_t> buffer(16, 0xAA);
    // Looping: the data starts again after its end.
    EXPECT_EQ(decoder.Read(buffer.data(), 16, true), 16u);
    const std::vector<uint8_t> looped = {1, 0, 2, 0, 3, 0, 1, 0, 2, 0, 3, 0, 1, 0, 2, 0};
    EXPECT_EQ(buffer, looped);
    // Not looping: the rest is silence and only the real bytes count.
    decoder.Rewind();
    std::fill(buffer.begin(), buffer.end(), 0xAA);
    EXPECT_EQ(decoder.Read(buffer.data(), 10, false), 6u);
    EXPECT_EQ(buffer[5], 0);
    EXPECT_EQ(buffer[6], 0);
    EXPECT_EQ(buffer[9], 0);
    EXPECT_EQ(buffer[10], 0xAA);
}

TEST(OggDecoderStream, AShortReadDeliversWhatIsLeftAndZeroFillsTheRest) {
    const std::vector<uint8_t> ogg = MakeOgg(2, 44100, Sine(2, 44100, 0.25, 440, 0.5f));
    OggDecoder decoder;
    ASSERT_EQ(decoder.OpenMemory(ogg.data(), ogg.size()), 0);
    EXPECT_EQ(decoder.format.channels, 2);
    EXPECT_EQ(decoder.format.bitsPerSample, 16);
    EXPECT_EQ(decoder.format.blockAlign, 4);
    EXPECT_EQ(decoder.format.avgBytesPerSec, 44100u * 4);
    EXPECT_NEAR(static_cast<double>(decoder.total), 0.25 * 44100 * 4, 4096);
    std::vector<uint8_t> all(decoder.total - 40);
    EXPECT_EQ(decoder.Read(all.data(), decoder.total - 40, false), decoder.total - 40);
    std::vector<uint8_t> tail(100, 0xAA);
    EXPECT_EQ(decoder.Read(tail.data(), 100, false), 40u);
    for (int i = 40; i < 100; ++i) ASSERT_EQ(tail[i], 0) << i;
    // With loop on, the stream starts again and the whole request is real data.
    decoder.Rewind();
    std::vector<uint8_t> first(400);
    decoder.Read(first.data(), 400, false);
    decoder.Read(all.data(), decoder.total - 400 - 40, false);
    std::vector<uint8_t> wrap(440);
    EXPECT_EQ(decoder.Read(wrap.data(), 440, true), 440u);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), wrap.begin() + 40));
}

TEST(OggDecoderStream, TruncatedAndFakeStreamsAreRefusedOrEndEarly) {
    const std::vector<uint8_t> ogg = MakeOgg(1, 22050, Sine(1, 22050, 1.0, 300, 0.5f));
    // Cut in the middle: opens, and its data ends where the file does (silence after).
    std::vector<uint8_t> cut(ogg.begin(), ogg.begin() + static_cast<long>(ogg.size() / 2));
    OggDecoder half;
    if (half.OpenMemory(cut.data(), cut.size()) == 0) {
        std::vector<uint8_t> buffer(half.total + 1000);
        const uint32_t got = half.Read(buffer.data(), static_cast<uint32_t>(buffer.size()), false);
        EXPECT_LE(got, half.total);
        EXPECT_EQ(half.Read(buffer.data(), 100, true) <= 100u, true);
    }
    // Cut inside the headers: refused.
    std::vector<uint8_t> headers(ogg.begin(), ogg.begin() + 60);
    OggDecoder none;
    EXPECT_NE(none.OpenMemory(headers.data(), headers.size()), 0);
    const std::string text = "OggS but not really an Ogg stream, just some text";
    OggDecoder fake;
    EXPECT_NE(fake.OpenMemory(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 0);

    ScratchDirectory scratch;
    WriteBytes(scratch.Sound("wave.ogg"), MakeWav(TestWaveLayout(), Pcm16({1, 2})));
    OggDecoder wrong;
    EXPECT_NE(wrong.Open(scratch.Sound("wave.ogg").string()), 0);
    EXPECT_NE(wrong.Open(scratch.Sound("missing.ogg").string()), 0);
}

TEST(DecoderChoice, GoesByTheExtensionInAnyCase) {
    EXPECT_NE(dynamic_cast<WavDecoder*>(MakeDecoder("Sound\\a.WAV").get()), nullptr);
    EXPECT_NE(dynamic_cast<OggDecoder*>(MakeDecoder("Sound\\b.Ogg").get()), nullptr);
    EXPECT_EQ(MakeDecoder("Sound\\c.mp3"), nullptr);
    EXPECT_EQ(MakeDecoder("Sound\\noextension"), nullptr);
    EXPECT_EQ(MakeDecoder("ogg"), nullptr);
    EXPECT_EQ(MakeDecoder(""), nullptr);
}

// A sound file padded with megabytes after its last page: the decoder is shown the Ogg data only, so
// it neither reads the padding over and over (time growing with its square) nor decodes anything else.
TEST(OggDecoderStream, PaddingAfterTheLastPageIsReadOnce) {
    const std::vector<uint8_t> ogg = MakeOgg(1, 22050, Sine(1, 22050, 0.2, 300, 0.5f));
    OggDecoder plain;
    ASSERT_EQ(plain.OpenMemory(ogg.data(), ogg.size()), 0);
    std::vector<uint8_t> padded = ogg;
    padded.resize(ogg.size() + (8u << 20), 0);
    struct Counted {
        std::vector<uint8_t>* bytes;
        size_t at = 0, read = 0;
    } counted{&padded};
    cookie_io_functions_t io{};
    io.read = [](void* cookie, char* out, size_t size) -> ssize_t {
        auto& c = *static_cast<Counted*>(cookie);
        const size_t got = std::min(size, c.bytes->size() - std::min(c.at, c.bytes->size()));
        std::memcpy(out, c.bytes->data() + c.at, got);
        c.at += got;
        c.read += got;
        return static_cast<ssize_t>(got);
    };
    io.seek = [](void* cookie, off64_t* offset, int whence) -> int {
        auto& c = *static_cast<Counted*>(cookie);
        const off64_t base = whence == SEEK_SET   ? 0
                             : whence == SEEK_CUR ? off64_t(c.at)
                                                  : off64_t(c.bytes->size());
        if (base + *offset < 0) return -1;
        c.at = static_cast<size_t>(base + *offset);
        *offset = off64_t(c.at);
        return 0;
    };
    OggDecoder decoder;
    ASSERT_EQ(decoder.OpenFile(fopencookie(&counted, "rb", io)), 0) << decoder.error;
    EXPECT_EQ(decoder.total, plain.total);
    EXPECT_LT(counted.read, 2 * padded.size()) << "the padding was read over and over";
    std::vector<uint8_t> all(decoder.total + 4096);
    EXPECT_EQ(decoder.Read(all.data(), static_cast<uint32_t>(all.size()), false), plain.total);
}

}  // namespace

// A file whose decoder set-up fails (a codebook that does not build): libvorbis keeps part of the
// failed set-up, and used again after a rewind it divides by zero. The stream gives silence instead.
TEST(OggDecoderStream, AStreamWhoseDecoderFailedIsNeverUsedAgain) {
    const char* source = std::getenv("KELVANE_SOURCE_DIR");
    const std::string path = std::string(source && *source ? source : KELVANE_SOURCE_DIR_DEFAULT) +
                             "/fuzz/corpus/audio_ogg_fuzz/setup_fails_then_rewinds.ogg";
    OggDecoder decoder;
    ASSERT_EQ(decoder.Open(path), 0) << decoder.error;
    std::vector<uint8_t> buffer(8192, 0xAA);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(decoder.Read(buffer.data(), static_cast<uint32_t>(buffer.size()), i >= 2), 0u);
        EXPECT_EQ(buffer[100], 0) << "silence";
        decoder.Rewind();
    }
}
