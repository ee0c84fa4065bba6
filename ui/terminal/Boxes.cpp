#include "ui/terminal/Boxes.h"

#include <algorithm>
#include <utility>

#include "ui/terminal/Drawing.h"
#include "ui/terminal/FileDialogModel.h"

namespace ui::terminal {
namespace {

constexpr const char* OK_TEXT = "Aceptar";
constexpr const char* CANCEL_TEXT = "Cancelar";

const char* IconSign(platform::MessageIcon icon) {
    switch (icon) {
        case platform::MessageIcon::Stop: return "(x)";
        case platform::MessageIcon::Exclamation: return "(!)";
        case platform::MessageIcon::Information: return "(i)";
        case platform::MessageIcon::None: break;
    }
    return "";
}

platform::MessageResult Result(std::size_t button) {
    return button == 0 ? platform::MessageResult::Ok : platform::MessageResult::Cancel;
}

}  // namespace

// --- the message box ----------------------------------------------------------

MessageBox::MessageBox(ModalHost& host, std::string_view text, std::string caption, platform::MessageIcon icon,
                       platform::MessageButtons buttons)
    : ModalBox(host), caption_(std::move(caption)), icon_(IconSign(icon)) {
    labels_.push_back(OK_TEXT);
    if (buttons != platform::MessageButtons::Ok) labels_.push_back(CANCEL_TEXT);
    if (buttons == platform::MessageButtons::OkCancelDefaultCancel) focused_ = 1;
    lines_ = WrapText(text, 56);
}

platform::MessageResult MessageBox::Run() {
    const bool cancelAllowed = labels_.size() > 1;
    const auto cancelResult = cancelAllowed ? platform::MessageResult::Cancel : platform::MessageResult::Ok;
    while (true) {
        const std::optional<Key> key = host_.NextKey();
        if (!key) continue;
        const Key& k = *key;
        if (k.IsEnter() || k.IsChar(' ')) return Result(focused_);
        if (k.IsEscape() || k.IsChar(CHAR_CTRL_Q)) return cancelResult;
        if (k.IsTab() || k.IsBackTab() || k.IsSpecial(KEY_CODE_LEFT) || k.IsSpecial(KEY_CODE_RIGHT)) {
            focused_ = (focused_ + 1) % labels_.size();
            continue;
        }
        if (k.type == Key::Type::Mouse) {
            for (std::size_t i = 0; i < hits_.size(); ++i)
                if (hits_[i].Contains(k.row, k.col)) return Result(i);
            continue;
        }
        host_.OfferToPanel(k);
    }
}

void MessageBox::Draw(Terminal& t) {
    int textWidth = 0;
    for (const auto& l : lines_) textWidth = std::max(textWidth, DisplayWidth(l));
    const int iconWidth = icon_.empty() ? 0 : DisplayWidth(icon_) + 2;
    int buttonsWidth = 0;
    for (const auto& l : labels_) buttonsWidth += DisplayWidth(l) + 4;
    const int inner = std::max({DisplayWidth(caption_) + 4, iconWidth + textWidth + 4, buttonsWidth + 2, 24});
    const int innerRows = static_cast<int>(lines_.size()) + 3;
    const CellRect box = CentredBox(t, innerRows, inner);
    DrawBox(t, box, caption_);
    const int textCol = box.col + 3;
    if (!icon_.empty()) t.Put(box.row + 2, textCol, icon_, ATTR_BOLD);
    for (std::size_t i = 0; i < lines_.size(); ++i)
        t.Put(box.row + 2 + static_cast<int>(i), textCol + iconWidth, lines_[i], ATTR_NORMAL);
    hits_ = DrawButtonRow(t, box.Bottom() - 1, box.col + 1, inner, labels_, focused_);
}

// --- the About box ------------------------------------------------------------

AboutBox::AboutBox(ModalHost& host)
    : ModalBox(host), template_(AboutDialogTemplate()), layout_(ComputeTerminalLayout(template_, 52, 7)) {}

void AboutBox::Run() {
    while (true) {
        const std::optional<Key> key = host_.NextKey();
        if (!key) continue;
        const Key& k = *key;
        if (k.IsEnter() || k.IsChar(' ') || k.IsEscape() || k.IsChar(CHAR_CTRL_Q)) return;
        if (k.type == Key::Type::Mouse && button_.Contains(k.row, k.col)) return;
    }
}

void AboutBox::Draw(Terminal& t) {
    const int innerCols = std::max(layout_.cols + 2, DisplayWidth(template_.caption) + 4);
    const CellRect box = CentredBox(t, layout_.rows + 2, innerCols);
    DrawBox(t, box, template_.caption);
    const int top = box.row + 2, left = box.col + 2;
    for (std::size_t i = 0; i < template_.controls.size(); ++i) {
        const ControlTemplate& c = template_.controls[i];
        const CellRect& cell = layout_.cells[i];
        if (c.kind == ControlKind::Icon) {
            t.Put(top + cell.row, left + cell.col, "(Q)", ATTR_BOLD);
        } else if (IsButton(c)) {
            const Mnemonic m = ParseMnemonic(c.text);
            const int w = DisplayWidth(m.display) + 2;
            const int x = left + cell.col + std::max(0, (cell.cols - w) / 2);
            PutButton(t, top + cell.row, x, m.display, m.index, ATTR_REVERSE);
            button_ = {top + cell.row, x, 1, w};
        } else {
            const std::string text = (c.styles & STYLE_NO_PREFIX) ? std::string(c.text) : ParseMnemonic(c.text).display;
            t.Put(top + cell.row, left + cell.col, text, ATTR_NORMAL);
        }
    }
}

// --- the system menu ----------------------------------------------------------

SystemMenuBox::SystemMenuBox(ModalHost& host, const std::vector<SystemMenuItem>& items)
    : ModalBox(host), items_(items) {
    for (const auto& item : items_) width_ = std::max(width_, DisplayWidth(ParseMnemonic(item.text).display) + 10);
    selected_ = items_.size() - 1;
    Step(true);  // the first item
}

std::optional<int> SystemMenuBox::Run() {
    while (true) {
        const std::optional<Key> key = host_.NextKey();
        if (!key) continue;
        const Key& k = *key;
        if (k.IsEscape() || k.IsSpecial(KeyCodeF(10))) return std::nullopt;
        if (k.IsEnter() || k.IsChar(' ')) return items_[selected_].commandId;
        if (k.IsSpecial(KEY_CODE_DOWN) || k.IsTab()) Step(true);
        if (k.IsSpecial(KEY_CODE_UP) || k.IsBackTab()) Step(false);
        if (k.type == Key::Type::Char) {
            for (const auto& item : items_) {
                const Mnemonic m = ParseMnemonic(item.text);
                if (item.commandId != 0 && m.letter != 0 && Lower(m.letter) == Lower(k.code)) return item.commandId;
            }
        }
        if (k.type == Key::Type::Mouse) {
            for (std::size_t i = 0; i < items_.size(); ++i)
                if (items_[i].commandId != 0 && k.row == top_ + 1 + static_cast<int>(i) && k.col > left_ &&
                    k.col < left_ + width_ + 1)
                    return items_[i].commandId;
            return std::nullopt;
        }
    }
}

void SystemMenuBox::Draw(Terminal& t) {
    const CellRect box{top_, left_, static_cast<int>(items_.size()) + 2, width_ + 2};
    FillRect(t, box, ATTR_NORMAL);
    DrawFrame(t, box, "", ATTR_NORMAL);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const int row = top_ + 1 + static_cast<int>(i);
        if (items_[i].commandId == 0) {
            t.Put(row, left_, "├" + Repeat("─", width_) + "┤", ATTR_NORMAL);
            continue;
        }
        const unsigned attr = i == selected_ ? ATTR_REVERSE : ATTR_NORMAL;
        t.Put(row, left_ + 1, std::string(static_cast<std::size_t>(width_), ' '), attr);
        const Mnemonic m = ParseMnemonic(items_[i].text);
        PutWithMnemonic(t, row, left_ + 2, m.display, m.index, attr);
        if (items_[i].commandId == SYSTEM_MENU_CLOSE) t.Put(row, left_ + width_ - 6, "Ctrl+Q", attr);
    }
}

void SystemMenuBox::Step(bool forward) {
    const std::size_t n = items_.size();
    for (std::size_t s = 1; s <= n; ++s) {
        const std::size_t i = forward ? (selected_ + s) % n : (selected_ + n - s) % n;
        if (items_[i].commandId != 0) {
            selected_ = i;
            return;
        }
    }
}

}  // namespace ui::terminal
