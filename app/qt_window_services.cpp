#include "qt_window_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>

#include "base/program_info.h"

namespace qf {

namespace {

QString captionOrTitle(const std::string& caption) {
    return QString::fromStdString(caption.empty() ? applicationTitle() : caption);
}

struct ButtonAnswer {
    QMessageBox::StandardButton button;
    MessageAnswer answer;
};

// The buttons in the order the box shows them; the last one cancels.
std::vector<ButtonAnswer> buttonsFor(MessageButtons buttons) {
    using B = QMessageBox;
    using A = MessageAnswer;
    switch (buttons) {
        case MessageButtons::Ok: return {{B::Ok, A::Ok}};
        case MessageButtons::OkCancel: return {{B::Ok, A::Ok}, {B::Cancel, A::Cancel}};
        case MessageButtons::AbortRetryIgnore:
            return {{B::Abort, A::Abort}, {B::Retry, A::Retry}, {B::Ignore, A::Ignore}};
        case MessageButtons::YesNoCancel: return {{B::Yes, A::Yes}, {B::No, A::No}, {B::Cancel, A::Cancel}};
        case MessageButtons::YesNo: return {{B::Yes, A::Yes}, {B::No, A::No}};
        case MessageButtons::RetryCancel: return {{B::Retry, A::Retry}, {B::Cancel, A::Cancel}};
    }
    return {{B::Ok, A::Ok}};
}

QMessageBox::Icon iconFor(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::None: return QMessageBox::NoIcon;
        case MessageIcon::Critical: return QMessageBox::Critical;
        case MessageIcon::Question: return QMessageBox::Question;
        case MessageIcon::Exclamation: return QMessageBox::Warning;
        case MessageIcon::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

// The open dialog. Without the "file must exist" flag, one typed name of a
// file that does not exist is given back as it stands, for the command to say
// "File not found"; Qt's dialog would otherwise refuse it with its own warning.
class OpenDialog : public QFileDialog {
public:
    OpenDialog(QWidget* parent, const QString& title, bool mustExist)
        : QFileDialog(parent, title), mustExist_(mustExist) {}

    void accept() override {
        const QStringList files = selectedFiles();
        if (!mustExist_ && files.size() == 1 && !QFileInfo::exists(files.front())) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }

private:
    bool mustExist_;
};

}  // namespace

QString displayText(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace("\r\n", "\n");
    shown.replace('\r', '\n');
    return shown;
}

QStringList qtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        if (name.isEmpty() && patterns.isEmpty()) continue;
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == "*.*") pattern = "*";
        }
        // Qt reads the patterns from the name's last parentheses: drop the name's own.
        name.remove(QRegularExpression("\\s*\\([^()]*\\)$"));
        filters << name + " (" + patterns.join(' ') + ")";
    }
    return filters;
}

std::string fileDialogResult(const QStringList& chosen) {
    if (chosen.isEmpty()) return {};
    if (chosen.size() == 1) return QDir::toNativeSeparators(chosen.front()).toStdString();
    std::string result = QDir::toNativeSeparators(QFileInfo(chosen.front()).absolutePath()).toStdString();
    for (const QString& path : chosen) {
        result += '\0';
        result += QFileInfo(path).fileName().toStdString();
    }
    return result;
}

QWidget* QtWindowServices::parent() const {
    return window_ && window_->isVisible() ? window_.data() : nullptr;
}

MessageAnswer QtWindowServices::messageBox(const std::string& text, MessageButtons buttonSet, MessageIcon icon,
                                           const std::string& caption) {
    QMessageBox box(iconFor(icon), captionOrTitle(caption), displayText(text), QMessageBox::NoButton, parent());
    box.setTextFormat(Qt::PlainText);
    const auto buttons = buttonsFor(buttonSet);
    for (const auto& b : buttons) box.addButton(b.button);
    box.exec();
    const auto clicked = box.standardButton(box.clickedButton());
    for (const auto& b : buttons)
        if (b.button == clicked) return b.answer;
    // Closed without a button: the box's cancelling answer.
    return buttons.size() == 1 ? buttons.front().answer : buttons.back().answer;
}

std::string QtWindowServices::inputBox(const std::string& prompt, const std::string& caption,
                                       const std::string& defaultText) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent(), captionOrTitle(caption), displayText(prompt),
                                               QLineEdit::Normal, QString::fromStdString(defaultText), &ok);
    return ok ? text.toStdString() : std::string();
}

std::string QtWindowServices::openFileDialog(const FileDialogRequest& request) {
    OpenDialog dialog(parent(), QString::fromStdString(request.title), request.options.fileMustExist);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.options.allowMultiSelect ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
    const QStringList filters = qtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.front());
    }
    if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));
    if (dialog.exec() != QDialog::Accepted) return {};
    return fileDialogResult(dialog.selectedFiles());
}

void QtWindowServices::processPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool QtWindowServices::openDocument(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

}  // namespace qf
