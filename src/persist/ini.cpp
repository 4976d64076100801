#include "persist/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <vector>

namespace {

const std::string_view Bom = "\xEF\xBB\xBF";

unsigned char FoldCase(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

struct NoCaseHash {
    size_t operator()(std::string_view s) const {
        uint64_t h = 1469598103934665603ull;
        for (char c : s) h = (h ^ FoldCase(static_cast<unsigned char>(c))) * 1099511628211ull;
        return static_cast<size_t>(h);
    }
};
struct NoCaseEqual {
    bool operator()(std::string_view a, std::string_view b) const { return EqualNoCase(a, b); }
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Calls f(line) for every line of the text (terminators removed), after a byte-order mark.
template <class F>
void ForEachLine(std::string_view text, F&& f) {
    if (text.starts_with(Bom)) text.remove_prefix(Bom.size());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            if (!f(text.substr(pos))) return;
            return;
        }
        if (!f(text.substr(pos, end - pos))) return;
        pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
}

enum class LineKind { Other, Section, Key };

struct IniLine {
    LineKind kind = LineKind::Other;
    std::string_view name;
    std::string_view value;
};

IniLine ClassifyLine(std::string_view raw) {
    IniLine line;
    std::string_view s = Trim(raw);
    if (s.empty() || s.front() == ';') return line;
    if (s.front() == '[') {
        // A header without its closing bracket is neither a section nor a key.
        size_t close = s.find(']');
        if (close != std::string_view::npos) {
            line.kind = LineKind::Section;
            line.name = Trim(s.substr(1, close - 1));
        }
        return line;
    }
    size_t equals = s.find('=');
    if (equals == std::string_view::npos) return line;
    std::string_view name = Trim(s.substr(0, equals));
    if (name.empty()) return line;
    std::string_view value = s.substr(equals + 1);
    size_t nul = value.find('\0');
    if (nul != std::string_view::npos) value = value.substr(0, nul);
    value = Trim(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    line.kind = LineKind::Key;
    line.name = name;
    line.value = value;
    return line;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Parsed documents

struct IniDocument::Index {
    using Section = std::unordered_map<std::string_view, std::string_view, NoCaseHash, NoCaseEqual>;
    std::unordered_map<std::string_view, Section, NoCaseHash, NoCaseEqual> sections;
};

IniDocument::IniDocument(std::string textIn) : text(std::move(textIn)), index(std::make_unique<Index>()) {
    Index::Section* current = nullptr;
    size_t lineNumber = 0;
    ForEachLine(text, [&](std::string_view raw) {
        ++lineNumber;
        IniLine line = ClassifyLine(raw);
        if (line.kind == LineKind::Other && !Trim(raw).empty() && Trim(raw).front() != ';') {
            if (damagedLines++ == 0) firstDamagedLine = lineNumber;
        }
        if (line.kind == LineKind::Section) {
            auto [it, inserted] = index->sections.try_emplace(line.name);
            current = inserted ? &it->second : nullptr;  // a repeated section is never looked into
        } else if (line.kind == LineKind::Key && current) {
            current->try_emplace(line.name, line.value);  // the first key of a name wins
        }
        return true;
    });
}

IniDocument::~IniDocument() = default;

std::optional<std::string_view> IniDocument::Find(std::string_view section, std::string_view key) const {
    auto s = index->sections.find(section);
    if (s == index->sections.end()) return std::nullopt;
    auto k = s->second.find(key);
    if (k == s->second.end()) return std::nullopt;
    return k->second;
}

std::optional<std::string_view> IniScan(std::string_view text, std::string_view section,
                                        std::string_view key) {
    enum { Before, Inside, After } where = Before;
    std::optional<std::string_view> found;
    ForEachLine(text, [&](std::string_view raw) {
        IniLine line = ClassifyLine(raw);
        if (line.kind == LineKind::Section) {
            if (where == Inside) {
                where = After;
                return false;
            }
            if (EqualNoCase(line.name, section)) where = Inside;
        } else if (line.kind == LineKind::Key && where == Inside && EqualNoCase(line.name, key)) {
            found = line.value;
            return false;
        }
        return true;
    });
    return found;
}

// ---------------------------------------------------------------------------------------------------
// Editing

bool IniCanWrite(std::string_view section, std::string_view key, std::string_view value) {
    auto oneLine = [](std::string_view s) {
        return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
    };
    if (!oneLine(section) || !oneLine(key) || !oneLine(value)) return false;
    if (section.find(']') != std::string_view::npos || Trim(section) != section) return false;
    if (key.empty() || Trim(key) != key || key.find('=') != std::string_view::npos) return false;
    if (key.front() == '[' || key.front() == ';') return false;
    return true;
}

std::string IniSetValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value) {
    const bool hasBom = text.starts_with(Bom);
    std::vector<std::string_view> lines;
    ForEachLine(text, [&](std::string_view raw) {
        lines.push_back(raw);
        return true;
    });

    // The first matching section, its end, and its first matching key.
    size_t sectionLine = SIZE_MAX, sectionEnd = lines.size(), keyLine = SIZE_MAX;
    for (size_t i = 0; i < lines.size(); ++i) {
        IniLine line = ClassifyLine(lines[i]);
        if (line.kind == LineKind::Section) {
            if (sectionLine != SIZE_MAX) {
                sectionEnd = i;
                break;
            }
            if (EqualNoCase(line.name, section)) sectionLine = i;
        } else if (line.kind == LineKind::Key && sectionLine != SIZE_MAX && keyLine == SIZE_MAX &&
                   EqualNoCase(line.name, key)) {
            keyLine = i;
        }
    }

    std::string out;
    out.reserve(text.size() + section.size() + key.size() + value.size() + 16);
    if (hasBom) out += Bom;
    auto emit = [&out](std::string_view line) {
        out += line;
        out += "\r\n";
    };
    auto emitKey = [&](std::string_view name) {
        out += name;
        out += '=';
        out += value;
        out += "\r\n";
    };

    if (sectionLine == SIZE_MAX) {
        for (std::string_view line : lines) emit(line);
        if (!lines.empty() && !Trim(lines.back()).empty()) emit("");
        out += '[';
        out += section;
        out += "]\r\n";
        emitKey(key);
        return out;
    }
    if (keyLine != SIZE_MAX) {
        std::string_view stored = ClassifyLine(lines[keyLine]).name;  // keeps the file's spelling
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i == keyLine) {
                emitKey(stored);
            } else {
                emit(lines[i]);
            }
        }
        return out;
    }
    // A new key goes after the section's last non-blank line.
    size_t insertAfter = sectionLine;
    for (size_t i = sectionLine + 1; i < sectionEnd; ++i) {
        if (!Trim(lines[i]).empty()) insertAfter = i;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        emit(lines[i]);
        if (i == insertAfter) emitKey(key);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------------
// Files and the cache

namespace {

// Parsed files are kept for as long as they are unchanged: a few files, and no more text in all than
// this (so one huge file does not hold a second one's memory as well).
constexpr size_t MaxCachedFiles = 8;
constexpr size_t MaxCachedBytes = 2 * IniMaxFileSize;
// A file changed this recently may change again without its size or times showing it (file systems
// stamp times coarsely, some to two seconds): until it is older, every read compares its text.
constexpr int64_t RacyWindowNs = 2'000'000'000;
// Read problems are remembered for this many paths (the game reads three files; tests read more).
constexpr size_t MaxRememberedProblems = 64;

uint64_t fileReads = 0;
uint64_t useCounter = 0;
void (*beforeRenameHook)(const std::string&) = nullptr;
IniWriteStep injectedStep = IniWriteStep::CreateTemporary;
int injectedError = 0;

// True, with errno set, when the test asked for this step to fail.
bool InjectedFailure(IniWriteStep step) {
    if (injectedError == 0 || injectedStep != step) return false;
    errno = injectedError;
    return true;
}

std::unordered_map<std::string, std::string>& ReadProblems() {
    static std::unordered_map<std::string, std::string> problems;
    return problems;
}

void NoteReadProblem(const std::string& path, std::string problem) {
    auto& problems = ReadProblems();
    if (problem.empty()) {
        problems.erase(path);
        return;
    }
    if (problems.size() >= MaxRememberedProblems && !problems.contains(path)) problems.clear();
    problems[path] = std::move(problem);
}

std::string DamagedLinesProblem(const IniDocument& document) {
    if (document.DamagedLines() == 0) return "";
    return std::to_string(document.DamagedLines()) + " damaged line" +
           (document.DamagedLines() == 1 ? "" : "s") + " (the first is line " +
           std::to_string(document.FirstDamagedLine()) + ")";
}

int64_t Nanoseconds(const timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

int64_t WallClockNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modified = 0;
    int64_t changed = 0;

    static FileIdentity Of(const struct stat& st) {
        return {st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
    }
    bool operator==(const FileIdentity&) const = default;
};

struct CachedFile {
    std::string path;
    FileIdentity identity;
    int64_t verifiedAt = 0;  // wall clock just before the text was last read
    uint64_t lastUse = 0;
    std::unique_ptr<IniDocument> document;
};

std::vector<CachedFile>& Cache() {
    static std::vector<CachedFile> cache;
    return cache;
}

enum class ReadResult { Ok, Missing, Failed };

// Reads a whole regular file of at most IniMaxFileSize bytes; identity is taken before the read.
// Why a file that exists could not be read is noted for IniReadProblem.
ReadResult ReadWholeFile(const std::string& path, std::string& text, FileIdentity& identity) {
    text.clear();
    // Without blocking, so that a named pipe under the file's name is refused at once instead of
    // waiting for a writer; reads of a regular file are not affected.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            NoteReadProblem(path, "");
            return ReadResult::Missing;
        }
        NoteReadProblem(path, std::strerror(errno));
        return ReadResult::Failed;
    }
    ++fileReads;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<uint64_t>(st.st_size) > IniMaxFileSize) {
        NoteReadProblem(path, !S_ISREG(st.st_mode)
                                  ? "not a regular file"
                                  : "larger than " + std::to_string(IniMaxFileSize >> 20) + " MiB");
        ::close(fd);
        return ReadResult::Failed;
    }
    identity = FileIdentity::Of(st);
    text.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (true) {
        if (got == text.size()) {
            // The file may have grown since fstat; keep reading, within the limit.
            if (text.size() >= IniMaxFileSize) break;
            text.resize(std::min<size_t>(IniMaxFileSize, text.size() + 4096));
        }
        ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            NoteReadProblem(path, std::strerror(errno));
            ::close(fd);
            text.clear();
            return ReadResult::Failed;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    text.resize(got);
    NoteReadProblem(path, "");
    return ReadResult::Ok;
}

void DropCached(const std::string& path) {
    auto& cache = Cache();
    for (size_t i = 0; i < cache.size(); ++i) {
        if (cache[i].path == path) {
            cache.erase(cache.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

// The parsed document of a file, current as of this call; nullptr when missing or unreadable.
const IniDocument* CurrentDocument(const std::string& path, const struct stat& st) {
    auto& cache = Cache();
    CachedFile* entry = nullptr;
    for (CachedFile& c : cache) {
        if (c.path == path) entry = &c;
    }
    const FileIdentity seen = FileIdentity::Of(st);
    if (entry && entry->identity == seen && entry->verifiedAt - seen.modified > RacyWindowNs) {
        entry->lastUse = ++useCounter;
        return entry->document.get();
    }

    const int64_t before = WallClockNs();
    std::string text;
    FileIdentity identity;
    if (ReadWholeFile(path, text, identity) != ReadResult::Ok) {
        DropCached(path);
        return nullptr;
    }
    if (!entry || !entry->document || entry->document->Text() != text) {
        // Room for the new text first: the least recently used files give way.
        DropCached(path);
        size_t cachedBytes = 0;
        for (const CachedFile& c : cache) cachedBytes += c.document->Text().size();
        while (!cache.empty() &&
               (cache.size() >= MaxCachedFiles || cachedBytes + text.size() > MaxCachedBytes)) {
            size_t oldest = 0;
            for (size_t i = 1; i < cache.size(); ++i) {
                if (cache[i].lastUse < cache[oldest].lastUse) oldest = i;
            }
            cachedBytes -= cache[oldest].document->Text().size();
            cache.erase(cache.begin() + static_cast<std::ptrdiff_t>(oldest));
        }
        cache.push_back(CachedFile{path, {}, 0, 0, std::make_unique<IniDocument>(std::move(text))});
        entry = &cache.back();
    }
    NoteReadProblem(path, DamagedLinesProblem(*entry->document));
    entry->identity = identity;
    entry->verifiedAt = before;
    entry->lastUse = ++useCounter;
    return entry->document.get();
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Each step below fails with errno set, or with a test's injected error.
bool WriteAll(int fd, std::string_view bytes) {
    if (InjectedFailure(IniWriteStep::Write)) return false;
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool Sync(int fd) {
    return !InjectedFailure(IniWriteStep::Sync) && ::fsync(fd) == 0;
}

// Records the failed step with the current errno; always false.
bool Fail(FileWriteError* error, const char* step) {
    if (error) *error = FileWriteError{errno, step};
    return false;
}

// Rewrites an existing file where it is, for a directory the game may not create files in. The space
// is reserved first, so that a full disk refuses the save before a byte of the old text is touched.
bool RewriteInPlace(const std::string& path, std::string_view text, FileWriteError* error) {
    int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return Fail(error, "open the file to rewrite it");
    struct stat st {};
    const char* failed = nullptr;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        failed = "check the file";
    } else if (!text.empty()) {
        const int reserved = ::posix_fallocate(fd, 0, static_cast<off_t>(text.size()));
        if (reserved != 0) {
            errno = reserved;
            failed = "reserve space";
        }
    }
    if (!failed && !WriteAll(fd, text)) failed = "write";
    if (!failed && ::ftruncate(fd, static_cast<off_t>(text.size())) != 0) failed = "truncate";
    if (!failed && !Sync(fd)) failed = "sync";
    const int stepError = errno;
    if (::close(fd) != 0 && !failed) return Fail(error, "close");
    errno = stepError;
    return failed ? Fail(error, failed) : true;
}

// Replaces the file at path by text: a complete, synced temporary file is renamed over it. The
// temporary file has one fixed name per file, so a save cut short by a crash leaves at most one
// leftover beside it, which the next save reuses, instead of a new one after every crash. Where no
// temporary file can be made (a directory closed to the player that holds files open to them), an
// existing file is rewritten in place rather than the save being lost.
bool ReplaceFile(const std::string& path, std::string_view text, mode_t mode, FileWriteError* error) {
    std::string temp = path + ".tmp";
    ::unlink(temp.c_str());  // never write through a leftover link
    int fd = InjectedFailure(IniWriteStep::CreateTemporary)
                 ? -1
                 : ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        const int openError = errno;
        if (::access(path.c_str(), F_OK) == 0) return RewriteInPlace(path, text, error);
        errno = openError;
        return Fail(error, "create a temporary file");
    }
    const char* failed = nullptr;
    if (::fchmod(fd, mode) != 0) failed = "set the file's permissions";
    if (!failed && !WriteAll(fd, text)) failed = "write";
    if (!failed && !Sync(fd)) failed = "sync";
    const int stepError = errno;
    if (::close(fd) != 0 && !failed) {
        failed = "close";
    } else {
        errno = stepError;
    }
    if (!failed && beforeRenameHook) beforeRenameHook(temp);
    if (!failed && (InjectedFailure(IniWriteStep::Rename) || ::rename(temp.c_str(), path.c_str()) != 0))
        failed = "rename";
    if (failed) {
        const int failure = errno;
        ::unlink(temp.c_str());
        errno = failure;
        return Fail(error, failed);
    }
    // The rename itself reaches the disk with the directory.
    int dirFd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

// A link is followed, so that the file it names is the one replaced.
std::string ResolveLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string resolved = real;
    std::free(real);
    return resolved;
}

}  // namespace

bool IniReadString(const std::string& path, std::string_view section, std::string_view key,
                   std::string& value, size_t maxLength) {
    value.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        DropCached(path);
        NoteReadProblem(path, errno == ENOENT || errno == ENOTDIR ? "" : std::strerror(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        DropCached(path);
        NoteReadProblem(path, "not a regular file");
        return false;
    }
    const IniDocument* document = CurrentDocument(path, st);
    if (!document) return false;
    const std::optional<std::string_view> found = document->Find(section, key);
    if (!found) return false;
    value.assign(found->substr(0, std::min(found->size(), maxLength)));
    return true;
}

std::vector<std::string> IniReadSectionNames(const std::string& path) {
    std::vector<std::string> names;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return names;
    const IniDocument* document = CurrentDocument(path, st);
    if (!document) return names;
    ForEachLine(document->Text(), [&](std::string_view raw) {
        const IniLine line = ClassifyLine(raw);
        if (line.kind != LineKind::Section) return true;
        for (const std::string& known : names)
            if (EqualNoCase(known, line.name)) return true;
        names.emplace_back(line.name);
        return true;
    });
    return names;
}

std::string IniReadProblem(const std::string& path) {
    const auto& problems = ReadProblems();
    const auto found = problems.find(path);
    return found == problems.end() ? std::string() : found->second;
}

std::string FileWriteError::Text() const {
    if (code == 0) return step;
    return step + ": " + std::strerror(code);
}

namespace {
// Whether a write can be tried at all: a value that fits on its line, and a file that has a place.
bool CanWriteTo(const std::string& path, std::string_view section, std::string_view key,
                std::string_view value, FileWriteError* error) {
    if (!IniCanWrite(section, key, value)) {
        if (error) *error = {0, "the value does not fit on one line"};
        return false;
    }
    if (path.empty()) {
        if (error) *error = {ENOENT, "find the game's folder"};
        return false;
    }
    return true;
}
}  // namespace

bool IniWriteString(const std::string& pathIn, std::string_view section, std::string_view key,
                    std::string_view value, FileWriteError* error) {
    if (!CanWriteTo(pathIn, section, key, value, error)) return false;
    const std::string path = ResolveLink(pathIn);
    std::string text;
    FileIdentity identity;
    mode_t mode = 0644;
    switch (ReadWholeFile(path, text, identity)) {
        case ReadResult::Ok: {
            // A file the player made read-only stays as it is.
            if (::access(path.c_str(), W_OK) != 0) return Fail(error, "open the file for writing");
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
            break;
        }
        case ReadResult::Missing:
            break;
        case ReadResult::Failed:
            // Never write over a file whose contents could not be read.
            if (error) *error = {0, "read the old file (" + IniReadProblem(path) + ")"};
            return false;
    }
    const std::string updated = IniSetValue(text, section, key, value);
    DropCached(pathIn);
    DropCached(path);
    if (updated.size() > IniMaxFileSize) {
        if (error) *error = {EFBIG, "write"};
        return false;
    }
    return ReplaceFile(path, updated, mode, error);
}

bool IniWriteFreshFile(const std::string& pathIn, std::string_view section, std::string_view key,
                       std::string_view value, FileWriteError* error) {
    if (!CanWriteTo(pathIn, section, key, value, error)) return false;
    const std::string path = ResolveLink(pathIn);
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            if (error) *error = {0, "replace something that is not a regular file"};
            return false;
        }
        if (::access(path.c_str(), W_OK) != 0) return Fail(error, "open the file for writing");
        mode = st.st_mode & 07777;
    }
    DropCached(pathIn);
    DropCached(path);
    return ReplaceFile(path, IniSetValue("", section, key, value), mode, error);
}

void IniForgetCache() {
    Cache().clear();
}

uint64_t IniFileReadCount() {
    return fileReads;
}

void IniSetBeforeRenameHook(void (*hook)(const std::string& tempPath)) {
    beforeRenameHook = hook;
}

void IniInjectWriteFailure(IniWriteStep step, int errorNumber) {
    injectedStep = step;
    injectedError = errorNumber;
}
