#include "ui/terminal/TerminalFrontEnd.h"

#include <cctype>
#include <ctime>
#include <utility>

#include "ui/terminal/FileDialog.h"

namespace ui::terminal {

TerminalFrontEnd::TerminalFrontEnd(std::unique_ptr<Terminal> terminal, TerminalOptions options)
    : terminal_(std::move(terminal)),
      options_(std::move(options)),
      pump_(*terminal_, options_.clock),
      template_(MainDialogTemplate()),
      layout_(ComputeTerminalLayout(template_, MIN_COLUMNS, DialogRows(terminal_->Rows()))),
      tabOrder_(TabOrder(template_)) {
    for (const ControlTemplate& c : template_.controls) {
        Control control;
        control.source = &c;
        control.mnemonic = (c.styles & STYLE_NO_PREFIX) ? Mnemonic{std::string(c.text)} : ParseMnemonic(c.text);
        control.text = std::string(c.text);
        control.enabled = (c.styles & STYLE_DISABLED) == 0;
        control.edit.SetText(c.kind == ControlKind::Edit ? c.text : "");
        controls_.push_back(std::move(control));
    }
    systemMenu_.push_back({SYSTEM_MENU_CLOSE, "&Cerrar"});
    pump_.SetTickHandler([this](int id) { DeliverTick(id); });
}

TerminalFrontEnd::~TerminalFrontEnd() = default;

TerminalFrontEnd::Control* TerminalFrontEnd::Find(int id) {
    if (id == ID_STATIC) return nullptr;
    for (Control& c : controls_)
        if (c.source->id == id) return &c;
    return nullptr;
}

const TerminalFrontEnd::Control* TerminalFrontEnd::Find(int id) const {
    return const_cast<TerminalFrontEnd*>(this)->Find(id);
}

void TerminalFrontEnd::SetCursorWanted(int row, int col) {
    cursorRow_ = row;
    cursorCol_ = col;
}

void TerminalFrontEnd::Open(ModalBox& box) {
    boxes_.push_back(&box);
    changed_ = true;
}

void TerminalFrontEnd::Close(ModalBox&) {
    boxes_.pop_back();
    changed_ = true;
}

// --- services ---------------------------------------------------------------

platform::MessageResult TerminalFrontEnd::ShowMessage(std::string_view text, std::string_view caption,
                                                      platform::MessageIcon icon, platform::MessageButtons buttons) {
    MessageBox box(*this, text, caption.empty() ? options_.applicationName : std::string(caption), icon, buttons);
    return box.Run();
}

void TerminalFrontEnd::EnableControl(int id, bool enabled) {
    Control* c = Find(id);
    if (!c || c->enabled == enabled) return;
    c->enabled = enabled;
    changed_ = true;
    // A disabled control cannot keep the keyboard; it goes on to the next
    // button, never into an edit field (a digit typed next must not change a
    // limit the operator never chose to edit).
    if (!enabled && focus_ != NONE && &controls_[focus_] == c) FocusNextButton();
}

void TerminalFrontEnd::FocusNextButton() {
    const std::size_t next = NextTabStop(tabOrder_, focus_, true,
                                         [this](std::size_t i) { return Usable(i) && IsButton(*controls_[i].source); });
    if (next != NONE) SetFocus(next, false);
}

bool TerminalFrontEnd::IsControlEnabled(int id) const {
    const Control* c = Find(id);
    return c && c->enabled;
}

void TerminalFrontEnd::StartTimer(int id, unsigned milliseconds) { pump_.StartTimer(id, milliseconds); }
void TerminalFrontEnd::StopTimer(int id) { pump_.StopTimer(id); }

void TerminalFrontEnd::SetControlText(int id, std::string_view text) {
    // The same text again changes nothing: an edit field keeps its cursor
    // and selection, and the screen is not drawn anew.
    Control* c = Find(id);
    if (!c || GetControlText(id) == text) return;
    if (c->source->kind == ControlKind::Edit) c->edit.SetText(text);
    else c->text = std::string(text);
    // A field or a static text is drawn again within its own cells; any
    // other control (a button, a group's frame) with the whole window.
    if (c->source->kind == ControlKind::Edit || c->source->kind == ControlKind::Static) {
        c->textChanged = true;
        textsChanged_ = true;
    } else {
        changed_ = true;
    }
}

std::string TerminalFrontEnd::GetControlText(int id) const {
    const Control* c = Find(id);
    if (!c) return {};
    return c->source->kind == ControlKind::Edit ? c->edit.Text() : c->text;
}

void TerminalFrontEnd::FocusControl(int id) {
    for (std::size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i].source->id == id && id != ID_STATIC) SetFocus(i, true);
}

