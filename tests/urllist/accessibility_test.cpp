// What a screen reader reads of the URL list: a list whose items are the
// entries' texts, following every change to the list.

#include <QAccessible>
#include <QKeyEvent>
#include <algorithm>
#include <cstring>

#include "list_fixture.h"
#include "urllist/url_list_accessibility.h"

namespace qf::testing {

using namespace Qt::StringLiterals;
namespace {

using Texts = std::vector<std::string>;

class AccessibilityTest : public ListFixture {
protected:
    QAccessibleInterface* accessible() { return QAccessible::queryAccessibleInterface(view); }

    // The texts of the list's accessible items, in order.
    Texts readTexts() {
        QAccessibleInterface* a = accessible();
        Texts out;
        for (int i = 0; i < a->childCount(); ++i) {
            QAccessibleInterface* item = a->child(i);
            if (!item) {
                out.emplace_back("<no item>");
                continue;
            }
            out.emplace_back(nameOf(item));
        }
        return out;
    }

    QAccessibleInterface* item(int row) { return accessible()->child(row); }
    static std::string nameOf(QAccessibleInterface* i) { return i->text(QAccessible::Name).toStdString(); }
    QAccessible::Id idOf(int row) { return QAccessible::uniqueId(item(row)); }
    // Whether the object a tool was given for an entry still exists.
    static bool alive(QAccessible::Id id) { return QAccessible::accessibleInterface(id) != nullptr; }
};

TEST_F(AccessibilityTest, ListReadsEntriesAsTheyAre) {
    const std::string longText(UrlListModel::kDisplayLimit + 10, 'x');
    fill({"www.a.com", "", "  http://www.b.com  spaced ", "www.ünïcødé.com", longText});
    view->setAccessibleName(u"Sites"_s);
    view->setToolTip(u"Double-click item to remove it."_s);

    QAccessibleInterface* a = accessible();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::List);
    EXPECT_EQ(nameOf(a), "Sites");
    EXPECT_EQ(a->text(QAccessible::Description).toStdString(), "Double-click item to remove it.");
    ASSERT_EQ(a->childCount(), 5);
    // The long entry reads in full, not cut as its row shows it.
    EXPECT_EQ(readTexts(), (Texts{"www.a.com", "", "  http://www.b.com  spaced ", "www.ünïcødé.com", longText}));

    for (int row = 0; row < 5; ++row) {
        QAccessibleInterface* entry = a->child(row);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->role(), QAccessible::ListItem);
        EXPECT_TRUE(entry->isValid());
        EXPECT_EQ(entry->parent(), a);
        EXPECT_EQ(a->indexOfChild(entry), row);
        EXPECT_EQ(a->child(row), entry) << "one object per entry";
        EXPECT_EQ(entry->childCount(), 0);
    }
    EXPECT_EQ(a->child(-1), nullptr);
    EXPECT_EQ(a->child(5), nullptr);
    EXPECT_EQ(a->indexOfChild(a), -1);

    // Another list's items are not this list's.
    UrlListView otherList;
    otherList.list().appendUtf8("www.a.com");
    QAccessibleInterface* foreign = QAccessible::queryAccessibleInterface(&otherList)->child(0);
    ASSERT_NE(foreign, nullptr);
    EXPECT_EQ(a->indexOfChild(foreign), -1);
    EXPECT_NE(foreign, a->child(0));
}

