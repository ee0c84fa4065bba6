#include "ui/terminal/TerminalFrontEnd.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <utility>

#include "storage/FileSystem.h"
#include "ui/terminal/FileDialogModel.h"

namespace ui::terminal {

// The simulator panel reads the same key codes as this front-end hands it.
static_assert(KeyCodeF(2) == PANEL_KEY_F2 && KeyCodeF(3) == PANEL_KEY_F3 && KeyCodeF(4) == PANEL_KEY_F4);

namespace {

constexpr std::size_t NONE = static_cast<std::size_t>(-1);
constexpr int SYSTEM_MENU_CLOSE = -1;
constexpr const char* OK_TEXT = "Aceptar";
constexpr const char* CANCEL_TEXT = "Cancelar";

int Lower(int c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

bool IsButton(const ControlTemplate& c) {
    return c.kind == ControlKind::PushButton || c.kind == ControlKind::DefaultPushButton;
}

// The characters of a UTF-8 text, one string per cell.
std::vector<std::string> Cells(std::string_view utf8) {
    std::vector<std::string> cells;
    for (const char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 || cells.empty())
            cells.emplace_back(1, c);
        else
            cells.back() += c;
    }
    return cells;
}

std::string Join(const std::vector<std::string>& cells, std::size_t from, std::size_t count) {
    std::string out;
    for (std::size_t i = from; i < from + count && i < cells.size(); ++i) out += cells[i];
    return out;
}

std::string Repeat(std::string_view s, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += s;
    return out;
}

const char* IconSign(platform::MessageIcon icon) {
    switch (icon) {
        case platform::MessageIcon::Stop:
            return "(x)";
        case platform::MessageIcon::Exclamation:
            return "(!)";
        case platform::MessageIcon::Information:
            return "(i)";
        case platform::MessageIcon::None:
            break;
    }
    return "";
}

// Draws a row of buttons centred in [col, col + width), the focused one in
// reverse video; returns each button's cells for mouse hits.
std::vector<CellRect> DrawButtonRow(Terminal& t, int row, int col, int width, const std::vector<std::string>& labels,
                                    std::size_t focused) {
    int total = 0;
    for (const auto& l : labels) total += DisplayWidth(l) + 2;
    total += 2 * (static_cast<int>(labels.size()) - 1);
    int x = col + std::max(0, (width - total) / 2);
    std::vector<CellRect> hits;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const Mnemonic m = ParseMnemonic(labels[i]);
        const int w = DisplayWidth(m.display) + 2;
        const unsigned attr = i == focused ? ATTR_REVERSE : ATTR_NORMAL;
        t.Put(row, x, "[", attr);
        PutWithMnemonic(t, row, x + 1, m.display, m.index, attr);
        t.Put(row, x + w - 1, "]", attr);
        hits.push_back({row, x, 1, w});
        x += w + 2;
    }
    return hits;
}

// Frames that may share borders: each cell shows the lines that meet in it,
// so a box standing on another's bottom edge joins it with ├ ┤ ┬ ┴.
void DrawJoinedFrames(Terminal& t, const std::vector<CellRect>& frames, int rowOffset) {
    enum : unsigned { UP = 1, DOWN = 2, LEFT = 4, RIGHT = 8 };
    std::map<std::pair<int, int>, unsigned> lines;
    for (const CellRect& r : frames) {
        if (r.rows < 2 || r.cols < 2) continue;
        for (int col = r.col; col <= r.Right(); ++col) {
            const unsigned across = (col > r.col ? LEFT : 0u) | (col < r.Right() ? RIGHT : 0u);
            lines[{r.row, col}] |= across | (col == r.col || col == r.Right() ? DOWN : 0u);
            lines[{r.Bottom(), col}] |= across | (col == r.col || col == r.Right() ? UP : 0u);
        }
        for (int row = r.row + 1; row < r.Bottom(); ++row) {
            lines[{row, r.col}] |= UP | DOWN;
            lines[{row, r.Right()}] |= UP | DOWN;
        }
    }
    static const std::map<unsigned, const char*> glyphs = {
        {LEFT | RIGHT, "─"}, {UP | DOWN, "│"}, {RIGHT | DOWN, "┌"}, {LEFT | DOWN, "┐"},
        {UP | RIGHT, "└"}, {UP | LEFT, "┘"}, {UP | DOWN | RIGHT, "├"}, {UP | DOWN | LEFT, "┤"},
        {LEFT | RIGHT | DOWN, "┬"}, {LEFT | RIGHT | UP, "┴"}, {UP | DOWN | LEFT | RIGHT, "┼"},
    };
    for (const auto& [cell, mask] : lines) {
        const auto glyph = glyphs.find(mask);
        if (glyph != glyphs.end()) t.Put(cell.first + rowOffset, cell.second, glyph->second, ATTR_NORMAL);
    }
}

void FillRect(Terminal& t, const CellRect& r, unsigned attr) {
    const std::string blank(static_cast<std::size_t>(std::max(r.cols, 0)), ' ');
    for (int row = r.row; row <= r.Bottom(); ++row) t.Put(row, r.col, blank, attr);
}

// A centred box of the given inner size over the main window (the screen's
// first 80 columns).
CellRect CentredBox(const Terminal& t, int innerRows, int innerCols) {
    const int screenRows = t.Rows(), screenCols = std::min(t.Columns(), MIN_COLUMNS);
    const int rows = innerRows + 2, cols = innerCols + 2;
    return {std::max(0, (screenRows - rows) / 2), std::max(0, (screenCols - cols) / 2), rows, cols};
}

}  // namespace

