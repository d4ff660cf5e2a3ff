#pragma once
// Everything a handler needs from the desktop besides its own data: message
// boxes, input boxes, the file-open dialog, letting pending window events run,
// opening a document in the desktop's default application, and the main
// window's pointer and busy state. The Qt window supplies the real thing; tests
// supply a scripted stand-in that answers and records every box.
//
// Texts are UTF-8. Line breaks in message texts are the program's own CR / LF
// characters, passed through unchanged.

#include <functional>
#include <string>
#include <vector>

namespace qf {

// The buttons a message box offers.
enum class MessageButtons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };

// The icon a message box shows.
enum class MessageIcon { None, Critical, Question, Exclamation, Information };

// The button the user answered a message box with.
enum class MessageAnswer { Ok, Cancel, Abort, Retry, Ignore, Yes, No };

// The main window's pointer. Hourglass is what the busy state shows.
enum class Pointer {
    Default,    // every control shows its own pointer
    Arrow,      // the arrow over the whole window
    Hourglass,  // shown while busy
    Custom,     // the window's custom image (the hand)
};

// The options of the file-open dialog.
struct FileDialogOptions {
    bool allowMultiSelect = false;  // several files at once
    bool fileMustExist = false;     // the dialog insists on an existing file
    bool readOnlyChecked = false;   // the "open as read-only" box starts ticked
    bool explorerStyle = false;     // the desktop's explorer-style dialog
    bool longNames = false;         // long file names rather than short ones

    friend bool operator==(const FileDialogOptions&, const FileDialogOptions&) = default;
};

// What the file-open dialog is asked to show.
struct FileDialogRequest {
    std::string title;
    std::string filter;  // "Name|pattern|Name|pattern|"
    FileDialogOptions options;
    std::string fileName;  // initial file name
};

// Owned by the window's thread: every member is called there.
class WindowServices {
public:
    virtual ~WindowServices() = default;

    // Shows a modal message box and returns the button it was answered with;
    // closed without a button, the box's cancelling answer. An empty caption
    // means the application title.
    virtual MessageAnswer messageBox(const std::string& text, MessageButtons buttons, MessageIcon icon,
                                     const std::string& caption = {}) = 0;

    // The same with details the user may unfold below the text (every line of
    // a list the text shortens); by default the details are left out.
    virtual MessageAnswer detailedMessageBox(const std::string& text, const std::string& details,
                                             MessageButtons buttons, MessageIcon icon, const std::string& caption = {});

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

    // Reports a failure of the numbered statement line of the handler at
    // location (a trap's report): by default the error report box.
    virtual void reportFailure(const std::string& description, const std::string& location, int line);

    // The pointer shown over the main window: the hourglass while busy,
    // otherwise the one last set. Listeners (the window that shows the pointer,
    // a test that records it) hear every pointer set and every busy start or end.
    Pointer pointer() const { return busy_ ? Pointer::Hourglass : pointer_; }
    // Sets the window's pointer. While busy the hourglass stays, and ending busy
    // returns to the default pointer. Pointer::Hourglass means setBusy(true).
    void setPointer(Pointer pointer);
    void addPointerListener(std::function<void(Pointer)> listener);

    // The busy state: a long command runs and the window shows the hourglass.
    // Starting it again shows the hourglass again; ending it returns the window
    // pointer to the default.
    bool busy() const { return busy_; }
    void setBusy(bool busy);

private:
    void showPointer();

    Pointer pointer_ = Pointer::Default;
    bool busy_ = false;
    std::vector<std::function<void(Pointer)>> pointerListeners_;
};

}  // namespace qf
