#include "TestDevice.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "StandinDevice.h"
#include "tests/common/TestTree.h"

namespace {

std::string hostForm(std::string relative) {
    for (char& c : relative)
        if (c == '/') c = '\\';
    return relative;
}
}  // namespace

std::string tempPath(const std::string& name) {
    static unsigned counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "tw" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter) +
           "_" + name;
}

TestDevice::TestDevice(const std::string& ini) : dir_(tempPath("device")) {
    CreateDirectoryA(dir_.c_str(), nullptr);
    write("device.ini", ini);
}

TestDevice::~TestDevice() {
    StandinDeviceUnload();
    removeTree(dir_);
}

std::string TestDevice::path(const std::string& relative) const { return dir_ + "\\" + hostForm(relative); }

void TestDevice::mkdir(const std::string& relative) const {
    std::string full = dir_;
    std::string rel = hostForm(relative);
    size_t pos = 0;
    while (pos <= rel.size()) {
        size_t next = rel.find('\\', pos);
        if (next == std::string::npos) next = rel.size();
        full += "\\" + rel.substr(pos, next - pos);
        CreateDirectoryA(full.c_str(), nullptr);
        pos = next + 1;
    }
}

void TestDevice::write(const std::string& relative, const std::string& contents) const {
    std::string rel = hostForm(relative);
    size_t slash = rel.rfind('\\');
    if (slash != std::string::npos) mkdir(rel.substr(0, slash));
    writeFile(path(relative), contents);
}

int TestDevice::load() const { return StandinDeviceLoad(dir_.c_str()); }

std::string readFile(const std::string& hostPath) {
    std::string out;
    FILE* f = std::fopen(hostPath.c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

bool fileExists(const std::string& hostPath) { return GetFileAttributesA(hostPath.c_str()) != INVALID_FILE_ATTRIBUTES; }

void writeFile(const std::string& hostPath, const std::string& contents) {
    FILE* f = std::fopen(hostPath.c_str(), "wb");
    if (!f) return;
    std::fwrite(contents.data(), 1, contents.size(), f);
    std::fclose(f);
}

namespace {
const int64_t kFileTimeTo1970 = 11644473600LL;
}

int64_t hostMtime(const std::string& hostPath) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(hostPath.c_str(), GetFileExInfoStandard, &data)) return -1;
    uint64_t t = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return static_cast<int64_t>(t / 10000000ULL) - kFileTimeTo1970;
}

void setHostMtime(const std::string& hostPath, int64_t unixSeconds) {
    HANDLE h = CreateFileA(hostPath.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    uint64_t t = static_cast<uint64_t>(unixSeconds + kFileTimeTo1970) * 10000000ULL;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
}

std::string traceLines() {
    std::string out;
    for (size_t i = 0; i < StandinTraceCount(); ++i) {
        out += StandinTraceLine(i);
        out += '\n';
    }
    return out;
}
