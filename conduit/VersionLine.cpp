#include "conduit/VersionLine.h"
#include <cstring>
#include <windows.h>
#include "conduit/ResourceModule.h"
#include "conduit/TarnwickIds.h"

VersionNumbers VersionNumbersOf(uint32_t ms, uint32_t ls) {
    VersionNumbers v;
    v.first = static_cast<long>(ms >> 16);
    v.second = static_cast<long>(ms & 0xFFFF);
    v.third = static_cast<long>(ls & 0xFFFF);
    return v;
}

namespace {
// Finds the fixed file information inside the module's version resource. The resource is
// read in place; its fixed part starts with a known signature on a 4-byte boundary.
bool readFixedVersion(HMODULE module, uint32_t& ms, uint32_t& ls) {
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(1), reinterpret_cast<LPCSTR>(RT_VERSION));
    if (!info) return false;
    DWORD size = SizeofResource(module, info);
    HGLOBAL loaded = LoadResource(module, info);
    const unsigned char* data = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
    if (!data || size < sizeof(VS_FIXEDFILEINFO)) return false;
    for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO fixed;
        std::memcpy(&fixed, data + at, sizeof fixed);
        if (fixed.dwSignature == 0xFEEF04BD) {
            ms = fixed.dwFileVersionMS;
            ls = fixed.dwFileVersionLS;
            return true;
        }
    }
    return false;
}

// The resource's text with its three "%ld" places filled in order. The text is not handed
// to printf as a format: a translated string table with any other '%' sequence must print
// as written, not read arguments that are not there.
std::string filledLine(const std::string& text, const VersionNumbers& v) {
    const long numbers[] = {v.first, v.second, v.third};
    std::string line;
    size_t from = 0;
    for (long number : numbers) {
        const size_t at = text.find("%ld", from);
        if (at == std::string::npos) break;
        line.append(text, from, at - from).append(std::to_string(number));
        from = at + 3;
    }
    return line.append(text, from, std::string::npos);
}
}  // namespace

std::string VersionLine() {
    HMODULE module = ResourceModule();
    uint32_t ms = 0, ls = 0;
    VersionNumbers v;
    if (readFixedVersion(module, ms, ls)) v = VersionNumbersOf(ms, ls);
    char format[512] = {};
    if (LoadStringA(module, IDS_VERSION_LINE, format, sizeof format) <= 0)
        std::strcpy(format, "Tarnwick Version %ld.%ld.%ld");
    return filledLine(format, v);
}
