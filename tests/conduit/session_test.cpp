// A whole session around a stand-in driver: what the job is given, the yield loop, the
// window thread's life, cancel from the real window, and the write-back of the actions.
#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <new>
#include <string>
#include <windows.h>
#include "StandinLog.h"
#include "TestSupport.h"
#include "conduit/ProgressWindowSink.h"
#include "conduit/SyncJob.h"
#include "conduit/SyncSession.h"

namespace {
SyncProperties propertiesFor(const char* user, int32_t type, const char* pcFolder = "C:\\tw-session\\PC\\") {
    SyncProperties p = {};
    p.syncType = type;
    std::strcpy(p.pcFolder, pcFolder);
    std::strcpy(p.userName, user);
    return p;
}

std::atomic<int> yields{0};
int yieldsWhileDriverRan = -1;
void countYield(void*) { ++yields; }

// What a driver saw of its job, copied out while it ran.
struct Seen {
    std::string userName, pcFolder;
    bool archive = false, skipConduitDatabases = true;
    int32_t mainMemoryAction = -1, cardAction = -1, cardMode = -1;
    bool windowAppeared = false, windowStayedAfterCancel = false, cancelled = false, cancelledBeforeClick = true;
} seen;

void recordJob(SyncJob& job, Settings&) {
    seen.userName = job.userName;
    seen.pcFolder = job.pcFolder;
    seen.archive = job.archive;
    seen.skipConduitDatabases = job.skipConduitDatabases;
    seen.mainMemoryAction = job.mainMemoryAction;
    seen.cardAction = job.cardAction;
    seen.cardMode = job.cardMode;
}

void sleepTwoSeconds(SyncJob&, Settings&) {
    yields = 0;
    Sleep(2000);
    yieldsWhileDriverRan = yields;
}
void returnAtOnce(SyncJob&, Settings&) {}

HWND waitForWindowOf(SyncJob& job) {
    for (int i = 0; i < 250; ++i) {
        if (HWND window = job.progressWindow->window()) return window;
        Sleep(20);
    }
    return nullptr;
}

// Presses Cancel twice on the real window while the session runs, as a user would.
void pressCancelTwice(SyncJob& job, Settings&) {
    ProgressWindowSink sink(job.progressWindow.get(), job.cancelEvent.get());
    HWND window = waitForWindowOf(job);
    seen.windowAppeared = window != nullptr;
    if (!window) return;
    seen.cancelledBeforeClick = sink.IsCancelled();
    HWND cancel = GetDlgItem(window, 9000);
    SendMessageA(cancel, BM_CLICK, 0, 0);
    SendMessageA(cancel, BM_CLICK, 0, 0);
    seen.cancelled = sink.IsCancelled();
    Sleep(200);
    seen.windowStayedAfterCancel = IsWindow(window) && job.progressWindow->window() == window;
}

// Holds the window thread in its message loop and goes: the session's end must not wait for
// ever for a thread that does not end.
std::unique_ptr<HeldMessageLoop> held;
std::weak_ptr<ProgressWindow> heldWindow;
void holdTheWindow(SyncJob& job, Settings&) {
    heldWindow = job.progressWindow;
    if (HWND window = waitForWindowOf(job)) held = std::make_unique<HeldMessageLoop>(window);
    Sleep(200);
}

bool logHas(const std::string& line) {
    for (size_t i = 0; i < StandinLogCount(); ++i)
        if (line == StandinLogText(i)) return true;
    return false;
}

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        StandinLogClear();
        seen = Seen();
    }
    ScratchSettings ini{"conduit_session_test.ini"};
};
}  // namespace

TEST_F(Session, VersionLineFirstThenTheDriverYieldingEveryHalfSecond) {
    SessionHooks hooks;
    hooks.driver = &sleepTwoSeconds;
    hooks.yield = &countYield;
    RunSession(propertiesFor("Yield User", 0), ini.settings(), hooks);
    // Two seconds of work in 500 ms waits: four time-outs, give or take one for
    // scheduling. (Closing the window afterwards may add more: under Xvfb without a
    // window manager, hiding a window takes the X11 driver about two seconds.)
    EXPECT_GE(yieldsWhileDriverRan, 3);
    EXPECT_LE(yieldsWhileDriverRan, 5);
    EXPECT_GE(yields.load(), yieldsWhileDriverRan);
    ASSERT_GE(StandinLogCount(), 1u);
    EXPECT_EQ(0, std::strncmp(StandinLogText(0), "Tarnwick Version 1.1.0", 22)) << StandinLogText(0);
    EXPECT_EQ(-1, StandinLogActivity(0));
}

TEST_F(Session, JobCarriesTheUsersOwnSettingsAndTheSyncType) {
    ini.write("Ann", "Archive", "0");
    ini.write("Ann", "ConduitDB", "0");
    SessionHooks hooks;
    hooks.driver = &recordJob;
    RunSession(propertiesFor("Ann", 3, "C:\\Users\\Ann\\Tarnwick\\"), ini.settings(), hooks);
    EXPECT_EQ("Ann", seen.userName);
    EXPECT_EQ("C:\\Users\\Ann\\Tarnwick\\", seen.pcFolder);
    EXPECT_FALSE(seen.archive);  // the user's own choice, not the default
    EXPECT_TRUE(seen.skipConduitDatabases);
    EXPECT_EQ(6, seen.mainMemoryAction);
    EXPECT_EQ(3, seen.cardAction);
    EXPECT_EQ(0, seen.cardMode);

    // Another user, nothing stored: the defaults.
    RunSession(propertiesFor("Bob", 2), ini.settings(), hooks);
    EXPECT_TRUE(seen.archive);
    EXPECT_FALSE(seen.skipConduitDatabases);
    EXPECT_EQ(2, seen.cardAction);
}

