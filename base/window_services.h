#pragma once
// Everything a handler needs from the desktop besides its own data: message
// boxes, input boxes, the file-open dialog, letting pending window events run,
// opening a document in the desktop's default application, and the main
// window's pointer code. The Qt window supplies the real thing; tests supply a
// scripted stand-in that answers and records every box.
//
// Texts are UTF-8. Line breaks in message texts are the program's own CR / LF
// characters, passed through unchanged.

#include <functional>
#include <string>
#include <vector>

namespace qf {

// Message-box flags, as the desktop's message box takes them.
namespace mb {
inline constexpr int kOkOnly = 0;
inline constexpr int kYesNo = 4;
inline constexpr int kExclamation = 48;
// Answers.
inline constexpr int kOk = 1;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace mb

// Pointer codes of the main window.
namespace pointer {
inline constexpr int kDefault = 0;
inline constexpr int kArrow = 1;
inline constexpr int kHourglass = 11;  // the busy state
inline constexpr int kCustom = 99;     // the window's custom image (the hand)
}  // namespace pointer

// What the file-open dialog is asked to show.
struct FileDialogRequest {
    std::string title;
    std::string filter;       // "Name|pattern|Name|pattern|"
    int flags = 0;            // the dialog's option flags
    std::string fileName;     // initial file name
};

class WindowServices {
public:
    virtual ~WindowServices() = default;

    // Shows a modal message box; returns the answer (mb::kOk, mb::kYes, mb::kNo).
    // An empty caption means the application title.
    virtual int messageBox(const std::string& text, int flags, const std::string& caption = {}) = 0;

    // Shows an input box; an empty result means the user left the field empty or cancelled.
    virtual std::string inputBox(const std::string& prompt, const std::string& caption = {},
                                 const std::string& defaultText = {}) = 0;

    // Shows the file-open dialog. Returns empty when cancelled; one full path for one
    // chosen file; for several files the folder followed by the bare names, each part
    // separated by one NUL character.
    virtual std::string openFileDialog(const FileDialogRequest& request) = 0;

    // Lets the window process the events that are waiting.
    virtual void processPendingEvents() = 0;

    // Opens a document in the desktop's default application; false when nothing could.
    virtual bool openDocument(const std::string& path) = 0;

    // The main window's pointer code (see qf::pointer). Listeners (the window that
    // shows the pointer, a test that records it) hear every change.
    int pointer() const { return pointer_; }
    void setPointer(int code);
    bool busy() const { return pointer_ == pointer::kHourglass; }
    void addPointerListener(std::function<void(int)> listener);

private:
    int pointer_ = pointer::kDefault;
    std::vector<std::function<void(int)>> pointerListeners_;
};

}  // namespace qf
