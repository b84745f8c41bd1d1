// The first line of every session: the conduit's version from its own version resource.
#pragma once
#include <cstdint>
#include <string>

struct VersionNumbers {
    long first = 0;
    long second = 0;
    long third = 0;
};

// The three numbers the line prints from the fixed file version words. The third is the
// low half of the least significant word, i.e. the file version's fourth component
// (2.0.2.0 prints as 2.0.0); logs from every release read that way, so it stays.
VersionNumbers VersionNumbersOf(uint32_t fileVersionMS, uint32_t fileVersionLS);

// The formatted line; an unreadable version resource prints as 0.0.0.
std::string VersionLine();
