#include "audio/sound_decoder.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>

#include "base/paths.h"

namespace {

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

bool IsChunk(const uint8_t* p, const char* id) {
    return std::memcmp(p, id, 4) == 0;
}

// Decoded sizes are 32-bit; longer sounds are cut to the largest whole number of frames below 2 GiB.
constexpr uint64_t MaxDecodedBytes = 0x7FFFFFF0u;

}  // namespace

FileByteSource::FileByteSource(const std::string& nativePath) {
    file = OpenRegularFile(nativePath);
    if (!file) return;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long end = std::ftell(file);
        size = end > 0 ? static_cast<uint64_t>(end) : 0;
    }
    std::fseek(file, 0, SEEK_SET);
}

FileByteSource::~FileByteSource() {
    if (file) std::fclose(file);
}

size_t FileByteSource::ReadAt(uint64_t offset, void* destination, size_t count) {
    if (!file || offset >= size) return 0;
    if (offset != filePosition) {
        if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return 0;
        filePosition = offset;
    }
    const size_t got = std::fread(destination, 1, count, file);
    filePosition += got;
    return got;
}

size_t MemoryByteSource::ReadAt(uint64_t offset, void* destination, size_t count) {
    if (offset >= size) return 0;
    const size_t got = std::min<uint64_t>(count, size - offset);
    std::memcpy(destination, data + offset, got);
    return got;
}

std::string WaveCutShortText(const WaveLayout& layout) {
    if (layout.missingBytes == 0) return "";
    return "cut short: " + std::to_string(layout.missingBytes) + " bytes of samples are missing";
}

bool ReadWaveLayout(ByteSource& source, WaveLayout& layout, std::string& error) {
    layout = WaveLayout();
    const uint64_t fileSize = source.Size();
    uint8_t header[12];
    // The RIFF form whose type is "WAVE", searched among the file's top-level chunks.
    uint64_t at = 0;
    uint64_t formEnd = 0;
    for (;;) {
        if (source.ReadAt(at, header, 12) < 12) {
            error = "no RIFF WAVE form";
            return false;
        }
        const uint64_t chunkEnd = at + 8 + Le32(header + 4);
        if (IsChunk(header, "RIFF") && IsChunk(header + 8, "WAVE")) {
            formEnd = std::min(chunkEnd, fileSize);
            at += 12;
            break;
        }
        at = chunkEnd + (chunkEnd & 1);
    }
    // "fmt " first, then "data" after it.
    bool haveFormat = false;
    while (at + 8 <= formEnd) {
        uint8_t chunk[8];
        if (source.ReadAt(at, chunk, 8) < 8) break;
        const uint32_t size = Le32(chunk + 4);
        const uint64_t body = at + 8;
        if (!haveFormat && IsChunk(chunk, "fmt ")) {
            if (size < 16 || body + 16 > fileSize) {
                error = "format chunk too short";
                return false;
            }
            uint8_t record[18] = {};
            const size_t take = std::min<uint32_t>(size, 18);
            if (source.ReadAt(body, record, take) < take) {
                error = "format chunk truncated";
                return false;
            }
            WaveFormat& format = layout.format;
            format.formatTag = Le16(record);
            format.channels = Le16(record + 2);
            format.samplesPerSec = Le32(record + 4);
            format.avgBytesPerSec = Le32(record + 8);
            format.blockAlign = Le16(record + 12);
            format.bitsPerSample = Le16(record + 14);
            format.extraSize = Le16(record + 16);
            if (!IsPlayableFormat(format)) {
                error = "unsupported format (tag " + std::to_string(format.formatTag) + ", " +
                        std::to_string(format.channels) + " channels, " +
                        std::to_string(format.bitsPerSample) + " bits, " +
                        std::to_string(format.samplesPerSec) + " Hz)";
                return false;
            }
            haveFormat = true;
        } else if (haveFormat && IsChunk(chunk, "data")) {
            const uint64_t available = fileSize > body ? fileSize - body : 0;
            uint64_t bytes = std::min<uint64_t>({size, available, MaxDecodedBytes});
            bytes -= bytes % layout.format.blockAlign;
            if (bytes == 0) {
                error = "no samples";
                return false;
            }
            layout.dataOffset = body;
            layout.dataSize = static_cast<uint32_t>(bytes);
            layout.missingBytes = size > available ? size - available : 0;
            return true;
        }
        const uint64_t next = body + size;
        at = next + (next & 1);
    }
    error = haveFormat ? "no data chunk after the format chunk" : "no format chunk";
    return false;
}