TEST_F(Session, TemporaryActionsEqualThePermanentOnesAfterEverySession) {
    ini.write("Perm User", "MainPerm", "3");
    ini.write("Perm User", "CardTemp", "9");
    SessionHooks hooks;
    hooks.driver = &returnAtOnce;
    RunSession(propertiesFor("Perm User", 0), ini.settings(), hooks);
    EXPECT_EQ("3", ini.read("Perm User", "MainTemp"));
    EXPECT_EQ("0", ini.read("Perm User", "CardTemp"));

    RunSession(propertiesFor("Nobody Stored", 1), ini.settings(), hooks);
    EXPECT_EQ("0", ini.read("Nobody Stored", "MainTemp"));
    EXPECT_EQ("0", ini.read("Nobody Stored", "CardTemp"));
}

TEST_F(Session, WindowThatAppearsAfterAQuickDriverIsClosedToo) {
    // The driver ends before or while the window is being created; the session must still
    // end, promptly, with no window left behind on a job that is gone.
    SessionHooks hooks;
    hooks.driver = &returnAtOnce;
    for (int round = 0; round < 3; ++round) {
        DWORD start = GetTickCount();
        RunSession(propertiesFor("Quick User", 0), ini.settings(), hooks);
        EXPECT_LT(GetTickCount() - start, 3000u) << round;
        EXPECT_EQ(nullptr, FindProgressWindow()) << round;
    }
}

TEST_F(Session, CancelPressedTwiceSignalsAndTheWindowStaysUntilTheEnd) {
    SessionHooks hooks;
    hooks.driver = &pressCancelTwice;
    RunSession(propertiesFor("Cancel User", 0), ini.settings(), hooks);
    ASSERT_TRUE(seen.windowAppeared);
    EXPECT_FALSE(seen.cancelledBeforeClick);
    EXPECT_TRUE(seen.cancelled);
    EXPECT_TRUE(seen.windowStayedAfterCancel);
    EXPECT_EQ(nullptr, FindProgressWindow());
}

TEST_F(Session, ADriverThatThrowsEndsTheSessionWithItsErrorLineAndTheErrorSummary) {
    // Whatever the driver throws stays on the worker thread: the session ends as a failed
    // one does, with the error summary, the window closes, the actions are written back
    // and HotSync lives on.
    struct Case {
        void (*driver)(SyncJob&, Settings&);
        const char* line;
    } cases[] = {
        {[](SyncJob&, Settings&) { throw std::bad_alloc(); }, "Error in the HotSync worker: std::bad_alloc"},
        {[](SyncJob&, Settings&) { throw 7; }, "Error in the HotSync worker: unknown exception"},
    };
    ini.write("Throw User", "CardPerm", "2");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        StandinLogClear();
        SessionHooks hooks;
        hooks.driver = c.driver;
        RunSession(propertiesFor("Throw User", 0), ini.settings(), hooks);
        ASSERT_EQ(3u, StandinLogCount());  // the version line, the error, the summary
        EXPECT_STREQ(c.line, StandinLogText(1));
        EXPECT_STREQ("Tarnwick encountered 1 or more errors", StandinLogText(2));
        EXPECT_EQ(16, StandinLogActivity(2));
        EXPECT_EQ(nullptr, FindProgressWindow());
        EXPECT_EQ("2", ini.read("Throw User", "CardTemp"));
    }
}

TEST_F(Session, AWindowThreadThatDoesNotEndHoldsTheEndOnlyUpToABoundWithOneLine) {
    // The worker's bound on the window, then the HotSync thread's bound on the worker: each
    // says where it waited, and the thread left behind ends on its own once it can, taking
    // its share of the window with it.
    struct Case {
        uint32_t windowBoundMs, workerBoundMs;
        const char* line;
    } cases[] = {
        {1000, 15000, "Tarnwick: the progress window did not close within 1 s; the HotSync ends without it"},
        {60000, 2000, "Tarnwick: the HotSync worker did not end within 2 s; the HotSync ends without it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        StandinLogClear();
        SessionHooks hooks;
        hooks.driver = &holdTheWindow;
        hooks.windowCloseBoundMs = c.windowBoundMs;
        hooks.workerEndBoundMs = c.workerBoundMs;
        const DWORD start = GetTickCount();
        auto session = std::async(std::launch::async, [&] { RunSession(propertiesFor("Held User", 0), ini.settings(), hooks); });
        const bool ended = session.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
        const DWORD elapsed = GetTickCount() - start;
        ASSERT_TRUE(held && held->hooked());
        held->release();
        session.wait();
        EXPECT_TRUE(ended);
        EXPECT_LT(elapsed, std::min(c.windowBoundMs, c.workerBoundMs) + 5000);
        EXPECT_TRUE(logHas(c.line));
        EXPECT_EQ("0", ini.read("Held User", "CardTemp"));  // the actions were written back
        for (int i = 0; i < 1000 && !heldWindow.expired(); ++i) Sleep(20);
        EXPECT_TRUE(heldWindow.expired()) << "the window thread kept its share";
        EXPECT_EQ(nullptr, FindProgressWindow());
        held.reset();
    }
}
