#include "platform/handheld/FaultPlan.h"
#include "platform/handheld/IniFile.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace {
bool parseNumber(const std::string& text, long& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0') return false;
    out = static_cast<long>(v);
    return true;
}
}  // namespace

bool FaultPlan::add(const std::string& line) {
    std::istringstream words(line);
    Rule rule;
    if (!(words >> rule.call)) return false;
    std::string word;
    while (words >> word) {
        if (lowerCase(word) == "kill") {
            rule.kill = true;
            continue;
        }
        size_t eq = word.find('=');
        if (eq == std::string::npos) return false;
        std::string key = lowerCase(word.substr(0, eq));
        std::string value = word.substr(eq + 1);
        long n = 0;
        if (key == "name") {
            rule.hasName = true;
            rule.name = value;
        } else if (key == "nth" && parseNumber(value, n) && n > 0) {
            rule.nth = n;
        } else if (key == "times" && parseNumber(value, n) && n > 0) {
            rule.times = n;
        } else if (key == "result" && parseNumber(value, n)) {
            rule.result = static_cast<int32_t>(n);
        } else if (key == "code" && parseNumber(value, n)) {
            rule.hasCode = true;
            rule.code = static_cast<int32_t>(n);
        } else {
            return false;
        }
    }
    rules_.push_back(rule);
    return true;
}

void FaultPlan::clear() {
    rules_.clear();
    fired_ = 0;
}

FaultHit FaultPlan::check(const std::string& call, const std::string& nameArgument) {
    FaultHit hit;
    for (Rule& r : rules_) {
        if (!equalsNoCase(r.call, call)) continue;
        if (r.hasName && !equalsNoCase(r.name, nameArgument)) continue;
        ++r.seen;
        if (hit.fires) continue;  // later rules still count the call
        if (r.nth != 0 && r.seen != r.nth) continue;
        if (r.times != 0 && r.firedCount >= r.times) continue;
        ++r.firedCount;
        hit.fires = true;
        hit.result = r.result;
        hit.hasCode = r.hasCode;
        hit.code = r.code;
        hit.kill = r.kill;
    }
    if (hit.fires) ++fired_;
    return hit;
}
