// What any Win32 program pays under this machine's Windows layer for the two things a
// HotSync must do at the least: walk a tree (names, times, sizes) and copy one (create,
// write and close every file, no staging, no checks). The bench times it beside the
// conduit so that its figures can be read against the platform's own floor. The safe copy
// writes each file under a temporary name beside its place and renames it there: the least
// a copy pays that never leaves a torn file under the real name.
//
//   floor walk DIR            prints the number of entries found
//   floor copy FROM TO        copies the tree FROM into TO (TO is created)
//   floor safecopy FROM TO    the same, each file written under a temporary name first
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

int walk(const std::string& root) {
    unsigned long entries = 0;
    std::deque<std::string> folders{root};
    while (!folders.empty()) {
        const std::string folder = folders.front();
        folders.pop_front();
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return 1;
        do {
            if (data.cFileName[0] == '.') continue;
            ++entries;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back(folder + "\\" + data.cFileName);
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    std::printf("%lu entries\n", entries);
    return 0;
}

bool copyFile(const std::string& from, const std::string& to, std::vector<char>& buffer) {
    HANDLE in = CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    HANDLE out = CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = out != INVALID_HANDLE_VALUE;
    while (ok) {
        DWORD got = 0, put = 0;
        if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) ok = false;
        if (!ok || got == 0) break;
        ok = WriteFile(out, buffer.data(), got, &put, nullptr) && put == got;
    }
    CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    return ok;
}

// Copies one file under a temporary name beside the target, then renames it into place.
bool safeCopyFile(const std::string& from, const std::string& to, std::vector<char>& buffer) {
    const std::string staged = to + ".floor-tmp";
    if (!copyFile(from, staged, buffer)) return false;
    return MoveFileExA(staged.c_str(), to.c_str(), 0) != FALSE;
}

int copy(const std::string& fromRoot, const std::string& toRoot, bool safe) {
    std::vector<char> buffer(1 << 16);
    unsigned long files = 0;
    std::deque<std::string> folders{""};
    if (!CreateDirectoryA(toRoot.c_str(), nullptr)) return 1;
    while (!folders.empty()) {
        const std::string rel = folders.front();
        folders.pop_front();
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((fromRoot + rel + "\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return 1;
        do {
            if (data.cFileName[0] == '.') continue;
            const std::string name = rel + "\\" + data.cFileName;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!CreateDirectoryA((toRoot + name).c_str(), nullptr)) return 1;
                folders.push_back(name);
            } else {
                if (!(safe ? safeCopyFile : copyFile)(fromRoot + name, toRoot + name, buffer)) return 1;
                ++files;
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    std::printf("%lu files\n", files);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "walk") == 0) return walk(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "copy") == 0) return copy(argv[2], argv[3], false);
    if (argc == 4 && std::strcmp(argv[1], "safecopy") == 0) return copy(argv[2], argv[3], true);
    std::fprintf(stderr, "usage: floor walk DIR | floor copy FROM TO | floor safecopy FROM TO\n");
    return 2;
}
