// assetgen GAME_DIR DATA_DIR [--preview DIR]: writes the game's default assets.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "assetgen.h"

namespace {
std::map<std::string, AssetWriter>& Groups() {
    static std::map<std::string, AssetWriter> groups;
    return groups;
}
}  // namespace

AssetGroup::AssetGroup(const char* name, AssetWriter writer) {
    Groups()[name] = std::move(writer);
}

int main(int argc, char** argv) {
    AssetContext context;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--preview" && i + 1 < argc) {
            context.previewDir = argv[++i];
        } else if (context.gameDir.empty()) {
            context.gameDir = arg;
        } else if (context.dataDir.empty()) {
            context.dataDir = arg;
        } else {
            std::fprintf(stderr, "assetgen: unexpected argument '%s'\n", arg.c_str());
            return 2;
        }
    }
    if (context.gameDir.empty() || context.dataDir.empty()) {
        std::fprintf(stderr, "usage: assetgen GAME_DIR DATA_DIR [--preview DIR]\n");
        return 2;
    }
    std::error_code error;
    std::filesystem::create_directories(context.gameDir + "/Graphics", error);
    std::filesystem::create_directories(context.gameDir + "/Sound", error);
    if (!context.previewDir.empty()) std::filesystem::create_directories(context.previewDir, error);

    bool ok = true;
    for (const auto& [name, writer] : Groups()) {
        auto start = std::chrono::steady_clock::now();
        bool groupOk = writer(context);
        double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("assetgen: %-12s %s (%.0f ms)\n", name.c_str(), groupOk ? "ok" : "FAILED", ms);
        ok = ok && groupOk;
    }
    return ok ? 0 : 1;
}
