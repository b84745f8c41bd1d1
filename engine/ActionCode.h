// What a HotSync does with a location or a file, in HotSync's sync-type numbering: the sync
// type HotSync hands over, the settings dialog's answer and the exception keywords all
// speak it.
#pragma once
#include <cstdint>

enum ActionCode : int32_t {
    ACTION_SYNCHRONISE = 0,
    ACTION_SLOW = 1,          // also the "SYNC" exception keyword
    ACTION_HH_OVERWRITES = 2,
    ACTION_PC_OVERWRITES = 3,
    ACTION_DO_NOTHING = 6
};
