// Shared set-up of the protocol fuzzers: a scripted port whose device answers
// from the fuzz input, and no wall-clock pauses.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "fake_io.h"
#include "fenlark_io.h"

// Marks harness code that the fuzzer's coverage feedback should not see: its
// branches say nothing about the code under test, and the comparison hooks
// in hot harness loops cost more than the code they watch.
#define FUZZ_HARNESS __attribute__((no_sanitize("coverage")))

namespace fuzz {

// Consumes bytes from the front of the fuzz input.
struct Input {
    const uint8_t* data;
    size_t size;

    uint8_t byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
    Quorvane::testing::Bytes take(size_t n) {
        n = n < size ? n : size;
        Quorvane::testing::Bytes out(data, data + n);
        data += n;
        size -= n;
        return out;
    }
};

inline void noSleep(int) {}

// Every failure must carry one of the protocol's own messages; returns the
// position of the message in `known`.
FUZZ_HARNESS inline size_t expectKnownMessage(const char* message,
                                              std::initializer_list<const char*> known) {
    size_t index = 0;
    for (const char* m : known) {
        if (std::strcmp(message, m) == 0) return index;
        ++index;
    }
    std::fprintf(stderr, "unexpected error: %s\n", message);
    std::abort();
}

inline void expectKnownError(const std::runtime_error& e,
                             std::initializer_list<const char*> known) {
    expectKnownMessage(e.what(), known);
}

FUZZ_HARNESS inline void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace fuzz
