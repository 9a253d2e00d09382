#pragma once

// Status codes of the automation layer, with the values Windows gives them, so that a later
// Windows build can pass the real codes through unchanged.

#include <cstdint>

namespace tavolen::com {

using HResult = std::int32_t;

inline constexpr HResult hr_ok = 0;
inline constexpr HResult hr_false = 1;  // success, but nothing new (COM already initialised)
inline constexpr HResult hr_fail = static_cast<HResult>(0x80004005);
inline constexpr HResult hr_invalid_arg = static_cast<HResult>(0x80070057);
inline constexpr HResult hr_out_of_memory = static_cast<HResult>(0x8007000E);
inline constexpr HResult hr_unexpected = static_cast<HResult>(0x8000FFFF);
inline constexpr HResult hr_not_initialized = static_cast<HResult>(0x800401F0);
inline constexpr HResult hr_class_not_registered = static_cast<HResult>(0x80040154);
inline constexpr HResult hr_invalid_class_string = static_cast<HResult>(0x800401F3);
inline constexpr HResult hr_member_not_found = static_cast<HResult>(0x80020003);
inline constexpr HResult hr_unknown_name = static_cast<HResult>(0x80020006);
inline constexpr HResult hr_type_mismatch = static_cast<HResult>(0x80020005);
inline constexpr HResult hr_overflow = static_cast<HResult>(0x8002000A);
inline constexpr HResult hr_bad_index = static_cast<HResult>(0x8002000B);
inline constexpr HResult hr_bad_param_count = static_cast<HResult>(0x8002000E);
inline constexpr HResult hr_param_not_optional = static_cast<HResult>(0x8002000F);
inline constexpr HResult hr_exception = static_cast<HResult>(0x80020009);  // raised by the object

constexpr bool succeeded(HResult hr) {
    return hr >= 0;
}
constexpr bool failed(HResult hr) {
    return hr < 0;
}

}  // namespace tavolen::com
