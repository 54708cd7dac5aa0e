#include "core/TextLookup.h"

#include <mutex>

namespace {

std::mutex lookupLock;
TextLookupFn currentLookup;

}  // namespace

void SetTextLookup(TextLookupFn lookup)
{
    std::lock_guard<std::mutex> guard(lookupLock);
    currentLookup = std::move(lookup);
}

std::string LookupText(const std::string& key)
{
    TextLookupFn lookup;
    {
        std::lock_guard<std::mutex> guard(lookupLock);
        lookup = currentLookup;
    }
    return lookup ? lookup(key) : std::string(kMissingText);
}
