#pragma once
// The window services of the real desktop: Qt message boxes, input boxes and
// file dialog, the event loop, and the desktop's default applications.
//
// When the environment variable QUILLFEN_UI_LOG names a file, every box, prompt
// and dialog they show (and the answer given) is appended to it, one JSON object
// a line, and so is the main window with its controls once it is on screen.
// Qt draws its boxes itself, so this is how a test driving the real program
// from outside reads what the user was shown.

#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

#include "base/window_services.h"

namespace qf {

// Owned by the window's thread, as are the boxes it shows.
class QtWindowServices : public WindowServices {
public:
    // logFile: where the texts shown are logged; empty for no log.
    explicit QtWindowServices(QString logFile = qEnvironmentVariable("QUILLFEN_UI_LOG"));
    ~QtWindowServices() override;

    // The window that boxes are modal to, once it is shown.
    void setWindow(QWidget* window);

    MessageAnswer detailedMessageBox(const std::string& text, const std::string& details, MessageButtons buttons,
                                     MessageIcon icon, const std::string& caption = {}) override;
    MessageAnswer messageBox(const std::string& text, MessageButtons buttons, MessageIcon icon,
                             const std::string& caption = {}) override;
    std::string inputBox(const std::string& prompt, const std::string& caption = {},
                         const std::string& defaultText = {}) override;
    std::string openFileDialog(const FileDialogRequest& request) override;
    void processPendingEvents() override;
    bool openDocument(const std::string& path) override;

    // Whether a command is waiting in one of the calls above (letting the window
    // work, or showing a box): events handled now run inside that command.
    bool commandWaiting() const { return waiting_ > 0; }

private:
    // Counts a call that lets events run for as long as it lasts.
    class Waiting {
    public:
        explicit Waiting(int& depth) : depth_(depth) { ++depth_; }
        ~Waiting() { --depth_; }
        Waiting(const Waiting&) = delete;
        Waiting& operator=(const Waiting&) = delete;

    private:
        int& depth_;
    };

    QWidget* parent() const;
    void log(const QJsonObject& record) const;
    void logWindow() const;

    QPointer<QWidget> window_;
    QString logFile_;
    std::unique_ptr<QObject> showWatcher_;
    int waiting_ = 0;
};

// One line of the log: the record as compact JSON and a line feed.
QByteArray uiLogLine(const QJsonObject& record);

// The main window as logged: its title, the screen position and size of its
// inside, and every named control with its class, text and place in the window.
QJsonObject windowRecord(const QWidget& window);

// A message text as a Qt label shows it: the program's CR LF pairs and lone CRs
// become line breaks.
QString displayText(const std::string& text);

// "Name|pattern|Name|pattern|" as Qt's name filters, "Name (patterns)". "*.*"
// means every file, as on the desktop the filter comes from.
QStringList qtNameFilters(const std::string& filter);

// The result of the file dialog for the files chosen: one full path, or the
// folder followed by the bare names, each part separated by one NUL.
std::string fileDialogResult(const QStringList& chosen);

}  // namespace qf
