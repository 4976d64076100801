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
//  - Parsed files are cached and checked on every read (size, times, inode), so an edit made while
//    the game runs is seen at the next read. Files larger than IniMaxFileSize read as missing.
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

private:
    struct Index;
    std::string text;
    std::unique_ptr<Index> index;
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

// Writes section/key = value into the file at path. False when it was not written (names or value
// not writable, the old file unreadable or read-only, neither the directory nor the file writable);
// the old file is then unchanged.
bool IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value);

// Replaces the whole file at path by one holding only section/key = value, whatever the old file was
// (for a damaged file that has been put aside). False when it was not written.
bool IniWriteFreshFile(const std::string& path, std::string_view section, std::string_view key,
                       std::string_view value);

// Drops every cached file, so the next read parses afresh.
void IniForgetCache();

// How many times a file's text has been read from disk since the start (cache misses and checks).
uint64_t IniFileReadCount();

// Called by a write after the temporary file is complete and before it replaces the file. Tests use
// it to stop a write at its most fragile point; nullptr (the default) for none.
void IniSetBeforeRenameHook(void (*hook)(const std::string& tempPath));
