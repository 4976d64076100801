#include "persist/highscores.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/paths.h"
#include "persist/config.h"
#include "persist/ini.h"
#include "persist/log.h"
#include "persist/save_report.h"

namespace {

const char* const ScoresFile = "scores.ini";
const char* const NewScoresFile = "scores.ini.new";
const char* const ScoresSection = "HIGH SCORES";
const char* const ScoresKey = "Data";
constexpr int TableEntries = HighScoreTableCount * HighScoreRowCount;
// How long a save waits for another copy of the game to finish its own before going on regardless.
constexpr int LockAttempts = 200;
constexpr long LockRetryNs = 10'000'000;

using TableRow = std::pair<int, HighScoreEntry>;

size_t NameLength(const HighScoreEntry& entry) {
    return strnlen(entry.name, sizeof entry.name);
}

bool IsEmptyRow(const HighScoreEntry& entry) {
    return entry.score == 0 && NameLength(entry) == 0;
}

bool SameRow(const HighScoreEntry& a, const HighScoreEntry& b) {
    return a.score == b.score && NameLength(a) == NameLength(b) &&
           std::memcmp(a.name, b.name, NameLength(a)) == 0;
}

// The rows of `mine` that `stored` does not hold (each stored row matches one row of mine), table by
// table: what this game added since it last read or wrote the file.
std::vector<TableRow> NewRows(const HighScoreEntry* mine, const HighScoreEntry* stored) {
    std::vector<TableRow> rows;
    for (int t = 0; t < HighScoreTableCount; ++t) {
        bool matched[HighScoreRowCount] = {};
        for (int r = 0; r < HighScoreRowCount; ++r) {
            const HighScoreEntry& row = mine[t * HighScoreRowCount + r];
            if (IsEmptyRow(row)) continue;
            bool found = false;
            for (int s = 0; s < HighScoreRowCount && !found; ++s) {
                if (!matched[s] && SameRow(stored[t * HighScoreRowCount + s], row)) found = matched[s] = true;
            }
            if (!found) rows.emplace_back(t, row);
        }
    }
    return rows;
}

// Ranks each row into its table as a new score is ranked (below every equal score); a row that does
// not rank is dropped.
void RankInto(HighScoreEntry* tables, const std::vector<TableRow>& rows) {
    for (const auto& [table, entry] : rows) {
        HighScoreEntry* rowsOfTable = tables + static_cast<std::ptrdiff_t>(table) * HighScoreRowCount;
        int at = HighScoreRowCount;
        for (int r = HighScoreRowCount - 1; r >= 0; --r) {
            if (rowsOfTable[r].score < entry.score) at = r;
        }
        if (at == HighScoreRowCount) continue;
        for (int r = HighScoreRowCount - 1; r > at; --r) rowsOfTable[r] = rowsOfTable[r - 1];
        rowsOfTable[at] = entry;
    }
}

bool Exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// Holds scores.ini.lock while the tables are merged and written, so that two copies of the game
// saving at once take turns. Without a lock file (a folder closed to the game) the save goes on
// unguarded; a lock held for longer than two seconds is not waited for any longer.
class ScoresLock {
public:
    explicit ScoresLock(const std::string& path) {
        if (path.empty()) return;
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) return;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
        for (int attempt = 0; attempt < LockAttempts; ++attempt) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                locked = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) return;
            const timespec pause{0, LockRetryNs};
            ::nanosleep(&pause, nullptr);
        }
        WriteLog(
            "High scores: another copy of the game holds 'scores.ini.lock'; saving without waiting longer",
            LogTimeStamp | LogWarning);
    }
    ~ScoresLock() {
        if (locked) ::flock(fd, LOCK_UN);
        if (fd >= 0) ::close(fd);
    }
    ScoresLock(const ScoresLock&) = delete;
    ScoresLock& operator=(const ScoresLock&) = delete;

private:
    int fd = -1;
    bool locked = false;
};

// True when both are regular files with the same bytes.
bool SameContents(const std::string& a, const std::string& b) {
    std::FILE* first = OpenRegularFile(a);
    std::FILE* second = first ? OpenRegularFile(b) : nullptr;
    bool same = first && second;
    char x[65536], y[65536];
    while (same) {
        const size_t got = std::fread(x, 1, sizeof x, first);
        same = std::fread(y, 1, sizeof y, second) == got && std::memcmp(x, y, got) == 0;
        if (got < sizeof x) break;
    }
    same = same && !std::ferror(first) && !std::ferror(second);
    if (first) std::fclose(first);
    if (second) std::fclose(second);
    return same;
}

// scores.ini.bak, scores.ini.bak.1, ...
std::string BackupName(const std::string& path, int number) {
    return path + ".bak" + (number == 0 ? std::string() : "." + std::to_string(number));
}

// The name of a copy holding exactly the bytes of the file at path: one kept before, or a new one
// under the first free numbered name. "" when no copy exists and none can be made.
std::string KeepCopy(const std::string& path) {
    for (int number = 0; number < MaxScoresBackups; ++number) {
        std::string backup = BackupName(path, number);
        struct stat st {};
        if (::lstat(backup.c_str(), &st) == 0) {
            if (SameContents(path, backup)) return backup;
            continue;  // an older copy of another damaged file: never replaced
        }
        if (errno != ENOENT) continue;
        return CopyFileDurably(path, backup) ? backup : std::string();
    }
    return "";
}

