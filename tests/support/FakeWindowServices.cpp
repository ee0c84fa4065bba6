#include "tests/support/FakeWindowServices.h"

#include <ostream>

#include "ui/DialogLayout.h"

namespace testing_support {

void PrintTo(const MessageRecord& record, std::ostream* os) {
    static const char* const icons[] = {"no icon", "stop", "exclamation", "information"};
    *os << '"' << record.text << "\" caption \"" << record.caption << "\", " << icons[static_cast<int>(record.icon)]
        << ", " << (record.buttons == platform::MessageButtons::Ok ? "OK" : "OK/Cancel");
}

FakeWindowServices::FakeWindowServices() {
    for (const ui::ControlTemplate& control : ui::MainDialogTemplate().controls) {
        if (control.id == ui::ID_STATIC) continue;
        enabled[control.id] = (control.styles & ui::STYLE_DISABLED) == 0;
        texts[control.id] = "";
    }
}

platform::MessageResult FakeWindowServices::ShowMessage(std::string_view text, std::string_view caption,
                                                        platform::MessageIcon icon, platform::MessageButtons buttons) {
    MessageRecord record{std::string(text), std::string(caption), icon, buttons};
    messages.push_back(record);
    if (whileMessageOpen) whileMessageOpen(record);
    platform::MessageResult answer = platform::MessageResult::Ok;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    // A box with OK alone can only answer OK.
    if (buttons == platform::MessageButtons::Ok) answer = platform::MessageResult::Ok;
    return answer;
}

void FakeWindowServices::SetControlText(int id, std::string_view text) {
    ++setTextCalls;
    texts[id].assign(text.data(), text.size());
    if (afterSetText) afterSetText(id);
}

std::string FakeWindowServices::GetControlText(int id) const {
    auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
}

std::optional<std::string> FakeWindowServices::ChooseFile(const platform::FileDialogSettings& settings) {
    fileDialogs.push_back(settings);
    if (whileFileDialogOpen) whileFileDialogOpen();
    if (fileAnswers.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(fileAnswers.front());
    fileAnswers.pop_front();
    return answer;
}

}  // namespace testing_support