uint32_t SoundDecoder::FinishRead(uint8_t* buffer, uint32_t delivered, uint32_t count, bool loop) {
    while (delivered < count) {
        if (loop && total > 0) {
            Rewind();
            uint32_t got = 0;
            while (delivered < count && position < total) {
                const uint32_t piece =
                    ReadSome(buffer + delivered, std::min(count - delivered, total - position));
                if (piece == 0) {
                    position = total;
                    break;
                }
                got += piece;
                delivered += piece;
            }
            if (got > 0) continue;  // a stream that yields nothing from its start cannot loop
        }
        std::memset(buffer + delivered, 0, count - delivered);
        break;
    }
    return delivered;
}

struct OggStream {
    OggVorbis_File file{};
    bool open = false;
    std::FILE* stdioFile = nullptr;
    int64_t stdioEnd = 0;  // where the stream ends for the decoder (see EndOfLastOggPage)
    bool broken = false;   // decoding failed: the stream gives no more data, not even after a rewind
    int64_t stdioPosition = 0;
    const uint8_t* memory = nullptr;
    size_t memorySize = 0;
    size_t memoryPosition = 0;
};

namespace {

// Copies up to count bytes at offset; returns how many there were.
using ReadAt = std::function<size_t(int64_t offset, uint8_t* destination, size_t count)>;

// Where the Ogg data of a file ends: just after its last page whose checksum holds, or the file's size
// when there is none. libvorbisfile finds the last page by reading from ever earlier points of the file
// to its end, which takes time growing with the square of whatever follows the last page: a sound file
// padded with a few hundred megabytes would hold the game for hours. It is shown the file up to this
// point only; this search reads the file once, backwards.
int64_t EndOfLastOggPage(const ReadAt& readAt, int64_t size) {
    constexpr int64_t Chunk = 65536;
    constexpr size_t HeaderBytes = 27;
    std::vector<uint8_t> window(Chunk + 3);
    std::vector<uint8_t> page;
    for (int64_t chunkEnd = size; chunkEnd > 0;) {
        const int64_t chunkBegin = std::max<int64_t>(0, chunkEnd - Chunk);
        // The window reaches three bytes past the chunk, for a capture pattern that straddles its end.
        const size_t got =
            readAt(chunkBegin, window.data(), static_cast<size_t>(std::min(chunkEnd + 3, size) - chunkBegin));
        for (size_t at = got >= 4 ? got - 4 + 1 : 0; at-- > 0;) {
            if (std::memcmp(&window[at], "OggS", 4) != 0) continue;
            const int64_t pageBegin = chunkBegin + static_cast<int64_t>(at);
            uint8_t header[HeaderBytes + 255];
            if (readAt(pageBegin, header, HeaderBytes) != HeaderBytes || header[4] != 0) continue;
            const size_t segments = header[26];
            if (readAt(pageBegin + HeaderBytes, header + HeaderBytes, segments) != segments) continue;
            size_t bodyBytes = 0;
            for (size_t i = 0; i < segments; ++i) bodyBytes += header[HeaderBytes + i];
            const size_t headerBytes = HeaderBytes + segments;
            page.resize(headerBytes + bodyBytes);
            if (readAt(pageBegin, page.data(), page.size()) != page.size()) continue;
            // The page's checksum is computed with its own four bytes at zero.
            uint8_t stored[4];
            std::memcpy(stored, &page[22], 4);
            std::memset(&page[22], 0, 4);
            ogg_page og{page.data(), static_cast<long>(headerBytes), page.data() + headerBytes,
                        static_cast<long>(bodyBytes)};
            ogg_page_checksum_set(&og);
            if (std::memcmp(stored, &page[22], 4) == 0) return pageBegin + static_cast<int64_t>(page.size());
        }
        chunkEnd = chunkBegin;
    }
    return size;
}

size_t StdioRead(void* destination, size_t size, size_t count, void* source) {
    OggStream* stream = static_cast<OggStream*>(source);
    if (size == 0 || stream->stdioPosition >= stream->stdioEnd) return 0;
    const size_t items =
        std::min<size_t>(count, static_cast<size_t>(stream->stdioEnd - stream->stdioPosition) / size);
    const size_t got = std::fread(destination, size, items, stream->stdioFile);
    stream->stdioPosition += static_cast<int64_t>(got * size);
    return got;
}
int StdioSeek(void* source, ogg_int64_t offset, int whence) {
    OggStream* stream = static_cast<OggStream*>(source);
    ogg_int64_t base = 0;
    if (whence == SEEK_CUR) base = stream->stdioPosition;
    if (whence == SEEK_END) base = stream->stdioEnd;
    const ogg_int64_t target = base + offset;
    if (target < 0 || target > stream->stdioEnd ||
        std::fseek(stream->stdioFile, static_cast<long>(target), SEEK_SET) != 0)
        return -1;
    stream->stdioPosition = target;
    return 0;
}
long StdioTell(void* source) {
    return static_cast<long>(static_cast<OggStream*>(source)->stdioPosition);
}

size_t MemoryRead(void* destination, size_t size, size_t count, void* source) {
    OggStream* stream = static_cast<OggStream*>(source);
    if (size == 0) return 0;
    const size_t items = std::min(count, (stream->memorySize - stream->memoryPosition) / size);
    std::memcpy(destination, stream->memory + stream->memoryPosition, items * size);
    stream->memoryPosition += items * size;
    return items;
}
int MemorySeek(void* source, ogg_int64_t offset, int whence) {
    OggStream* stream = static_cast<OggStream*>(source);
    ogg_int64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<ogg_int64_t>(stream->memoryPosition);
    if (whence == SEEK_END) base = static_cast<ogg_int64_t>(stream->memorySize);
    const ogg_int64_t target = base + offset;
    if (target < 0 || target > static_cast<ogg_int64_t>(stream->memorySize)) return -1;
    stream->memoryPosition = static_cast<size_t>(target);
    return 0;
}
long MemoryTell(void* source) {
    return static_cast<long>(static_cast<OggStream*>(source)->memoryPosition);
}

}  // namespace

