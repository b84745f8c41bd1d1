// The one simulated handheld of the process. Every stand-in library call reaches it through
// SimCall, which serialises the calls (the conduit calls from its worker thread, tests and
// the host from theirs), applies injected failures and writes the call trace.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/handheld/FaultPlan.h"
#include "platform/handheld/IniFile.h"

class HandheldState;

class Simulator {
public:
    static Simulator& instance();

    std::recursive_mutex& lock() { return lock_; }

    int load(const std::string& deviceDir);
    int save();
    const std::string& loadError() const { return loadError_; }
    void unload();
    bool loaded() const { return state_ != nullptr; }
    HandheldState* state() { return state_.get(); }

    FaultPlan& faults() { return faults_; }

    void setTraceFile(const char* path);
    void keepTrace(bool on) { keepTrace_ = on; }
    // True when a trace line would go anywhere (kept in memory or written to a file).
    bool tracing() const { return keepTrace_ || traceFile_ != nullptr; }
    void trace(const std::string& line);
    size_t traceCount() const { return trace_.size(); }
    const char* traceLine(size_t index) const;
    void clearTrace() { trace_.clear(); }
    // Time spent inside stand-in calls since the process started, so that a benchmark can
    // show what the stand-ins cost apart from the conduit.
    void addCallTime(std::chrono::steady_clock::duration spent) {
        callNanoseconds_ += std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count();
    }
    double callSeconds() const { return callNanoseconds_.load() / 1e9; }

private:
    Simulator() = default;
    ~Simulator();
    std::recursive_mutex lock_;
    std::unique_ptr<HandheldState> state_;
    std::string loadError_;
    FaultPlan faults_;
    std::vector<std::string> trace_;
    FILE* traceFile_ = nullptr;
    bool keepTrace_ = true;
    std::atomic<long long> callNanoseconds_{0};
};

// One stand-in call from entry to result: holds the simulator's lock, checks the fault plan
// with the call's name argument and traces "call<TAB>arguments<TAB>result" when it ends.
class SimCall {
public:
    SimCall(const char* call, const std::string& nameArgument, std::string arguments);
    ~SimCall() { Simulator::instance().addCallTime(std::chrono::steady_clock::now() - start_); }
    SimCall(const SimCall&) = delete;
    SimCall& operator=(const SimCall&) = delete;

    // True when an injected failure fires for this call; result() then gives its value.
    bool faulted() const { return hit_.fires; }
    const FaultHit& hit() const { return hit_; }
    // The loaded device, or null (calls then answer STANDIN_ERR_NOT_SIMULATED).
    HandheldState* device() { return Simulator::instance().state(); }
    // Appends to the traced arguments (out-values known only at the end).
    void note(const std::string& more);
    int32_t done(int32_t result);

private:
    std::lock_guard<std::recursive_mutex> hold_;
    // Taken once the lock is held: a wait for another thread's call is not this call's cost.
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::string call_;
    std::string arguments_;
    FaultHit hit_;
};

// printf-style formatting into a std::string, for trace arguments.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// A four-character code as text ("Tnwk"), non-printable bytes as '.'.
std::string fourCc(uint32_t code);
