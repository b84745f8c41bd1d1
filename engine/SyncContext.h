// The record the driver lends to every location for the location's whole life.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "engine/ActionCode.h"
#include "engine/CreatorList.h"

class ProgressSink;
class Settings;


// What the card locations of one HotSync have taken so far, so that no two of them share
// a settings key or a PC folder: the labels met (in order, repeats included), the keys and
// the folders given out.
struct LocationClaims {
    std::vector<std::string> labels;
    std::vector<std::string> keys;
    std::vector<std::string> folders;
};

struct SyncContext {
    bool archive = true;             // the "Archive" setting
    std::string userName;            // the settings section
    std::string pcFolder;            // root under which location folders lie, ends with "\"
    int32_t action = ACTION_SYNCHRONISE;  // an ActionCode; exceptions change it per file
    // The action is an overwrite chosen for this HotSync only (not the permanent action):
    // a "Frequency" setting does not skip a location then, or the choice would be lost.
    bool oneTimeAction = false;
    ProgressSink* progress = nullptr;
    const CreatorList* creators = nullptr;  // null when the conduit-database step did not run
    Settings* settings = nullptr;
    LocationClaims* claims = nullptr;  // the HotSync's; null: nothing is shared to guard
};
