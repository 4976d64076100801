#include "persist/highscores.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/clock.h"
#include "base/messages.h"
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

std::string GameTypeTitle(int index) {
    switch (index) {
        case 1:
            return "Classic Game";
        case 3:
            return "Color Blocks";
        case 5:
            return "Rotated Color Blocks";
        default:
            return "";
    }
}

HighScoreTable::HighScoreTable(HighScoreHost* hostIn) : host(hostIn) {}

HighScoreTable::~HighScoreTable() = default;

std::string HighScoreTable::EncodeBlock() const {
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

bool HighScoreTable::DecodeBlock(const std::string& block) {
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

bool HighScoreTable::Load() {
    std::string block(HighScoreBlockSize, '\0');
    if (ReadStructure(ScoresSection, ScoresKey, block.data(), block.size(), ScoresFile) &&
        DecodeBlock(block)) {
        return true;
    }
    for (HighScoreEntry& entry : entries) entry = HighScoreEntry();
    return false;
}

bool HighScoreTable::Save() {
    const std::string block = EncodeBlock();
    return WriteStructure(ScoresSection, ScoresKey, block.data(), block.size(), ScoresFile);
}

void HighScoreTable::Clear() {
    for (HighScoreEntry& entry : entries) entry = HighScoreEntry();
    Save();
}

bool HighScoreTable::LoadOrCreate() {
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

void HighScoreTable::SelectTable(int t) {
    if (t >= 0 && t < HighScoreTableCount) currentTable = t;
}

bool HighScoreTable::OfferScore(uint32_t score) {
    int insertRow = -1;
    for (int r = HighScoreRowCount - 1; r >= 0; --r) {
        if (Row(r).score < score) insertRow = r;
    }
    if (insertRow < 0) return false;
    for (int r = HighScoreRowCount - 1; r > insertRow; --r) Row(r) = Row(r - 1);
    Row(insertRow) = HighScoreEntry();
    Row(insertRow).score = score;
    editRow = insertRow;
    entryActive = true;
    return true;
}

void HighScoreTable::PlaySound(const std::string& name) {
    if (host) host->PlaySoundEvent(name);
}

void HighScoreTable::HandleNameKey(uint32_t messageId, uint64_t wParam) {
    if (!entryActive) return;
    HighScoreEntry& entry = Row(editRow);
    const size_t length = NameLength(entry);
    const unsigned code = static_cast<unsigned>(wParam & 0xFF);
    if (messageId == WM_KEYDOWN) {
        if (code == VK_ESCAPE) {
            PlaySound("type_01");
            entryActive = false;
            Load();  // drops the new row and every change since the last save
        } else if (code == VK_RETURN && length > 0) {
            PlaySound("type_01");
            entryActive = false;
            Save();
        } else if (code == VK_BACK && length > 0) {
            PlaySound("type_01");
            entry.name[length - 1] = '\0';
        }
    } else if (messageId == WM_CHAR) {
        // Only characters the font can show: Enter, Tab, Backspace and other control codes arrive as
        // character messages too and must not end up in the name.
        if (code >= 0x20 && code != 0x7F && length < HighScoreNameMax) {
            entry.name[length] = static_cast<char>(code);
            entry.name[length + 1] = '\0';
        }
    }
}

void HighScoreTable::DrawRows(float top, float size, float x1, float x2, float x3) const {
    if (!host) return;
    // The cursor blinks once a second: "_" in the first half of each second of the tick count.
    const bool cursorShown = (TickCountMs() / 500) % 2 == 0;
    for (int r = 0; r < HighScoreRowCount; ++r) {
        const HighScoreEntry& entry = Entry(currentTable, r);
        const float y = top + static_cast<float>(r + 1) * size * 1.25f;
        const bool editing = entryActive && r == editRow;
        const uint32_t colour = editing ? HighScoreEditColour : HighScoreRowColour;
        std::string name(entry.name, NameLength(entry));
        if (editing) name += cursorShown ? "_" : " ";
        host->DrawText(x1, y, size, colour, 0, std::to_string(r + 1));
        host->DrawName(x2, y, size, colour, name);
        host->DrawText(x3, y, size, colour, 0, std::to_string(entry.score));
    }
}