void PutWithMnemonic(Terminal& terminal, int row, int col, std::string_view display, std::size_t mnemonicByte,
                     unsigned attributes) {
    if (mnemonicByte == std::string::npos || mnemonicByte >= display.size()) {
        terminal.Put(row, col, display, attributes);
        return;
    }
    const std::string_view before = display.substr(0, mnemonicByte);
    const std::vector<std::string> rest = Cells(display.substr(mnemonicByte));
    terminal.Put(row, col, before, attributes);
    const int at = col + DisplayWidth(before);
    terminal.Put(row, at, rest.front(), attributes | ATTR_UNDERLINE);
    terminal.Put(row, at + 1, Join(rest, 1, rest.size()), attributes);
}

void DrawFrame(Terminal& t, const CellRect& r, std::string_view title, unsigned attr) {
    if (r.rows < 2 || r.cols < 2) return;
    const int inner = r.cols - 2;
    t.Put(r.row, r.col, "┌" + Repeat("─", inner) + "┐", attr);
    for (int row = r.row + 1; row < r.Bottom(); ++row) {
        t.Put(row, r.col, "│", attr);
        t.Put(row, r.Right(), "│", attr);
    }
    t.Put(r.Bottom(), r.col, "└" + Repeat("─", inner) + "┘", attr);
    if (!title.empty()) {
        const std::vector<std::string> cells = Cells(title);
        t.Put(r.row, r.col + 1, Join(cells, 0, static_cast<std::size_t>(inner)), attr);
    }
}

// ---------------------------------------------------------------------------
// Modal layers

class TerminalFrontEnd::Layer {
public:
    explicit Layer(TerminalFrontEnd& owner) : owner_(owner) {
        owner_.layers_.push_back(this);
        owner_.changed_ = true;
    }
    virtual ~Layer() {
        owner_.layers_.pop_back();
        owner_.changed_ = true;
    }
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;
    virtual void Draw(Terminal& t) = 0;

protected:
    TerminalFrontEnd& owner_;
};

// A message box: caption on its top edge, icon sign, wrapped text, buttons.
class TerminalFrontEnd::MessageLayer final : public Layer {
public:
    MessageLayer(TerminalFrontEnd& owner, std::string_view text, std::string caption, platform::MessageIcon icon,
                 platform::MessageButtons buttons)
        : Layer(owner), caption_(std::move(caption)), icon_(IconSign(icon)) {
        labels_.push_back(OK_TEXT);
        if (buttons == platform::MessageButtons::OkCancel) labels_.push_back(CANCEL_TEXT);
        lines_ = WrapText(text, 56);
    }

    platform::MessageResult Run() {
        const bool cancelAllowed = labels_.size() > 1;
        const auto cancelResult = cancelAllowed ? platform::MessageResult::Cancel : platform::MessageResult::Ok;
        while (true) {
            const std::optional<Key> key = owner_.PumpOnce();
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
            owner_.OfferToPanel(k);
        }
    }

