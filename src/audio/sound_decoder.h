// Sound file decoding: turns an Ogg Vorbis or RIFF wave file into 16-bit (or, for waves, 8-bit) PCM for
// the mixer's buffers. A decoder is chosen by the file's extension ("ogg" or "wav", any letter case);
// it knows the format, the total size of the decoded data and how much of it it has delivered. A read
// past the end either starts again from the beginning (looping sounds) or pads with silence, for both
// kinds of file. Every file may be missing, truncated or garbage: opening refuses what cannot be
// played (24-bit or compressed waves, zero channels or rate, non-audio files) and a read never runs
// past the data the file really holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio_out/audio_mixer.h"

// Random access to a file's bytes, from disk or from memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Copies up to count bytes from offset; returns how many there were.
    virtual size_t ReadAt(uint64_t offset, void* destination, size_t count) = 0;
};

class FileByteSource : public ByteSource {
public:
    explicit FileByteSource(const std::string& nativePath);
    ~FileByteSource() override;
    bool IsOpen() const { return file != nullptr; }
    uint64_t Size() const override { return size; }
    size_t ReadAt(uint64_t offset, void* destination, size_t count) override;

private:
    std::FILE* file = nullptr;
    uint64_t size = 0;
    uint64_t filePosition = 0;
};

class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size) : data(data), size(size) {}
    uint64_t Size() const override { return size; }
    size_t ReadAt(uint64_t offset, void* destination, size_t count) override;

private:
    const uint8_t* data;
    size_t size;
};

// Where a wave file keeps its format and samples.
struct WaveLayout {
    WaveFormat format;
    uint64_t dataOffset = 0;
    uint32_t dataSize = 0;      // whole frames that the file really holds
    uint64_t missingBytes = 0;  // sample bytes the data chunk claims beyond the end of the file
};

// Reads the RIFF "WAVE" form: the "fmt " chunk gives as much of the 18-byte format record as it holds
// (a 16-byte chunk leaves the extra size 0), then the "data" chunk after it gives the samples; a data
// size past the end of the file is cut to what is there. False (with the reason) for anything the
// mixer cannot play or a file with no samples.
bool ReadWaveLayout(ByteSource& source, WaveLayout& layout, std::string& error);
// "cut short: N bytes of samples are missing" for a data chunk that runs past the end of the file, else "".
std::string WaveCutShortText(const WaveLayout& layout);

class SoundDecoder {
public:
    virtual ~SoundDecoder() = default;
    // 0 on success. The base decoder opens nothing.
    virtual int Open(const std::string& nativePath) {
        (void)nativePath;
        return 1;
    }
    virtual void Rewind() {}
    // Fills count bytes of buffer and returns the bytes of real data among them: after the end it
    // starts again from the beginning when loop is set, otherwise the rest is silence.
    virtual uint32_t Read(uint8_t* buffer, uint32_t count, bool loop) {
        (void)buffer;
        (void)count;
        (void)loop;
        return 0;
    }
    virtual int Close(int result) { return result; }

    WaveFormat format;
    uint32_t total = 0;     // bytes of decoded data
    uint32_t position = 0;  // bytes delivered since the last rewind
    std::string error;      // why the last Open failed
    std::string warning;    // what is wrong with a file that opened all the same ("" for none)

protected:
    // The shared end-of-data rule: delivered bytes are in; loop from the start or pad with silence.
    uint32_t FinishRead(uint8_t* buffer, uint32_t delivered, uint32_t count, bool loop);
    // Decodes up to count bytes at position; 0 means the data has ended.
    virtual uint32_t ReadSome(uint8_t* buffer, uint32_t count) {
        (void)buffer;
        (void)count;
        return 0;
    }
};

struct OggStream;

class OggDecoder : public SoundDecoder {
public:
    OggDecoder();
    ~OggDecoder() override;
    int Open(const std::string& nativePath) override;
    // Decodes an open stdio stream, which the decoder then owns and closes (Open's own path).
    int OpenFile(std::FILE* file);
    // Decodes a whole Ogg file held in memory (which must outlive the decoder).
    int OpenMemory(const uint8_t* data, size_t size);
    void Rewind() override;
    uint32_t Read(uint8_t* buffer, uint32_t count, bool loop) override;
    int Close(int result) override;

private:
    uint32_t ReadSome(uint8_t* buffer, uint32_t count) override;
    int OpenStream();
    std::unique_ptr<OggStream> stream;
};

class WavDecoder : public SoundDecoder {
public:
    int Open(const std::string& nativePath) override;
    int OpenSource(std::unique_ptr<ByteSource> source);
    void Rewind() override;
    uint32_t Read(uint8_t* buffer, uint32_t count, bool loop) override;
    int Close(int result) override;

private:
    uint32_t ReadSome(uint8_t* buffer, uint32_t count) override;
    std::unique_ptr<ByteSource> source;
    WaveLayout layout;
};

// The decoder for a path's extension ("wav" or "ogg", any case), or none.
std::unique_ptr<SoundDecoder> MakeDecoder(const std::string& path);

// Why a file could not be opened for reading: the system's reason, or "not a regular file".
std::string OpenFailureReason();
