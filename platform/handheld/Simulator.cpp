#include "platform/handheld/Simulator.h"
#include "platform/handheld/HandheldState.h"

#include <windows.h>

#include <cstdarg>

namespace {
// What a process killed by an injected fault ends with, as the robustness suite's kills.
constexpr UINT kKilledExitCode = 99;
}  // namespace

Simulator& Simulator::instance() {
    static Simulator sim;
    return sim;
}

Simulator::~Simulator() {
    if (traceFile_) std::fclose(traceFile_);
}

int Simulator::load(const std::string& deviceDir) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    state_.reset();
    faults_.clear();
    trace_.clear();
    auto fresh = std::make_unique<HandheldState>();
    int rc = fresh->load(deviceDir);
    loadError_ = fresh->loadError();
    if (rc != 0) return rc;
    for (const auto& kv : fresh->ini().entries("Faults")) {
        if (!faults_.add(kv.second)) {
            faults_.clear();
            loadError_ = "[Faults] " + kv.first + ": not understood: " + kv.second;
            return 2;
        }
    }
    state_ = std::move(fresh);
    return 0;
}

int Simulator::save() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return state_ ? state_->save() : 1;
}

void Simulator::unload() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    state_.reset();
    faults_.clear();
    trace_.clear();
}

void Simulator::setTraceFile(const char* path) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (traceFile_) std::fclose(traceFile_);
    traceFile_ = (path && *path) ? std::fopen(path, "ab") : nullptr;
}

void Simulator::trace(const std::string& line) {
    if (keepTrace_) trace_.push_back(line);
    if (traceFile_) {
        std::fputs(line.c_str(), traceFile_);
        std::fputc('\n', traceFile_);
        std::fflush(traceFile_);
    }
}

const char* Simulator::traceLine(size_t index) const {
    return index < trace_.size() ? trace_[index].c_str() : nullptr;
}

SimCall::SimCall(const char* call, const std::string& nameArgument, std::string arguments)
    : hold_(Simulator::instance().lock()), call_(call), arguments_(std::move(arguments)) {
    hit_ = Simulator::instance().faults().check(call_, nameArgument);
    if (hit_.fires && hit_.kill) {
        Simulator::instance().trace(call_ + '\t' + arguments_ + "\tkilled");
        TerminateProcess(GetCurrentProcess(), kKilledExitCode);
    }
}

void SimCall::note(const std::string& more) {
    if (!arguments_.empty()) arguments_ += ' ';
    arguments_ += more;
}

int32_t SimCall::done(int32_t result) {
    // No line is built that nobody keeps (hotsync.exe keeps none, and writes none without
    // --trace): a real library spends nothing on it.
    if (!Simulator::instance().tracing()) return result;
    // A caller reads the system's last error right after a failed call: tracing must not
    // change it.
    DWORD lastError = GetLastError();
    std::string line = call_ + '\t' + arguments_ + '\t' + std::to_string(result);
    if (hit_.fires) line += "\tinjected";
    Simulator::instance().trace(line);
    SetLastError(lastError);
    return result;
}

std::string format(const char* fmt, ...) {
    char small[256];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string big(static_cast<size_t>(n) + 1, '\0');
    va_start(ap, fmt);
    std::vsnprintf(&big[0], big.size(), fmt, ap);
    va_end(ap);
    big.resize(static_cast<size_t>(n));
    return big;
}

std::string fourCc(uint32_t code) {
    std::string s(4, '.');
    for (int i = 0; i < 4; ++i) {
        unsigned char c = static_cast<unsigned char>(code >> (24 - 8 * i));
        if (c >= 0x20 && c < 0x7F) s[static_cast<size_t>(i)] = static_cast<char>(c);
    }
    return s;
}
