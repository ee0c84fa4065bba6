#include "ui/win32/DialogTemplateBuilder.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "ui/win32/TextConversion.h"

namespace ui::win32 {
namespace {

// Predefined window classes of dialog items, by atom.
constexpr std::uint16_t CLASS_BUTTON = 0x0080;
constexpr std::uint16_t CLASS_EDIT = 0x0081;
constexpr std::uint16_t CLASS_STATIC = 0x0082;

std::uint16_t ClassAtom(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton:
        case ControlKind::GroupBox: return CLASS_BUTTON;
        case ControlKind::Edit: return CLASS_EDIT;
        case ControlKind::Static:
        case ControlKind::Icon: return CLASS_STATIC;
    }
    return CLASS_STATIC;
}

class TemplateWriter {
public:
    void Word(std::uint16_t value) { words_.push_back(value); }
    void Dword(std::uint32_t value) {
        Word(static_cast<std::uint16_t>(value & 0xFFFF));
        Word(static_cast<std::uint16_t>(value >> 16));
    }
    void Short(int value) { Word(static_cast<std::uint16_t>(static_cast<std::int16_t>(value))); }
    void Text(std::string_view utf8) {
        for (wchar_t c : Utf8ToUtf16(utf8)) Word(static_cast<std::uint16_t>(c));
        Word(0);
    }
    // Items start on a 32-bit boundary.
    void AlignDword() {
        if (words_.size() % 2 != 0) Word(0);
    }
    std::vector<std::uint16_t> Take() { return std::move(words_); }

private:
    std::vector<std::uint16_t> words_;
};

}  // namespace

WindowStyles ControlWindowStyles(const ControlTemplate& control) {
    WindowStyles result;
    result.style = WS_CHILD | WS_VISIBLE;
    switch (control.kind) {
        case ControlKind::PushButton: result.style |= BS_PUSHBUTTON; break;
        case ControlKind::DefaultPushButton: result.style |= BS_DEFPUSHBUTTON; break;
        case ControlKind::GroupBox: result.style |= BS_GROUPBOX; break;
        case ControlKind::Edit:
            result.style |= ES_LEFT;
            if (control.styles & STYLE_RIGHT) result.style |= ES_RIGHT;
            if (control.styles & STYLE_AUTOHSCROLL) result.style |= ES_AUTOHSCROLL;
            if (control.styles & STYLE_BORDER) result.style |= WS_BORDER;
            break;
        case ControlKind::Static:
            result.style |= (control.styles & STYLE_CENTER) ? SS_CENTER : SS_LEFT;
            if (control.styles & STYLE_CENTER_VERTICAL) result.style |= SS_CENTERIMAGE;
            if (control.styles & STYLE_NO_PREFIX) result.style |= SS_NOPREFIX;
            break;
        case ControlKind::Icon: result.style |= SS_ICON; break;
    }
    if (control.styles & STYLE_TABSTOP) result.style |= WS_TABSTOP;
    if (control.styles & STYLE_DISABLED) result.style |= WS_DISABLED;
    if (control.styles & STYLE_GROUP) result.style |= WS_GROUP;
    if (control.styles & STYLE_THIN_SUNKEN) result.exStyle |= WS_EX_STATICEDGE;
    if (control.styles & STYLE_CLIENT_EDGE) result.exStyle |= WS_EX_CLIENTEDGE;
    return result;
}

WindowStyles DialogWindowStyles(const DialogTemplate& dialog) {
    WindowStyles result;
    // Centred on the screen (the About box on the main window).
    result.style = DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | DS_CENTER | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
    if (dialog.minimizeBox) result.style |= WS_MINIMIZEBOX;
    if (dialog.inTaskBar) result.exStyle |= WS_EX_APPWINDOW;
    return result;
}

std::vector<std::uint16_t> BuildDialogTemplate(const DialogTemplate& dialog) {
    return BuildDialogTemplate(dialog, DialogWindowStyles(dialog));
}

std::vector<std::uint16_t> BuildDialogTemplate(const DialogTemplate& dialog, const WindowStyles& styles) {
    TemplateWriter out;
    out.Dword(styles.style);
    out.Dword(styles.exStyle);
    out.Word(static_cast<std::uint16_t>(dialog.controls.size()));
    out.Short(0);
    out.Short(0);
    out.Short(dialog.cx);
    out.Short(dialog.cy);
    out.Word(0);  // no menu
    out.Word(0);  // the standard dialog class
    out.Text(dialog.caption);
    out.Word(static_cast<std::uint16_t>(dialog.pointSize));
    out.Text(dialog.fontName);

    for (const ControlTemplate& control : dialog.controls) {
        out.AlignDword();
        const WindowStyles item = ControlWindowStyles(control);
        out.Dword(item.style);
        out.Dword(item.exStyle);
        out.Short(control.rect.x);
        out.Short(control.rect.y);
        out.Short(control.rect.cx);
        out.Short(control.rect.cy);
        out.Word(static_cast<std::uint16_t>(control.id));  // ID_STATIC becomes 0xFFFF
        out.Word(0xFFFF);
        out.Word(ClassAtom(control.kind));
        out.Text(control.text);
        out.Word(0);  // no creation data
    }
    return out.Take();
}

}  // namespace ui::win32
