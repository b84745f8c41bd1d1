// The rules of the settings dialog that need no window: how HotSync's action codes map to
// the dialog's choices and back, which user the record names, and where the desktop
// application lies. OS-free, so it also builds natively.
#pragma once
#include <cstdint>
#include <string>
#include "engine/ActionCode.h"
#include "platform/sdk/ConduitRecords.h"

// The dialog's action choices, in the order of their radio buttons.
enum ActionChoice : int32_t {
    CHOICE_SYNCHRONISE = 0,
    CHOICE_DESKTOP_OVERWRITES = 1,
    CHOICE_HANDHELD_OVERWRITES = 2,
    CHOICE_DO_NOTHING = 3
};

// The choice that an action in force preselects. Slow synchronisation and every code the
// dialog does not offer show as "do nothing".
int32_t ChoiceForAction(int32_t action);
// The action written back for a choice; anything out of range means synchronise.
int32_t ActionForChoice(int32_t choice);
// The record's "set as default" answer: 1 when ticked, 2 otherwise.
int32_t SetAsDefaultAnswer(bool ticked);

// Frequency codes the dialog offers (every HotSync, daily, weekly, monthly). A stored value
// outside them behaves as every HotSync, so that is what the dialog shows for it.
int32_t FrequencyChoice(int32_t stored);

// The user name at offset 16, read no further than its field even when HotSync left it
// unterminated.
std::string ConfigUserName(const ConduitConfigRecord& record);

// The desktop application beside a module: the module's path with its extension replaced by
// "exe". Empty when the file name has no extension (a "." in a folder name does not count,
// or a folder's name would be taken for a program's).
std::string DesktopApplicationPath(const std::string& modulePath);