int TerminalFrontEnd::FocusedControl() const { return focus_ == NONE ? 0 : controls_[focus_].source->id; }

void TerminalFrontEnd::CloseModal(platform::ModalResult result) {
    closed_ = true;
    result_ = result;
}

void TerminalFrontEnd::AppendSystemMenuItem(int commandId, std::string_view text) {
    systemMenu_.push_back({0, ""});
    systemMenu_.push_back({commandId, std::string(text)});
}

void TerminalFrontEnd::RunAboutBox() {
    AboutBox about(*this);
    about.Run();
}

std::optional<std::string> TerminalFrontEnd::ChooseFile(const platform::FileDialogSettings& settings) {
    FileDialog dialog(*this, settings);
    return dialog.Run();
}

platform::LocalDateTime ToLocalDateTime(const std::tm& tm) {
    // The C library counts years from 1900 and months from 0; its week
    // starts on Sunday, as the report's day names do.
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_wday};
}

platform::LocalDateTime TerminalFrontEnd::LocalTime() const {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return ToLocalDateTime(tm);
}

// --- the modal run ------------------------------------------------------------

platform::ModalResult TerminalFrontEnd::RunModal(DialogEvents& events) {
    events_ = &events;
    closed_ = false;
    shown_ = false;
    result_ = platform::ModalResult::Cancel;
    focus_ = NextTabStop(tabOrder_, NONE, true, [this](std::size_t i) { return Usable(i); });
    changed_ = true;
    events.InitializeWindow();
    shown_ = true;
    changed_ = true;
    while (!closed_) {
        if (const std::optional<Key> key = NextKey()) HandleMainKey(*key);
    }
    // The window's timers end with it.
    pump_.StopAllTimers();
    shown_ = false;
    events_ = nullptr;
    Redraw(PanelText());
    return result_;
}

void TerminalFrontEnd::DeliverTick(int id) {
    if (events_ && !closed_) events_->OnTimer(id);
}

std::optional<Key> TerminalFrontEnd::NextKey() {
    if (std::string status = PanelText(); ScreenChanged(status)) Redraw(std::move(status));
    const Key key = pump_.Next();
    if (key.type == Key::Type::None) return std::nullopt;
    changed_ = true;  // whatever the key does is drawn before the next wait
    if (key.IsSpecial(KEY_CODE_RESIZE)) return std::nullopt;
    if (TooSmall()) {
        // Nothing can be seen: only the close key is taken, in the main window.
        if (boxes_.empty() && (key.IsChar(CHAR_CTRL_Q) || key.IsChar(CHAR_CTRL_C))) return key;
        return std::nullopt;
    }
    return key;
}

bool TerminalFrontEnd::Usable(std::size_t index) const {
    const Control& c = controls_[index];
    return c.enabled && (c.source->styles & STYLE_TABSTOP) != 0;
}

void TerminalFrontEnd::SetFocus(std::size_t index, bool selectAll) {
    focus_ = index;
    changed_ = true;
    if (controls_[index].source->kind != ControlKind::Edit) return;
    if (selectAll) controls_[index].edit.SelectAll();
    else controls_[index].edit.Deselect();
}

void TerminalFrontEnd::MoveFocus(bool forward, bool selectAll) {
    const std::size_t next = NextTabStop(tabOrder_, focus_, forward, [this](std::size_t i) { return Usable(i); });
    if (next != NONE) SetFocus(next, selectAll);
}

void TerminalFrontEnd::Press(std::size_t index) {
    Control& c = controls_[index];
    if (!c.enabled || !IsButton(*c.source) || !events_) return;
    focus_ = index;
    events_->OnCommand(c.source->id);
}

