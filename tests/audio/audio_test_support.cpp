#include "audio_test_support.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "persist/log.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void PutId(std::vector<uint8_t>& out, const char* id) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id[i]));
}

}  // namespace

std::vector<uint8_t> MakeWav(const TestWaveLayout& layout, const std::vector<uint8_t>& samples) {
    std::vector<uint8_t> out;
    PutId(out, "RIFF");
    Put32(out, 0);
    PutId(out, "WAVE");
    PutId(out, "fmt ");
    Put32(out, layout.fmtSize);
    const uint16_t align = static_cast<uint16_t>(layout.channels * layout.bits / 8);
    Put16(out, layout.formatTag);
    Put16(out, layout.channels);
    Put32(out, layout.rate);
    Put32(out, layout.rate * align);
    Put16(out, align);
    Put16(out, layout.bits);
    for (uint32_t i = 16; i < layout.fmtSize; ++i) out.push_back(0);
    PutId(out, "data");
    Put32(out, layout.dataSizeOverride >= 0 ? static_cast<uint32_t>(layout.dataSizeOverride)
                                            : static_cast<uint32_t>(samples.size()));
    out.insert(out.end(), samples.begin(), samples.end());
    const uint32_t riff = static_cast<uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
    return out;
}

std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    for (int16_t s : samples) Put16(out, static_cast<uint16_t>(s));
    return out;
}

std::vector<float> Sine(int channels, int rate, double seconds, double hertz, float amplitude) {
    const int frames = static_cast<int>(seconds * rate);
    std::vector<float> out;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            out.push_back(amplitude * static_cast<float>(std::sin(2 * M_PI * hertz * i / rate)));
    return out;
}

std::vector<uint8_t> MakeOgg(int channels, int rate, const std::vector<float>& interleaved) {
    vorbis_info info;
    vorbis_info_init(&info);
    vorbis_encode_init_vbr(&info, channels, rate, 0.4f);
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1234);
    std::vector<uint8_t> out;
    auto writePage = [&](const ogg_page& page) {
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    };
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page)) writePage(page);
    const size_t frames = interleaved.size() / channels;
    size_t at = 0;
    bool done = false;
    while (!done) {
        const size_t chunk = std::min<size_t>(1024, frames - at);
        if (chunk == 0) {
            vorbis_analysis_wrote(&dsp, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(chunk));
            for (size_t i = 0; i < chunk; ++i)
                for (int c = 0; c < channels; ++c) buffer[c][i] = interleaved[(at + i) * channels + c];
            vorbis_analysis_wrote(&dsp, static_cast<int>(chunk));
            at += chunk;
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page)) {
                    writePage(page);
                    if (ogg_page_eos(&page)) done = true;
                }
            }
        }
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

std::vector<uint8_t> MakeMidi(uint32_t noteTicks) {
    std::vector<uint8_t> track = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // tempo 500000 us per quarter
                                  0x00, 0xC0, 0x00,                          // piano
                                  0x00, 0x90, 60,   110};
    // The note's length as a variable-length number, most significant group first.
    uint8_t groups[5];
    int count = 0;
    uint32_t v = noteTicks;
    do {
        groups[count++] = static_cast<uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0 && count < 5);
    for (int i = count - 1; i >= 0; --i)
        track.push_back(static_cast<uint8_t>(groups[i] | (i > 0 ? 0x80 : 0)));
    for (uint8_t b : {0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00}) track.push_back(b);
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    const uint32_t length = static_cast<uint32_t>(track.size());
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(length >> (8 * i)));
    out.insert(out.end(), track.begin(), track.end());
    return out;
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

ScratchDirectory::ScratchDirectory() {
    previous = std::filesystem::current_path();
    std::random_device seed;
    path = std::filesystem::temp_directory_path() / ("kelvane-audio-" + std::to_string(seed()));
    std::filesystem::create_directories(path / "Sound");
    std::filesystem::current_path(path);
    ResetLogState();
}

ScratchDirectory::~ScratchDirectory() {
    std::filesystem::current_path(previous);
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    ResetLogState();
}

std::vector<int16_t> LeftChannel(const std::vector<int16_t>& stereo) {
    std::vector<int16_t> left;
    for (size_t i = 0; i < stereo.size(); i += 2) left.push_back(stereo[i]);
    return left;
}

int PeakOf(const std::vector<int16_t>& samples) {
    int peak = 0;
    for (int16_t s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    return peak;
}
