// The services of the windowing framework that the program's logic uses: one
// interface, implemented on Win32 (ui/win32), on a terminal (ui/terminal) and
// by a recording double in the tests. Texts are UTF-8 everywhere; a back-end
// converts them to whatever its platform needs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class MessageIcon { None, Stop, Exclamation, Information };
// OK alone, or OK and Cancel with OK (or, for a question whose safe answer
// is no, Cancel) as the default button.
enum class MessageButtons { Ok, OkCancel, OkCancelDefaultCancel };
enum class MessageResult { Ok, Cancel };
enum class ModalResult { Ok, Cancel };

enum class FileDialogKind { Save, Open };

struct FileFilter {
    std::string description;  // "Archivos Límites USB(*.lim)"
    std::string pattern;      // "*.lim"
};

// What a save or open dialog is asked to do. The first filter is selected when
// the dialog opens; the default extension (".lim") is added to a name typed
// without one; a save asks before replacing an existing file; the read-only
// check box is hidden; no initial file name; the platform's default title.
struct FileDialogSettings {
    FileDialogKind kind = FileDialogKind::Open;
    std::string initialFolder;  // "C:\\velsor\\"
    std::vector<FileFilter> filters;
    std::string defaultExtension;  // ".lim"
};

struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;   // 0 to 23
    int minute = 0;
    int second = 0;
    int dayOfWeek = 0;  // 0 = Sunday
};

class WindowServices {
public:
    virtual ~WindowServices() = default;

    // A modal box over the main window. An empty caption means "no caption of
    // its own": the box then bears the application's name (the program file's
    // name without its extension). Escape answers Cancel.
    virtual MessageResult ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon,
                                      MessageButtons buttons) = 0;

    virtual void EnableControl(int id, bool enabled) = 0;
    virtual bool IsControlEnabled(int id) const = 0;

    // Periodic timers of the main window, told apart by id. Stopping a timer
    // that does not run does nothing. Ticks that fall due while the window's
    // thread is busy are merged; they keep coming while a modal box is open.
    virtual void StartTimer(int id, unsigned milliseconds) = 0;
    virtual void StopTimer(int id) = 0;

    virtual void SetControlText(int id, std::string_view text) = 0;
    virtual std::string GetControlText(int id) const = 0;
    // Gives a control the keyboard focus (and selects an edit field's text).
    virtual void FocusControl(int id) = 0;
    // The id of the main window's control that has the keyboard focus, or 0.
    virtual int FocusedControl() const = 0;

    // Ends the main window's modal run.
    virtual void CloseModal(ModalResult result) = 0;

    // Appends a separator and then the item to the window's system menu; the
    // item's command comes back through MainDialog::OnSysCommand.
    virtual void AppendSystemMenuItem(int commandId, std::string_view text) = 0;

    // Runs the About box (template 100) modally until it is closed.
    virtual void RunAboutBox() = 0;

    // The full path of the chosen file, in the platform's own form, or nothing
    // when the operator cancelled.
    virtual std::optional<std::string> ChooseFile(const FileDialogSettings& settings) = 0;

    virtual LocalDateTime LocalTime() const = 0;
};

}  // namespace platform
