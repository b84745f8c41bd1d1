// hotsync.exe run as a user runs it, with a small conduit of the test's own.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TestDevice.h"
#include "platform/hotsync/HostOptions.h"
#include "tests/common/ChildProcess.h"

namespace {
struct HostRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
};

// Runs hotsync.exe from the bin folder with the given arguments and collects its stdout.
HostRun hotsync(const std::string& arguments) {
    ChildOptions options;
    options.captureOutput = true;
    ChildResult result = RunChild("hotsync.exe " + arguments, 30000, options);
    HostRun run;
    run.out = result.output;
    if (result.started) run.exitCode = result.exitCode;
    return run;
}

std::string inQuotes(const std::string& s) { return "\"" + s + "\""; }
}  // namespace

TEST(HostOptions, ParsesBothVerbsAndRejectsWhatTheyLack) {
    HostOptions o;
    std::string error;
    ASSERT_TRUE(parseHostOptions({"sync", "--device", "d", "--user", "Ann", "--pc", "C:\\p", "--type", "2",
                                  "--cancel-after", "300"},
                                 o, error));
    EXPECT_EQ(HostOptions::Sync, o.verb);
    EXPECT_EQ(2, o.type);
    EXPECT_EQ(300, o.cancelAfterMs);
    EXPECT_EQ("C:\\p\\", pcFolderWithSlash(o.pc));
    EXPECT_EQ("C:\\p\\", pcFolderWithSlash("C:\\p\\"));

    HostOptions c;
    ASSERT_TRUE(parseHostOptions({"configure", "--user", "Ann", "--action", "3"}, c, error));
    EXPECT_EQ(3, c.action);

    HostOptions i, m;
    ASSERT_TRUE(parseHostOptions({"install", "--manager-log", "C:\\m.log"}, i, error));
    EXPECT_EQ("C:\\m.log", i.managerLog);
    ASSERT_TRUE(parseHostOptions({"manager", "--log", "C:\\m.log"}, m, error));  // no --user needed
    EXPECT_EQ(HostOptions::Manager, m.verb);

    HostOptions bad;
    EXPECT_FALSE(parseHostOptions({"uninstall", "--user", "Ann"}, bad, error));
    EXPECT_FALSE(parseHostOptions({"manager", "--manager-log", "x"}, bad, error));
    EXPECT_FALSE(parseHostOptions({"sync", "--user", "Ann", "--pc", "x"}, bad, error));       // no device
    EXPECT_FALSE(parseHostOptions({"configure", "--user", "Ann", "--pc", "x"}, bad, error));  // sync option
    EXPECT_FALSE(parseHostOptions({"sync", "--device", "d", "--user", "A", "--pc", "p", "--type", "x"}, bad, error));
    EXPECT_FALSE(parseHostOptions({"sync", "--device"}, bad, error));
    EXPECT_FALSE(parseHostOptions({}, bad, error));
}

TEST(Host, SyncHandsOverPropertiesEchoesAndAppendsTheLogAndAnswersOpenConduit) {
    TestDevice device("[Device]\n");
    std::string log = tempPath("hotsync.log");
    HostRun run = hotsync("sync --device " + inQuotes(device.dir()) + " --user Ann --pc C:\\Users\\Ann --conduit FakeConduit.dll --log " +
                      inQuotes(log));
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_NE(std::string::npos, run.out.find("fake: type 0 pc [C:\\Users\\Ann\\] user [Ann]")) << run.out;
    EXPECT_EQ("-1\tfake: type 0 pc [C:\\Users\\Ann\\] user [Ann]\n", readFile(log));
    DeleteFileA(log.c_str());

    HostRun three = hotsync("sync --device " + inQuotes(device.dir()) + " --user Ann --pc C:\\x\\ --type 3 --conduit FakeConduit.dll");
    EXPECT_EQ(7u, three.exitCode);
    EXPECT_NE(std::string::npos, three.out.find("pc [C:\\x\\]")) << three.out;
}

TEST(Host, FaultRulesFromTheCommandLineReachTheConduit) {
    TestDevice device("[Device]\n");
    std::string trace = tempPath("trace.txt");
    HostRun run = hotsync("sync --device " + inQuotes(device.dir()) +
                          " --user Ann --pc C:\\x --conduit FakeConduit.dll --fault \"SmRegisterConduit result=4660\" --trace " +
                          inQuotes(trace));
    EXPECT_EQ(4660u, run.exitCode);
    EXPECT_EQ("SmRegisterConduit\t\t4660\tinjected\n", readFile(trace));
    DeleteFileA(trace.c_str());
    EXPECT_EQ(250u, hotsync("sync --device " + inQuotes(device.dir()) +
                            " --user Ann --pc C:\\x --conduit FakeConduit.dll --fault \"SmOpenDb nth=x\"")
                        .exitCode);
}

TEST(Host, FailsBeforeTheConduitWhenDeviceOrConduitIsMissing) {
    HostRun noDevice = hotsync("sync --device C:\\no\\such\\device --user Ann --pc C:\\x --conduit FakeConduit.dll");
    EXPECT_EQ(251u, noDevice.exitCode);
    TestDevice device("[Device]\n");
    HostRun noConduit = hotsync("sync --device " + inQuotes(device.dir()) + " --user Ann --pc C:\\x --conduit Missing.dll");
    EXPECT_EQ(252u, noConduit.exitCode);
    EXPECT_EQ(250u, hotsync("frobnicate").exitCode);
}

TEST(Host, ConfigurePassesTheRecordAndPrintsWhatTheConduitChose) {
    HostRun run = hotsync("configure --user Ann --action 2 --conduit FakeConduit.dll");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_NE(std::string::npos, run.out.find("chosenAction=3")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("setAsDefault=1")) << run.out;
}

TEST(Host, CancelAfterClicksTheProgressWindowsCancelButton) {
    TestDevice device("[Device]\n");
    HostRun run = hotsync("sync --device " + inQuotes(device.dir()) +
                      " --user Ann --pc C:\\x --type 1 --cancel-after 200 --conduit FakeConduit.dll");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_NE(std::string::npos, run.out.find("fake: cancelled")) << run.out;
}