TEST_F(AccessibilityTest, ItemsFollowInsertRemoveExchangeAndClear) {
    fill({"a", "b", "c", "d"});
    QAccessibleInterface* b = item(1);
    QAccessibleInterface* d = item(3);
    const QAccessible::Id idC = idOf(2);

    list().insertUtf8(1, "first");
    list().appendUtf8("last");
    EXPECT_EQ(readTexts(), (Texts{"first", "a", "b", "c", "d", "last"}));
    // An item held by a tool stays with its entry.
    EXPECT_EQ(accessible()->indexOfChild(b), 2);
    EXPECT_EQ(nameOf(b), "b");
    EXPECT_EQ(item(2), b);
    EXPECT_EQ(item(4), d);

    list().remove(4);  // "c"
    EXPECT_FALSE(alive(idC)) << "a removed entry's item goes with it";
    EXPECT_EQ(readTexts(), (Texts{"first", "a", "b", "d", "last"}));
    EXPECT_EQ(accessible()->indexOfChild(d), 3);
    EXPECT_EQ(nameOf(d), "d");

    list().exchangeTexts(1, 5);
    EXPECT_EQ(readTexts(), (Texts{"last", "a", "b", "d", "first"}));
    list().setText(2, u"  changed "_s);
    EXPECT_EQ(nameOf(item(1)), "  changed ");

    // Removing several at once renumbers everything; no item keeps an old row.
    const QAccessible::Id idLast = idOf(4);
    const QAccessible::Id idB = idOf(2);
    list().removePositions({1, 3});
    EXPECT_EQ(readTexts(), (Texts{"  changed ", "d", "first"}));
    EXPECT_FALSE(alive(idB));
    EXPECT_FALSE(alive(idLast));
    EXPECT_EQ(nameOf(item(2)), "first");

    const QAccessible::Id idFirst = idOf(2);
    list().clear();
    EXPECT_EQ(accessible()->childCount(), 0);
    EXPECT_EQ(item(0), nullptr);
    EXPECT_FALSE(alive(idFirst));

    list().appendUtf8("again");
    EXPECT_EQ(readTexts(), Texts{"again"});
}

TEST_F(AccessibilityTest, SelectedAndFocusedStates) {
    fill({"a", "b", "c"});
    view->selectPosition(2);
    EXPECT_FALSE(item(0)->state().selected);
    EXPECT_TRUE(item(1)->state().selected);
    EXPECT_FALSE(item(2)->state().selected);
    EXPECT_TRUE(item(1)->state().selectable);
    // The list does not have the focus yet.
    EXPECT_FALSE(item(1)->state().focused);

    view->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(view->hasFocus());
    EXPECT_TRUE(item(1)->state().focused);
    EXPECT_FALSE(item(0)->state().focused);
    EXPECT_EQ(accessible()->focusChild(), item(1));

    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(view, &down);
    EXPECT_TRUE(item(2)->state().selected);
    EXPECT_FALSE(item(1)->state().selected);
    EXPECT_EQ(accessible()->focusChild(), item(2));

    // A tool can move the selection itself.
    other->setFocus();
    QAccessibleActionInterface* actions = item(0)->actionInterface();
    ASSERT_NE(actions, nullptr);
    actions->doAction(QAccessibleActionInterface::setFocusAction());
    EXPECT_EQ(view->selectedPosition(), 1);
    EXPECT_TRUE(view->hasFocus());
    EXPECT_TRUE(item(0)->state().focused);
}

TEST_F(AccessibilityTest, GeometryFollowsScrolling) {
    for (int k = 1; k <= 200; ++k) list().appendUtf8("www.site" + std::to_string(k) + ".com");
    const QRect first = view->visualRect(list().index(0, 0));
    EXPECT_EQ(item(0)->rect(), QRect(view->viewport()->mapToGlobal(first.topLeft()), first.size()));
    EXPECT_FALSE(item(0)->state().offscreen);
    EXPECT_TRUE(item(199)->state().offscreen);
    EXPECT_EQ(accessible()->childAt(item(3)->rect().center().x(), item(3)->rect().center().y()), item(3));

    view->scrollToPosition(200);
    EXPECT_FALSE(item(199)->state().offscreen);
    EXPECT_TRUE(item(0)->state().offscreen);
    const QPoint centre = item(199)->rect().center();
    EXPECT_EQ(accessible()->childAt(centre.x(), centre.y()), item(199));
    // Above the rows (the column header) there is no entry.
    const QPoint header = view->header()->mapToGlobal(view->header()->rect().center());
    EXPECT_EQ(accessible()->childAt(header.x(), header.y()), nullptr);
}

