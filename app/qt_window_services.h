#pragma once
// The window services of the real desktop: Qt message boxes, input boxes and
// file dialog, the event loop, and the desktop's default applications.

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "base/window_services.h"

namespace qf {

class QtWindowServices : public WindowServices {
public:
    // The window that boxes are modal to, once it is shown.
    void setWindow(QWidget* window) { window_ = window; }

    MessageAnswer messageBox(const std::string& text, MessageButtons buttons, MessageIcon icon,
                             const std::string& caption = {}) override;
    std::string inputBox(const std::string& prompt, const std::string& caption = {},
                         const std::string& defaultText = {}) override;
    std::string openFileDialog(const FileDialogRequest& request) override;
    void processPendingEvents() override;
    bool openDocument(const std::string& path) override;

private:
    QWidget* parent() const;
    QPointer<QWidget> window_;
};

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
