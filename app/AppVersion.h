// The program's version facts (the version resource of the Windows build).
#pragma once

inline constexpr const char* AppTitle = "Mail sortello";
inline constexpr const char* AppFileVersion = "1.0.0.3";
inline constexpr const char* AppProductVersion = "1.0.0.0";
