// The open and save dialog of the terminal front-end: folder, file list,
// name, type, buttons.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "ui/terminal/EditBuffer.h"
#include "ui/terminal/FileDialogModel.h"
#include "ui/terminal/ModalBox.h"
#include "ui/terminal/TerminalLayout.h"

namespace ui::terminal {

class FileDialog final : public ModalBox {
public:
    FileDialog(ModalHost& host, const platform::FileDialogSettings& settings);
    // The chosen path (in the program's form for a C: path), or nothing
    // when the dialog was cancelled.
    [[nodiscard]] std::optional<std::string> Run();
    void Draw(Terminal& t) override;

private:
    enum class Part { Name, List, Type, Accept, Cancel };
    static constexpr int LIST_ROWS = 8;

    std::string Pattern() const;
    void Refresh();
    void SwitchFilter(int step);
    void Select(std::size_t index);
    // The entry the list shows its focus on: the chosen file, or the first
    // before any is chosen (Enter in the list takes it).
    std::size_t ListFocus() const;
    // Moves to what was clicked; true when it was one of the buttons.
    [[nodiscard]] bool HandleClick(const Key& k);
    [[nodiscard]] std::optional<std::string> TryAccept();

    platform::FileDialogSettings settings_;
    std::string folder_;
    std::string title_;
    std::string acceptLabel_;
    EditBuffer name_;
    std::vector<std::string> files_;
    FolderListing::State folderState_ = FolderListing::State::Listed;
    std::size_t selected_;
    std::size_t first_ = 0;
    std::size_t filterIndex_ = 0;
    Part part_ = Part::Name;
    CellRect box_, list_, nameField_, typeField_;
    std::vector<CellRect> buttons_;
};

}  // namespace ui::terminal
