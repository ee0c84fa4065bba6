// Recording window services: controls from the template, scripted boxes and dialogs.
#pragma once

#include <deque>
#include <functional>
#include <ostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/WindowServices.h"
#include "ui/DialogLayout.h"

namespace testing_support {

struct MessageRecord {
    std::string text;
    std::string caption;
    platform::MessageIcon icon;
    platform::MessageButtons buttons;

    bool operator==(const MessageRecord&) const = default;
};
// Lets a failed comparison show the whole box.
inline void PrintTo(const MessageRecord& record, std::ostream* os) {
    static const char* const icons[] = {"no icon", "stop", "exclamation", "information"};
    *os << '"' << record.text << "\" caption \"" << record.caption << "\", " << icons[static_cast<int>(record.icon)]
        << ", " << (record.buttons == platform::MessageButtons::Ok ? "OK" : "OK/Cancel")
        << (record.buttons == platform::MessageButtons::OkCancelDefaultCancel ? " (Cancel default)" : "");
}

class FakeWindowServices : public platform::WindowServices {
public:
    FakeWindowServices() {
        for (const ui::ControlTemplate& control : ui::MainDialogTemplate().controls) {
            if (control.id == ui::ID_STATIC) continue;
            enabled[control.id] = (control.styles & ui::STYLE_DISABLED) == 0;
            texts[control.id] = "";
        }
    }

    // ---- WindowServices
    platform::MessageResult ShowMessage(std::string_view text, std::string_view caption, platform::MessageIcon icon,
                                        platform::MessageButtons buttons) override {
        messages.push_back({std::string(text), std::string(caption), icon, buttons});
        if (whileMessageOpen) whileMessageOpen(messages.back());
        platform::MessageResult answer = platform::MessageResult::Ok;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        // A box with OK alone can only answer OK.
        return buttons == platform::MessageButtons::Ok ? platform::MessageResult::Ok : answer;
    }
    void EnableControl(int id, bool on) override { enabled[id] = on; }
    bool IsControlEnabled(int id) const override { return enabled.count(id) != 0 && enabled.at(id); }
    void StartTimer(int id, unsigned milliseconds) override { timers[id] = milliseconds; }
    void StopTimer(int id) override { timers.erase(id); }
    void SetControlText(int id, std::string_view text) override {
        ++setTextCalls;
        texts[id] = std::string(text);
        if (afterSetText) afterSetText(id);
    }
    std::string GetControlText(int id) const override { return texts.count(id) ? texts.at(id) : std::string(); }
    void FocusControl(int id) override { focused.push_back(id); }
    int FocusedControl() const override { return focused.empty() ? 0 : focused.back(); }
    void CloseModal(platform::ModalResult result) override { closed = result; }
    void AppendSystemMenuItem(int commandId, std::string_view text) override {
        systemMenu.emplace_back(commandId, std::string(text));
    }
    void RunAboutBox() override { ++aboutBoxes; }
    std::optional<std::string> ChooseFile(const platform::FileDialogSettings& settings) override {
        fileDialogs.push_back(settings);
        if (whileFileDialogOpen) whileFileDialogOpen();
        if (fileAnswers.empty()) return std::nullopt;
        std::optional<std::string> answer = std::move(fileAnswers.front());
        fileAnswers.pop_front();
        return answer;
    }
    platform::LocalDateTime LocalTime() const override { return now; }

    // ---- scripting: next answers (none: OK / cancel); hooks while open and after SetControlText.
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
