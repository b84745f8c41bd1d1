// The one way the test suites start a program of their own (hotsync.exe, a stand-in setup or
// removal program, a host tool) and wait for it.
//
//   ChildProcess child("hotsync.exe sync ...", options);   // started at once
//   if (!child.started()) ...;
//   child.finish(30000);          // waits up to 30 s, ends it (exit code 98) if still running
//   child.exitCode(); child.output(); child.endedByTest();
//
// or in one call: ChildResult r = RunChild("prog args", 30000, options);
//
// The command line is handed to the system as it is (quote what needs quotes). Unless
// options say otherwise the child runs in the test's folder with the test's standard handles
// and inherits nothing.
#pragma once
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

struct ChildOptions {
    // The program file; empty: the command line's first word names it (searched for in the
    // test's folder first, then the usual places).
    std::string application;
    // The child's working folder; empty: the test's own.
    std::string folder;
    // Standard output and standard error go to this file, created anew. Takes precedence
    // over captureOutput.
    std::string outputFile;
    // Standard output is collected through a pipe into output(); standard error stays the
    // test's.
    bool captureOutput = false;
    // Started without a console (DETACHED_PROCESS): what it writes goes nowhere.
    bool detached = false;
    // The command line and folder are UTF-8 (names the 8-bit code page cannot spell), not
    // the code page's own bytes.
    bool utf8 = false;
};

class ChildProcess {
public:
    // The exit code a child gets when finish() ends it.
    static constexpr UINT kEndedByTest = 98;

    ChildProcess() = default;
    explicit ChildProcess(const std::string& commandLine, const ChildOptions& options = ChildOptions()) {
        start(commandLine, options);
    }
    // A child whose output is being collected is ended if still running; any other is left
    // to run.
    ~ChildProcess() {
        if (reader_.joinable()) {
            if (running()) kill(kEndedByTest);
            reader_.join();
        }
        close();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return process_ != nullptr; }
    HANDLE process() const { return process_; }
    DWORD id() const { return id_; }
    bool running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

    // Waits up to ms for the child to end; answers whether it has ended. With captured
    // output, everything it wrote has been read once this answers true.
    bool wait(DWORD ms) {
        if (!process_) return false;
        if (WaitForSingleObject(process_, ms) != WAIT_OBJECT_0) return false;
        if (reader_.joinable()) reader_.join();
        return true;
    }
    // Waits up to ms, then ends a child still running (endedByTest() then answers true).
    // Answers whether the child ended by itself.
    bool finish(DWORD ms) {
        if (!process_) return false;
        if (wait(ms)) return true;
        kill(kEndedByTest);
        return false;
    }
    // Ends the child at once with this exit code and waits (a while) for it to be gone.
    void kill(UINT code) {
        if (!process_) return;
        endedByTest_ = true;
        TerminateProcess(process_, code);
        wait(10000);
    }

    // Whether the test ended the child (finish()'s time-out, or kill()).
    bool endedByTest() const { return endedByTest_; }
    // The exit code, or STILL_ACTIVE (259) while it runs; ~0 when it never started.
    DWORD exitCode() const {
        DWORD code = ~0u;
        if (process_) GetExitCodeProcess(process_, &code);
        return code;
    }
    const std::string& output() const { return output_; }

private:
    void start(const std::string& commandLine, const ChildOptions& options) {
        // Process creation may write into the command line it is given.
        std::vector<char> writable(commandLine.begin(), commandLine.end());
        writable.push_back('\0');
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE childEnd = INVALID_HANDLE_VALUE;
        HANDLE readEnd = nullptr;
        if (!options.outputFile.empty()) {
            childEnd = CreateFileA(options.outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        } else if (options.captureOutput) {
            if (CreatePipe(&readEnd, &childEnd, &inherit, 0)) {
                SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
            } else {
                readEnd = nullptr;
                childEnd = INVALID_HANDLE_VALUE;
            }
        }
        const bool redirected = childEnd != INVALID_HANDLE_VALUE;
        if (redirected) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = childEnd;
            startup.hStdError = options.outputFile.empty() ? GetStdHandle(STD_ERROR_HANDLE) : childEnd;
            startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        }
        PROCESS_INFORMATION info = {};
        const DWORD flags = options.detached ? DETACHED_PROCESS : 0;
        BOOL created = FALSE;
        if (options.utf8) {
            std::wstring application = wide(options.application), folder = wide(options.folder);
            std::wstring line = wide(commandLine);
            STARTUPINFOW startupW = {};
            startupW.cb = sizeof startupW;
            startupW.dwFlags = startup.dwFlags;
            startupW.hStdInput = startup.hStdInput;
            startupW.hStdOutput = startup.hStdOutput;
            startupW.hStdError = startup.hStdError;
            created = CreateProcessW(application.empty() ? nullptr : application.c_str(), &line[0], nullptr, nullptr,
                                     redirected ? TRUE : FALSE, flags, nullptr,
                                     folder.empty() ? nullptr : folder.c_str(), &startupW, &info);
        } else {
            created = CreateProcessA(options.application.empty() ? nullptr : options.application.c_str(),
                                     writable.data(), nullptr, nullptr, redirected ? TRUE : FALSE, flags, nullptr,
                                     options.folder.empty() ? nullptr : options.folder.c_str(), &startup, &info);
        }
        if (redirected) CloseHandle(childEnd);  // the child has its own now
        if (!created) {
            if (readEnd) CloseHandle(readEnd);
            return;
        }
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        id_ = info.dwProcessId;
        // Read while the child runs: a full pipe would stop it.
        if (readEnd) reader_ = std::thread([this, readEnd] {
            char buffer[4096];
            DWORD n = 0;
            while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) output_.append(buffer, n);
            CloseHandle(readEnd);
        });
    }
    static std::wstring wide(const std::string& utf8) {
        if (utf8.empty()) return std::wstring();
        const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
        std::wstring out(n > 0 ? static_cast<size_t>(n) : 1u, L'\0');
        if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], n);
        out.resize(out.size() - 1);  // the terminating zero
        return out;
    }
    void close() {
        if (process_) CloseHandle(process_);
        process_ = nullptr;
    }

    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    bool endedByTest_ = false;
    std::string output_;
    std::thread reader_;
};

// What RunChild saw.
struct ChildResult {
    bool started = false;
    bool timedOut = false;  // still running after the time-out: ended by the test
    DWORD exitCode = ~0u;
    std::string output;  // with options.captureOutput
};

// Starts commandLine and waits up to timeoutMs for its end (ending it after that).
inline ChildResult RunChild(const std::string& commandLine, DWORD timeoutMs,
                            const ChildOptions& options = ChildOptions()) {
    ChildProcess child(commandLine, options);
    ChildResult result;
    result.started = child.started();
    if (!result.started) return result;
    child.finish(timeoutMs);
    result.timedOut = child.endedByTest();
    result.exitCode = child.exitCode();
    result.output = child.output();
    return result;
}