bool TerminalFrontEnd::HandleMnemonic(int letter) {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const Control& c = controls_[i];
        if (c.mnemonic.letter == 0 || Lower(static_cast<unsigned char>(c.mnemonic.letter)) != Lower(letter)) continue;
        if (IsButton(*c.source)) {
            Press(i);
            return true;
        }
        if (c.source->kind == ControlKind::Edit) {
            if (c.enabled) SetFocus(i, true);
            return true;
        }
        // A label's mnemonic goes to the next control that takes the focus.
        for (std::size_t j = i + 1; j < controls_.size(); ++j)
            if (Usable(j)) {
                SetFocus(j, true);
                break;
            }
        return true;
    }
    return false;
}

void TerminalFrontEnd::RunSystemMenu() {
    std::optional<int> chosen;
    {
        SystemMenuBox menu(*this, systemMenu_);
        chosen = menu.Run();
    }
    if (!chosen || !events_) return;
    if (*chosen == SYSTEM_MENU_CLOSE) events_->OnClose();
    else events_->OnSysCommand(*chosen);
}

void TerminalFrontEnd::HandleMainKey(const Key& key) {
    if (!events_) return;
    if (key.IsChar(CHAR_CTRL_Q) || key.IsChar(CHAR_CTRL_C)) {
        events_->OnClose();
        return;
    }
    if (key.IsSpecial(KeyCodeF(10)) || (key.alt && key.type == Key::Type::Char && key.code == ' ')) {
        RunSystemMenu();
        return;
    }
    if (key.IsTab() || key.IsBackTab()) {
        MoveFocus(key.IsTab(), true);
        return;
    }
    if (key.type == Key::Type::Mouse) {
        const int row = key.row - DIALOG_FIRST_ROW;
        if (key.row == 0) {
            if (key.col <= 2) RunSystemMenu();
            if (key.col >= MIN_COLUMNS - 3 && key.col < MIN_COLUMNS) events_->OnClose();
            return;
        }
        for (std::size_t i = 0; i < controls_.size(); ++i) {
            const ControlTemplate& c = *controls_[i].source;
            if (c.kind == ControlKind::GroupBox || !layout_.cells[i].Contains(row, key.col)) continue;
            if (IsButton(c)) Press(i);
            if (c.kind == ControlKind::Edit && controls_[i].enabled) SetFocus(i, false);
            return;
        }
        return;
    }
    Control* focused = focus_ == NONE ? nullptr : &controls_[focus_];
    if (focused && focused->source->kind == ControlKind::Edit && focused->enabled) {
        const EditBuffer::Result result = focused->edit.HandleKey(key);
        if (result == EditBuffer::Result::Changed) {
            events_->OnEditChange(focused->source->id);
            return;
        }
        if (result == EditBuffer::Result::Moved) return;
    }
    const bool onButton = focused && IsButton(*focused->source);
    if (key.type == Key::Type::Char && (key.alt || (onButton && key.code > ' ' && key.code < 0x7F))) {
        // Alt+letter anywhere, and a plain letter while no edit field has
        // the keyboard, as in a Windows dialog.
        if (HandleMnemonic(key.code)) return;
    }
    if (key.IsEnter()) {
        if (onButton) Press(focus_);
        else events_->OnAccept();
        return;
    }
    if (key.IsChar(' ') && onButton) {
        Press(focus_);
        return;
    }
    if (key.IsEscape()) {
        events_->OnCancel();
        return;
    }
    if (onButton && (key.IsSpecial(KEY_CODE_DOWN) || key.IsSpecial(KEY_CODE_RIGHT))) {
        MoveFocus(true, true);
        return;
    }
    if (onButton && (key.IsSpecial(KEY_CODE_UP) || key.IsSpecial(KEY_CODE_LEFT))) {
        MoveFocus(false, true);
        return;
    }
    OfferToPanel(key);
}

void TerminalFrontEnd::OfferToPanel(const Key& key) {
    if (!options_.panel || key.alt || key.type == Key::Type::Mouse) return;
    for (const SimulatorControl& control : SIMULATOR_CONTROLS)
        if (key.code == KeyCodeF(control.functionKey)) options_.panel->Act(control.action);
}

}  // namespace ui::terminal
