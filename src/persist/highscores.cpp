#include "persist/highscores.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/paths.h"
#include "persist/config.h"
#include "persist/ini.h"
#include "persist/log.h"

namespace {

const char* const ScoresFile = "scores.ini";
const char* const ScoresSection = "HIGH SCORES";
const char* const ScoresKey = "Data";

size_t NameLength(const HighScoreEntry& entry) {
    return strnlen(entry.name, sizeof entry.name);
}

// Copies a file byte for byte to a new name, replacing an older copy only once the new one is complete.
bool CopyFile(const std::string& from, const std::string& to) {
    std::FILE* in = OpenRegularFile(from);
    if (!in) return false;
    const std::string temp = to + ".part";
    std::FILE* out = std::fopen(temp.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        if (std::fwrite(buffer, 1, n, out) != n) {
            ok = false;
            break;
        }
    }
    ok = ok && !std::ferror(in);
    std::fclose(in);
    // The copy reaches the disk before anything replaces the original.
    ok = std::fflush(out) == 0 && ::fsync(fileno(out)) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), to.c_str()) == 0;
    if (!ok) std::remove(temp.c_str());
    return ok;
}

}  // namespace

std::string HighScoreStore::EncodeBlock() const {
    std::string block(HighScoreBlockSize, '\0');
    for (size_t i = 0; i < std::size(entries); ++i) {
        char* out = block.data() + i * HighScoreEntrySize;
        // Bytes after the name's terminator are written as zero.
        std::memcpy(out, entries[i].name, NameLength(entries[i]));
        const uint32_t score = entries[i].score;
        for (int b = 0; b < 4; ++b) out[32 + b] = static_cast<char>((score >> (8 * b)) & 0xFF);
    }
    return block;
}

bool HighScoreStore::DecodeBlock(const std::string& block) {
    if (block.size() != HighScoreBlockSize) return false;
    for (size_t i = 0; i < std::size(entries); ++i) {
        const auto* in = reinterpret_cast<const unsigned char*>(block.data() + i * HighScoreEntrySize);
        HighScoreEntry entry;
        // A name that fills its field is cut so that it stays terminated.
        size_t length = strnlen(reinterpret_cast<const char*>(in), sizeof entry.name - 1);
        std::memcpy(entry.name, in, length);
        entry.score =
            uint32_t(in[32]) | uint32_t(in[33]) << 8 | uint32_t(in[34]) << 16 | uint32_t(in[35]) << 24;
        entries[i] = entry;
    }
    return true;
}

bool HighScoreStore::Load() {
    std::string block(HighScoreBlockSize, '\0');
    if (ReadStructure(ScoresSection, ScoresKey, block.data(), block.size(), ScoresFile) &&
        DecodeBlock(block)) {
        return true;
    }
    for (HighScoreEntry& entry : entries) entry = HighScoreEntry();
    return false;
}

bool HighScoreStore::Save() {
    const std::string block = EncodeBlock();
    return WriteStructure(ScoresSection, ScoresKey, block.data(), block.size(), ScoresFile);
}

void HighScoreStore::Clear() {
    for (HighScoreEntry& entry : entries) entry = HighScoreEntry();
    Save();
}

bool HighScoreStore::LoadOrCreate() {
    if (Load()) return true;
    const std::string path = GameFilePath(ScoresFile);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        // Scores that cannot be read now may still be recovered by hand: keep them before starting afresh.
        const std::string backup = path + ".bak";
        if (!CopyFile(path, backup)) {
            WriteLog(
                "High scores: 'scores.ini' cannot be read and no copy of it could be made; the file is left "
                "as it is and the tables start empty",
                LogTimeStamp | LogWarning);
            return false;
        }
        WriteLog(
            "High scores: 'scores.ini' cannot be read; kept it as 'scores.ini.bak' and started empty tables",
            LogTimeStamp | LogWarning);
        // A file that cannot even be rewritten key by key (too large to read, say) would refuse every
        // later save: with its copy kept, it gives way to a fresh one.
        if (!Save()) {
            const std::string block = EncodeBlock();
            IniWriteFreshFile(path, ScoresSection, ScoresKey, EncodeStructure(block.data(), block.size()));
        }
        return false;
    }
    Save();
    return false;
}

int HighScoreStore::Insert(int table, uint32_t score) {
    if (table < 0 || table >= HighScoreTableCount) return -1;
    int insertRow = -1;
    for (int r = HighScoreRowCount - 1; r >= 0; --r) {
        if (Entry(table, r).score < score) insertRow = r;
    }
    if (insertRow < 0) return -1;
    for (int r = HighScoreRowCount - 1; r > insertRow; --r) Entry(table, r) = Entry(table, r - 1);
    Entry(table, insertRow) = HighScoreEntry();
    Entry(table, insertRow).score = score;
    return insertRow;
}