    void Draw(Terminal& t) override {
        int textWidth = 0;
        for (const auto& l : lines_) textWidth = std::max(textWidth, DisplayWidth(l));
        const int iconWidth = icon_.empty() ? 0 : DisplayWidth(icon_) + 2;
        int buttonsWidth = 0;
        for (const auto& l : labels_) buttonsWidth += DisplayWidth(l) + 4;
        const int inner = std::max({DisplayWidth(caption_) + 4, iconWidth + textWidth + 4, buttonsWidth + 2, 24});
        const int innerRows = static_cast<int>(lines_.size()) + 3;
        const CellRect box = CentredBox(t, innerRows, inner);
        FillRect(t, box, ATTR_NORMAL);
        DrawFrame(t, box, "", ATTR_NORMAL);
        t.Put(box.row, box.col + 1, " " + caption_ + " ", ATTR_REVERSE);
        const int textCol = box.col + 3;
        if (!icon_.empty()) t.Put(box.row + 2, textCol, icon_, ATTR_BOLD);
        for (std::size_t i = 0; i < lines_.size(); ++i)
            t.Put(box.row + 2 + static_cast<int>(i), textCol + iconWidth, lines_[i], ATTR_NORMAL);
        hits_ = DrawButtonRow(t, box.Bottom() - 1, box.col + 1, inner, labels_, focused_);
    }

private:
    platform::MessageResult Result(std::size_t index) const {
        return index == 0 ? platform::MessageResult::Ok : platform::MessageResult::Cancel;
    }

    std::string caption_;
    std::string icon_;
    std::vector<std::string> lines_;
    std::vector<std::string> labels_;
    std::vector<CellRect> hits_;
    std::size_t focused_ = 0;  // OK is the default button
};

// The About box, laid out from its own template.
class TerminalFrontEnd::AboutLayer final : public Layer {
public:
    explicit AboutLayer(TerminalFrontEnd& owner)
        : Layer(owner), template_(AboutDialogTemplate()), layout_(ComputeTerminalLayout(template_, 52, 7)) {}

    void Run() {
        while (true) {
            const std::optional<Key> key = owner_.PumpOnce();
            if (!key) continue;
            const Key& k = *key;
            if (k.IsEnter() || k.IsChar(' ') || k.IsEscape() || k.IsChar(CHAR_CTRL_Q)) return;
            if (k.type == Key::Type::Mouse && button_.Contains(k.row, k.col)) return;
        }
    }

    void Draw(Terminal& t) override {
        const int innerCols = std::max(layout_.cols + 2, DisplayWidth(template_.caption) + 4);
        const CellRect box = CentredBox(t, layout_.rows + 2, innerCols);
        FillRect(t, box, ATTR_NORMAL);
        DrawFrame(t, box, "", ATTR_NORMAL);
        t.Put(box.row, box.col + 1, " " + std::string(template_.caption) + " ", ATTR_REVERSE);
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
                t.Put(top + cell.row, x, "[", ATTR_REVERSE);
                PutWithMnemonic(t, top + cell.row, x + 1, m.display, m.index, ATTR_REVERSE);
                t.Put(top + cell.row, x + w - 1, "]", ATTR_REVERSE);
                button_ = {top + cell.row, x, 1, w};
            } else {
                const std::string text = (c.styles & STYLE_NO_PREFIX) ? std::string(c.text)
                                                                      : ParseMnemonic(c.text).display;
                t.Put(top + cell.row, left + cell.col, text, ATTR_NORMAL);
            }
        }
    }

private:
    const DialogTemplate& template_;
    TerminalLayout layout_;
    CellRect button_;
};

// The system menu, opened below the title bar's menu box.
class TerminalFrontEnd::MenuLayer final : public Layer {
public:
    MenuLayer(TerminalFrontEnd& owner, const std::vector<MenuItem>& items) : Layer(owner), items_(items) {
        for (const auto& item : items_) width_ = std::max(width_, DisplayWidth(ParseMnemonic(item.text).display) + 10);
        selected_ = items_.size() - 1;
        Step(true);  // the first item
    }

