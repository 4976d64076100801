// The game's INI engine: Windows-style INI text read and written key by key, as config.ini,
// language.ini and scores.ini need it.
//  - Sections and keys compare without regard to letter case (ASCII); the first matching section and,
//    within it, the first matching key win (a repeated section is never looked into).
//  - A value is the text after the first '=', up to a NUL byte, with blanks and tabs trimmed and one
//    pair of surrounding quotes (" or ') removed; readers cut it to 254 characters unless they ask for
//    more. Lines end with CR LF, LF or CR; a UTF-8 byte-order mark is skipped and kept.
//  - A write creates the file and the section when needed and keeps every other line, comment and the
//    order of the file; the file is then written with CR LF. Writes are atomic (temporary file in the
//    same directory, flushed and synced, renamed over the old one): a failed write leaves the old
//    file as it was. Only where the directory takes no new file is a writable file rewritten in
//    place, with its space reserved first. A read-only file is never written.
//  - Parsed files of any size up to IniMaxFileSize are cached and checked on every read (size, times,
//    inode), so an edit made while the game runs is seen at the next read. Larger files, and files
//    that cannot be read, read as missing; IniReadProblem tells why.
//  - An empty path names no file (the game's file has no place this run): reads find nothing and
//    writes fail without touching any directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t IniMaxValueLength = 254;
constexpr size_t IniMaxFileSize = 64u << 20;

// One parsed INI text with an index of its first sections and first keys.
class IniDocument {
public:
    explicit IniDocument(std::string text);
    ~IniDocument();
    IniDocument(const IniDocument&) = delete;
    IniDocument& operator=(const IniDocument&) = delete;

    // The value (trimmed and unquoted, not cut) of the first key in the first matching section.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;
    const std::string& Text() const { return text; }
    // Lines that are neither blank, a comment, a section header nor a key: a file cut short, written
    // over or not an INI file at all. 0 for a sound file; firstDamagedLine counts from 1.
    size_t DamagedLines() const { return damagedLines; }
    size_t FirstDamagedLine() const { return firstDamagedLine; }

private:
    struct Index;
    std::string text;
    std::unique_ptr<Index> index;
    size_t damagedLines = 0;
    size_t firstDamagedLine = 0;
};

// The same answer as IniDocument::Find in one pass over the text, without an index.
std::optional<std::string_view> IniScan(std::string_view text, std::string_view section,
                                        std::string_view key);

// True when the names and the value fit on one INI line: no line breaks or NUL bytes anywhere, a
// non-empty key without '=' that does not start with '[' or ';' and has no surrounding blanks, and a
// section name without ']' and without surrounding blanks.
bool IniCanWrite(std::string_view section, std::string_view key, std::string_view value);

// The text after setting section/key to value (the caller checked IniCanWrite): the first matching
// key line is replaced, or a line is added at the end of the first matching section, or the section
// is added at the end of the text. Every line ends with CR LF.
std::string IniSetValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value);

// Reads section/key of the file at path into value, cut to maxLength characters. False, with value
// empty, when the file, section or key is missing or the file cannot be read.
bool IniReadString(const std::string& path, std::string_view section, std::string_view key,
                   std::string& value, size_t maxLength = IniMaxValueLength);

// The names of the sections of the file at path, in file order, each once (the first spelling of a
// name that repeats); empty when the file is missing or unreadable.
std::vector<std::string> IniReadSectionNames(const std::string& path);

// What was wrong with the file at path when it was last read: "" when it read well or is missing;
// otherwise why it could not be read ("not a regular file", "larger than 64 MiB", the system's
// reason) or, for a file that was read, how many of its lines are damaged.
std::string IniReadProblem(const std::string& path);

// Why a write failed: the step that failed and the system's error number (0 when the cause is not a
// system error, such as an old file that could not be read and is therefore not written over).
struct FileWriteError {
    int code = 0;
    std::string step;
    // "step: the system's text", for the log.
    std::string Text() const;
};

// Writes section/key = value into the file at path. False when it was not written (names or value
// not writable, the old file unreadable or read-only, neither the directory nor the file writable, an
// empty path); the old file is then unchanged and error, when given, says why.
bool IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, FileWriteError* error = nullptr);

// Replaces the whole file at path by one holding only section/key = value, whatever the old file was
// (for a damaged file that has been put aside). False when it was not written.
bool IniWriteFreshFile(const std::string& path, std::string_view section, std::string_view key,
                       std::string_view value, FileWriteError* error = nullptr);

// Drops every cached file, so the next read parses afresh.
void IniForgetCache();

// How many times a file's text has been read from disk since the start (cache misses and checks).
uint64_t IniFileReadCount();

// Called by a write after the temporary file is complete and before it replaces the file. Tests use
// it to stop a write at its most fragile point; nullptr (the default) for none.
void IniSetBeforeRenameHook(void (*hook)(const std::string& tempPath));

// The steps of a write, for making one of them fail on purpose: tests give the step and the error
// number it fails with (as the system call would), 0 to let every step run again.
enum class IniWriteStep { CreateTemporary, Write, Sync, Rename };
void IniInjectWriteFailure(IniWriteStep step, int errorNumber);
