// Small file helpers for the main-memory tests: a scratch folder per test, whole-file
// reads and writes.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::vector<uint8_t> out;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<uint8_t>(c));
        std::fclose(f);
    }
    return out;
}

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// A fresh, empty folder named after the running test, removed again afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string leaf = std::string("tw_mm_") + info->test_suite_name() + "_" + info->name();
        for (char& c : leaf)
            if (c == '/') c = '_';
        path_ = std::filesystem::temp_directory_path() / leaf;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    // Windows form of the folder (no trailing separator), and a file inside it.
    std::string dir() const { return path_.string(); }
    std::string file(const std::string& leaf) const { return (path_ / leaf).string(); }

private:
    std::filesystem::path path_;
};
