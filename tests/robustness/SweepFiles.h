// Host-side helpers of the robustness suite: whole folder trees as name -> content maps,
// copies that keep modification times, and running hotsync.exe as a child process that can
// be killed from outside. Paths are in the ANSI code page and of any length (folders are
// made and removed by the shared test helpers).
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/common/TestTree.h"

// A folder tree: files by path relative to its root ("\"-separated), and its folders.
struct Tree {
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
};

// Every file and folder below root; a missing root gives an empty tree. A name outside
// the ANSI code page reads with "?" for what the code page lacks, as the ANSI calls list it.
Tree scanTree(const std::string& root);
bool isFolder(const std::string& path);
void writeHostFile(const std::string& path, const std::string& contents);
std::string readHostFile(const std::string& path);
// Copies the tree at from into to, file times kept (to is created).
void copyTree(const std::string& from, const std::string& to);
std::string freshWorkFolder(const std::string& label);  // below the temporary folder

// A HotSync through hotsync.exe. killAfterTraceLines > 0: the process is killed from
// outside as soon as its call trace holds that many lines (it may get a few calls further
// before the kill lands).
struct HotSyncRun {
    int exitCode = -1;
    bool killed = false;
    size_t traceLines = 0;
};
HotSyncRun runHotSync(const std::vector<std::string>& args, const std::string& traceFile,
                      size_t killAfterTraceLines = 0);

// Counts lines of a text file.
size_t countLines(const std::string& path);
std::vector<std::string> readLines(const std::string& path);
