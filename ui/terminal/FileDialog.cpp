#include "ui/terminal/FileDialog.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "storage/FileSystem.h"
#include "ui/terminal/Drawing.h"
#include "ui/terminal/FileDialogModel.h"

namespace ui::terminal {

FileDialog::FileDialog(ModalHost& host, const platform::FileDialogSettings& settings)
    : ModalBox(host), settings_(settings), name_(EditBuffer::Accepts::AnyText, MAX_PATH_CHARACTERS), selected_(NONE) {
    folder_ = settings_.initialFolder;
    title_ = settings_.kind == platform::FileDialogKind::Save ? "Guardar como" : "Abrir";
    acceptLabel_ = settings_.kind == platform::FileDialogKind::Save ? "&Guardar" : "&Abrir";
    Refresh();
}

std::optional<std::string> FileDialog::Run() {
    while (true) {
        const std::optional<Key> key = host_.NextKey();
        if (!key) continue;
        const Key& k = *key;
        if (k.IsEscape() || k.IsChar(CHAR_CTRL_Q)) return std::nullopt;
        if (k.IsTab() || k.IsBackTab()) {
            const int n = 5;
            part_ = static_cast<Part>((static_cast<int>(part_) + (k.IsTab() ? 1 : n - 1)) % n);
            if (part_ == Part::Name) name_.SelectAll();
            continue;
        }
        // An accented letter typed into the name came as an eighth-bit Alt.
        if (part_ == Part::Name && k.typed != 0 && name_.HandleKey(Key::Char(k.typed)) == EditBuffer::Result::Changed)
            continue;
        if (k.alt && k.type == Key::Type::Char) {
            switch (Lower(k.code)) {
                case 'n':
                    part_ = Part::Name;
                    name_.SelectAll();
                    continue;
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
                static_cast<void>(name_.HandleKey(k));  // any other key does nothing here
                break;
            case Part::List:
                if (k.IsSpecial(KEY_CODE_DOWN)) Select(selected_ == NONE ? 0 : selected_ + 1);
                if (k.IsSpecial(KEY_CODE_UP)) Select(selected_ == NONE || selected_ == 0 ? 0 : selected_ - 1);
                if (k.IsSpecial(KEY_CODE_HOME)) Select(0);
                if (k.IsSpecial(KEY_CODE_END) && !files_.empty()) Select(files_.size() - 1);
                break;
            case Part::Type:
                if (k.IsChar(' ') || k.IsSpecial(KEY_CODE_RIGHT) || k.IsSpecial(KEY_CODE_DOWN)) SwitchFilter(1);
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

void FileDialog::Draw(Terminal& t) {
    box_ = CentredBox(t, LIST_ROWS + 9, 60);
    DrawBox(t, box_, title_);
    const int left = box_.col + 2, inner = box_.cols - 4;
    t.Put(box_.row + 1, left, "Carpeta: " + folder_, ATTR_NORMAL);
    list_ = {box_.row + 2, left, LIST_ROWS + 2, inner};
    DrawFrame(t, list_, "", ATTR_NORMAL);
    PutWithMnemonic(t, list_.row, list_.col + 1, "Archivos", 7, ATTR_NORMAL);
    // A folder that is not there is said so, not shown as an empty one.
    std::vector<std::string> notice;
    if (folderState_ == FolderListing::State::Missing)
        notice = WrapText("La carpeta " + folder_ + " no existe.", inner - 4);
    else if (folderState_ == FolderListing::State::Unreadable)
        notice = WrapText("No se puede leer la carpeta " + folder_ + ".", inner - 4);
    else if (files_.empty()) notice = {"(ningún archivo)"};
    for (std::size_t i = 0; i < notice.size() && i < static_cast<std::size_t>(LIST_ROWS); ++i)
        t.Put(list_.row + 1 + static_cast<int>(i), list_.col + 2, notice[i],
              folderState_ == FolderListing::State::Listed ? ATTR_DIM : ATTR_BOLD);
    if (selected_ != NONE && selected_ >= first_ + LIST_ROWS) first_ = selected_ - LIST_ROWS + 1;
    if (selected_ != NONE && selected_ < first_) first_ = selected_;
    for (std::size_t i = 0; i < static_cast<std::size_t>(LIST_ROWS) && first_ + i < files_.size(); ++i) {
        const std::size_t index = first_ + i;
        unsigned attr = index == selected_ ? ATTR_BOLD : ATTR_NORMAL;
        if (part_ == Part::List && index == ListFocus()) attr = ATTR_REVERSE;
        const std::vector<std::string> cells = Cells(files_[index]);
        t.Put(list_.row + 1 + static_cast<int>(i), list_.col + 2, Join(cells, 0, static_cast<std::size_t>(inner - 4)),
              attr);
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
    if (part_ == Part::Name) host_.SetCursorWanted(nameRow, nameField_.col + static_cast<int>(name_.Cursor() - from));
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

std::string FileDialog::Pattern() const {
    return settings_.filters.empty() ? std::string("*.*") : settings_.filters[filterIndex_].pattern;
}

void FileDialog::Refresh() {
    FolderListing listing = ListFolder(storage::MapPath(folder_), Pattern());
    files_ = std::move(listing.names);
    folderState_ = listing.state;
    selected_ = NONE;
    first_ = 0;
}

void FileDialog::SwitchFilter(int step) {
    if (settings_.filters.empty()) return;
    const std::size_t n = settings_.filters.size();
    filterIndex_ = (filterIndex_ + n + static_cast<std::size_t>(step + static_cast<int>(n))) % n;
    Refresh();
}

std::size_t FileDialog::ListFocus() const { return selected_ == NONE ? 0 : selected_; }

void FileDialog::Select(std::size_t index) {
    if (files_.empty()) return;
    selected_ = std::min(index, files_.size() - 1);
    name_.SetText(files_[selected_]);
}

bool FileDialog::HandleClick(const Key& k) {
    if (nameField_.Contains(k.row, k.col)) part_ = Part::Name;
    else if (typeField_.Contains(k.row, k.col)) {
        part_ = Part::Type;
        SwitchFilter(1);
    } else if (list_.Contains(k.row, k.col)) {
        part_ = Part::List;
        const int line = k.row - list_.row - 1;
        if (line >= 0 && line < LIST_ROWS) Select(first_ + static_cast<std::size_t>(line));
    } else if (buttons_.size() == 2 && buttons_[0].Contains(k.row, k.col)) {
        part_ = Part::Accept;
        return true;
    } else if (buttons_.size() == 2 && buttons_[1].Contains(k.row, k.col)) {
        part_ = Part::Cancel;
        return true;
    }
    return false;
}

std::optional<std::string> FileDialog::TryAccept() {
    if (part_ == Part::List && !files_.empty()) name_.SetText(files_[ListFocus()]);
    const std::string programPath =
        WithDefaultExtension(ResolveTypedName(folder_, name_.Text()), settings_.defaultExtension);
    // A name Windows would refuse is refused here, never cut or changed.
    if (const std::string refused = RefusedPath(programPath); !refused.empty()) {
        static_cast<void>(
            host_.ShowMessage(refused, title_, platform::MessageIcon::Exclamation, platform::MessageButtons::Ok));
        part_ = Part::Name;
        name_.SelectAll();
        return std::nullopt;
    }
    const std::string native = storage::MapPath(programPath);
    const std::size_t slash = programPath.find_last_of("\\/");
    const std::string fileName = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
    // A name to open is handed over whether or not the file exists, as
    // the Windows dialog of this program does: the program reports its
    // own read failure.
    std::error_code error;
    if (settings_.kind == platform::FileDialogKind::Save &&
        std::filesystem::exists(std::filesystem::path(native), error)) {
        const auto answer = host_.ShowMessage(fileName + " ya existe. ¿Desea reemplazarlo?", title_,
                                              platform::MessageIcon::Exclamation, platform::MessageButtons::OkCancel);
        if (answer != platform::MessageResult::Ok) return std::nullopt;
    }
    if (storage::IsDriveCPath(programPath)) {
        std::string result = programPath;
        std::replace(result.begin(), result.end(), '/', '\\');
        return result;
    }
    return native;
}

}  // namespace ui::terminal
