#include "CardTestSupport.h"
#include <windows.h>
#include <cstdio>
#include <ctime>
#include "HotSyncApi.h"
#include "StandinDevice.h"
#include "StandinLog.h"
#include "mainmemory/DatabaseImage.h"
#include "tests/common/FileTimes.h"
#include "tests/common/TestTree.h"

namespace {
std::string uniqueRoot() {
    static unsigned counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "twcard" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
}


void listBelow(const std::string& folder, const std::string& prefix, std::vector<std::string>& out) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            listBelow(folder + "\\" + name, prefix + name + "/", out);
        else
            out.push_back(prefix + name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
}
}  // namespace

std::string hostPath(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

Workspace::Workspace(const std::string& deviceIni) : root_(uniqueRoot()), settings(root_ + "\\Tarnwick.ini") {
    makeFolders(root_ + "\\device");
    pcRoot_ = root_ + "\\User\\Sync\\";
    makeFolders(root_ + "\\User\\Sync");
    writeFile(device("device.ini"), deviceIni);
    context.archive = true;
    context.userName = "Tester";
    context.pcFolder = pcRoot_;
    context.action = 0;
    context.progress = &progress_;
    context.settings = &settings;
    listing_ = root_ + "\\listing.txt";
}

Workspace::~Workspace() {
    StandinDeviceUnload();
    removeTree(root_);
}

std::string Workspace::device(const std::string& relative) const { return root_ + "\\device\\" + hostPath(relative); }
std::string Workspace::pc(const std::string& relative) const {
    std::string r = hostPath(relative);
    if (!r.empty() && r[0] == '\\') r.erase(0, 1);
    return pcRoot_ + r;
}
std::string Workspace::archive(const std::string& card) const { return root_ + "\\User\\Archive\\Sync\\" + card; }

int Workspace::load() {
    clearLogAndTrace();
    return StandinDeviceLoad((root_ + "\\device").c_str());
}

void Workspace::unload() {
    StandinDeviceSave();
    StandinDeviceUnload();
}

bool Workspace::fetchListing() {
    const char probe[] = "Tarnwick";
    uint8_t result[32] = {};
    SmRemoteCall call = {};
    call.creator = 0x546E776Bu;  // Tnwk
    call.type = 0x6170706Cu;     // appl
    call.request = 0;
    call.paramSize = sizeof probe;
    call.param = probe;
    call.resultBufferSize = sizeof result;
    call.resultBuffer = result;
    if (SyncCallRemoteModule(&call) != 0) return false;
    DatabaseImage image;
    bool ok = image.readFromHandheld("TarnwickData") && image.writeRecordsToFile(listing_, true);
    SmDeleteDb("TarnwickData", 0);
    return ok;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::string p = hostPath(path);
    makeFolders(p.substr(0, p.rfind('\\')));
    FILE* f = fopen(p.c_str(), "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string readFile(const std::string& path) {
    FILE* f = fopen(hostPath(path).c_str(), "rb");
    if (!f) return std::string("<missing>");
    std::string out;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    fclose(f);
    return out;
}

bool exists(const std::string& path) { return GetFileAttributesA(hostPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

void setMtime(const std::string& path, int64_t unixSeconds) { setWriteTime(hostPath(path), unixSeconds); }

int64_t mtime(const std::string& path) { return writeTime(hostPath(path)); }

void removeFile(const std::string& path) { DeleteFileA(hostPath(path).c_str()); }

std::string patterned(size_t size, unsigned seed) {
    std::string out(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<char>(x >> 24);
    }
    return out;
}

std::vector<std::string> filesBelow(const std::string& folder) {
    std::vector<std::string> out;
    listBelow(hostPath(folder), "/", out);
    return out;
}

std::vector<std::string> logLines() {
    std::vector<std::string> out;
    for (size_t i = 0; i < StandinLogCount(); ++i) out.push_back(StandinLogText(i));
    return out;
}

bool logHas(const std::string& line) {
    for (const std::string& l : logLines())
        if (l == line) return true;
    return false;
}

bool logContains(const std::string& part) {
    for (const std::string& l : logLines())
        if (l.find(part) != std::string::npos) return true;
    return false;
}

void clearLogAndTrace() {
    StandinLogClear();
    StandinTraceClear();
}

std::vector<std::string> traceOf(const std::string& call) {
    std::vector<std::string> out;
    for (size_t i = 0; i < StandinTraceCount(); ++i) {
        std::string line = StandinTraceLine(i);
        size_t tab = line.find('\t');
        if (line.compare(0, tab, call) == 0) out.push_back(tab == std::string::npos ? "" : line.substr(tab + 1));
    }
    return out;
}
