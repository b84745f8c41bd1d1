// The rules that decide, from what is known about an entry, what the synchronisation does
// with it. Pure functions: no file is touched here, so the rules can be tested as a table.
#pragma once
#include <cstdint>
#include "engine/ActionCode.h"
#include "engine/FileEntry.h"

enum class Operation {
    Nothing,
    CopyToPc,
    CopyToHandheld,
    DeleteOnHandheld,
    DeleteOnPc,               // archive, then delete the PC file
    Conflict,                 // keep both versions under two names
    CreatePcDirectory,
    DeletePcDirectory,
    CreateHandheldDirectory,
    DeleteHandheldDirectory
};

struct Decision {
    Operation operation = Operation::Nothing;
    // Changed on both sides: the copies are compared first; when they are identical
    // nothing is done, whatever the action.
    bool compareContentsFirst = false;
};

// The action the file rules act on. ACTION_HH_OVERWRITES, ACTION_PC_OVERWRITES and
// ACTION_DO_NOTHING keep their meaning. Every other code (ACTION_SLOW, which is also the
// "SYNC" keyword, and codes nobody defines) is ACTION_SYNCHRONISE: applying the table
// literally to such a code would undo every change on the side where it was made, deleting
// new files and reverting edits, which is the one outcome a user never asked for.
// Synchronising keeps both versions of a conflict and archives deletions.
int32_t effectiveAction(int32_t action);

// The operation for one entry: its four times and status, the action in force and
// whether the name is a directory's. Entries with a nonzero status are left alone.
// Under synchronisation a file deleted on one side and changed on the other since the
// last run is copied back, never deleted. A directory is only created or deleted here;
// one deleted on a side that still has to receive something inside it is made again by
// the engine when that copy needs it.
Decision decide(const FileEntry& entry, int32_t action, bool directory);

// The mass-deletion guard: true when one HotSync would delete so many of a side's files
// (more than maxDeletePercent percent of them, and at least kMassDeletionFloor) that it
// more likely saw an empty or a different card than a user's deletions; 100 and above
// never holds anything back.
constexpr uint32_t kMassDeletionFloor = 10;
bool holdDeletions(uint32_t deletions, uint32_t files, int32_t maxDeletePercent);

// What the guard knows about one side before the passes.
struct SideTally {
    uint32_t deletions = 0;   // what the decisions would delete there
    uint32_t files = 0;       // the files it holds
    uint32_t known = 0;       // of those, the ones both sides held at the last HotSync
    uint32_t otherKept = 0;   // how many of the files both sides held the other side still holds
    bool heldBefore = false;  // an earlier HotSync held this side's deletions, not yet confirmed
};
// Why the guard holds a side's deletions back. Beside a mass deletion, a side that would
// lose every file the last HotSync knew there, or whose other side kept none of them (an
// emptied, reformatted or different card), is held whatever the count, from two files on;
// and a hold stays until the user confirms it, however many files arrive meanwhile. Nothing
// to delete holds nothing; a share of 100 and above turns the guard off.
enum class Hold { None, Share, EveryFile, Earlier };
Hold guardFor(const SideTally& side, int32_t maxDeletePercent);

// "Frequency" code -> the period within which a location is not synchronised again
// (0: every HotSync), and the word the skip line shows.
uint32_t frequencyPeriod(int32_t code);
const char* frequencyWord(int32_t code);

// The label of an action code in the exception log line.
const char* exceptionLabel(int32_t code);
