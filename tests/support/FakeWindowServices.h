// A recording double of the window services: control texts and enabled
// states (from the dialog template), message boxes and file dialogs
// recorded and answered from scripts, timers run by hand.
#pragma once

#include <deque>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/WindowServices.h"

namespace testing_support {

struct MessageRecord {
    std::string text;
    std::string caption;
    platform::MessageIcon icon;
    platform::MessageButtons buttons;

    bool operator==(const MessageRecord&) const = default;
};
// Lets a failed comparison show the whole box.
void PrintTo(const MessageRecord& record, std::ostream* os);

class FakeWindowServices : public platform::WindowServices {
public:
    FakeWindowServices();

    // ---- WindowServices
    platform::MessageResult ShowMessage(std::string_view text, std::string_view caption, platform::MessageIcon icon,
                                        platform::MessageButtons buttons) override;
    void EnableControl(int id, bool on) override { enabled[id] = on; }
    bool IsControlEnabled(int id) const override { return enabled.count(id) != 0 && enabled.at(id); }
    void StartTimer(int id, unsigned milliseconds) override { timers[id] = milliseconds; }
    void StopTimer(int id) override { timers.erase(id); }
    void SetControlText(int id, std::string_view text) override;
    std::string GetControlText(int id) const override;
    void FocusControl(int id) override { focused.push_back(id); }
    void CloseModal(platform::ModalResult result) override { closed = result; }
    void AppendSystemMenuItem(int commandId, std::string_view text) override {
        systemMenu.emplace_back(commandId, std::string(text));
    }
    void RunAboutBox() override { ++aboutBoxes; }
    std::optional<std::string> ChooseFile(const platform::FileDialogSettings& settings) override;
    platform::LocalDateTime LocalTime() const override { return now; }

    // ---- scripting: answers for the next boxes (none: OK) and file dialogs
    // (nullopt: cancel); hooks run while a box or dialog is open and after
    // every SetControlText (a platform reporting the program's own writes).
    void AnswerNext(platform::MessageResult answer) { answers.push_back(answer); }
    std::function<void(const MessageRecord&)> whileMessageOpen;
    std::function<void(int)> afterSetText;
    std::function<void()> whileFileDialogOpen;
    void ChooseNext(std::optional<std::string> path) { fileAnswers.push_back(std::move(path)); }
    // The operator types: no notification, the caller delivers OnEditChange.
    void Type(int id, std::string_view text) { texts[id] = std::string(text); }

    bool TimerRunning(int id) const { return timers.count(id) != 0; }

    // ---- recorded state
    std::map<int, std::string> texts;
    std::map<int, bool> enabled;
    std::map<int, unsigned> timers;
    std::vector<MessageRecord> messages;
    std::deque<platform::MessageResult> answers;
    std::vector<platform::FileDialogSettings> fileDialogs;
    std::deque<std::optional<std::string>> fileAnswers;
    std::vector<std::pair<int, std::string>> systemMenu;
    std::vector<int> focused;
    std::optional<platform::ModalResult> closed;
    int aboutBoxes = 0;
    int setTextCalls = 0;
    platform::LocalDateTime now{2026, 12, 5, 21, 15, 18, 6};
};

}  // namespace testing_support
