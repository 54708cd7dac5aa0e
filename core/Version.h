#pragma once
// Product name and version shown in the title bar and by --version.

inline constexpr const char* kProductName = "Tervin CallCenter";
inline constexpr const char* kProductVersion = "2.72";
