// Readable texts of the layer's status values: the driver's statuses, the
// layer's own codes, and one text for every other (system) error code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "usbio/UsbStatus.h"

namespace usbio {

struct StatusTextEntry {
    UsbStatus code;
    const char* text;
};

constexpr std::size_t STATUS_TEXT_ROWS = 65;

// Searched in order; the first row with the code gives its text.
extern const std::array<StatusTextEntry, STATUS_TEXT_ROWS> StatusTextTable;

// The text of a code that is not in the table (every system error code).
constexpr const char* SYSTEM_ERROR_TEXT = "Windows system error code.";

// The table's text for `status`, or SYSTEM_ERROR_TEXT.
const char* StatusMessage(UsbStatus status);

// Writes "Error code 0x%08X: <text>" into the caller's area of `size`
// characters, cut to size - 1 characters and always terminated; returns
// `text`. A null area or a size of 0 is left untouched.
char* StatusText(char* text, std::size_t size, UsbStatus status);

}  // namespace usbio