    // The chosen item's command, or nothing when the menu was closed.
    std::optional<int> Run() {
        while (true) {
            const std::optional<Key> key = owner_.PumpOnce();
            if (!key) continue;
            const Key& k = *key;
            if (k.IsEscape() || k.IsSpecial(KeyCodeF(10))) return std::nullopt;
            if (k.IsEnter() || k.IsChar(' ')) return items_[selected_].commandId;
            if (k.IsSpecial(KEY_CODE_DOWN) || k.IsTab()) Step(true);
            if (k.IsSpecial(KEY_CODE_UP) || k.IsBackTab()) Step(false);
            if (k.type == Key::Type::Char) {
                for (const auto& item : items_) {
                    const Mnemonic m = ParseMnemonic(item.text);
                    if (item.commandId != 0 && m.letter != 0 && Lower(m.letter) == Lower(k.code))
                        return item.commandId;
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

    void Draw(Terminal& t) override {
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

private:
    void Step(bool forward) {
        const std::size_t n = items_.size();
        for (std::size_t s = 1; s <= n; ++s) {
            const std::size_t i = forward ? (selected_ + s) % n : (selected_ + n - s) % n;
            if (items_[i].commandId != 0) {
                selected_ = i;
                return;
            }
        }
    }

    std::vector<MenuItem> items_;
    std::size_t selected_ = 0;
    int width_ = 16;
    int top_ = 1;
    int left_ = 0;
};

// The open and save dialog: folder, file list, name, type, buttons.
class TerminalFrontEnd::FileLayer final : public Layer {
public:
    enum class Part { Name, List, Type, Accept, Cancel };

    FileLayer(TerminalFrontEnd& owner, const platform::FileDialogSettings& settings)
        : Layer(owner), settings_(settings), name_(EditBuffer::Accepts::AnyText, 200) {
        folder_ = settings_.initialFolder;
        title_ = settings_.kind == platform::FileDialogKind::Save ? "Guardar como" : "Abrir";
        acceptLabel_ = settings_.kind == platform::FileDialogKind::Save ? "&Guardar" : "&Abrir";
        Refresh();
    }

    std::optional<std::string> Run() {
        while (true) {
            const std::optional<Key> key = owner_.PumpOnce();
            if (!key) continue;
            const Key& k = *key;
            if (k.IsEscape() || k.IsChar(CHAR_CTRL_Q)) return std::nullopt;
            if (k.IsTab() || k.IsBackTab()) {
                const int n = 5;
                part_ = static_cast<Part>((static_cast<int>(part_) + (k.IsTab() ? 1 : n - 1)) % n);
                if (part_ == Part::Name) name_.SelectAll();
                continue;
            }
            if (k.alt && k.type == Key::Type::Char) {
                switch (Lower(k.code)) {
                    case 'n': part_ = Part::Name; name_.SelectAll(); continue;
                    case 'l': part_ = Part::List; continue;
                    case 't': part_ = Part::Type; continue;
                    case 'c': return std::nullopt;
                    default:
                        if (Lower(k.code) == Lower(ParseMnemonic(acceptLabel_).letter)) {
                            if (auto path = TryAccept()) return path;
                        }
                        continue;
                }
            }
            if (k.type == Key::Type::Mouse) {
                if (HandleClick(k)) {
                    if (part_ == Part::Cancel) return std::nullopt;
                    if (part_ == Part::Accept)
                        if (auto path = TryAccept()) return path;
                }
                continue;
            }
            if (k.IsEnter()) {
                if (part_ == Part::Cancel) return std::nullopt;
                if (auto path = TryAccept()) return path;
                continue;
            }
            switch (part_) {
                case Part::Name:
                    name_.HandleKey(k);
                    break;
                case Part::List:
                    if (k.IsSpecial(KEY_CODE_DOWN)) Select(selected_ == NONE ? 0 : selected_ + 1);
                    if (k.IsSpecial(KEY_CODE_UP)) Select(selected_ == NONE || selected_ == 0 ? 0 : selected_ - 1);
                    if (k.IsSpecial(KEY_CODE_HOME)) Select(0);
                    if (k.IsSpecial(KEY_CODE_END) && !files_.empty()) Select(files_.size() - 1);
                    break;
                case Part::Type:
                    if (k.IsChar(' ') || k.IsSpecial(KEY_CODE_RIGHT) || k.IsSpecial(KEY_CODE_DOWN))
                        SwitchFilter(1);
                    if (k.IsSpecial(KEY_CODE_LEFT) || k.IsSpecial(KEY_CODE_UP)) SwitchFilter(-1);
                    break;
                case Part::Accept:
                    if (k.IsChar(' '))
                        if (auto path = TryAccept()) return path;
                    break;
                case Part::Cancel:
                    if (k.IsChar(' ')) return std::nullopt;
                    break;
            }
        }
    }

    void Draw(Terminal& t) override {
        box_ = CentredBox(t, LIST_ROWS + 9, 60);
        FillRect(t, box_, ATTR_NORMAL);
        DrawFrame(t, box_, "", ATTR_NORMAL);
        t.Put(box_.row, box_.col + 1, " " + title_ + " ", ATTR_REVERSE);
        const int left = box_.col + 2, inner = box_.cols - 4;
        t.Put(box_.row + 1, left, "Carpeta: " + folder_, ATTR_NORMAL);
        list_ = {box_.row + 2, left, LIST_ROWS + 2, inner};
        DrawFrame(t, list_, "", ATTR_NORMAL);
        PutWithMnemonic(t, list_.row, list_.col + 1, "Archivos", 7, ATTR_NORMAL);
        if (files_.empty()) t.Put(list_.row + 1, list_.col + 2, "(ningún archivo)", ATTR_DIM);
        if (selected_ != NONE && selected_ >= first_ + LIST_ROWS) first_ = selected_ - LIST_ROWS + 1;
        if (selected_ != NONE && selected_ < first_) first_ = selected_;
        for (std::size_t i = 0; i < static_cast<std::size_t>(LIST_ROWS) && first_ + i < files_.size(); ++i) {
            const std::size_t index = first_ + i;
            unsigned attr = ATTR_NORMAL;
            if (index == selected_) attr = part_ == Part::List ? ATTR_REVERSE : ATTR_BOLD;
            const std::vector<std::string> cells = Cells(files_[index]);
            t.Put(list_.row + 1 + static_cast<int>(i), list_.col + 2,
                  Join(cells, 0, static_cast<std::size_t>(inner - 4)), attr);
        }
        const int nameRow = list_.Bottom() + 1;
        PutWithMnemonic(t, nameRow, left, "Nombre:", 0, ATTR_NORMAL);
        nameField_ = {nameRow, left + 9, 1, inner - 9};
        const std::vector<std::string> cells = Cells(name_.Text());
        const std::size_t visible = static_cast<std::size_t>(nameField_.cols - 1);
        const std::size_t from = name_.Cursor() > visible ? name_.Cursor() - visible : 0;
        t.Put(nameRow, nameField_.col, std::string(static_cast<std::size_t>(nameField_.cols), ' '), ATTR_UNDERLINE);
        t.Put(nameRow, nameField_.col, Join(cells, from, visible),
              ATTR_UNDERLINE | (name_.AllSelected() && part_ == Part::Name ? ATTR_REVERSE : 0u));
        if (part_ == Part::Name) owner_.SetCursorWanted(nameRow, nameField_.col + static_cast<int>(name_.Cursor() - from));
        const int typeRow = nameRow + 1;
        PutWithMnemonic(t, typeRow, left, "Tipo:", 0, ATTR_NORMAL);
        typeField_ = {typeRow, left + 9, 1, inner - 9};
        const std::string filter =
            settings_.filters.empty() ? std::string("*.*") : settings_.filters[filterIndex_].description;
        t.Put(typeRow, typeField_.col, "< " + filter + " >", part_ == Part::Type ? ATTR_REVERSE : ATTR_NORMAL);
        const std::vector<std::string> labels = {acceptLabel_, "&Cancelar"};
        const std::size_t focused = part_ == Part::Accept ? 0 : part_ == Part::Cancel ? 1 : NONE;
        buttons_ = DrawButtonRow(t, box_.Bottom() - 1, box_.col + 1, box_.cols - 2, labels, focused);
    }

private:
    static constexpr int LIST_ROWS = 8;

    std::string Pattern() const {
        return settings_.filters.empty() ? std::string("*.*") : settings_.filters[filterIndex_].pattern;
    }

    void Refresh() {
        files_ = ListFolder(storage::MapPath(folder_), Pattern());
        selected_ = NONE;
        first_ = 0;
    }

    void SwitchFilter(int step) {
        if (settings_.filters.empty()) return;
        const std::size_t n = settings_.filters.size();
        filterIndex_ = (filterIndex_ + n + static_cast<std::size_t>(step + static_cast<int>(n))) % n;
        Refresh();
    }

    void Select(std::size_t index) {
        if (files_.empty()) return;
        selected_ = std::min(index, files_.size() - 1);
        name_.SetText(files_[selected_]);
    }

    bool HandleClick(const Key& k) {
        if (nameField_.Contains(k.row, k.col)) part_ = Part::Name;
        else if (typeField_.Contains(k.row, k.col)) { part_ = Part::Type; SwitchFilter(1); }
        else if (list_.Contains(k.row, k.col)) {
            part_ = Part::List;
            const int line = k.row - list_.row - 1;
            if (line >= 0 && line < LIST_ROWS) Select(first_ + static_cast<std::size_t>(line));
        } else if (buttons_.size() == 2 && buttons_[0].Contains(k.row, k.col)) { part_ = Part::Accept; return true; }
        else if (buttons_.size() == 2 && buttons_[1].Contains(k.row, k.col)) { part_ = Part::Cancel; return true; }
        return false;
    }

    std::optional<std::string> TryAccept() {
        if (part_ == Part::List && selected_ != NONE) name_.SetText(files_[selected_]);
        std::string typed = name_.Text();
        while (!typed.empty() && typed.back() == ' ') typed.pop_back();
        if (typed.empty()) return std::nullopt;
        const std::string programPath = WithDefaultExtension(ResolveTypedName(folder_, typed), settings_.defaultExtension);
        const std::string native = storage::MapPath(programPath);
        const std::size_t slash = programPath.find_last_of("\\/");
        const std::string fileName = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
        // A name to open is handed over whether or not the file exists, as
        // the Windows dialog of this program does: the program reports its
        // own read failure.
        std::error_code error;
        if (settings_.kind == platform::FileDialogKind::Save &&
            std::filesystem::exists(std::filesystem::path(native), error)) {
            const auto answer = owner_.ShowMessage(fileName + " ya existe. ¿Desea reemplazarlo?", title_,
                                                   platform::MessageIcon::Exclamation,
                                                   platform::MessageButtons::OkCancel);
            if (answer != platform::MessageResult::Ok) return std::nullopt;
        }
        if (storage::IsDriveCPath(programPath)) {
            std::string result = programPath;
            std::replace(result.begin(), result.end(), '/', '\\');
            return result;
        }
        return native;
    }

    platform::FileDialogSettings settings_;
    std::string folder_;
    std::string title_;
    std::string acceptLabel_;
    EditBuffer name_;
    std::vector<std::string> files_;
    std::size_t selected_ = NONE;
    std::size_t first_ = 0;
    std::size_t filterIndex_ = 0;
    Part part_ = Part::Name;
    CellRect box_, list_, nameField_, typeField_;
    std::vector<CellRect> buttons_;
};

// ---------------------------------------------------------------------------

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

// --- services ---------------------------------------------------------------

platform::MessageResult TerminalFrontEnd::ShowMessage(std::string_view text, std::string_view caption,
                                                      platform::MessageIcon icon, platform::MessageButtons buttons) {
    MessageLayer box(*this, text, caption.empty() ? options_.applicationName : std::string(caption), icon, buttons);
    return box.Run();
}

void TerminalFrontEnd::EnableControl(int id, bool enabled) {
    Control* c = Find(id);
    if (!c || c->enabled == enabled) return;
    c->enabled = enabled;
    changed_ = true;
    // A disabled control cannot keep the keyboard; it goes on to the next,
    // without selecting an edit field's text (a digit typed next must not
    // replace a limit the operator never chose to edit).
    if (!enabled && focus_ != NONE && &controls_[focus_] == c) MoveFocus(true, false);
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
    if (c->source->kind == ControlKind::Edit)
        c->edit.SetText(text);
    else
        c->text = std::string(text);
    changed_ = true;
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
    AboutLayer about(*this);
    about.Run();
}

std::optional<std::string> TerminalFrontEnd::ChooseFile(const platform::FileDialogSettings& settings) {
    FileLayer dialog(*this, settings);
    return dialog.Run();
}

platform::LocalDateTime TerminalFrontEnd::LocalTime() const {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    platform::LocalDateTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.dayOfWeek = tm.tm_wday;
    return t;
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
        if (const std::optional<Key> key = PumpOnce()) HandleMainKey(*key);
    }
    // The window's timers end with it.
    pump_.StopAllTimers();
    shown_ = false;
    events_ = nullptr;
    Redraw();
    return result_;
}

void TerminalFrontEnd::DeliverTick(int id) {
    if (events_ && !closed_) events_->OnTimer(id);
}

bool TerminalFrontEnd::ScreenChanged() const {
    return changed_ || terminal_->Rows() != drawnRows_ || terminal_->Columns() != drawnColumns_ ||
           (options_.panel && options_.panel->StatusLine() != drawnStatus_);
}

std::optional<Key> TerminalFrontEnd::PumpOnce() {
    if (ScreenChanged()) Redraw();
    const Key key = pump_.Next();
    if (key.type == Key::Type::None) return std::nullopt;
    changed_ = true;  // whatever the key does is drawn before the next wait
    if (key.IsSpecial(KEY_CODE_RESIZE)) return std::nullopt;
    if (TooSmall()) {
        // Nothing can be seen: only the close key is taken, in the main window.
        if (layers_.empty() && (key.IsChar(CHAR_CTRL_Q) || key.IsChar(CHAR_CTRL_C))) return key;
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
    if (selectAll)
        controls_[index].edit.SelectAll();
    else
        controls_[index].edit.Deselect();
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
        if (c.mnemonic.letter == 0 || Lower(static_cast<unsigned char>(c.mnemonic.letter)) != Lower(letter))
            continue;
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
        MenuLayer menu(*this, systemMenu_);
        chosen = menu.Run();
    }
    if (!chosen || !events_) return;
    if (*chosen == SYSTEM_MENU_CLOSE)
        events_->OnClose();
    else
        events_->OnSysCommand(*chosen);
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
        if (onButton)
            Press(focus_);
        else
            events_->OnAccept();
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
    if (options_.panel && !key.alt && key.type != Key::Type::Mouse) options_.panel->HandleKey(key.code);
}

// --- drawing ------------------------------------------------------------------

bool TerminalFrontEnd::TooSmall() const {
    return terminal_->Columns() < MIN_COLUMNS || terminal_->Rows() < MIN_ROWS;
}

void TerminalFrontEnd::DrawTooSmall() {
    const std::string text = "La terminal es demasiado pequeña: Quelmar necesita al menos " +
                             std::to_string(MIN_COLUMNS) + " x " + std::to_string(MIN_ROWS) +
                             " caracteres (ahora " + std::to_string(terminal_->Columns()) + " x " +
                             std::to_string(terminal_->Rows()) + "). Agrande la ventana.";
    const std::vector<std::string> lines = WrapText(text, std::max(terminal_->Columns(), 10));
    for (std::size_t i = 0; i < lines.size() && static_cast<int>(i) < terminal_->Rows(); ++i)
        terminal_->Put(static_cast<int>(i), 0, lines[i], ATTR_BOLD);
}

void TerminalFrontEnd::Redraw() {
    Terminal& t = *terminal_;
    changed_ = false;
    if (t.Rows() != drawnRows_) layout_ = ComputeTerminalLayout(template_, MIN_COLUMNS, DialogRows(t.Rows()));
    drawnRows_ = t.Rows();
    drawnColumns_ = t.Columns();
    drawnStatus_ = options_.panel ? options_.panel->StatusLine() : std::string();
    t.Clear();
    cursorRow_ = cursorCol_ = -1;
    if (TooSmall()) {
        DrawTooSmall();
        t.SetCursor(0, 0, false);
        t.Flush();
        return;
    }
    DrawTitleBar();
    if (shown_) DrawMainWindow();
    DrawBottomLines();
    if (!layers_.empty()) cursorRow_ = cursorCol_ = -1;  // the box has the keyboard
    for (Layer* layer : layers_) layer->Draw(t);
    t.SetCursor(std::max(cursorRow_, 0), std::max(cursorCol_, 0), cursorRow_ >= 0);
    t.Flush();
}

void TerminalFrontEnd::DrawTitleBar() {
    Terminal& t = *terminal_;
    t.Put(0, 0, std::string(MIN_COLUMNS, ' '), ATTR_REVERSE);
    t.Put(0, 0, "[-] " + std::string(template_.caption), ATTR_REVERSE);
    t.Put(0, MIN_COLUMNS - 3, "[x]", ATTR_REVERSE);
}

void TerminalFrontEnd::DrawBottomLines() {
    Terminal& t = *terminal_;
    const int last = t.Rows() - 1;
    if (options_.panel) {
        // The state and the keys each stay whole: on one row when both fit,
        // else on a row each (the state cut at the edge, never the keys).
        const std::string line = options_.panel->StatusLine();
        const std::size_t split = line.find(PANEL_KEYS_SEPARATOR);
        if (split == std::string::npos || DisplayWidth(line) <= t.Columns()) {
            t.Put(last - 1, 0, line, ATTR_BOLD);
        } else {
            t.Put(last - 2, 0, line.substr(0, split), ATTR_BOLD);
            t.Put(last - 1, 0, line.substr(split + PANEL_KEYS_SEPARATOR.size()), ATTR_BOLD);
        }
    }
    t.Put(last, 0, KEY_HELP, ATTR_DIM);
}

void TerminalFrontEnd::DrawMainWindow() {
    if (!layout_.fits) return;
    // Group box frames first, then their titles and the other controls.
    std::vector<CellRect> frames;
    for (std::size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i].source->kind == ControlKind::GroupBox) frames.push_back(layout_.cells[i]);
    DrawJoinedFrames(*terminal_, frames, DIALOG_FIRST_ROW);
    for (std::size_t i = 0; i < controls_.size(); ++i)
        DrawControl(controls_[i], layout_.cells[i], DIALOG_FIRST_ROW, 0, i == focus_, layers_.empty());
}

void TerminalFrontEnd::DrawControl(const Control& control, const CellRect& cell, int rowOffset, int colOffset,
                                   bool focused, bool cursorWanted) {
    Terminal& t = *terminal_;
    const ControlTemplate& c = *control.source;
    const int row = cell.row + rowOffset, col = cell.col + colOffset;
    const unsigned dim = control.enabled ? ATTR_NORMAL : ATTR_DIM;
    switch (c.kind) {
        case ControlKind::GroupBox: {  // the title; the frame is drawn with the others
            const Mnemonic& m = control.mnemonic;
            PutWithMnemonic(t, row, col + 1, m.display, m.index, ATTR_NORMAL);
            break;
        }
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            const Mnemonic m = ParseMnemonic(control.text);
            const int w = DisplayWidth(m.display) + 2;
            const int x = col + std::max(0, (cell.cols - w) / 2);
            const unsigned attr = dim | (focused && control.enabled ? ATTR_REVERSE : ATTR_NORMAL);
            t.Put(row, x, "[", attr);
            PutWithMnemonic(t, row, x + 1, m.display, control.enabled ? m.index : std::string::npos, attr);
            t.Put(row, x + w - 1, "]", attr);
            break;
        }
        case ControlKind::Edit: {
            const std::vector<std::string> cells = Cells(control.edit.Text());
            const std::size_t width = static_cast<std::size_t>(cell.cols);
            // Scroll so that the cursor stays visible; right-aligned when
            // the text fits.
            std::size_t from = 0;
            const std::size_t cursor = control.edit.Cursor();
            if (cells.size() >= width) from = cursor >= width ? cursor - width + 1 : 0;
            const std::string shown = Join(cells, from, width - (cells.size() >= width ? 1 : 0));
            const int shownWidth = DisplayWidth(shown);
            const int start = (c.styles & STYLE_RIGHT) && cells.size() < width ? col + cell.cols - 1 - shownWidth : col;
            unsigned attr = ATTR_UNDERLINE | dim | (focused ? ATTR_BOLD : ATTR_NORMAL);
            t.Put(row, col, std::string(width, ' '), attr);
            if (focused && control.edit.AllSelected()) attr |= ATTR_REVERSE;
            t.Put(row, start, shown, attr);
            if (focused && cursorWanted) SetCursorWanted(row, start + static_cast<int>(cursor - from));
            break;
        }
        case ControlKind::Static: {
            const std::string display =
                (c.styles & STYLE_NO_PREFIX) ? control.text : ParseMnemonic(control.text).display;
            const std::vector<std::string> cells = Cells(display);
            const std::string shown = Join(cells, 0, static_cast<std::size_t>(cell.cols));
            int x = col;
            if (c.styles & STYLE_CENTER) x += std::max(0, (cell.cols - DisplayWidth(shown)) / 2);
            const bool figure = (c.styles & (STYLE_THIN_SUNKEN | STYLE_CLIENT_EDGE)) != 0;
            t.Put(row, x, shown, figure ? ATTR_BOLD : ATTR_NORMAL);
            break;
        }
        case ControlKind::Icon:
            t.Put(row, col, "(Q)", ATTR_BOLD);
            break;
    }
}

}  // namespace ui::terminal
