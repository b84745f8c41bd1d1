// Shared by every fuzz target. Built with TW_FUZZ_ENTRY a target is a libFuzzer program;
// without it, the same body is a plain function that the native tests call on the seed
// corpora and on every input that once made a target fail.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef TW_FUZZ_ENTRY
#define TW_FUZZ_TARGET(name) extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
#else
#define TW_FUZZ_TARGET(name) int fuzz_##name(const uint8_t* data, size_t size)
#endif

// A property that must hold for every input. Breaking one is a finding just as a crash is,
// so it ends the run the same way and leaves the input behind as a crash file.
#define FUZZ_REQUIRE(cond)                                                              \
    do {                                                                                \
        if (!(cond)) {                                                                  \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

inline std::string fuzzText(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Every target, for the replay test.
#define TW_FUZZ_TARGETS(X) \
    X(database_file)       \
    X(listing_line)        \
    X(listing_file)        \
    X(text_reply)          \
    X(state_file)          \
    X(exceptions)          \
    X(detach_cmdline)

#ifndef TW_FUZZ_ENTRY
#define TW_FUZZ_DECLARE(name) int fuzz_##name(const uint8_t* data, size_t size);
TW_FUZZ_TARGETS(TW_FUZZ_DECLARE)
#undef TW_FUZZ_DECLARE
#endif
