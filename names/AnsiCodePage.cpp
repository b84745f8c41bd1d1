#include "names/AnsiCodePage.h"

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>

namespace names {
namespace {

// The small form of a character given as its bytes in the code page, as bytes again;
// empty when it has none, or none of the same length (a fold must keep each character's
// length, so that folded names still read character by character).
std::string smallForm(UINT number, const char* bytes, int length) {
    wchar_t wide[2] = {};
    if (MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, bytes, length, wide, 2) != 1) return std::string();
    wchar_t small = wide[0];
    if (!LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, wide, 1, &small, 1) || small == wide[0]) return std::string();
    char back[4] = {};
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(number, WC_NO_BEST_FIT_CHARS, &small, 1, back, sizeof back, nullptr, &usedDefault);
    if (n != length || usedDefault) return std::string();
    return std::string(back, static_cast<size_t>(n));
}

CodePage describe(unsigned number) {
    CodePage cp = asciiOnly();
    cp.number = number;
    CPINFO info;
    if (!GetCPInfo(number, &info)) return cp;
    bool twoByte = false;
    if (info.MaxCharSize == 2) {
        for (int i = 0; i + 1 < MAX_LEADBYTES && (info.LeadByte[i] != 0 || info.LeadByte[i + 1] != 0); i += 2)
            for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) cp.lead[b] = twoByte = true;
    }
    // UTF-8 and other code pages of longer characters: no byte of a longer character is
    // below 0x80, so A to Z alone fold there.
    if (info.MaxCharSize > 2) return cp;
    for (int c = 0x80; c < 0x100; ++c) {
        if (cp.lead[c]) continue;
        const char byte = static_cast<char>(c);
        const std::string small = smallForm(number, &byte, 1);
        if (small.size() == 1 && !cp.lead[static_cast<unsigned char>(small[0])]) cp.lower[c] = static_cast<unsigned char>(small[0]);
    }
    if (!twoByte) return cp;
    std::vector<uint16_t> pairs(0x10000);
    bool any = false;
    for (uint32_t code = 0; code < pairs.size(); ++code) {
        pairs[code] = static_cast<uint16_t>(code);
        const char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        if (!cp.lead[code >> 8] || (code & 0xFF) < 0x40) continue;
        const std::string small = smallForm(number, bytes, 2);
        if (small.size() != 2 || !cp.lead[static_cast<unsigned char>(small[0])] || static_cast<unsigned char>(small[1]) < 0x40)
            continue;
        pairs[code] = static_cast<uint16_t>(static_cast<unsigned char>(small[0]) << 8 | static_cast<unsigned char>(small[1]));
        any = true;
    }
    if (any) cp.pairLower.swap(pairs);
    return cp;
}

}  // namespace

const CodePage& codePage(unsigned number) {
    static std::mutex lock;
    static std::map<unsigned, std::unique_ptr<CodePage>> known;
    const std::lock_guard<std::mutex> hold(lock);
    std::unique_ptr<CodePage>& entry = known[number];
    if (!entry) entry = std::make_unique<CodePage>(describe(number));
    return *entry;
}

const CodePage& ansiCodePage() {
    static const CodePage& ansi = codePage(GetACP());
    return ansi;
}

}  // namespace names

std::string upperAscii(std::string text) { return names::upperAscii(names::ansiCodePage(), std::move(text)); }

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return names::sameIgnoringCase(names::ansiCodePage(), a, b);
}

std::string withSuffixBeforeExtension(const std::string& path, const std::string& suffix) {
    return names::withSuffixBeforeExtension(names::ansiCodePage(), path, suffix);
}

std::string withoutTrailingBackslashes(std::string path) {
    return names::withoutTrailingBackslashes(names::ansiCodePage(), std::move(path));
}
