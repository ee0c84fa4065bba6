// Turns a dialog layout (ui/DialogLayout.h) into the in-memory DLGTEMPLATE
// that DialogBoxIndirectParamW runs. The layout table stays the only
// description of the windows: no dialog resource exists in the .rc.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/DialogLayout.h"

namespace ui::win32 {

// Window styles and extended styles of one control or of a whole dialog,
// as the template carries them.
struct WindowStyles {
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
};

[[nodiscard]] WindowStyles ControlWindowStyles(const ControlTemplate& control);
[[nodiscard]] WindowStyles DialogWindowStyles(const DialogTemplate& dialog);

// The template's bytes, in 16-bit words; the vector's storage is suitably
// aligned for DLGTEMPLATE. The controls appear in table order, which makes
// the table order the tab order.
[[nodiscard]] std::vector<std::uint16_t> BuildDialogTemplate(const DialogTemplate& dialog);
// The same with window styles of the caller's own for the dialog itself
// (a tool window rather than a modal dialog).
[[nodiscard]] std::vector<std::uint16_t> BuildDialogTemplate(const DialogTemplate& dialog, const WindowStyles& styles);

}  // namespace ui::win32
