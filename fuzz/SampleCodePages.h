// Code page descriptions for the OS-free tests and fuzz targets, which have no system to
// ask: a Shift-JIS-like one (the lead bytes of 932, its full-width A to Z folding to a to z),
// so the rules meet trail bytes that look like "A" (0x83 0x41) or "\" (0x95 0x5C).
#pragma once
#include "names/CodePage.h"

inline const names::CodePage& sampleTwoByteCodePage() {
    static const names::CodePage cp = [] {
        names::CodePage t = names::asciiOnly();
        t.number = 932;
        for (int b = 0x81; b <= 0x9F; ++b) t.lead[b] = true;
        for (int b = 0xE0; b <= 0xFC; ++b) t.lead[b] = true;
        t.pairLower.resize(0x10000);
        for (uint32_t c = 0; c < t.pairLower.size(); ++c) t.pairLower[c] = static_cast<uint16_t>(c);
        for (uint32_t c = 0x8260; c <= 0x8279; ++c) t.pairLower[c] = static_cast<uint16_t>(c + 0x21);
        return t;
    }();
    return cp;
}
