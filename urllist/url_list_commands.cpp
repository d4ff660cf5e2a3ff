#include "url_list_commands.h"

#include <QCursor>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QPointer>
#include <iterator>
#include <vector>

#include "base/program_info.h"
#include "base/trap.h"
#include "url_list_filter.h"
#include "urllist/store/url_text_file.h"

namespace qf {

namespace {

using namespace list_statement;

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The sample addresses: a reference site, a web portal and a news site, in the
// two forms the help message names.
constexpr const char* kSamples[3] = {"www.wikipedia.org", "http://www.yahoo.com", "www.bbc.com"};

// Rows of the screen beyond which a drag scrolls the list.
constexpr int kScrollUpBelowY = 305;
constexpr int kScrollDownFromY = 365;

std::vector<std::string> splitAtNul(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find('\0', from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

// Passes the list's events to its handlers. The handlers let no failure out:
// nothing may be thrown through the event loop.
class ListEvents : public QObject {
public:
    ListEvents(UrlListCommands& commands, UrlListView& view) : QObject(&view), commands_(commands), view_(view) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
                if (watched == &view_) {
                    const int key = static_cast<QKeyEvent*>(event)->key();
                    commands_.keyDown(key);
                    if (key == Qt::Key_Delete) return true;
                }
                break;
            case QEvent::MouseButtonPress:
                if (watched == view_.viewport()) {
                    pressed_ = true;
                    commands_.mouseDown();
                }
                break;
            case QEvent::MouseMove:
                if (watched == view_.viewport()) {
                    commands_.mouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
                    // While a button is held the list's own selection dragging would
                    // move the selection without exchanging anything.
                    if (pressed_) return true;
                }
                break;
            case QEvent::MouseButtonRelease:
                if (watched == view_.viewport()) {
                    pressed_ = false;
                    commands_.mouseUp();
                }
                break;
            case QEvent::MouseButtonDblClick:
                if (watched == view_.viewport() && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                    commands_.doubleClick();
                    return true;
                }
                break;
            default: break;
        }
        return false;
    }

private:
    UrlListCommands& commands_;
    UrlListView& view_;
    bool pressed_ = false;
};

}  // namespace

struct UrlListCommands::State {
    State(UrlListView& v, WindowServices& u, std::string folder, ListCommandLocations where)
        : view(v), ui(u), programFolder(std::move(folder)), locations(std::move(where)) {}

    UrlListView& view;
    WindowServices& ui;
    std::string programFolder;
    ListCommandLocations locations;
    std::function<QPoint()> cursorPosition = [] { return QCursor::pos(); };
    // Drag state.
    QPersistentModelIndex dragItem;
    bool listMouseDown = false;
    ListPointer listPointer = ListPointer::Default;
    QPointer<QObject> events;  // the list's event filter; gone with the list

    UrlListModel& list() { return view.list(); }

    void setListPointer(ListPointer pointer, const QCursor& cursor) {
        listPointer = pointer;
        view.viewport()->setCursor(cursor);
    }

    void focusList() { view.setFocus(Qt::OtherFocusReason); }

    // Whether a command that works on the selected entry has one to work on. A
    // list with entries but none selected gets the focus and nothing else.
    bool hasSelection() {
        if (view.selectedPosition() != 0) return true;
        focusList();
        return false;
    }

    void filter(const std::string& location, const char* prompt, FilterKind kind) {
        // A second scan inside the first one's yield would leave the first one
        // removing by stale positions.
        if (ui.busy()) return;
        Trap trap(ui, location);
        std::string text;
        trap.step(kAskText, [&] { text = ui.inputBox(prompt, applicationTitle(), {}); });
        if (text.empty()) return;
        trap.step(kBusyWhileRemoving, [&] { ui.setBusy(true); });
        trap.step(kRemoveEntries, [&] { filterEntries(list(), text, kind, ui); });
        trap.step(kNotBusy, [&] { ui.setBusy(false); });
    }

