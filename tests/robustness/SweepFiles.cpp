#include "tests/robustness/SweepFiles.h"

#include <windows.h>

#include "tests/common/ChildProcess.h"

#include <cstdio>
#include <sstream>

namespace {

void scanInto(const std::string& root, const std::string& rel, Tree& tree) {
    const std::string folder = rel.empty() ? root : root + "\\" + rel;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(longHostPath(folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> subfolders;
    do {
        const std::string name = ansiHostName(data.cFileName);
        if (name == "." || name == "..") continue;
        const std::string path = rel.empty() ? name : rel + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree.folders.insert(path);
            subfolders.push_back(path);
        } else {
            tree.files[path] = readHostFile(root + "\\" + path);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    for (const std::string& sub : subfolders) scanInto(root, sub, tree);
}

std::string quoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    // Our arguments hold no quotes; a trailing backslash must not escape the closing one.
    std::string quoted = "\"" + arg;
    if (!arg.empty() && arg.back() == '\\') quoted += '\\';
    return quoted + "\"";
}

}  // namespace

Tree scanTree(const std::string& root) {
    Tree tree;
    scanInto(root, "", tree);
    return tree;
}

bool isFolder(const std::string& path) {
    const DWORD a = GetFileAttributesW(longHostPath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void writeHostFile(const std::string& path, const std::string& contents) {
    const std::vector<size_t> separators = separatorsOf(path);
    if (!separators.empty()) makeFolders(path.substr(0, separators.back()));
    HANDLE h = CreateFileW(longHostPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    CloseHandle(h);
}

std::string readHostFile(const std::string& path) {
    // Shared: a HotSync may still hold the file.
    HANDLE h = CreateFileW(longHostPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    std::string contents;
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) contents.append(buffer, got);
    CloseHandle(h);
    return contents;
}

void copyTree(const std::string& from, const std::string& to) {
    const Tree tree = scanTree(from);
    makeFolders(to);
    for (const std::string& folder : tree.folders) makeFolders(to + "\\" + folder);
    for (const auto& file : tree.files)
        CopyFileW(longHostPath(from + "\\" + file.first).c_str(), longHostPath(to + "\\" + file.first).c_str(), FALSE);
}

std::string freshWorkFolder(const std::string& label) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "tw_robust_" + std::to_string(GetCurrentProcessId()) + "_" + label;
    removeTree(dir);
    makeFolders(dir);
    return dir;
}

size_t countLines(const std::string& path) {
    // Shared read: hotsync.exe is still appending to the file.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    size_t lines = 0;
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        for (DWORD i = 0; i < got; ++i) lines += buffer[i] == '\n';
    CloseHandle(h);
    return lines;
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(readHostFile(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

HotSyncRun runHotSync(const std::vector<std::string>& args, const std::string& traceFile, size_t killAfterTraceLines) {
    HotSyncRun run;
    std::string commandLine = "hotsync.exe";
    for (const std::string& a : args) commandLine += " " + quoteArgument(a);
    // Nothing is inherited: the C runtime opens files inheritably, and a child holding a
    // file that another case's thread had open at that moment would make that case's
    // HotSync fail for a reason of ours. Detached, the child's echo of the log goes nowhere
    // (the log itself goes to --log).
    ChildOptions options;
    options.application = "hotsync.exe";
    options.detached = true;
    ChildProcess child(commandLine, options);
    if (!child.started()) return run;
    if (killAfterTraceLines > 0) {
        while (!child.wait(1)) {
            if (countLines(traceFile) >= killAfterTraceLines) {
                child.kill(99);
                break;
            }
        }
    }
    child.finish(120000);
    run.killed = child.endedByTest();
    run.exitCode = static_cast<int>(child.exitCode());
    run.traceLines = countLines(traceFile);
    return run;
}