TEST_F(AccessibilityTest, MillionEntriesAreReadWithoutMakingEveryItem) {
    constexpr int kCount = 1'000'000;
    std::string bytes;
    std::vector<std::pair<std::size_t, std::uint32_t>> where;
    for (int k = 0; k < kCount; ++k) {
        const std::string t = "www.s" + std::to_string(k) + ".com";
        where.emplace_back(bytes.size(), static_cast<std::uint32_t>(t.size()));
        bytes += t;
    }
    TextBlock block = allocateTextBlock(bytes.size());
    std::memcpy(block.get(), bytes.data(), bytes.size());
    std::vector<UrlListModel::Span> spans;
    for (const auto& [offset, size] : where) spans.push_back({block.get() + offset, size});
    list().appendBlock(std::move(block), bytes.size(), std::move(spans));

    EXPECT_EQ(accessible()->childCount(), kCount);
    QAccessibleInterface* last = item(kCount - 1);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(nameOf(last), "www.s999999.com");
    EXPECT_EQ(accessible()->indexOfChild(last), kCount - 1);
    EXPECT_TRUE(last->state().offscreen);

    list().remove(1);
    EXPECT_EQ(accessible()->indexOfChild(last), kCount - 2);
    EXPECT_EQ(nameOf(last), "www.s999999.com");
}

TEST_F(AccessibilityTest, ColumnHeaderIsReadWithTheListAndEachEntry) {
    fill({"www.a.com", "www.b.com"});
    QAccessibleInterface* a = accessible();
    QAccessibleTableInterface* table = a->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->columnCount(), 1);
    EXPECT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->columnDescription(0).toStdString(), "URL(s)");
    EXPECT_EQ(table->cellAt(1, 0), item(1));
    EXPECT_EQ(table->cellAt(0, 1), nullptr);
    // The entries stay the list's only children: the header is reached through them.
    EXPECT_EQ(a->childCount(), 2);

    QAccessibleTableCellInterface* cell = item(1)->tableCellInterface();
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->rowIndex(), 1);
    EXPECT_EQ(cell->columnIndex(), 0);
    EXPECT_EQ(cell->table(), a);
    const QList<QAccessibleInterface*> headers = cell->columnHeaderCells();
    ASSERT_EQ(headers.size(), 1);
    EXPECT_EQ(headers[0]->role(), QAccessible::ColumnHeader);
    EXPECT_EQ(nameOf(headers[0]), "URL(s)");
    EXPECT_EQ(headers[0]->parent(), a);
    EXPECT_EQ(headers, item(0)->tableCellInterface()->columnHeaderCells()) << "one header for every entry";

    // Selection through the table is the list's own selection.
    EXPECT_TRUE(table->selectRow(1));
    EXPECT_EQ(view->selectedPosition(), 2);
    EXPECT_EQ(table->selectedRows(), QList<int>{1});
    EXPECT_TRUE(cell->isSelected());
    EXPECT_TRUE(table->unselectRow(1));
    EXPECT_EQ(table->selectedRowCount(), 0);
    EXPECT_FALSE(table->selectRow(2));
}

TEST_F(AccessibilityTest, DestroyedListTakesItsItemsAlong) {
    auto* doomed = new UrlListView(&window);
    doomed->list().addColumn(u"URL(s)"_s);
    doomed->list().appendUtf8("a");
    doomed->list().appendUtf8("b");
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(doomed);
    const QAccessible::Id list = QAccessible::uniqueId(a);
    const QAccessible::Id first = QAccessible::uniqueId(a->child(0));
    const QAccessible::Id second = QAccessible::uniqueId(a->child(1));
    const QAccessible::Id header = QAccessible::uniqueId(a->child(0)->tableCellInterface()->columnHeaderCells().at(0));
    delete doomed;
    EXPECT_FALSE(alive(header));
    EXPECT_FALSE(alive(list));
    EXPECT_FALSE(alive(first));
    EXPECT_FALSE(alive(second));
}

