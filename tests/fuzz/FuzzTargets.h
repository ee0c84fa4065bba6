// Each target feeds arbitrary bytes to one reader of the program and aborts on a broken invariant.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// The calibration file as start-up reads it.
int CalibrationFileTarget(const std::uint8_t* data, std::size_t size);
// A limits file as "&Cargar" reads it.
int LimitsFileTarget(const std::uint8_t* data, std::size_t size);
// Work-mode ticks over a stream of status packets of 0 to 8 bytes.
int WorkModeTarget(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
