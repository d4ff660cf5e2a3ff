// Dragging an entry's text through the list, and the list's hover pointer rule.

#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>

#include "list_fixture.h"

namespace qf::testing {
namespace {

using Texts = std::vector<std::string>;

class DragTest : public ListFixture {
protected:
    DragTest() {
        commands->setCursorPosition([this] { return QPoint(0, cursorY); });
    }

    // The centre of an entry's row, or a point below the last row for 0.
    QPoint at(int position) {
        if (position == 0) return {10, view->viewport()->height() - 3};
        return view->visualRect(list().index(position - 1, 0)).center();
    }
    void send(QEvent::Type type, int position, Qt::MouseButton button, Qt::MouseButtons buttonsHeld) {
        const QPoint p = at(position);
        QMouseEvent event(type, p, view->viewport()->mapToGlobal(p), button, buttonsHeld, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
    }
    void press(int position, Qt::MouseButton button = Qt::LeftButton) {
        held = button;
        send(QEvent::MouseButtonPress, position, button, held);
    }
    void move(int position) { send(QEvent::MouseMove, position, Qt::NoButton, held); }
    void release(int position) {
        const Qt::MouseButton button = held;
        held = Qt::NoButton;
        send(QEvent::MouseButtonRelease, position, button, held);
    }
    void drag(std::initializer_list<int> path) {
        press(*path.begin());
        for (auto p = path.begin() + 1; p != path.end(); ++p) move(*p);
        release(*(path.end() - 1));
    }

    Qt::MouseButton held = Qt::NoButton;
    int cursorY = 330;  // between the scroll rows
};

TEST_F(DragTest, SlowWalkMovesTheEntryAndAJumpExchangesTwo) {
    fill({"a", "b", "c", "d"});
    drag({1, 2, 3, 4});
    EXPECT_EQ(texts(), (Texts{"b", "c", "d", "a"}));
    EXPECT_EQ(view->selectedPosition(), 4);

    list().clear();
    fill({"a", "b", "c", "d"});
    drag({1, 4});
    EXPECT_EQ(texts(), (Texts{"d", "b", "c", "a"}));
    EXPECT_EQ(commands->dragPosition(), 4);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DragTest, EqualTextsEmptySpaceAndNoButton) {
    fill({"a", "a", "b"});
    press(1);
    move(2);  // the same text: passed over
    EXPECT_EQ(texts(), (Texts{"a", "a", "b"}));
    EXPECT_EQ(view->selectedPosition(), 1);
    move(0);  // no entry under the pointer
    move(3);
    release(3);
    EXPECT_EQ(texts(), (Texts{"b", "a", "a"}));

    move(1);  // moving without a button held exchanges nothing
    EXPECT_EQ(texts(), (Texts{"b", "a", "a"}));

    // A press on empty space sets no dragged entry of its own.
    list().clear();
    fill({"x", "y"});
    press(0);
    move(1);
    move(2);
    release(2);
    EXPECT_EQ(texts(), (Texts{"x", "y"}));
}

TEST_F(DragTest, RightButtonDragsToo) {
    fill({"a", "b", "c"});
    press(1, Qt::RightButton);
    move(2);
    release(2);
    EXPECT_EQ(texts(), (Texts{"b", "a", "c"}));
}

TEST_F(DragTest, RemovedDraggedEntryIsForgotten) {
    fill({"a", "b", "c"});
    press(1);
    release(1);
    view->selectPosition(1);
    commands->keyDown(Qt::Key_Delete);
    EXPECT_EQ(commands->dragPosition(), 0);
    press(0);
    move(1);
    move(2);
    release(2);
    EXPECT_EQ(texts(), (Texts{"b", "c"}));
}

TEST_F(DragTest, NoExchangeWhileBusy) {
    fill({"a", "b"});
    ui.setBusy(true);
    drag({1, 2});
    EXPECT_EQ(texts(), (Texts{"a", "b"}));
    EXPECT_EQ(ui.pointer(), Pointer::Hourglass);  // the hover rule keeps the hourglass
}

TEST_F(DragTest, ScrollsOnlyBeyondTheScreenRows) {
    Texts many;
    for (int k = 1; k <= 100; ++k) many.push_back(std::to_string(k));
    fill(many);
    QApplication::processEvents();
    QScrollBar* bar = view->verticalScrollBar();
    auto topRow = [&] { return view->positionAt({10, 2}); };
    bar->setValue(bar->maximum() / 2);
    QApplication::processEvents();
    const int top = topRow();
    ASSERT_GT(top, 1);

    cursorY = 330;  // middle rows: no scrolling
    drag({top + 1, top});
    EXPECT_EQ(topRow(), top);

    cursorY = 304;  // above row 305: the entry above the one landed on comes into view
    drag({top + 1, top});
    EXPECT_EQ(topRow(), top - 1);

    const int bottom = view->positionAt({10, view->viewport()->height() - view->rowHeight() / 2 - 1});
    cursorY = 364;
    drag({bottom - 1, bottom});
    EXPECT_EQ(topRow(), top - 1);
    cursorY = 365;  // from row 365 down: the entry below comes into view
    drag({bottom - 1, bottom});
    EXPECT_GT(topRow(), top - 1);
}

TEST_F(DragTest, DragIconAndListPointer) {
    fill({"a", "b"});
    press(1);  // no icon in the program folder: no custom pointer, no error
    EXPECT_EQ(commands->listPointer(), ListPointer::Default);
    release(1);
    EXPECT_EQ(commands->listPointer(), ListPointer::Arrow);

    QTemporaryDir folder;
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    ASSERT_TRUE(icon.save(folder.filePath(QStringLiteral("drag.ico")), "ICO"));
    useProgramFolder(folder.path().toStdString());
    press(1);
    EXPECT_EQ(commands->listPointer(), ListPointer::DragIcon);
    EXPECT_EQ(view->viewport()->cursor().shape(), Qt::BitmapCursor);
    release(1);
    EXPECT_EQ(commands->listPointer(), ListPointer::Arrow);
    EXPECT_EQ(view->viewport()->cursor().shape(), Qt::ArrowCursor);

    // A file that is no icon counts as none.
    QFile bad(folder.filePath(QStringLiteral("drag.ico")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
    bad.write("not an icon");
    bad.close();
    press(2);
    EXPECT_EQ(commands->listPointer(), ListPointer::Arrow);
    release(2);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DragTest, HoverRuleResetsTheWindowPointerUnlessBusy) {
    fill({"a"});
    ui.setPointer(Pointer::Custom);
    move(1);
    EXPECT_EQ(ui.pointer(), Pointer::Default);
    ui.setBusy(true);
    move(1);
    EXPECT_EQ(ui.pointer(), Pointer::Hourglass);
}

}  // namespace
}  // namespace qf::testing
