#pragma once
// Operator texts come from the dictionary by key. The core runtime must not
// depend on the windows, so the dictionary registers its lookup here at
// start-up; until then every key reads as the missing-text marker.

#include <functional>
#include <string>

inline constexpr const char* kMissingText = "*NA*";

using TextLookupFn = std::function<std::string(const std::string& key)>;

// Installs the lookup (nullptr removes it). Called once at start-up.
void SetTextLookup(TextLookupFn lookup);
// The text of the key in the current language, or "*NA*".
std::string LookupText(const std::string& key);