// What a listening tool is told. The offscreen platform has no accessibility
// bridge; the recorder stands in for one.
struct Told {
    QAccessible::Event type;
    std::string text;  // the item's text, or "<list>" for the list itself
    bool operator==(const Told&) const = default;
};

std::vector<Told>* recording = nullptr;

void record(QAccessibleEvent* event) {
    if (!recording) return;
    QAccessibleInterface* iface = event->accessibleInterface();
    std::string text = "<none>";
    if (iface && iface->role() == QAccessible::List)
        text = "<list>";
    else if (iface)
        text = iface->text(QAccessible::Name).toStdString();
    recording->push_back({event->type(), text});
}

class AccessibilityEventsTest : public AccessibilityTest {
protected:
    AccessibilityEventsTest() {
        recording = &told;
        setUrlListAccessibilitySink(record);
    }
    ~AccessibilityEventsTest() override {
        setUrlListAccessibilitySink(nullptr);
        recording = nullptr;
    }

    int timesTold(QAccessible::Event type, const std::string& text) const {
        return static_cast<int>(std::count(told.begin(), told.end(), Told{type, text}));
    }
    bool wasTold(QAccessible::Event type, const std::string& text) const { return timesTold(type, text) > 0; }

    std::vector<Told> told;
};

TEST_F(AccessibilityEventsTest, ReaderFollowsSelectionAndFocus) {
    fill({"a", "b", "c"});
    accessible();
    told.clear();
    view->selectPosition(2);
    EXPECT_TRUE(wasTold(QAccessible::Selection, "b"));
    EXPECT_FALSE(wasTold(QAccessible::Focus, "b")) << "the list does not have the focus";

    view->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(timesTold(QAccessible::Focus, "b"), 1);

    told.clear();
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(view, &down);
    EXPECT_TRUE(wasTold(QAccessible::Focus, "c"));
    EXPECT_TRUE(wasTold(QAccessible::Selection, "c"));
    EXPECT_FALSE(wasTold(QAccessible::Focus, "b"));

    told.clear();
    view->clearSelection();
    EXPECT_TRUE(wasTold(QAccessible::SelectionRemove, "c"));
}

TEST_F(AccessibilityEventsTest, FocusOnAFreshListNamesTheFirstEntryOnce) {
    fill({"a", "b"});
    view->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_TRUE(view->hasFocus());
    EXPECT_EQ(timesTold(QAccessible::Focus, "a"), 1);
    EXPECT_EQ(accessible()->focusChild(), item(0));
}

TEST_F(AccessibilityEventsTest, ReaderIsToldOfChangedEntries) {
    fill({"a", "b", "c"});
    QAccessibleInterface* b = item(1);
    told.clear();

    list().appendUtf8("d");
    EXPECT_TRUE(wasTold(QAccessible::ObjectReorder, "<list>"));

    told.clear();
    list().exchangeTexts(2, 3);
    // Only the item a tool holds is told of its new text.
    EXPECT_EQ(nameOf(b), "c");
    EXPECT_TRUE(wasTold(QAccessible::NameChanged, "c"));
    EXPECT_FALSE(wasTold(QAccessible::NameChanged, "b"));

    told.clear();
    list().removePositions({1, 2});
    EXPECT_TRUE(wasTold(QAccessible::ObjectReorder, "<list>"));
    EXPECT_EQ(readTexts(), (Texts{"b", "d"}));

    told.clear();
    list().clear();
    EXPECT_TRUE(wasTold(QAccessible::ObjectReorder, "<list>"));
    EXPECT_EQ(accessible()->childCount(), 0);
}

}  // namespace
}  // namespace qf::testing
