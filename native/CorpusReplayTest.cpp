// Every seed input and every input that once made a fuzz target fail, run through the
// target's body under the sanitizers. A fixed finding stays fixed because its input lives
// in fuzz/regressions/<target>/ and runs here on every native test run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzTarget.h"

namespace fs = std::filesystem;

namespace {

using Body = int (*)(const uint8_t*, size_t);

size_t replay(const std::string& target, Body body) {
    size_t count = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path dir = fs::path(TW_FUZZ_DIR) / kind / target;
        if (!fs::is_directory(dir)) continue;
        std::vector<fs::path> files;
        for (const auto& item : fs::directory_iterator(dir))
            if (item.is_regular_file()) files.push_back(item.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            SCOPED_TRACE(file.string());
            // An empty vector's data() may be null; the targets get a valid pointer always.
            const uint8_t none = 0;
            body(bytes.empty() ? &none : bytes.data(), bytes.size());
            ++count;
        }
    }
    return count;
}

}  // namespace

#define TW_REPLAY_TEST(name)                                                       \
    TEST(CorpusReplay, name) {                                                     \
        EXPECT_GT(replay(#name, fuzz_##name), 0u) << "no seed inputs for " #name; \
    }
TW_FUZZ_TARGETS(TW_REPLAY_TEST)
