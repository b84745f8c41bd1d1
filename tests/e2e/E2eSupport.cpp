#include "E2eSupport.h"
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <windows.h>
#include "tests/common/ChildProcess.h"
#include "tests/common/TestTree.h"

namespace {


void listInto(const std::string& base, const std::string& relative, std::vector<std::string>& out) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((base + relative + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(relative + name + "\\");
            listInto(base, relative + name + "\\", out);
        } else {
            out.push_back(relative + name);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

void setTime(HANDLE file, int64_t time);
void setTime(const std::string& path, int64_t time) {
    setTime(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr), time);
}
void setTime(const std::wstring& path, int64_t time) {
    setTime(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr), time);
}
void setTime(HANDLE file, int64_t time) {
    if (file == INVALID_HANDLE_VALUE) return;
    ULONGLONG ticks = static_cast<ULONGLONG>(time + 11644473600LL) * 10000000ULL;
    FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SetFileTime(file, nullptr, &ft, &ft);
    CloseHandle(file);
}
}  // namespace

bool HotSyncRun::has(const std::string& text) const { return count(text) > 0; }

size_t HotSyncRun::count(const std::string& text) const {
    return static_cast<size_t>(std::count_if(log.begin(), log.end(), [&](const LogLine& l) { return l.text == text; }));
}

std::vector<std::string> HotSyncRun::changes() const {
    std::vector<std::string> out;
    for (const LogLine& l : log)
        if (l.text.compare(0, 2, "  ") == 0) out.push_back(l.text);
    return out;
}

std::vector<std::string> HotSyncRun::failures() const {
    std::vector<std::string> out;
    for (const LogLine& l : log)
        if (l.text.compare(0, 9, "Could not") == 0 || l.text.compare(0, 5, "Error") == 0) out.push_back(l.text);
    return out;
}

std::string HotSyncRun::dump() const {
    std::string s = "exit " + std::to_string(exitCode) + "\n";
    for (const LogLine& l : log) s += std::to_string(l.activity) + "\t" + l.text + "\n";
    return s;
}

Scenario::Scenario(const std::string& name) {
    root_ = binFolder() + "\\e2e\\" + name;
    removeTree(root_);
    makeFolders(root_ + "\\conduit");
    makeFolders(device());
    pc_ = root_ + "\\User\\Tarnwick";
    makeFolders(root_ + "\\User");
    CopyFileA((binFolder() + "\\Tarnwick.dll").c_str(), (root_ + "\\conduit\\Tarnwick.dll").c_str(), FALSE);
}

void Scenario::withoutVfsLibrary() {
    host_ = root_ + "\\host";
    makeFolders(host_);
    for (const char* file : {"hotsync.exe", "SYNC20.dll", "HSLOG20.dll", "CONDMGR.dll", "UserData.dll"})
        CopyFileA((binFolder() + "\\" + file).c_str(), (host_ + "\\" + file).c_str(), FALSE);
}

void Scenario::deviceIni(const std::string& text) const { WriteText(device() + "\\device.ini", text); }

void Scenario::cardFile(const std::string& folder, const std::string& name, const std::string& content,
                        int64_t time) const {
    WriteText(device() + "\\" + folder + "\\" + name, content, time);
}

