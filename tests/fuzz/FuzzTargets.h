// The fuzz targets: each takes arbitrary bytes, feeds them to one reader or
// handler of the program and aborts when an invariant breaks. Built as
// libFuzzer programs with clang (scripts/fuzz.sh) and, with any compiler,
// into the replay test that runs them over their seed corpora.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// The calibration file as start-up reads it.
int CalibrationFileTarget(const std::uint8_t* data, std::size_t size);
// A limits file as "&Cargar" reads it.
int LimitsFileTarget(const std::uint8_t* data, std::size_t size);
// The whole-number parser, and the field exchange over one field per line.
int FieldsTarget(const std::uint8_t* data, std::size_t size);
// Work-mode ticks over a stream of status packets of 0 to 8 bytes.
int WorkModeTarget(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz

// A broken invariant ends the run with the input that broke it.
#define FUZZ_CHECK(condition)                                           \
    do {                                                                \
        if (!(condition)) ::fuzz::Fail(#condition, __FILE__, __LINE__); \
    } while (false)

namespace fuzz {
[[noreturn]] void Fail(const char* condition, const char* file, int line);
}
