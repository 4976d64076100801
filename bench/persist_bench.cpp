// Translate runs dozens of times per drawn frame: a lookup must stay far below a frame's budget, and
// the cache must beat parsing language.ini again by a wide margin.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "persist/config.h"
#include "persist/ini.h"

namespace {

// A language.ini of about 200 keys in two languages, like the game's own, made old enough that the
// cache trusts it, in a directory of its own that is made current.
class LanguageFile {
public:
    LanguageFile() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kelvane-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        dir = pattern;
        previous = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        std::ofstream out("language.ini", std::ios::binary);
        for (const char* language : {"ENGLISH", "DEUTSCH"}) {
            out << "[" << language << "]\r\n";
            out << "SymbolList=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.,:!?\r\n";
            for (int line = 1; line <= 8; ++line)
                out << "Line0" << line << "_Width=12 11 13 12 10 9 14 12 5 8\r\n";
            for (int i = 0; i < 100; ++i)
                out << "Menu text number " << i << "=" << language << " text " << i << "\r\n";
            out << "\r\n";
        }
        out.close();
        const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
        utimensat(AT_FDCWD, "language.ini", past, 0);
        SetLanguageName("DEUTSCH");
    }
    ~LanguageFile() {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
    }

private:
    std::filesystem::path dir, previous;
};

void BM_TranslatePresentKey(benchmark::State& state) {
    LanguageFile file;
    if (Translate("Menu text number 77") != "DEUTSCH text 77") state.SkipWithError("lookup failed");
    for (auto _ : state) benchmark::DoNotOptimize(Translate("Menu text number 77"));
}
BENCHMARK(BM_TranslatePresentKey);

void BM_TranslateMissingKey(benchmark::State& state) {
    LanguageFile file;
    if (!Translate("Not translated").empty()) state.SkipWithError("unexpected translation");
    for (auto _ : state) benchmark::DoNotOptimize(Translate("Not translated"));
}
BENCHMARK(BM_TranslateMissingKey);

// What every lookup would cost without the cache: read and parse the file again.
void BM_TranslateFullReread(benchmark::State& state) {
    LanguageFile file;
    for (auto _ : state) {
        IniForgetCache();
        benchmark::DoNotOptimize(Translate("Menu text number 77"));
    }
}
BENCHMARK(BM_TranslateFullReread);

}  // namespace
