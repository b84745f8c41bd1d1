// Helpers shared by the conduit suites: a private settings file and the progress window
// as a test finds it on the screen.
#pragma once
#include <string>
#include <windows.h>
#include "settings/Settings.h"

// A settings file of the test's own beside the test program, removed afterwards.
class ScratchSettings {
public:
    explicit ScratchSettings(const std::string& name) : path_(fullPath(name)), settings_(path_) {
        DeleteFileA(path_.c_str());
    }
    ~ScratchSettings() { DeleteFileA(path_.c_str()); }
    Settings& settings() { return settings_; }
    std::string read(const std::string& section, const std::string& key) const {
        char buffer[256] = {};
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "<absent>", buffer, sizeof buffer, path_.c_str());
        return buffer;
    }
    void write(const std::string& section, const std::string& key, const std::string& value) const {
        WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path_.c_str());
    }

private:
    static std::string fullPath(const std::string& name) {
        char buffer[MAX_PATH] = {};
        GetFullPathNameA(name.c_str(), MAX_PATH, buffer, nullptr);
        return buffer;
    }
    std::string path_;
    Settings settings_;
};

inline BOOL CALLBACK MatchProgressWindow(HWND window, LPARAM found) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (pid == GetCurrentProcessId() && std::string(caption) == "Tarnwick" && GetDlgItem(window, 9000)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The top-level window of this process captioned "Tarnwick", or null.
inline HWND FindProgressWindow() {
    HWND found = nullptr;
    EnumWindows(&MatchProgressWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

inline HWND WaitForProgressWindow(DWORD timeoutMs = 5000) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (HWND window = FindProgressWindow()) return window;
        Sleep(20);
    }
    return nullptr;
}

inline std::string ControlText(HWND dialog, int id) {
    char buffer[256] = {};
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}

// Holds the thread that owns a window inside its next message retrieval until released, as
// a user holding the title bar holds it in the move loop: it answers no message meanwhile.
class HeldMessageLoop {
public:
    explicit HeldMessageLoop(HWND window) {
        ResetEvent(releaseEvent());
        hook_ = SetWindowsHookExA(WH_GETMESSAGE, &hold, nullptr, GetWindowThreadProcessId(window, nullptr));
        PostMessageA(window, WM_NULL, 0, 0);
    }
    ~HeldMessageLoop() {
        release();
        if (hook_) UnhookWindowsHookEx(hook_);
    }
    HeldMessageLoop(const HeldMessageLoop&) = delete;
    HeldMessageLoop& operator=(const HeldMessageLoop&) = delete;
    bool hooked() const { return hook_ != nullptr; }
    void release() { SetEvent(releaseEvent()); }

private:
    // One event for the process, never closed: a hook still running after the holder went
    // finds it set.
    static HANDLE releaseEvent() {
        static HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        return event;
    }
    static LRESULT CALLBACK hold(int code, WPARAM wParam, LPARAM lParam) {
        WaitForSingleObject(releaseEvent(), INFINITE);
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_ = nullptr;
};
