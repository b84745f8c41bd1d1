// A fresh PC root under the temporary folder, a settings file and an in-memory card for
// every test; helpers to change either side between HotSyncs and to read the log.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include "tests/common/TestTree.h"

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "CancelAfter.h"
#include "FakeCard.h"
#include "StandinLog.h"
#include "engine/AtomicFile.h"
#include "engine/StateFile.h"
#include "settings/Settings.h"

inline std::vector<std::string> logLines() {
    std::vector<std::string> lines;
    for (size_t i = 0; i < StandinLogCount(); ++i) lines.emplace_back(StandinLogText(i));
    return lines;
}

class SyncTest : public ::testing::Test {
protected:
    void SetUp() override { fresh(); }
    void TearDown() override { removeTree(root); }

    void fresh() {
        if (!root.empty()) removeTree(root);
        char folder[MAX_PATH], unique[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        GetTempFileNameA(folder, "tws", 0, unique);
        DeleteFileA(unique);
        root = unique;
        CreateDirectoryA(root.c_str(), nullptr);
        pcRoot = root + "\\Sync\\";
        CreateDirectoryA((root + "\\Sync").c_str(), nullptr);
        pcDir = pcRoot + "Card";
        CreateDirectoryA(pcDir.c_str(), nullptr);
        archiveDir = root + "\\Archive\\Sync\\Card";
        settings = std::make_unique<Settings>(root + "\\Tarnwick.ini");
        context = SyncContext();
        context.userName = "Ann";
        context.pcFolder = pcRoot;
        context.settings = settings.get();
        context.archive = true;
        card = FakeCard();
        card.pcClock = static_cast<uint32_t>(std::time(nullptr)) - 1000000u;
    }

    // One HotSync of the card location; every log line it wrote.
    std::vector<std::string> sync(int32_t action = 0, ProgressSink* sink = nullptr) {
        StandinLogClear();
        context.action = action;
        context.progress = sink;
        FakeLocation location(&context, card, pcDir);
        result = location.synchronise();
        failures = location.failedOperations();
        EXPECT_EQ(action, context.action) << "the action in force must be restored";
        return logLines();
    }

    // The same, without the opening "Last Synchronize on: " / "Initial Backup" lines.
    std::vector<std::string> ops(int32_t action = 0, ProgressSink* sink = nullptr) {
        std::vector<std::string> lines;
        for (const std::string& line : sync(action, sink)) {
            if (line.rfind("Last Synchronize on: ", 0) == 0 || line == "Initial Backup") continue;
            lines.push_back(line);
        }
        return lines;
    }

    std::string pc(const std::string& name) const {
        std::string tail = name;
        if (!tail.empty() && tail.back() == '/') tail.pop_back();
        for (char& c : tail) {
            if (c == '/') c = '\\';
        }
        return pcDir + tail;
    }
    void writePc(const std::string& name, const std::string& bytes, uint32_t advance = 100) {
        card.pcClock += advance;
        ASSERT_TRUE(writeBytes(pc(name), bytes));
        ASSERT_TRUE(setPcFileTime(pc(name), card.pcClock));
    }
    void mkdirPc(const std::string& name) { ASSERT_TRUE(CreateDirectoryA(pc(name).c_str(), nullptr)); }
    bool pcExists(const std::string& name) const {
        return GetFileAttributesA(pc(name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    static std::string readFile(const std::string& path) {
        std::string bytes;
        return readWholeFile(path, bytes) ? bytes : std::string("<absent>");
    }
    std::string readPc(const std::string& name) const { return readFile(pc(name)); }
    std::string state() const { return readFile(pcDir + ".txt"); }
    std::string archived(const std::string& base) const { return readFile(archiveDir + "\\" + base); }

    // The same content on both sides, recorded by a first HotSync.
    void baseline(const std::string& name, const std::string& bytes) {
        card.put(name, bytes);
        writePc(name, bytes);
        sync(0);
        ASSERT_TRUE(result);
        ASSERT_NE(std::string::npos, state().find("\t" + name + "\r\n")) << state();
    }

    std::string root, pcRoot, pcDir, archiveDir;
    std::unique_ptr<Settings> settings;
    SyncContext context;
    FakeCard card;
    bool result = false;
    uint32_t failures = 0;
};

using Lines = std::vector<std::string>;
