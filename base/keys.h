#pragma once
// The characters that editing keys produce, as the value fields and the ENR grid receive them.

inline constexpr char16_t kKeyBackspace = 8;
inline constexpr char16_t kKeyEnter = 13;
inline constexpr char16_t kKeyEscape = 27;
