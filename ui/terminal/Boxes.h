// The small modal boxes of the terminal front-end: the message box, the
// About box and the system menu.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/DialogLayout.h"
#include "ui/terminal/ModalBox.h"
#include "ui/terminal/TerminalLayout.h"

namespace ui::terminal {

// A message box: caption on its top edge, icon sign, wrapped text, buttons.
class MessageBox final : public ModalBox {
public:
    MessageBox(ModalHost& host, std::string_view text, std::string caption, platform::MessageIcon icon,
               platform::MessageButtons buttons);
    [[nodiscard]] platform::MessageResult Run();
    void Draw(Terminal& t) override;

private:
    std::string caption_;
    std::string icon_;
    std::vector<std::string> lines_;
    std::vector<std::string> labels_;
    std::vector<CellRect> hits_;
    std::size_t focused_ = 0;  // OK is the default button
};

// The About box, laid out from its own template.
class AboutBox final : public ModalBox {
public:
    explicit AboutBox(ModalHost& host);
    void Run();
    void Draw(Terminal& t) override;

private:
    const DialogTemplate& template_;
    TerminalLayout layout_;
    CellRect button_;
};

struct SystemMenuItem {
    int commandId;  // 0: separator; SYSTEM_MENU_CLOSE: close
    std::string text;
};
constexpr int SYSTEM_MENU_CLOSE = -1;

// The system menu, opened below the title bar's menu box.
class SystemMenuBox final : public ModalBox {
public:
    SystemMenuBox(ModalHost& host, const std::vector<SystemMenuItem>& items);
    // The chosen item's command, or nothing when the menu was closed.
    [[nodiscard]] std::optional<int> Run();
    void Draw(Terminal& t) override;

private:
    void Step(bool forward);

    std::vector<SystemMenuItem> items_;
    std::size_t selected_ = 0;
    int width_ = 16;
    int top_ = 1;
    int left_ = 0;
};

}  // namespace ui::terminal
