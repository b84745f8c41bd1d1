// Injected failures. One rule per line, in [Faults] of device.ini or through
// StandinFaultAdd:
//   <Call> [name=<argument>] [nth=<n>] [times=<k>] [result=<value>] [code=<value>] [kill]
// A rule matches a call by its name (any case) and, with name=, by the call's name argument
// (database name, card path, or companion request number; any case). With nth=, only the
// n-th matching call fails (counted per rule, from 1); with times=, at most k calls fail.
// result= is what the call answers instead of doing anything (default 1); code= applies to
// SyncCallRemoteModule only and makes the call answer 0 with that companion result code.
// kill ends the whole process at that call, before it does anything, as a HotSync killed
// from outside between two calls.
// OS-free.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct FaultHit {
    bool fires = false;
    int32_t result = 0;
    bool hasCode = false;
    int32_t code = 0;
    bool kill = false;
};

class FaultPlan {
public:
    // Answers false (and adds nothing) when the line is not understood.
    bool add(const std::string& line);
    void clear();
    // Counts the call against every matching rule and tells whether one fires.
    FaultHit check(const std::string& call, const std::string& nameArgument);
    int fired() const { return fired_; }
    size_t size() const { return rules_.size(); }

private:
    struct Rule {
        std::string call;
        bool hasName = false;
        std::string name;
        long nth = 0;
        long times = 0;  // 0: unlimited
        int32_t result = 1;
        bool hasCode = false;
        int32_t code = 0;
        bool kill = false;
        long seen = 0;
        long firedCount = 0;
    };
    std::vector<Rule> rules_;
    int fired_ = 0;
};
