#pragma once
// Window services for tests: every box is recorded (text, caption, buttons, icon) and
// answered from a script; dialogs that are not scripted answer as if the user
// pressed OK / left the field empty / cancelled.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/window_services.h"

namespace qf::testing {

struct ShownBox {
    enum Kind { Message, Input, FileDialog } kind;
    std::string text;                             // message text, input prompt, or dialog title
    std::string caption;                          // as passed (empty means the application title)
    MessageButtons buttons = MessageButtons::Ok;  // for Message
    MessageIcon icon = MessageIcon::None;         // for Message
    FileDialogRequest fileRequest;                // for FileDialog
    std::string details;                          // for Message: what the user may unfold
};

class ScriptedServices : public WindowServices {
public:
    ScriptedServices();

    // Answers, consumed in order by the matching kind of box.
    void answerMessage(MessageAnswer answer) { messageAnswers_.push_back(answer); }
    void answerInput(std::string text) { inputAnswers_.push_back(std::move(text)); }
    void answerFileDialog(std::string result) { fileAnswers_.push_back(std::move(result)); }
    // Runs inside processPendingEvents (once per call, in order), to act "during" a command.
    void onNextEvents(std::function<void()> action) { eventActions_.push_back(std::move(action)); }
    // Called on every processPendingEvents, after the queued actions.
    std::function<void()> everyEvents;
    // Makes openDocument fail.
    bool failOpenDocument = false;

    MessageAnswer messageBox(const std::string& text, MessageButtons buttons, MessageIcon icon,
                             const std::string& caption) override;
    MessageAnswer detailedMessageBox(const std::string& text, const std::string& details, MessageButtons buttons,
                                     MessageIcon icon, const std::string& caption) override;
    std::string inputBox(const std::string& prompt, const std::string& caption,
                         const std::string& defaultText) override;
    std::string openFileDialog(const FileDialogRequest& request) override;
    void processPendingEvents() override;
    bool openDocument(const std::string& path) override;

    std::vector<ShownBox> boxes;          // every box, in order
    std::vector<Pointer> pointerHistory;  // every pointer shown, in order
    std::vector<std::string> openedDocuments;
    int eventRounds = 0;

    // The texts of the message boxes only.
    std::vector<std::string> messages() const;

private:
    std::deque<MessageAnswer> messageAnswers_;
    std::deque<std::string> inputAnswers_;
    std::deque<std::string> fileAnswers_;
    std::deque<std::function<void()>> eventActions_;
};

}  // namespace qf::testing
