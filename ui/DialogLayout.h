// The layout of the main window (template 102) and of the About box
// (template 100) as data: the one description that both front-ends draw
// from. Positions are in dialog units; the controls are listed in creation
// order, which is also the tab order of the controls that are tab stops.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace ui {

enum class ControlKind { PushButton, DefaultPushButton, Edit, Static, GroupBox, Icon };

// Style bits, named after what they do rather than after one platform.
enum ControlStyle : unsigned {
    STYLE_NONE = 0,
    STYLE_TABSTOP = 1u << 0,
    STYLE_DISABLED = 1u << 1,
    STYLE_BORDER = 1u << 2,           // edit fields
    STYLE_RIGHT = 1u << 3,            // right-aligned text (edit fields)
    STYLE_AUTOHSCROLL = 1u << 4,      // edit text scrolls horizontally
    STYLE_CENTER = 1u << 5,           // centred horizontally (static text)
    STYLE_CENTER_VERTICAL = 1u << 6,  // centred vertically (static text)
    STYLE_THIN_SUNKEN = 1u << 7,      // thin sunken edge (static edge)
    STYLE_CLIENT_EDGE = 1u << 8,      // sunken client edge
    STYLE_NO_PREFIX = 1u << 9,        // "&" is not a mnemonic marker
    STYLE_GROUP = 1u << 10,           // starts a group
};

constexpr int ID_STATIC = -1;

struct Rect {
    int x;
    int y;
    int cx;
    int cy;
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    std::string_view text;  // UTF-8, with "&" before the mnemonic letter
    Rect rect;
    unsigned styles;
};

struct DialogTemplate {
    int id;
    std::string_view caption;
    int cx;
    int cy;
    std::string_view fontName;
    int pointSize;
    bool minimizeBox;
    bool inTaskBar;
    std::span<const ControlTemplate> controls;
};

const DialogTemplate& MainDialogTemplate();
const DialogTemplate& AboutDialogTemplate();

// Finds a control of a template by id (the first one for ID_STATIC); null
// when there is none.
const ControlTemplate* FindControl(const DialogTemplate& dialog, int id);

// A control text split into what is shown and its mnemonic: "C&argar" is
// shown as "Cargar" with the letter 'a' at byte 1. "&&" stands for a literal
// ampersand. Without a mnemonic, letter is 0 and index is npos.
struct Mnemonic {
    std::string display;
    std::string::size_type index = std::string::npos;
    char letter = 0;
};
Mnemonic ParseMnemonic(std::string_view text);

}  // namespace ui
