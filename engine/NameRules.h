// Rules about names that need no operating system: the first free "_2" name and exception
// matching. Case, characters, separators and a name's length are names/'s.
#pragma once
#include <string>
#include <vector>

#include "names/AnsiCodePage.h"  // the name rules in the ANSI code page

// The first of name (only when tryName), then name with "_2", "_3", ... (before its
// extension when beforeExtension, else at its end) that taken() does not refuse. Empty when
// every candidate up to "_" + (limit - 1) is taken.
template <typename Taken>
std::string firstFreeName(const std::string& name, bool tryName, bool beforeExtension, Taken taken,
                          unsigned long limit = ~0ul) {
    if (tryName && !taken(name)) return name;
    for (unsigned long n = 2; n < limit; ++n) {
        const std::string suffix = "_" + std::to_string(n);
        std::string candidate = beforeExtension ? withSuffixBeforeExtension(name, suffix) : name + suffix;
        if (!taken(candidate)) return candidate;
    }
    return std::string();
}

// Index of the first exception name (already upper case) that is a prefix of the
// upper-cased entry name, or -1.
int matchException(const std::string& upperName, const std::vector<std::string>& exceptionNames);

// Both names end in "/" or neither does.
bool sameKindOfName(const std::string& a, const std::string& b);
