#include "engine/Decision.h"

int32_t effectiveAction(int32_t action) {
    switch (action) {
    case ACTION_HH_OVERWRITES:
    case ACTION_PC_OVERWRITES:
    case ACTION_DO_NOTHING:
        return action;
    default:
        return ACTION_SYNCHRONISE;
    }
}

namespace {

Decision op(Operation operation) { return Decision{operation, false}; }

Decision decideDirectory(const FileEntry& e) {
    const bool onHandheld = e.handheldTime != 0;
    const bool onPc = e.pcTime != 0;
    const bool known = e.lastHandheldTime != 0;
    if (onHandheld && !onPc) return op(known ? Operation::DeleteHandheldDirectory : Operation::CreatePcDirectory);
    if (!onHandheld && onPc) return op(known ? Operation::DeletePcDirectory : Operation::CreateHandheldDirectory);
    return op(Operation::Nothing);
}

Decision decideFile(const FileEntry& e, int32_t action) {
    const uint32_t H = e.handheldTime, Hs = e.lastHandheldTime, P = e.pcTime, Ps = e.lastPcTime;
    switch (effectiveAction(action)) {
    case ACTION_DO_NOTHING:
        return op(Operation::Nothing);
    case ACTION_HH_OVERWRITES:
        if (H != 0 && P == 0) return op(Operation::CopyToPc);
        if (H == 0 && P != 0) return op(Operation::DeleteOnPc);
        if (H == 0 && P == 0) return op(Operation::Nothing);
        if (H == Hs && P == Ps) return op(Operation::Nothing);
        return Decision{Operation::CopyToPc, H != Hs && P != Ps};
    case ACTION_PC_OVERWRITES:
        if (H != 0 && P == 0) return op(Operation::DeleteOnHandheld);
        if (H == 0 && P != 0) return op(Operation::CopyToHandheld);
        if (H == 0 && P == 0) return op(Operation::Nothing);
        if (H == Hs && P == Ps) return op(Operation::Nothing);
        return Decision{Operation::CopyToHandheld, H != Hs && P != Ps};
    default:  // synchronise
        // A deletion carries over only when the other side's copy is the one the deletion
        // saw; a copy changed since then wins and goes back where it was deleted.
        if (H != 0 && P == 0) return op(Hs == 0 || H != Hs ? Operation::CopyToPc : Operation::DeleteOnHandheld);
        if (H == 0 && P != 0) return op(Hs == 0 || P != Ps ? Operation::CopyToHandheld : Operation::DeleteOnPc);
        if (H == 0 && P == 0) return op(Operation::Nothing);
        if (H == Hs && P == Ps) return op(Operation::Nothing);
        if (H == Hs) return op(Operation::CopyToHandheld);
        if (P == Ps) return op(Operation::CopyToPc);
        return Decision{Operation::Conflict, true};
    }
}

}  // namespace

Decision decide(const FileEntry& entry, int32_t action, bool directory) {
    if (entry.status != ENTRY_OK) return op(Operation::Nothing);
    return directory ? decideDirectory(entry) : decideFile(entry, action);
}

bool holdDeletions(uint32_t deletions, uint32_t files, int32_t maxDeletePercent) {
    if (maxDeletePercent >= 100 || deletions < kMassDeletionFloor) return false;
    const uint64_t share = maxDeletePercent < 0 ? 0u : static_cast<uint64_t>(maxDeletePercent);
    return uint64_t(deletions) * 100u > uint64_t(files) * share;
}

Hold guardFor(const SideTally& side, int32_t maxDeletePercent) {
    if (maxDeletePercent >= 100 || side.deletions == 0) return Hold::None;
    if (side.heldBefore) return Hold::Earlier;
    if (holdDeletions(side.deletions, side.files, maxDeletePercent)) return Hold::Share;
    if (side.deletions >= 2 && (side.deletions >= side.known || side.otherKept == 0)) return Hold::EveryFile;
    return Hold::None;
}

uint32_t frequencyPeriod(int32_t code) {
    switch (code) {
    case 1: return 86400u;
    case 2: return 604800u;
    case 3: return 2592000u;
    default: return 0u;
    }
}

const char* frequencyWord(int32_t code) {
    switch (code) {
    case 1: return "Daily";
    case 2: return "Weekly";
    case 3: return "Monthly";
    default: return "";
    }
}

const char* exceptionLabel(int32_t code) {
    switch (code) {
    case ACTION_SLOW: return "Sychronize";
    case ACTION_HH_OVERWRITES: return "Handheld to PC";
    case ACTION_PC_OVERWRITES: return "PC to Handheld";
    case ACTION_DO_NOTHING: return "Skip";
    default: return "";
    }
}
