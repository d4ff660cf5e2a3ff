// Adding, clearing, help, moving and removing entries.

#include <QKeyEvent>

#include "base/program_info.h"
#include "list_fixture.h"

namespace qf::testing {
namespace {

using Texts = std::vector<std::string>;

using CommandsTest = ListFixture;

TEST_F(CommandsTest, AddUrlKeepsTextAsTyped) {
    ui.answerInput("  www.site.com ");
    commands->addUrl();
    ui.answerInput("");  // left empty or cancelled
    commands->addUrl();
    ui.answerInput("  www.site.com ");
    commands->addUrl();
    EXPECT_EQ(texts(), (Texts{"  www.site.com ", "  www.site.com "}));
    ASSERT_EQ(ui.boxes.size(), 3u);
    EXPECT_EQ(ui.boxes[0].text, "Enter website address to add: ");
    EXPECT_EQ(ui.boxes[0].caption, applicationTitle());
    EXPECT_EQ(view->selectedPosition(), 0);  // appending selects nothing
}

TEST_F(CommandsTest, SamplesHelpAndClear) {
    fill({"mine"});
    commands->addSamples();
    commands->addSamples();
    const Texts t = texts();
    ASSERT_EQ(t.size(), 7u);
    EXPECT_EQ(t[0], "mine");
    for (std::size_t k : {1u, 3u, 4u, 6u}) EXPECT_EQ(t[k].rfind("www.", 0), 0u) << t[k];
    for (std::size_t k : {2u, 5u}) EXPECT_EQ(t[k].rfind("http://www.", 0), 0u) << t[k];
    EXPECT_EQ(Texts(t.begin() + 1, t.begin() + 4), Texts(t.begin() + 4, t.end()));

    commands->showHelp();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Entries should have www or http://www in the beginning. Please email " +
                                    supportEmail() + " if you have any questions.");
    EXPECT_EQ(ui.boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(ui.boxes[0].icon, MessageIcon::None);
    EXPECT_EQ(ui.boxes[0].caption, applicationTitle());

    ui.setBusy(true);
    commands->clearList();
    EXPECT_EQ(list().count(), 7);
    ui.setBusy(false);
    commands->clearList();
    EXPECT_EQ(list().count(), 0);
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(CommandsTest, MoveUpAndDown) {
    fill({"a", "b", "c", "d"});
    view->selectPosition(3);
    commands->moveUp();
    EXPECT_EQ(texts(), (Texts{"a", "c", "b", "d"}));
    EXPECT_EQ(view->selectedPosition(), 2);
    EXPECT_TRUE(view->hasFocus());

    commands->moveDown();
    commands->moveDown();  // the next-to-last becomes the last
    EXPECT_EQ(texts(), (Texts{"a", "b", "d", "c"}));
    EXPECT_EQ(view->selectedPosition(), 4);
    commands->moveDown();  // already last: only the focus
    EXPECT_EQ(texts(), (Texts{"a", "b", "d", "c"}));
    EXPECT_EQ(view->selectedPosition(), 4);

    view->selectPosition(1);
    other->setFocus();
    commands->moveUp();  // already first
    EXPECT_EQ(texts(), (Texts{"a", "b", "d", "c"}));
    EXPECT_TRUE(view->hasFocus());
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(CommandsTest, MoveKeepsTheTextAndScrollsItIntoView) {
    Texts many;
    for (int k = 1; k <= 300; ++k) many.push_back("entry " + std::to_string(k));
    fill(many);
    view->selectPosition(300);
    for (int k = 0; k < 150; ++k) commands->moveUp();
    EXPECT_EQ(list().count(), 300);
    EXPECT_EQ(list().utf8(150), "entry 300");
    EXPECT_EQ(view->selectedPosition(), 150);
    QApplication::processEvents();
    EXPECT_TRUE(view->viewport()->rect().contains(view->visualRect(list().index(149, 0)).center()));
}

TEST_F(CommandsTest, OneEntryEmptyListAndNoSelection) {
    commands->moveUp();
    commands->moveDown();
    commands->keyDown(Qt::Key_Delete);
    commands->doubleClick();
    EXPECT_TRUE(other->hasFocus());  // an empty list does not even take the focus

    fill({"only"});
    view->selectPosition(1);
    commands->moveUp();
    commands->moveDown();
    EXPECT_EQ(texts(), Texts{"only"});
    EXPECT_TRUE(view->hasFocus());

    // Entries but none selected: nothing but the focus, and no error box.
    fill({"two"});
    view->clearSelection();
    for (auto command : {&UrlListCommands::moveUp, &UrlListCommands::moveDown}) {
        other->setFocus();
        ((*commands).*command)();
        EXPECT_TRUE(view->hasFocus());
    }
    commands->keyDown(Qt::Key_Delete);
    commands->doubleClick();
    EXPECT_EQ(texts(), (Texts{"only", "two"}));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(CommandsTest, BusyStateBlocksMovesAndRemoval) {
    fill({"a", "b", "c"});
    view->selectPosition(2);
    other->setFocus();
    ui.setBusy(true);
    commands->moveUp();
    commands->moveDown();
    commands->keyDown(Qt::Key_Delete);
    commands->doubleClick();
    commands->clearList();
    EXPECT_EQ(texts(), (Texts{"a", "b", "c"}));
    EXPECT_TRUE(other->hasFocus());
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(CommandsTest, DeleteKeyWithAnyModifiersAndDoubleClick) {
    fill({"a", "b", "c", "d", "e"});
    auto press = [&](int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(view, &event);
    };
    view->selectPosition(1);
    press(Qt::Key_Backspace, Qt::NoModifier);
    press(Qt::Key_D, Qt::NoModifier);
    EXPECT_EQ(list().count(), 5);
    for (auto modifiers : {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier),
                           Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier)}) {
        view->selectPosition(1);
        press(Qt::Key_Delete, modifiers);
    }
    EXPECT_EQ(texts(), (Texts{"d", "e"}));

    // A double-click on empty space removes whichever entry is selected.
    view->selectPosition(2);
    const QPoint empty(10, view->viewport()->height() - 3);
    ASSERT_EQ(view->positionAt(empty), 0);
    QMouseEvent click(QEvent::MouseButtonDblClick, empty, view->viewport()->mapToGlobal(empty), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &click);
    EXPECT_EQ(texts(), Texts{"d"});
}

TEST_F(CommandsTest, ModelPositionsOutOfRangeFail) {
    fill({"a"});
    EXPECT_THROW(list().text(0), Failure);
    EXPECT_THROW(list().text(2), Failure);
    EXPECT_THROW(list().insert(3, QStringLiteral("x")), Failure);
    EXPECT_THROW(list().remove(2), Failure);
    EXPECT_THROW(list().exchangeTexts(1, 2), Failure);
    EXPECT_THROW(view->selectPosition(5), Failure);
    EXPECT_EQ(texts(), Texts{"a"});
}

}  // namespace
}  // namespace qf::testing
