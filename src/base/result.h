// Result codes of the device and of the framework's hooks: zero or positive is success, negative a
// failure. A hook passes the first failure it meets on to the framework.
#pragma once

#include <cstdint>

using HResult = int32_t;
constexpr HResult S_OK = 0;
constexpr HResult E_FAIL = static_cast<HResult>(0x80004005u);
inline bool Failed(HResult result) {
    return result < 0;
}
