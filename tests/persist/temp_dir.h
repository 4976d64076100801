// A fresh directory per test, made current for the test's length, with the persist module's remembered
// state (log directory, cached files, language) reset around it.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "persist/config.h"
#include "persist/ini.h"
#include "persist/log.h"

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "kelvane-persist-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        std::filesystem::current_path(dir);
        ResetLogState();
        IniForgetCache();
        IniSetBeforeRenameHook(nullptr);
        SetLanguageName("");
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(dir, ignored);
        ResetLogState();
        IniForgetCache();
        IniSetBeforeRenameHook(nullptr);
    }

    static void WriteFile(const std::string& name, const std::string& bytes) {
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    static std::string ReadFile(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool Exists(const std::string& name) { return std::filesystem::exists(name); }

    // Runs body in a child process given ten seconds: its result, or -1 when it hung or crashed.
    static int RunInChild(const std::function<int()>& body) {
        const pid_t child = fork();
        if (child < 0) return -1;
        if (child == 0) {
            alarm(10);
            _exit(body());
        }
        int status = 0;
        if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    }

    std::filesystem::path previous;
    std::filesystem::path dir;
};