OggDecoder::OggDecoder() : stream(std::make_unique<OggStream>()) {}

OggDecoder::~OggDecoder() {
    Close(0);
}

std::string OpenFailureReason() {
    return errno != 0 ? std::strerror(errno) : "not a regular file";
}

int OggDecoder::Open(const std::string& nativePath) {
    std::FILE* file = OpenRegularFile(nativePath);
    if (!file) {
        Close(0);
        error = "cannot open: " + OpenFailureReason();
        return 1;
    }
    return OpenFile(file);
}

int OggDecoder::OpenFile(std::FILE* file) {
    Close(0);
    error.clear();
    if (!file) {
        error = "no file";
        return 1;
    }
    stream->stdioFile = file;
    int64_t size = 0;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::max<long>(std::ftell(file), 0);
    stream->stdioEnd = EndOfLastOggPage(
        [file](int64_t offset, uint8_t* destination, size_t count) -> size_t {
            if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return 0;
            return std::fread(destination, 1, count, file);
        },
        size);
    stream->stdioPosition = 0;
    std::fseek(file, 0, SEEK_SET);
    return OpenStream();
}

int OggDecoder::OpenMemory(const uint8_t* data, size_t size) {
    Close(0);
    error.clear();
    if (data == nullptr) return 1;
    stream->memory = data;
    stream->memorySize = static_cast<size_t>(EndOfLastOggPage(
        [data, size](int64_t offset, uint8_t* destination, size_t count) -> size_t {
            if (offset < 0 || static_cast<size_t>(offset) >= size) return 0;
            const size_t got = std::min(count, size - static_cast<size_t>(offset));
            std::memcpy(destination, data + offset, got);
            return got;
        },
        static_cast<int64_t>(size)));
    stream->memoryPosition = 0;
    return OpenStream();
}

int OggDecoder::OpenStream() {
    ov_callbacks callbacks{};
    if (stream->stdioFile) {
        callbacks.read_func = StdioRead;
        callbacks.seek_func = StdioSeek;
        callbacks.tell_func = StdioTell;
    } else {
        callbacks.read_func = MemoryRead;
        callbacks.seek_func = MemorySeek;
        callbacks.tell_func = MemoryTell;
    }
    callbacks.close_func = nullptr;
    const int opened = ov_open_callbacks(stream.get(), &stream->file, nullptr, 0, callbacks);
    if (opened != 0) {
        // libvorbisfile has released what it took; only our own file is left to close.
        if (stream->stdioFile) std::fclose(stream->stdioFile);
        stream->stdioFile = nullptr;
        stream->memory = nullptr;
        error = opened == OV_ENOTVORBIS ? "not an Ogg Vorbis file"
                : opened == OV_EREAD    ? "read error"
                : opened == OV_EVERSION ? "unknown Vorbis version"
                                        : "damaged Ogg Vorbis headers";
        return 1;
    }
    stream->open = true;
    const vorbis_info* info = ov_info(&stream->file, -1);
    const ogg_int64_t samples = ov_pcm_total(&stream->file, -1);
    if (!info || info->channels < 1 || info->channels > 2 || info->rate < 1 || info->rate > 384000) {
        error = info ? "unsupported stream (" + std::to_string(info->channels) + " channels, " +
                           std::to_string(info->rate) + " Hz)"
                     : "no stream information";
        return Close(1);
    }
    if (samples <= 0) {
        error = "no samples";
        return Close(1);
    }
    format = WaveFormat();
    format.formatTag = WaveFormatPcm;
    format.channels = static_cast<uint16_t>(info->channels);
    format.samplesPerSec = static_cast<uint32_t>(info->rate);
    format.bitsPerSample = 16;
    format.blockAlign = static_cast<uint16_t>(format.channels * 2);
    format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
    uint64_t bytes =
        std::min<uint64_t>(static_cast<uint64_t>(samples) * 16 * format.channels / 8, MaxDecodedBytes);
    bytes -= bytes % format.blockAlign;
    total = static_cast<uint32_t>(bytes);
    position = 0;
    return 0;
}

