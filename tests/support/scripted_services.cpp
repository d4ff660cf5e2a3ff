#include "scripted_services.h"

namespace qf::testing {

ScriptedServices::ScriptedServices() {
    addPointerListener([this](Pointer shown) { pointerHistory.push_back(shown); });
}

MessageAnswer ScriptedServices::messageBox(const std::string& text, MessageButtons buttons, MessageIcon icon,
                                           const std::string& caption) {
    boxes.push_back({ShownBox::Message, text, caption, buttons, icon, {}, {}});
    if (messageAnswers_.empty()) return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    const MessageAnswer answer = messageAnswers_.front();
    messageAnswers_.pop_front();
    return answer;
}

MessageAnswer ScriptedServices::detailedMessageBox(const std::string& text, const std::string& details,
                                                   MessageButtons buttons, MessageIcon icon,
                                                   const std::string& caption) {
    const MessageAnswer answer = messageBox(text, buttons, icon, caption);
    boxes.back().details = details;
    return answer;
}

std::string ScriptedServices::inputBox(const std::string& prompt, const std::string& caption, const std::string&) {
    boxes.push_back({ShownBox::Input, prompt, caption, {}, {}, {}, {}});
    if (inputAnswers_.empty()) return {};
    std::string answer = std::move(inputAnswers_.front());
    inputAnswers_.pop_front();
    return answer;
}

std::string ScriptedServices::openFileDialog(const FileDialogRequest& request) {
    boxes.push_back({ShownBox::FileDialog, request.title, {}, {}, {}, request, {}});
    if (fileAnswers_.empty()) return {};
    std::string answer = std::move(fileAnswers_.front());
    fileAnswers_.pop_front();
    return answer;
}

void ScriptedServices::processPendingEvents() {
    ++eventRounds;
    if (!eventActions_.empty()) {
        auto action = std::move(eventActions_.front());
        eventActions_.pop_front();
        action();
    }
    if (everyEvents) everyEvents();
}

bool ScriptedServices::openDocument(const std::string& path) {
    openedDocuments.push_back(path);
    return !failOpenDocument;
}

std::vector<std::string> ScriptedServices::messages() const {
    std::vector<std::string> out;
    for (const auto& b : boxes)
        if (b.kind == ShownBox::Message) out.push_back(b.text);
    return out;
}

}  // namespace qf::testing
