// A modal box drawn over the main window (message box, About box, system
// menu, file dialog). Each runs its own loop of keys; what it needs of the
// window behind it is the small ModalHost interface, so a box never reaches
// into the front-end.
#pragma once

#include <optional>
#include <string_view>

#include "platform/WindowServices.h"
#include "ui/terminal/Keys.h"
#include "ui/terminal/Terminal.h"

namespace ui::terminal {

class ModalBox;

class ModalHost {
public:
    ModalHost() = default;
    ModalHost(const ModalHost&) = delete;
    ModalHost& operator=(const ModalHost&) = delete;

    // Draws what changed and waits for the next key; the ticks go on
    // meanwhile. Nothing when the wait ended without a key for the box.
    [[nodiscard]] virtual std::optional<Key> NextKey() = 0;
    // Hands a key nobody else used to the simulator panel (also while a
    // message box is open: a calibration asks for the reference weight).
    virtual void OfferToPanel(const Key& key) = 0;
    // Where the cursor blinks after this drawing (an edit field of the box).
    virtual void SetCursorWanted(int row, int col) = 0;
    // A message box over the box.
    [[nodiscard]] virtual platform::MessageResult ShowMessage(std::string_view text, std::string_view caption,
                                                              platform::MessageIcon icon,
                                                              platform::MessageButtons buttons) = 0;

protected:
    ~ModalHost() = default;

private:
    friend class ModalBox;
    // The box is drawn over the window (and the boxes already open) from
    // its opening to its end; the topmost one gets the keys.
    virtual void Open(ModalBox& box) = 0;
    virtual void Close(ModalBox& box) = 0;
};

class ModalBox {
public:
    explicit ModalBox(ModalHost& host) : host_(host) { host_.Open(*this); }
    virtual ~ModalBox() { host_.Close(*this); }
    ModalBox(const ModalBox&) = delete;
    ModalBox& operator=(const ModalBox&) = delete;

    virtual void Draw(Terminal& terminal) = 0;

protected:
    ModalHost& host_;
};

}  // namespace ui::terminal
