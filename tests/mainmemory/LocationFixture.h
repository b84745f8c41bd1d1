// A main-memory location on a scratch PC root, with its own settings file and the stand-in
// log cleared.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "StandinLog.h"
#include "engine/SyncContext.h"
#include "mainmemory/MainMemoryLocation.h"
#include "settings/Settings.h"
#include "tests/mainmemory/TestFiles.h"

class LocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = scratch_.dir() + "\\";
        CreateDirectoryA((root_ + "Sync").c_str(), nullptr);
        settings_ = std::make_unique<Settings>(root_ + "tw.ini");
        context_.userName = "User1";
        context_.pcFolder = root_ + "Sync\\";
        context_.settings = settings_.get();
        context_.archive = true;
        StandinLogClear();
    }

    // Builds the location and makes sure its folder is there, as a synchronisation would.
    MainMemoryLocation& location() {
        if (!location_) {
            location_ = std::make_unique<MainMemoryLocation>(&context_);
            CreateDirectoryA(location_->pcDirectory().c_str(), nullptr);
        }
        return *location_;
    }
    std::string pcFile(const std::string& leaf) { return location().pcDirectory() + "\\" + leaf; }

    static std::vector<std::string> logLines() {
        std::vector<std::string> lines;
        for (size_t i = 0; i < StandinLogCount(); ++i) lines.push_back(StandinLogText(i));
        return lines;
    }
    static bool logged(const std::string& line) {
        for (const std::string& l : logLines())
            if (l == line) return true;
        return false;
    }
    static std::string allLog() {
        std::string text;
        for (const std::string& l : logLines()) text += l + "\n";
        return text;
    }

    ScratchFolder scratch_;
    std::string root_;
    std::unique_ptr<Settings> settings_;
    SyncContext context_;
    std::unique_ptr<MainMemoryLocation> location_;
};
