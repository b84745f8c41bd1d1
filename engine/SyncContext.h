// The record the driver lends to every location for the location's whole life.
#pragma once
#include <cstdint>
#include <string>
#include "engine/ActionCode.h"
#include "engine/CreatorList.h"

class ProgressSink;
class Settings;


struct SyncContext {
    bool archive = true;             // the "Archive" setting
    std::string userName;            // the settings section
    std::string pcFolder;            // root under which location folders lie, ends with "\"
    int32_t action = ACTION_SYNCHRONISE;  // an ActionCode; exceptions change it per file
    ProgressSink* progress = nullptr;
    const CreatorList* creators = nullptr;  // null when the conduit-database step did not run
    Settings* settings = nullptr;
};
