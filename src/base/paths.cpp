#include "base/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

std::string NativePath(const std::string& gamePath) {
    std::string path = gamePath;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::FILE* OpenRegularFile(const std::string& nativePath) {
    // Opening without blocking returns at once even for a pipe; the flag is dropped again for the reads.
    const int fd = ::open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        errno = 0;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) ::close(fd);
    return file;
}

std::FILE* OpenOutputFile(const std::string& nativePath) {
    const int fd = ::open(nativePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

std::string CurrentDirectory() {
    std::error_code error;
    std::filesystem::path dir = std::filesystem::current_path(error);
    return error ? std::string() : dir.string();
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    // Iterative match with one backtrack point for the latest '*': linear in practice, never recursive.
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<std::string> ListFiles(const std::string& gamePattern) {
    const std::string pattern = NativePath(gamePattern);
    const size_t slash = pattern.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : pattern.substr(0, slash);
    const std::string namePattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);

    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(dir.empty() ? "/" : dir, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        std::string name = it->path().filename().string();
        if (WildcardMatch(namePattern, name)) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}
