#include "qt_window_services.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFile>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "base/program_info.h"

namespace qf {

using namespace Qt::StringLiterals;

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

MessageAnswer answerFor(const std::vector<ButtonAnswer>& buttons, QMessageBox::StandardButton clicked) {
    for (const auto& b : buttons)
        if (b.button == clicked) return b.answer;
    // Closed without a button: the box's cancelling answer.
    return buttons.size() == 1 ? buttons.front().answer : buttons.back().answer;
}

// The names the log gives the message-box codes, in their order.
constexpr const char* kButtonsNames[] = {"Ok", "OkCancel", "AbortRetryIgnore", "YesNoCancel", "YesNo", "RetryCancel"};
constexpr const char* kIconNames[] = {"None", "Critical", "Question", "Exclamation", "Information"};
constexpr const char* kAnswerNames[] = {"Ok", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};

template <std::size_t N, class Code>
QString nameOf(const char* const (&names)[N], Code code) {
    const auto index = static_cast<std::size_t>(code);
    return index < N ? QString::fromLatin1(names[index]) : QString::number(index);
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

// Logs the main window once the event loop runs after it was shown: by then
// it has been placed where it stays.
class ShowWatcher : public QObject {
public:
    explicit ShowWatcher(std::function<void()> shown) : shown_(std::move(shown)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) QTimer::singleShot(0, watched, shown_);
        return false;
    }

private:
    std::function<void()> shown_;
};

QJsonObject geometry(const QRect& r) {
    return {{u"x"_s, r.x()}, {u"y"_s, r.y()}, {u"width"_s, r.width()}, {u"height"_s, r.height()}};
}

}  // namespace

QByteArray uiLogLine(const QJsonObject& record) { return QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n'; }

QJsonObject windowRecord(const QWidget& window) {
    QJsonObject record = geometry(QRect(window.mapToGlobal(QPoint(0, 0)), window.size()));
    record[u"event"_s] = u"window"_s;
    record[u"title"_s] = window.windowTitle();
    QJsonArray controls;
    for (const QWidget* control : window.findChildren<QWidget*>()) {
        if (control->objectName().isEmpty() || !control->isVisibleTo(&window)) continue;
        QJsonObject c = geometry(QRect(control->mapTo(&window, QPoint(0, 0)), control->size()));
        c[u"name"_s] = control->objectName();
        c[u"class"_s] = QString::fromLatin1(control->metaObject()->className());
        for (const char* property : {"text", "title"}) {
            const QVariant text = control->property(property);
            if (text.isValid()) c[u"text"_s] = text.toString();
        }
        if (const auto* button = qobject_cast<const QAbstractButton*>(control); button && button->isCheckable())
            c[u"checked"_s] = button->isChecked();
        controls.append(c);
    }
    record[u"controls"_s] = controls;
    return record;
}

QtWindowServices::QtWindowServices(QString logFile) : logFile_(std::move(logFile)) {}

QtWindowServices::~QtWindowServices() = default;

void QtWindowServices::setWindow(QWidget* window) {
    window_ = window;
    if (logFile_.isEmpty() || !window) return;
    showWatcher_ = std::make_unique<ShowWatcher>([this] { logWindow(); });
    window->installEventFilter(showWatcher_.get());
}

void QtWindowServices::logWindow() const {
    if (window_) log(windowRecord(*window_));
}

void QtWindowServices::log(const QJsonObject& record) const {
    if (logFile_.isEmpty()) return;
    // Opened for each record, so that every line is on disk before the box waits.
    QFile file(logFile_);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) file.write(uiLogLine(record));
}

QString displayText(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(u"\r\n"_s, u"\n"_s);
    shown.replace(u'\r', u'\n');
    return shown;
}

QStringList qtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        if (name.isEmpty() && patterns.isEmpty()) continue;
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == u"*.*"_s) pattern = u"*"_s;
        }
        // Qt reads the patterns from the name's last parentheses: drop the name's own.
        name.remove(QRegularExpression(u"\\s*\\([^()]*\\)$"_s));
        filters << name + u" ("_s + patterns.join(u' ') + u')';
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

QWidget* QtWindowServices::parent() const { return window_ && window_->isVisible() ? window_.data() : nullptr; }

MessageAnswer QtWindowServices::messageBox(const std::string& text, MessageButtons buttonSet, MessageIcon icon,
                                           const std::string& caption) {
    return detailedMessageBox(text, {}, buttonSet, icon, caption);
}

MessageAnswer QtWindowServices::detailedMessageBox(const std::string& text, const std::string& details,
                                                   MessageButtons buttonSet, MessageIcon icon,
                                                   const std::string& caption) {
    QMessageBox box(iconFor(icon), captionOrTitle(caption), displayText(text), QMessageBox::NoButton, parent());
    box.setTextFormat(Qt::PlainText);
    if (!details.empty()) box.setDetailedText(displayText(details));
    const auto buttons = buttonsFor(buttonSet);
    for (const auto& b : buttons) box.addButton(b.button);
    const Waiting waiting(waiting_);
    log({{u"event"_s, u"message"_s},
         {u"caption"_s, box.windowTitle()},
         {u"text"_s, box.text()},
         {u"buttons"_s, nameOf(kButtonsNames, buttonSet)},
         {u"icon"_s, nameOf(kIconNames, icon)}});
    box.exec();
    const MessageAnswer answer = answerFor(buttons, box.standardButton(box.clickedButton()));
    log({{u"event"_s, u"answer"_s}, {u"answer"_s, nameOf(kAnswerNames, answer)}});
    return answer;
}

std::string QtWindowServices::inputBox(const std::string& prompt, const std::string& caption,
                                       const std::string& defaultText) {
    bool ok = false;
    const Waiting waiting(waiting_);
    log({{u"event"_s, u"input"_s},
         {u"caption"_s, captionOrTitle(caption)},
         {u"prompt"_s, displayText(prompt)},
         {u"default"_s, QString::fromStdString(defaultText)}});
    const QString text = QInputDialog::getText(parent(), captionOrTitle(caption), displayText(prompt),
                                               QLineEdit::Normal, QString::fromStdString(defaultText), &ok);
    log({{u"event"_s, u"answer"_s}, {u"text"_s, ok ? text : QString()}});
    return ok ? text.toStdString() : std::string();
}

std::string QtWindowServices::openFileDialog(const FileDialogRequest& request) {
    const Waiting waiting(waiting_);
    OpenDialog dialog(parent(), QString::fromStdString(request.title), request.options.fileMustExist);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.options.allowMultiSelect ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
    const QStringList filters = qtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.front());
    }
    if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));
    log({{u"event"_s, u"file dialog"_s},
         {u"title"_s, dialog.windowTitle()},
         {u"filters"_s, QJsonArray::fromStringList(filters)}});
    const std::string result =
        dialog.exec() == QDialog::Accepted ? fileDialogResult(dialog.selectedFiles()) : std::string();
    log({{u"event"_s, u"answer"_s},
         {u"files"_s,
          QJsonArray::fromStringList(dialog.result() == QDialog::Accepted ? dialog.selectedFiles() : QStringList())}});
    return result;
}

void QtWindowServices::processPendingEvents() {
    const Waiting waiting(waiting_);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool QtWindowServices::openDocument(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

}  // namespace qf