HotSyncRun Scenario::sync(const std::string& user, int type, const std::string& extra) const {
    HotSyncRun run;
    std::string logFile = root_ + "\\hotsync.log";
    DeleteFileA(logFile.c_str());
    DeleteFileA((root_ + "\\trace.txt").c_str());  // the host appends to it
    std::string host = host_.empty() ? binFolder() : host_;
    std::string command = "\"" + host + "\\hotsync.exe\" sync --device \"" + device() + "\" --user \"" + user +
                          "\" --pc \"" + pc_ + "\" --type " + std::to_string(type) + " --conduit \"" + root_ +
                          "\\conduit\\Tarnwick.dll\" --log \"" + logFile + "\" --trace \"" + root_ + "\\trace.txt\" " +
                          extra;
    ChildOptions options;
    options.folder = host;
    options.outputFile = root_ + "\\hotsync.out";
    char display[256] = {};
    bool hadDisplay = GetEnvironmentVariableA("DISPLAY", display, sizeof display) > 0;
    if (withoutDisplay_) SetEnvironmentVariableA("DISPLAY", nullptr);
    ChildProcess child(command, options);
    if (withoutDisplay_ && hadDisplay) SetEnvironmentVariableA("DISPLAY", display);
    if (child.started()) {
        child.finish(180000);
        run.exitCode = static_cast<int>(child.exitCode());
    }
    std::ifstream log(logFile);
    std::string text;
    while (std::getline(log, text)) {
        size_t tab = text.find('\t');
        if (tab == std::string::npos) continue;
        run.log.push_back({std::atoi(text.substr(0, tab).c_str()), text.substr(tab + 1)});
    }
    return run;
}

std::string Scenario::trace() const {
    std::string text;
    ReadText(root_ + "\\trace.txt", text);
    return text;
}

std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::string> out;
    listInto(folder + "\\", "", out);
    std::sort(out.begin(), out.end());
    return out;
}

bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

void WriteText(const std::string& path, const std::string& text, int64_t time) {
    makeFolders(path.substr(0, path.rfind('\\')));
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    if (time) setTime(path, time);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

namespace {
std::wstring widePath(const std::string& folder, const std::wstring& name) {
    std::wstring out(folder.size(), L'\0');
    out.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_ACP, 0, folder.data(), static_cast<int>(folder.size()), &out[0], static_cast<int>(out.size()))));
    return out + L"\\" + name;
}
}  // namespace

void WriteWide(const std::string& folder, const std::wstring& name, const std::string& text) {
    makeFolders(folder);
    HANDLE file = CreateFileW(widePath(folder, name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD done = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    CloseHandle(file);
}

bool ExistsWide(const std::string& folder, const std::wstring& name) {
    return GetFileAttributesW(widePath(folder, name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {
std::wstring longPath(const std::string& folder, const std::wstring& name) { return L"\\\\?\\" + widePath(folder, name); }

void listLong(const std::wstring& base, const std::wstring& relative, std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((base + relative + L"*").c_str(), &data);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data)) {
        const std::wstring name = data.cFileName, folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"\\" : L"";
        if (name == L"." || name == L"..") continue;
        out.push_back(relative + name + folder);
        if (!folder.empty()) listLong(base, relative + name + folder, out);
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
}
}  // namespace

void WriteLong(const std::string& folder, const std::wstring& name, const std::string& text, int64_t time) {
    makeFolders(folder);
    for (size_t at = name.find(L'\\'); at != std::wstring::npos; at = name.find(L'\\', at + 1))
        CreateDirectoryW(longPath(folder, name.substr(0, at)).c_str(), nullptr);
    std::ofstream(longPath(folder, name).c_str(), std::ios::binary | std::ios::trunc) << text;
    if (time) setTime(longPath(folder, name), time);
}

bool ReadLong(const std::string& folder, const std::wstring& name, std::string& text) {
    std::ifstream in(longPath(folder, name).c_str(), std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return static_cast<bool>(in);
}

bool RemoveLong(const std::string& folder, const std::wstring& name) { return DeleteFileW(longPath(folder, name).c_str()) != 0; }

std::vector<std::wstring> LongFilesBelow(const std::string& folder) {
    std::vector<std::wstring> out;
    listLong(longPath(folder, L""), L"", out);
    std::sort(out.begin(), out.end());
    return out;
}

std::string IniValue(const std::string& file, const std::string& section, const std::string& key) {
    char buffer[1024] = {};
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "<absent>", buffer, sizeof buffer, file.c_str());
    return buffer;
}

void SetIniValue(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value) {
    WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str());
}

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }
