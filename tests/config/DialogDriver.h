// Runs a modal dialog on a thread of its own and finds it from the test's thread, so the
// test can work its controls with real window messages while the dialog's loop runs.
#pragma once
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

inline const char* const kConfigureCaption = "Tarnwick HotSync Settings";

class DialogDriver {
public:
    explicit DialogDriver(std::function<void()> body)
        : thread_([this, body] {
              threadId_ = GetCurrentThreadId();
              body();
              done_ = true;
          }) {}
    ~DialogDriver() { finish(); }

    // The dialog with the given caption on the driver's thread, or null after the timeout.
    HWND waitForDialog(const char* caption = kConfigureCaption, int timeoutMs = 10000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline && !done_) {
            if (DWORD id = threadId_) {
                Search search{caption, nullptr};
                EnumThreadWindows(id, &DialogDriver::match, reinterpret_cast<LPARAM>(&search));
                if (search.found && IsWindowVisible(search.found)) return search.found;
            }
            Sleep(20);
        }
        return nullptr;
    }

    // True once the dialog's call has returned (waits up to the timeout for it).
    bool waitDone(int timeoutMs = 10000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done_ && std::chrono::steady_clock::now() < deadline) Sleep(10);
        return done_;
    }

    bool done() const { return done_; }

    void finish() {
        if (!thread_.joinable()) return;
        if (!waitDone()) {
            // Do not leave a test hanging on a dialog nobody closes.
            if (HWND dialog = waitForDialog(kConfigureCaption, 100)) PostMessageA(dialog, WM_CLOSE, 0, 0);
            waitDone();
        }
        thread_.join();
    }

private:
    struct Search {
        const char* caption;
        HWND found;
    };
    static BOOL CALLBACK match(HWND hwnd, LPARAM data) {
        auto* search = reinterpret_cast<Search*>(data);
        char text[256] = {};
        char cls[64] = {};
        GetWindowTextA(hwnd, text, sizeof text);
        GetClassNameA(hwnd, cls, sizeof cls);
        if (lstrcmpA(cls, "#32770") == 0 && lstrcmpA(text, search->caption) == 0) {
            search->found = hwnd;
            return FALSE;
        }
        return TRUE;
    }

    std::atomic<DWORD> threadId_{0};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

inline void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
inline bool Checked(HWND dialog, int id) {
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Waits for a file to appear (a started program writing its marker).
inline bool WaitForFile(const std::string& path, int timeoutMs = 15000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(50);
    }
    return false;
}

// A fresh folder under the temporary folder, removed with its files at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* tag) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        static std::atomic<unsigned> serial{0};
        char name[MAX_PATH + 64];
        std::snprintf(name, sizeof name, "%stw_%s_%lu_%lu_%u", temp, tag, GetCurrentProcessId(), GetTickCount(),
                      serial++);
        path_ = name;
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchFolder() {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((path_ + "\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::string file = path_ + "\\" + data.cFileName;
                if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA(file.c_str());
            } while (FindNextFileA(find, &data));
            FindClose(find);
        }
        RemoveDirectoryA(path_.c_str());
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// The folder of this test program (bin/), where the helper programs are built.
inline std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    return text.substr(0, text.find_last_of('\\'));
}
