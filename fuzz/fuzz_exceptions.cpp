// Exception names against entry names, and the rule that then decides what happens to the
// entry. Input: 24 bytes of entry times, status and action, then the entry name on the first
// line and one exception name per further line, as the settings file would give them.
//
// Beyond not crashing, the decision must never throw a user's file away on its own: under
// synchronisation a file or folder is deleted only when the other side's copy was known from
// the last HotSync, and a changed-on-both-sides file is never simply overwritten.
#include "fuzz/FuzzTarget.h"

#include <cstring>
#include <vector>

#include "engine/Decision.h"
#include "engine/NameRules.h"

namespace {

uint32_t take32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

bool isDirectoryOperation(Operation op) {
    return op == Operation::CreatePcDirectory || op == Operation::DeletePcDirectory ||
           op == Operation::CreateHandheldDirectory || op == Operation::DeleteHandheldDirectory;
}

void checkDecision(const FileEntry& e, int32_t action, bool directory) {
    const Decision d = decide(e, action, directory);
    const uint32_t H = e.handheldTime, Hs = e.lastHandheldTime, P = e.pcTime, Ps = e.lastPcTime;
    if (e.status != ENTRY_OK) FUZZ_REQUIRE(d.operation == Operation::Nothing);
    if (d.operation == Operation::Nothing) return;
    FUZZ_REQUIRE(isDirectoryOperation(d.operation) == directory);
    if (!directory) FUZZ_REQUIRE(effectiveAction(action) != 6);

    const int32_t a = effectiveAction(action);
    switch (d.operation) {
    case Operation::CopyToPc:
        FUZZ_REQUIRE(H != 0);
        break;
    case Operation::CopyToHandheld:
        FUZZ_REQUIRE(P != 0);
        break;
    case Operation::DeleteOnHandheld:
        // Only a copy the PC had before (and lost), or the user asked the PC to win.
        FUZZ_REQUIRE(H != 0 && P == 0);
        FUZZ_REQUIRE(Hs != 0 || a == 3);
        break;
    case Operation::DeleteOnPc:
        FUZZ_REQUIRE(P != 0 && H == 0);
        FUZZ_REQUIRE(Hs != 0 || a == 2);
        break;
    case Operation::Conflict:
        FUZZ_REQUIRE(a == 0 && H != 0 && P != 0 && H != Hs && P != Ps && d.compareContentsFirst);
        break;
    case Operation::DeleteHandheldDirectory:
        FUZZ_REQUIRE(H != 0 && P == 0 && Hs != 0);
        break;
    case Operation::DeletePcDirectory:
        FUZZ_REQUIRE(P != 0 && H == 0 && Hs != 0);
        break;
    case Operation::CreatePcDirectory:
        FUZZ_REQUIRE(H != 0 && P == 0);
        break;
    case Operation::CreateHandheldDirectory:
        FUZZ_REQUIRE(P != 0 && H == 0);
        break;
    default:
        break;
    }
    // Both copies changed and both present: whatever the action, they are compared first.
    if (!directory && H != 0 && P != 0 && H != Hs && P != Ps) FUZZ_REQUIRE(d.compareContentsFirst);
}

}  // namespace

TW_FUZZ_TARGET(exceptions) {
    if (size < 24) return 0;
    FileEntry e;
    e.handheldTime = take32(data) % 4;  // small values make equal times likely
    e.lastHandheldTime = take32(data + 4) % 4;
    e.pcTime = take32(data + 8) % 4;
    e.lastPcTime = take32(data + 12) % 4;
    e.status = data[16] % 8 == 0 ? take32(data + 16) : 0;
    const int32_t baseAction = static_cast<int32_t>(take32(data + 20));

    const std::string text = fuzzText(data + 24, size - 24);
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t lf = text.find('\n', start);
        lines.push_back(text.substr(start, lf == std::string::npos ? std::string::npos : lf - start));
        if (lf == std::string::npos) break;
        start = lf + 1;
    }
    const std::string entryName = lines.front();
    std::vector<std::string> names;
    for (size_t i = 1; i < lines.size(); ++i) names.push_back(::names::upperAscii(::names::asciiOnly(), lines[i]));

    const std::string upperName = ::names::upperAscii(::names::asciiOnly(), entryName);
    FUZZ_REQUIRE(upperName.size() == entryName.size());
    for (char c : upperName) FUZZ_REQUIRE(!(c >= 'a' && c <= 'z'));
    const int hit = matchException(upperName, names);
    FUZZ_REQUIRE(hit >= -1 && hit < static_cast<int>(names.size()));
    if (hit >= 0) {
        FUZZ_REQUIRE(upperName.compare(0, names[hit].size(), names[hit]) == 0);
        for (int i = 0; i < hit; ++i) FUZZ_REQUIRE(upperName.compare(0, names[i].size(), names[i]) != 0);
        (void)sameKindOfName(names[hit], entryName);
    }
    // The exception's action (any code a keyword or a hand-edited file can give) and the
    // location's own are both decided safely.
    const int32_t actions[] = {baseAction, 0, 1, 2, 3, 6};
    for (int32_t action : actions) {
        (void)exceptionLabel(action);
        checkDecision(e, action, false);
        checkDecision(e, action, true);
    }
    return 0;
}
