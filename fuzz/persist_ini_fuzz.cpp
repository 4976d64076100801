// Any bytes as an INI file: the indexed and the scanning reader must agree, and a write must make its
// value readable without changing what any other section and key read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "persist/ini.h"

namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

// Names worth asking for: the ones the text itself holds, and a few fixed ones.
std::vector<std::string> NamesFrom(std::string_view text) {
    std::vector<std::string> names = {"", "S", "OPTIONS", "Name"};
    size_t pos = 0;
    while (names.size() < 24 && pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        std::string_view line =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        size_t open = line.find('['), close = line.find(']');
        if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
            names.emplace_back(line.substr(open + 1, close - open - 1));
        }
        size_t equals = line.find('=');
        if (equals != std::string_view::npos) names.emplace_back(line.substr(0, equals));
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    for (std::string& name : names) {
        while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.erase(0, 1);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    }
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> names = NamesFrom(text);
    IniDocument document(text);
    for (const std::string& section : names) {
        for (const std::string& key : names) {
            if (document.Find(section, key) != IniScan(text, section, key)) std::abort();
        }
    }

    const std::string& section = names[size % names.size()];
    const std::string& key = names[(size / 7) % names.size()];
    const std::string value = "v a l";
    if (!IniCanWrite(section, key, value)) return 0;
    const IniDocument written(IniSetValue(text, section, key, value));
    if (written.Find(section, key) != std::optional<std::string_view>(value)) std::abort();
    for (const std::string& s : names) {
        for (const std::string& k : names) {
            if (SameNoCase(s, section) && SameNoCase(k, key)) continue;
            if (written.Find(s, k) != document.Find(s, k)) std::abort();
        }
    }
    return 0;
}