void OggDecoder::Rewind() {
    position = 0;
    if (!stream->open || stream->broken || ov_pcm_seek(&stream->file, 0) != 0) position = total;
}

uint32_t OggDecoder::ReadSome(uint8_t* buffer, uint32_t count) {
    if (!stream->open || stream->broken) return 0;
    // A hole in the data is skipped; anything else that is not sound ends the data.
    for (int holes = 0; holes < 64; ++holes) {
        int section = 0;
        const long got = ov_read(&stream->file, reinterpret_cast<char*>(buffer),
                                 static_cast<int>(std::min<uint32_t>(count, 65536)), 0, 2, 1, &section);
        if (got == OV_HOLE) continue;
        if (got < 0) {
            // A decoder that failed to set itself up keeps part of that set-up, and a second attempt
            // (after a rewind) divides by zero inside libvorbis: a broken stream is never used again.
            stream->broken = true;
            return 0;
        }
        if (got == 0) return 0;
        const vorbis_info* info = ov_info(&stream->file, section);
        // A chained stream whose later part changes the channel count cannot go into the same buffer.
        if (!info || info->channels != format.channels) return 0;
        const uint32_t bytes = static_cast<uint32_t>(std::min<long>(got, count));
        position += bytes;
        return bytes;
    }
    return 0;
}

uint32_t OggDecoder::Read(uint8_t* buffer, uint32_t count, bool loop) {
    if (buffer == nullptr || count == 0) return 0;
    uint32_t delivered = 0;
    while (delivered < count && position < total) {
        const uint32_t got = ReadSome(buffer + delivered, std::min(count - delivered, total - position));
        if (got == 0) {
            position = total;  // a decode error or an early end: the data ends here
            break;
        }
        delivered += got;
    }
    return FinishRead(buffer, delivered, count, loop);
}

int OggDecoder::Close(int result) {
    stream->broken = false;
    if (stream->open) {
        ov_clear(&stream->file);
        stream->open = false;
    }
    if (stream->stdioFile) {
        std::fclose(stream->stdioFile);
        stream->stdioFile = nullptr;
    }
    stream->memory = nullptr;
    return result;
}

int WavDecoder::Open(const std::string& nativePath) {
    auto file = std::make_unique<FileByteSource>(nativePath);
    if (!file->IsOpen()) {
        error = "cannot open: " + OpenFailureReason();
        return 1;
    }
    return OpenSource(std::move(file));
}

int WavDecoder::OpenSource(std::unique_ptr<ByteSource> from) {
    error.clear();
    if (!from) {
        error = "no file";
        return Close(1);
    }
    if (!ReadWaveLayout(*from, layout, error)) return Close(1);
    warning = WaveCutShortText(layout);
    source = std::move(from);
    format = layout.format;
    total = layout.dataSize;
    position = 0;
    return 0;
}

void WavDecoder::Rewind() {
    position = 0;
}

uint32_t WavDecoder::ReadSome(uint8_t* buffer, uint32_t count) {
    if (!source) return 0;
    const uint32_t want = std::min(count, total - position);
    const size_t got = source->ReadAt(layout.dataOffset + position, buffer, want);
    position += static_cast<uint32_t>(got);
    return static_cast<uint32_t>(got);
}

uint32_t WavDecoder::Read(uint8_t* buffer, uint32_t count, bool loop) {
    if (buffer == nullptr || count == 0) return 0;
    uint32_t delivered = 0;
    while (delivered < count && position < total) {
        const uint32_t got = ReadSome(buffer + delivered, count - delivered);
        if (got == 0) {
            position = total;  // the file shrank under us
            break;
        }
        delivered += got;
    }
    return FinishRead(buffer, delivered, count, loop);
}

int WavDecoder::Close(int result) {
    source.reset();
    return result;
}

std::unique_ptr<SoundDecoder> MakeDecoder(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.size() < 3) return nullptr;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "wav") return std::make_unique<WavDecoder>();
    if (extension == "ogg") return std::make_unique<OggDecoder>();
    return nullptr;
}