    void removeSelected() {
        try {
            if (ui.busy()) return;
            if (list().count() == 0) return;
            if (!hasSelection()) return;
            list().remove(view.selectedPosition());
        } catch (...) {}
    }
};

UrlListCommands::UrlListCommands(UrlListView& listView, WindowServices& ui, std::string programFolder,
                                 ListCommandLocations locations)
    : state_(std::make_unique<State>(listView, ui, std::move(programFolder), std::move(locations))) {
    auto* events = new ListEvents(*this, listView);
    state_->events = events;
    listView.installEventFilter(events);
    listView.viewport()->installEventFilter(events);
    listView.setMouseTracking(true);
    listView.setDragEnabled(false);  // the list starts no drag-and-drop of its own
    QObject::connect(&listView, &QAbstractItemView::pressed, events, [this] { itemClick(); });
}

UrlListCommands::~UrlListCommands() { delete state_->events.data(); }

void UrlListCommands::setCursorPosition(std::function<QPoint()> source) { state_->cursorPosition = std::move(source); }

ListPointer UrlListCommands::listPointer() const { return state_->listPointer; }

int UrlListCommands::dragPosition() const { return state_->dragItem.isValid() ? state_->dragItem.row() + 1 : 0; }

void UrlListCommands::addUrl() {
    State& s = *state_;
    Trap trap(s.ui, s.locations.addUrl);
    std::string url;
    trap.step(kAskAddress, [&] { url = s.ui.inputBox("Enter website address to add: ", applicationTitle(), {}); });
    if (url.empty()) return;
    trap.step(kAppendAddress, [&] { s.list().appendUtf8(url); });
}

void UrlListCommands::loadFromTextFile() {
    State& s = *state_;
    Trap trap(s.ui, s.locations.loadFromTextFile);
    FileDialogRequest dialog;
    dialog.options.readOnlyChecked = true;
    dialog.options.allowMultiSelect = true;
    dialog.options.explorerStyle = true;
    dialog.options.longNames = true;
    dialog.title = "Add File(s) - Hold Ctrl to select multiple files";
    dialog.filter = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|";
    std::string chosen;
    trap.step(kChooseFiles, [&] { chosen = s.ui.openFileDialog(dialog); });
    if (chosen.empty()) return;
    std::vector<std::string> parts;
    trap.step(kSplitChosen, [&] { parts = splitAtNul(chosen); });
    const int n = static_cast<int>(parts.size()) - 1;
    if (n == 0) {
        std::string path;
        trap.step(kTakeOnePath, [&] { path = parts.at(0); });
        trap.step(kReadOneFile, [&] { readUrlTextFile(s.list().store(), s.ui, path); });
        return;
    }
    for (int k = 1; k <= n; ++k) {
        std::string path;
        trap.step(kJoinPath, [&] { path = parts.at(0) + kPathSeparator + parts.at(static_cast<std::size_t>(k)); });
        trap.step(kCleanPath, [&] { path = cleanPath(path); });
        trap.step(kAppendPath, [&] { s.list().appendUtf8(path); });
    }
}

void UrlListCommands::loadTextFiles(const std::vector<std::string>& paths) {
    State& s = *state_;
    for (const std::string& given : paths) {
        Trap trap(s.ui, s.locations.loadFromTextFile);
        std::string path;
        trap.step(kTakeOnePath, [&] { path = cleanPath(given); });
        trap.step(kReadOneFile, [&] { readUrlTextFile(s.list().store(), s.ui, path); });
    }
}

void UrlListCommands::addSamples() {
    State& s = *state_;
    Trap trap(s.ui, s.locations.addSamples);
    for (std::size_t i = 0; i < std::size(kSamples); ++i)
        trap.step(kAppendSample[i], [&] { s.list().appendUtf8(kSamples[i]); });
}

void UrlListCommands::clearList() {
    State& s = *state_;
    Trap trap(s.ui, s.locations.clearList);
    trap.step(kClear, [&] {
        if (!s.ui.busy()) s.list().clear();
    });
}

void UrlListCommands::showHelp() {
    State& s = *state_;
    Trap trap(s.ui, s.locations.showHelp);
    trap.step(kShowHelp, [&] {
        s.ui.messageBox("Entries should have www or http://www in the beginning. Please email " + supportEmail() +
                            " if you have any questions.",
                        MessageButtons::Ok, MessageIcon::None, applicationTitle());
    });
}

void UrlListCommands::removeContaining() {
    state_->filter(state_->locations.removeContaining, "Remove entries containing: ", FilterKind::Containing);
}

void UrlListCommands::removeNotContaining() {
    state_->filter(state_->locations.removeNotContaining, "Remove entries not containing: ", FilterKind::NotContaining);
}

void UrlListCommands::moveUp() {
    State& s = *state_;
    Trap trap(s.ui, s.locations.moveUp);
    if (s.ui.busy()) return;
    if (trap.jumpIf(kListEmpty, [&] { return s.list().count() == 0; })) return;
    if (!s.hasSelection()) return;
    int p = 0;
    trap.step(kTakeSelected, [&] { p = s.view.selectedPosition(); });
    if (p >= 2) {
        trap.step(kInsertCopy, [&] { s.list().insertUtf8(p - 1, s.list().utf8(p)); });
        trap.step(kRemoveOriginal, [&] { s.list().remove(p + 1); });
        trap.step(kSelectMoved, [&] { s.view.selectPosition(p - 1); });
        trap.step(kScrollToMoved, [&] { s.view.scrollToPosition(p - 1); });
        trap.step(kFocusMoved, [&] { s.focusList(); });
        return;
    }
    trap.step(kFocusUnmoved, [&] { s.focusList(); });
}

void UrlListCommands::moveDown() {
    State& s = *state_;
    Trap trap(s.ui, s.locations.moveDown);
    if (s.ui.busy()) return;
    if (trap.jumpIf(kListEmpty, [&] { return s.list().count() == 0; })) return;
    if (!s.hasSelection()) return;
    int p = 0;
    trap.step(kTakeSelected, [&] { p = s.view.selectedPosition(); });
    if (trap.when(kNotLast, [&] { return p < s.list().count(); })) {
        trap.step(kInsertCopy, [&] { s.list().insertUtf8(p + 2, s.list().utf8(p)); });
        trap.step(kRemoveOriginal, [&] { s.list().remove(p); });
        trap.step(kSelectMoved, [&] { s.view.selectPosition(p + 1); });
        trap.step(kScrollToMoved, [&] { s.view.scrollToPosition(p + 1); });
        trap.step(kFocusMoved, [&] { s.focusList(); });
        return;
    }
    trap.step(kFocusUnmoved, [&] { s.focusList(); });
}

void UrlListCommands::keyDown(int key) {
    if (key == Qt::Key_Delete) state_->removeSelected();
}

void UrlListCommands::doubleClick() { state_->removeSelected(); }

void UrlListCommands::itemClick() {
    State& s = *state_;
    try {
        // The drag icon is read afresh on every click; without a readable one
        // the pointer stays as it is.
        const QString iconPath = fromUtf8(s.programFolder + kPathSeparator + "drag.ico");
        const QPixmap icon(iconPath);
        if (!icon.isNull()) s.setListPointer(ListPointer::DragIcon, QCursor(icon));
        const int selected = s.view.selectedPosition();
        s.dragItem = selected ? QPersistentModelIndex(s.list().index(selected - 1, 0)) : QPersistentModelIndex();
    } catch (...) {}
}

void UrlListCommands::mouseDown() { state_->listMouseDown = true; }

void UrlListCommands::mouseMove(const QPoint& point) {
    State& s = *state_;
    try {
        if (!s.ui.busy() && s.ui.pointer() != Pointer::Default) s.ui.setPointer(Pointer::Default);
        if (!s.listMouseDown) return;
        // While a scan holds positions, exchanging texts would make it remove
        // the wrong entries.
        if (s.ui.busy()) return;
        const int hover = s.view.positionAt(point);
        // A dragged entry that has been removed is forgotten.
        const int drag = s.dragItem.isValid() ? s.dragItem.row() + 1 : 0;
        if (hover == 0 || drag == 0) return;
        if (s.list().utf8(hover) == s.list().utf8(drag)) return;
        s.list().exchangeTexts(drag, hover);
        s.view.selectPosition(hover);
        s.dragItem = QPersistentModelIndex(s.list().index(hover - 1, 0));
        const int y = s.cursorPosition().y();
        if (y < kScrollUpBelowY) {
            if (hover >= 2) s.view.scrollToPosition(hover - 1);
        } else if (y >= kScrollDownFromY) {
            if (hover + 1 <= s.list().count()) s.view.scrollToPosition(hover + 1);
        }
    } catch (...) {}
}

void UrlListCommands::mouseUp() {
    State& s = *state_;
    s.listMouseDown = false;
    try {
        s.setListPointer(ListPointer::Arrow, QCursor(Qt::ArrowCursor));
    } catch (...) {}
}

}  // namespace qf
