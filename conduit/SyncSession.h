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
    // After the driver: how long the worker waits for the progress window to close (hiding
    // it alone takes about 2 s under an X server without a window manager), and how long
    // the HotSync thread then waits for the worker to end. Each logs one line and goes on
    // when its bound passes; the thread left behind keeps what it uses, the module included.
    uint32_t windowCloseBoundMs = 10000;
    uint32_t workerEndBoundMs = 15000;
};

// Carries out a session for sync types 0 to 3 and resets the temporary actions after it.
void RunSession(const SyncProperties& properties, Settings& settings, const SessionHooks& hooks);