std::string BareName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

bool HighScoreStore::ReadFileBlock(std::string& block) const {
    block.assign(HighScoreBlockSize, '\0');
    return ReadStructure(ScoresSection, ScoresKey, block.data(), block.size(), fileName);
}

bool HighScoreStore::WriteFileBlock(const std::string& block, FileWriteError& error) {
    if (WriteStructure(ScoresSection, ScoresKey, block.data(), block.size(), fileName, &error)) return true;
    // A damaged file that cannot even be rewritten key by key (too large to read, say) gives way to a
    // fresh one, but only once its copy is kept.
    if (!damagedFileCopied) return false;
    return IniWriteFreshFile(GameFilePath(fileName), ScoresSection, ScoresKey,
                             EncodeStructure(block.data(), block.size()), &error);
}

bool HighScoreStore::PutDamagedFileAside() {
    const std::string path = GameFilePath(fileName);
    const std::string problem = IniReadProblem(path);
    const std::string why =
        " (" +
        (problem.empty() ? std::string("its high-score block is missing, cut short or fails its checksum")
                         : problem) +
        ")";
    const std::string backup = KeepCopy(path);
    if (!backup.empty()) {
        WriteLog("High scores: '" + fileName + "' cannot be read" + why + "; kept it as '" +
                     BareName(backup) + "' and started empty tables",
                 LogTimeStamp | LogWarning);
        damagedFileCopied = true;
        return true;
    }
    if (fileName == ScoresFile) {
        WriteLog("High scores: '" + fileName + "' cannot be read" + why +
                     " and no copy of it could be made; it is left as it is and the tables are kept in '" +
                     NewScoresFile + "'",
                 LogTimeStamp | LogWarning);
        fileName = NewScoresFile;
        return true;
    }
    WriteLog("High scores: '" + fileName + "' cannot be read" + why +
                 " and no copy of it could be made; it is left as it is",
             LogTimeStamp | LogWarning);
    return false;
}

bool HighScoreStore::Load() {
    std::string block;
    const bool read = ReadFileBlock(block) && DecodeBlock(block);
    if (!read) {
        for (HighScoreEntry& entry : entries) entry = HighScoreEntry();
    }
    std::copy(std::begin(entries), std::end(entries), std::begin(lastStoredEntries));
    RankInto(entries, unsavedRows);
    return read;
}

bool HighScoreStore::Save() {
    const std::string scoresPath = GameFilePath(ScoresFile);
    ScoresLock lock(scoresPath.empty() ? std::string() : scoresPath + ".lock");
    FileWriteError error;
    HighScoreEntry merged[TableEntries];
    bool ready = true;
    if (!clearPending) {
        std::string block;
        if (ReadFileBlock(block)) {
            HighScoreStore current;
            current.DecodeBlock(block);
            std::copy(std::begin(current.entries), std::end(current.entries), std::begin(merged));
        } else if (Exists(GameFilePath(fileName)) && !damagedFileCopied) {
            // Damaged since it was read: kept aside first, then the tables go on from what the new
            // place holds (another run may have saved there already).
            ready = PutDamagedFileAside();
            if (ready && !damagedFileCopied && ReadFileBlock(block)) {
                HighScoreStore current;
                current.DecodeBlock(block);
                std::copy(std::begin(current.entries), std::end(current.entries), std::begin(merged));
            }
            if (!ready) error = {0, "keep a copy of the damaged file"};
        }
    }
    const std::vector<TableRow> rows = NewRows(entries, lastStoredEntries);
    RankInto(merged, rows);
    HighScoreStore mergedStore;
    std::copy(std::begin(merged), std::end(merged), std::begin(mergedStore.entries));
    const bool saved = ready && WriteFileBlock(mergedStore.EncodeBlock(), error);
    if (saved) {
        std::copy(std::begin(merged), std::end(merged), std::begin(entries));
        std::copy(std::begin(merged), std::end(merged), std::begin(lastStoredEntries));
        unsavedRows.clear();
        clearPending = false;
        damagedFileCopied = false;
    } else {
        unsavedRows = rows;
    }
    ReportSave(SavedFile::HighScores, GameFilePath(fileName), saved, error);
    return saved;
}

void HighScoreStore::Clear() {
    for (HighScoreEntry& entry : entries) entry = HighScoreEntry();
    unsavedRows.clear();
    clearPending = true;
    Save();
}

bool HighScoreStore::LoadOrCreate() {
    fileName = ScoresFile;
    damagedFileCopied = false;
    if (Load()) return true;
    if (Exists(GameFilePath(ScoresFile))) {
        // Scores that cannot be read now may still be recovered by hand: keep them before starting afresh.
        PutDamagedFileAside();
        // An earlier run may have kept its tables in scores.ini.new while scores.ini was in the way.
        HighScoreStore earlier;
        earlier.fileName = NewScoresFile;
        if (earlier.Load()) {
            std::copy(std::begin(earlier.entries), std::end(earlier.entries), std::begin(entries));
            if (fileName == NewScoresFile)
                std::copy(std::begin(entries), std::end(entries), std::begin(lastStoredEntries));
        }
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
