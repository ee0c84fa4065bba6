// In-process automation of Win32 windows for the UI tests: a CBT hook that
// reports each window as it is activated (message boxes, the About box, file
// dialogs), a reader for what a message box shows, and steps that run from
// the modal loop once the window is up. Works with Wine's null display
// driver, so the tests need no display.
#pragma once

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/FakeWindowServices.h"

namespace win32_test {

using testing_support::MessageRecord;

// Watches the calling thread's windows while it exists: `onActivated` runs
// once for each top-level window when it is first activated.
class WindowWatcher {
public:
    explicit WindowWatcher(std::function<void(HWND)> onActivated);
    ~WindowWatcher();
    WindowWatcher(const WindowWatcher&) = delete;
    WindowWatcher& operator=(const WindowWatcher&) = delete;

    void SetHandler(std::function<void(HWND)> onActivated) { onActivated_ = std::move(onActivated); }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);

    HHOOK hook_ = nullptr;
    std::function<void(HWND)> onActivated_;
    std::set<HWND> seen_;
    static WindowWatcher* current_;
};

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
bool IsDialogClass(HWND window);
// A message box: a dialog-class window with the message text control 0xFFFF
// and no other statics than the text and its icon.
bool IsMessageBox(HWND window);
// Text, caption, icon and buttons of a live box, written as the program's
// tests write the boxes they expect.
MessageRecord ReadMessageBox(HWND box);
// Answers a box as a click on one of its buttons would (IDOK, IDCANCEL...).
void Answer(HWND box, int buttonId);
// Clicks a button as the operator would: only when it is enabled. Returns
// whether the click was sent.
bool ClickIfEnabled(HWND button);

// The children of a window in creation order.
std::vector<HWND> Children(HWND parent);
// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);

// Runs `step` from the thread's message loop once the messages posted so far
// have been handled (a one-shot thread timer: timers come after everything
// else in the queue).
void Later(std::function<void()> step);
// Drops the steps that have not run yet (at the end of a test, so that none
// of them runs in the next test's window).
void CancelPendingSteps();

}  // namespace win32_test
