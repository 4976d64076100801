#include "base/notices.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <vector>

namespace {
// Guarded because the audio callback may raise a notice too.
std::mutex noticeMutex;
std::function<void(const std::string&)> noticeHandler;
std::set<std::string> noticesIssued;
std::vector<std::string> noticesHeld;
bool holdNotices = false;

void DeliverNotice(const std::string& text) {
    if (noticeHandler)
        noticeHandler(text);
    else
        std::fprintf(stderr, "kelvane: %s\n", text.c_str());
}
}  // namespace

void SetPlatformNoticeHandler(std::function<void(const std::string&)> handler) {
    noticeHandler = std::move(handler);
}

void ReportPlatformNotice(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(noticeMutex);
        if (!noticesIssued.insert(text).second) return;
        if (holdNotices) {
            noticesHeld.push_back(text);
            return;
        }
    }
    DeliverNotice(text);
}

void StartHoldingPlatformNotices() {
    std::lock_guard<std::mutex> lock(noticeMutex);
    noticesIssued.clear();
    noticesHeld.clear();
    holdNotices = true;
}

void ReleasePlatformNotices() {
    std::vector<std::string> held;
    {
        std::lock_guard<std::mutex> lock(noticeMutex);
        holdNotices = false;
        held.swap(noticesHeld);
    }
    for (const std::string& notice : held) DeliverNotice(notice);
}
