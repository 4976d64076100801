// Any bytes as an input script: parsing must end calmly, and what it accepts must be events in frame
// order within the script limits, each turning into messages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "headless/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<Script> script = ParseScript(text, error);
    if (!script) {
        if (error.rfind("script:", 0) != 0) std::abort();
        return 0;
    }
    if (script->events.size() > ScriptMaxEvents || script->endFrame > ScriptMaxFrame) std::abort();
    int64_t previous = 0;
    std::vector<Message> messages;
    for (const ScriptEvent& event : script->events) {
        if (event.frame < previous || event.frame > script->endFrame) std::abort();
        previous = event.frame;
        messages.clear();
        ScriptEventMessages(event, Point{1, 2}, Point{3, 4}, messages);
        if (messages.empty()) std::abort();
    }
    return 0;
}
