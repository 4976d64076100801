// JSON as the headless runner writes it (the --dump state and the --trace lines), on the JSON library:
// objects keep their keys in the order they are written, and numbers keep the short forms the files
// have always had.
#pragma once

#include <nlohmann/json.hpp>
#include <string_view>

using Json = nlohmann::ordered_json;

// A float as the dump writes it: six significant digits, whole numbers without a fraction, null when
// not finite.
Json DumpNumber(float value);
// A float as the trace writes it: the shortest text that reads back as the same float.
Json TraceNumber(float value);
// Text in the game's single-byte code page as a JSON string.
Json CodePageText(std::string_view text);
// The whole value on one line, with every character outside printable ASCII escaped.
std::string JsonText(const Json& value);
