// One HotSync session: the HotSync thread waits and yields while a worker thread runs the
// driver and a window thread shows the progress window.
#pragma once
#include <cstdint>
#include "ConduitRecords.h"

class Settings;
class SyncJob;

struct SessionHooks {
    // The session's body on the worker thread; the run driver unless a test puts its own.
    void (*driver)(SyncJob& job, Settings& settings) = nullptr;
    // Lets HotSync service the link; SyncYieldCycles unless a test counts the calls.
    void (*yield)(void* user) = nullptr;
    void* yieldUser = nullptr;
    // How long the HotSync thread waits before each yield.
    uint32_t yieldIntervalMs = 500;
};

// Carries out a session for sync types 0 to 3 and resets the temporary actions after it.
void RunSession(const SyncProperties& properties, Settings& settings, const SessionHooks& hooks);
