// The main window's design, the hover pointer rule, the progress bar, the
// sheet mode kept in the store, and closing the window.

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <map>

#include "app/progress_bar.h"
#include "app/push_button.h"
#include "app/twips.h"
#include "app_fixture.h"
#include "urllist/url_list_view.h"

namespace qf::testing {

using namespace Qt::StringLiterals;
namespace {

struct Designed {
    const char* name;
    const char* caption;
    int left, top, width, height;
};

// The design, in tab order.
const std::vector<Designed> kDesign = {
    {"ListView1", "", 120, 630, 6840, 2535},
    {"PushButton5", "Move Up", 7080, 630, 840, 1200},
    {"PushButton6", "Move Down", 7080, 1950, 840, 1200},
    {"PushButton4", "Add URL", 120, 3260, 3840, 405},
    {"PushButton13", "Load URLs From Text File", 4080, 3260, 3840, 405},
    {"PushButton11", "Clear List", 120, 3770, 3840, 405},
    {"PushButton17", "Remove Filenames Containing X", 120, 4280, 3840, 405},
    {"PushButton1", "Remove Filenames Not Cont. X", 4080, 4280, 3840, 405},
    {"Option1", "Import all web sites to one sheet", 240, 300, 5175, 255},
    {"Option2", "Import each web site to a separate sheet", 240, 650, 5775, 255},
    {"PushButton2", "Start Importing", 120, 5950, 7800, 405},
    {"ProgressBar1", "Progress Bar", 120, 6470, 7800, 405},
    {"Frame1", "Import Options", 120, 4725, 7800, 1095},
    {"PushButton3", "Load Sample/Example URLs", 4080, 3770, 3840, 405},
    {"PushButton8", "Help", 120, 120, 7800, 405},
};

QString captionOf(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* p = qobject_cast<QProgressBar*>(w)) return p->text();
    return {};
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(start.open()); }
    Form1& form() { return *start.form; }
    QWidget* control(const char* name) { return form().findChild<QWidget*>(QLatin1String(name)); }

    // A pointer move as the window system delivers it: to the widget under the
    // pointer, passed on to its containers when the widget does not take it.
    void moveOver(QWidget* widget, QPoint at = {2, 2}) {
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }

    // The pointer the user sees over a control: the window's pointer while it
    // covers the whole application, else the control's own.
    static Qt::CursorShape shownOver(const QWidget* widget) {
        if (const QCursor* over = QGuiApplication::overrideCursor()) return over->shape();
        return widget->cursor().shape();
    }

    AppStart start;
};

TEST_F(WindowTest, ControlsStandWhereTheDesignPutsThem) {
    const double dpiX = form().logicalDpiX(), dpiY = form().logicalDpiY();
    auto x = [&](int twips) { return twipsToPixels(twips, dpiX); };
    auto y = [&](int twips) { return twipsToPixels(twips, dpiY); };

    EXPECT_EQ(form().size(), QSize(x(8040), y(6990)));
    EXPECT_EQ(form().minimumSize(), form().maximumSize());  // not resizable
    const QPoint offCentre = form().frameGeometry().center() - form().screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 1);
    EXPECT_FALSE(form().windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form().windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form().windowFlags() & Qt::WindowCloseButtonHint);

    for (const Designed& d : kDesign) {
        QWidget* w = control(d.name);
        ASSERT_NE(w, nullptr) << d.name;
        EXPECT_EQ(w->geometry(), QRect(x(d.left), y(d.top), x(d.width), y(d.height))) << d.name;
        EXPECT_EQ(captionOf(w), QString::fromUtf8(d.caption)) << d.name;
        const bool inFrame = QLatin1String(d.name).startsWith(QLatin1String("Option"));
        EXPECT_EQ(w->parentWidget(), inFrame ? control("Frame1") : &form()) << d.name;
        EXPECT_EQ(w->palette().color(w->backgroundRole()), QColor(Qt::white)) << d.name;
        const bool pushButton = QLatin1String(d.name).startsWith(QLatin1String("PushButton"));
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), pushButton ? 11.25 : 9.0) << d.name;
        EXPECT_TRUE(w->font().bold()) << d.name;
        EXPECT_EQ(w->font().families(), QStringList({u"Arial"_s, u"Liberation Sans"_s})) << d.name;
        if (qobject_cast<QAbstractButton*>(w)) {
            // Screen readers read the caption.
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(w);
            ASSERT_NE(accessible, nullptr);
            EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(d.caption)) << d.name;
        }
    }
    // At 96 dpi the window is 536 x 466 pixels.
    if (dpiX == 96 && dpiY == 96) {
        EXPECT_EQ(form().size(), QSize(536, 466));
    }

    EXPECT_EQ(control("ListView1")->toolTip(),
              u"Double-click item to remove it. Move | line to right and out of window to reveal full names."_s);
    auto& bar = form().progressBar();
    EXPECT_EQ(bar.minimum(), 0);
    EXPECT_EQ(bar.maximum(), 100);
    EXPECT_EQ(bar.progress(), 0.0);
    EXPECT_FALSE(form().pushButtons()[0]->picture().isNull());
    EXPECT_FALSE(form().pushButtons()[1]->picture().isNull());
    // Nothing beyond the design: ten buttons, one list, one frame, two options, one bar.
    int buttons = 0;
    for (QAbstractButton* b : form().findChildren<QAbstractButton*>()) buttons += !form().listView().isAncestorOf(b);
    EXPECT_EQ(buttons, 12);
    EXPECT_EQ(form().findChildren<QProgressBar*>().size(), 1);
    EXPECT_EQ(form().findChildren<QGroupBox*>().size(), 1);
}

// Whatever the fonts at hand (ctest runs this with the system's, with
// Liberation Sans alone and with DejaVu alone), every caption shows whole: a
// button's in its own font where that fits, else in a smaller size of it.
TEST_F(WindowTest, EveryCaptionShowsWholeInTheFontsAtHand) {
    // The buttons whose captions do not fit their designed size, by the font found.
    const std::map<std::string, std::string> smallerIn = {
        {"Arial", ""}, {"Liberation Sans", ""}, {"DejaVu Sans", "PushButton17 PushButton1 "}};
    const std::string found = QFontInfo(control("PushButton8")->font()).family().toStdString();
    std::string smaller;
    for (const Designed& d : kDesign) {
        QWidget* w = control(d.name);
        if (auto* b = qobject_cast<PushButton*>(w)) {
            const QRect area = b->captionRect();
            const QRect needed =
                QFontMetrics(b->captionFont(), b).boundingRect(area, Qt::AlignCenter | Qt::TextWordWrap, b->text());
            EXPECT_TRUE(area.contains(needed) && b->rect().contains(area))
                << d.name << " needs " << needed.width() << " x " << needed.height();
            EXPECT_EQ(QFontInfo(b->captionFont()).family().toStdString(), found) << d.name << ": the same font";
            if (b->captionFont() != b->font()) smaller += d.name + std::string(" ");
        } else if (!captionOf(w).isEmpty()) {
            EXPECT_LE(w->sizeHint().width(), w->width()) << d.name;
        }
    }
    if (smallerIn.count(found)) {
        EXPECT_EQ(smaller, smallerIn.at(found)) << found;
    }
}

TEST_F(WindowTest, TabMovesThroughTheControlsInTheDesignOrder) {
    form().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
    EXPECT_EQ(QApplication::focusWidget(), control("ListView1"));

    // Every control that takes the focus, in the design's order; of the two
    // options only the selected one is a tab stop.
    std::vector<std::string> visited;
    for (int i = 0; i < 13; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    const std::vector<std::string> expected = {
        "PushButton5", "PushButton6", "PushButton4", "PushButton13", "PushButton11", "PushButton17", "PushButton1",
        "Option1",     "PushButton2", "PushButton3", "PushButton8",  "ListView1",    "PushButton5"};
    EXPECT_EQ(visited, expected);
}

TEST_F(WindowTest, HoverRuleShowsTheHandOverButtonsOnly) {
    auto& ui = start.ui;
    for (PushButton* button : form().pushButtons()) {
        ui.setPointer(Pointer::Default);
        moveOver(button);
        EXPECT_EQ(ui.pointer(), Pointer::Custom) << button->objectName().toStdString();
        EXPECT_EQ(shownOver(button), Qt::PointingHandCursor);
    }
    // Away from a button, back to the default pointer: background, frame, options.
    for (QWidget* elsewhere : {static_cast<QWidget*>(&form()), static_cast<QWidget*>(&form().frame()),
                               static_cast<QWidget*>(&form().option1()), static_cast<QWidget*>(&form().option2())}) {
        moveOver(form().pushButtons()[0]);
        ASSERT_EQ(ui.pointer(), Pointer::Custom);
        moveOver(elsewhere);
        EXPECT_EQ(ui.pointer(), Pointer::Default) << elsewhere->objectName().toStdString();
        EXPECT_EQ(shownOver(&form()), Qt::ArrowCursor);
        EXPECT_EQ(shownOver(form().pushButtons()[0]), Qt::ArrowCursor);
    }
    // The list's own pointer handler applies the rule to the list.
    moveOver(form().pushButtons()[0]);
    moveOver(form().listView().viewport());
    EXPECT_EQ(ui.pointer(), Pointer::Default);
}

TEST_F(WindowTest, HourglassStaysWhateverThePointerMovesOver) {
    auto& ui = start.ui;
    ui.setBusy(true);
    const auto history = ui.pointerHistory;
    QList<QWidget*> everywhere = {&form(),
                                  &form().frame(),
                                  &form().option1(),
                                  &form().option2(),
                                  form().listView().viewport(),
                                  &form().progressBar()};
    for (PushButton* b : form().pushButtons()) everywhere << b;
    for (QWidget* w : everywhere) {
        moveOver(w);
        EXPECT_EQ(ui.pointer(), Pointer::Hourglass) << w->objectName().toStdString();
        EXPECT_EQ(shownOver(w), Qt::WaitCursor) << w->objectName().toStdString();
    }
    EXPECT_EQ(ui.pointerHistory, history);
    ui.setBusy(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(shownOver(form().pushButtons()[0]), Qt::ArrowCursor);
}

TEST_F(WindowTest, WindowPointerCoversAControlsOwnPointerUntilItReturnsToZero) {
    auto& ui = start.ui;
    QWidget* list = form().listView().viewport();
    list->setCursor(Qt::ArrowCursor);  // the list's own pointer, as after a drag
    ui.setPointer(Pointer::Custom);
    EXPECT_EQ(shownOver(list), Qt::PointingHandCursor);
    ui.setBusy(true);
    EXPECT_EQ(shownOver(list), Qt::WaitCursor);
    list->setCursor(Qt::CrossCursor);  // the list changes its own meanwhile
    ui.setBusy(true);
    EXPECT_EQ(shownOver(list), Qt::WaitCursor);
    ui.setBusy(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // taken back once, however often it was set
    EXPECT_EQ(shownOver(list), Qt::CrossCursor);
    EXPECT_EQ(shownOver(form().pushButtons()[0]), Qt::ArrowCursor);

    // A window that goes while busy takes its pointer with it.
    ui.setBusy(true);
    start.form.reset();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, ProgressBarShowsEachEntryExactlyWithItsShareAndRestsAtTheEnd) {
    ProgressBar& bar = form().progressBar();
    EXPECT_EQ(bar.text(), u"Progress Bar"_s);
    const std::string url = "www.example.com/%p%20off?x=%v&y=%m%";
    form().entryStarted(1, 3, url);
    EXPECT_EQ(bar.text().toStdString(), "Processing: " + url);
    EXPECT_DOUBLE_EQ(bar.progress(), 100.0 / 3);
    // A value outside the range fails and changes nothing.
    EXPECT_THROW(bar.setProgress(100.5), Failure);
    EXPECT_THROW(bar.setProgress(-1), Failure);
    EXPECT_DOUBLE_EQ(bar.progress(), 100.0 / 3);
    form().entryStarted(2, 2, "C:\\Lists\\page.html");
    EXPECT_EQ(bar.text(), u"Processing: page.html"_s) << "what follows the last backslash";
    EXPECT_EQ(bar.value(), 100);
    EXPECT_FALSE(bar.grab().isNull());
    form().runFinished({});
    EXPECT_EQ(bar.text(), u"Progress Bar"_s);
    EXPECT_EQ(bar.value(), 0);
    EXPECT_TRUE(start.ui.openedDocuments.empty()) << "no workbook file to open";
}

// Counts the paints a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(WindowTest, ProgressBarPaintsEachNewValueOnceWithTheNextEvents) {
    ProgressBar& bar = form().progressBar();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
    QCoreApplication::processEvents();
    PaintCounter counter;
    bar.installEventFilter(&counter);
    for (int entry = 1; entry <= 3; ++entry) {
        // What the run does per entry: the value (its whole part changes each
        // time here), the text, then a round of events.
        const int before = counter.paints;
        form().entryStarted(entry, 10, "page" + std::to_string(entry));
        EXPECT_EQ(bar.value(), entry * 10);
        EXPECT_TRUE(bar.updatesEnabled());
        QCoreApplication::processEvents();
        EXPECT_EQ(counter.paints, before + 1) << "entry " << entry;
    }
    bar.removeEventFilter(&counter);
}

TEST_F(WindowTest, TheRunReadsTheListAndTheSheetMode) {
    form().listView().list().append(u"  www.example.com/a b "_s);
    form().listView().list().append(u""_s);
    EXPECT_EQ(form().entryCount(), 2);
    EXPECT_EQ(form().entryText(1), "  www.example.com/a b ");
    EXPECT_EQ(form().entryText(2), "");
    EXPECT_EQ(form().sheetMode(), SheetMode::OneSheet);
    form().option2().click();
    EXPECT_EQ(form().sheetMode(), SheetMode::SheetPerSite);
}

TEST_F(WindowTest, ButtonsReachTheirCommands) {
    // "Start Importing" on an empty list refuses; "Add URL" asks for an address.
    form().findChild<QAbstractButton*>(u"PushButton2"_s)->click();
    ASSERT_EQ(start.ui.messages().size(), 1u);
    EXPECT_EQ(start.ui.messages()[0], "No files added.");
    start.ui.answerInput("www.example.com");
    form().findChild<QAbstractButton*>(u"PushButton4"_s)->click();
    EXPECT_EQ(start.ui.boxes.back().kind, ShownBox::Input);
    EXPECT_EQ(form().entryCount(), 1);
}

TEST(SheetMode, ChoiceIsWrittenAtOnceAndRestoredAfterARestart) {
    AppStart first;
    ASSERT_TRUE(first.open());
    first.form->option2().click();
    const QString file = first.settings->location("Tarnwick");
    {
        QSettings stored(file, QSettings::IniFormat);
        EXPECT_EQ(stored.value(u"Quillfen/Option1"_s).toString(), u"False"_s);
        EXPECT_EQ(stored.value(u"Quillfen/Option2"_s).toString(), u"True"_s);
    }
    EXPECT_TRUE(file.startsWith(first.settingsDir.path()));

    // A second start with the same store.
    AppStart second;
    second.settings = std::make_unique<SettingsStore>(first.settingsDir.path());
    ASSERT_TRUE(second.open());
    EXPECT_FALSE(second.form->option1().isChecked());
    EXPECT_TRUE(second.form->option2().isChecked());
    second.form->option1().click();
    QSettings stored(file, QSettings::IniFormat);
    EXPECT_EQ(stored.value(u"Quillfen/Option1"_s).toString(), u"True"_s);
    EXPECT_EQ(stored.value(u"Quillfen/Option2"_s).toString(), u"False"_s);
    EXPECT_TRUE(first.ui.boxes.empty());
    EXPECT_TRUE(second.ui.boxes.empty());
}

TEST(SheetMode, NeitherSelectedUntilTheUserChooses) {
    AppStart start;
    start.storeOptions("False", "False");
    ASSERT_TRUE(start.open());
    EXPECT_FALSE(start.form->option1().isChecked());
    EXPECT_FALSE(start.form->option2().isChecked());
    start.form->option2().click();
    EXPECT_TRUE(start.form->option2().isChecked());
    start.form->option1().click();
    // The group is still exclusive.
    EXPECT_TRUE(start.form->option1().isChecked());
    EXPECT_FALSE(start.form->option2().isChecked());
}

TEST(SheetMode, StoreThatCannotBeWrittenIsToldAndTheChoiceStillHolds) {
    AppStart start;
    // The store's folder would have to be made inside a plain file.
    start.writeProgramFile("plain-file", "x");
    const QString folder = start.programDir.filePath(u"plain-file/config"_s);
    start.settings = std::make_unique<SettingsStore>(folder);
    ASSERT_TRUE(start.open());
    EXPECT_TRUE(start.ui.boxes.empty());  // an unreadable store reads as empty
    EXPECT_TRUE(start.form->option1().isChecked());
    start.form->option2().click();

    ASSERT_EQ(start.ui.messages().size(), 1u);
    EXPECT_EQ(start.ui.boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(start.ui.boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(start.ui.boxes[0].text, "The settings could not be saved to " +
                                          QDir::toNativeSeparators(folder).toStdString() + "/Tarnwick.ini.");
    EXPECT_TRUE(start.form->option2().isChecked());
    EXPECT_EQ(start.form->sheetMode(), SheetMode::SheetPerSite);
}

TEST(Closing, YieldsTwiceThenEndsTheProgram) {
    AppStart start;
    ASSERT_TRUE(start.open());
    int roundsAtEnd = -1;
    start.end.onEnd = [&] { roundsAtEnd = start.ui.eventRounds; };
    const int before = start.ui.eventRounds;
    start.form->close();
    EXPECT_EQ(start.end.calls, 1);
    EXPECT_EQ(roundsAtEnd - before, 2);
}

TEST(Closing, EndsAtOnceWhileACommandIsYielding) {
    // The real end: the process exits with code 0 from inside the yield; the
    // rest of the command never runs.
    EXPECT_EXIT(
        {
            ScriptedServices ui;
            RecordingSpreadsheet spreadsheet;
            QTemporaryDir settingsDir;
            SettingsStore settings(settingsDir.path());
            bool commandWaiting = false;
            ProcessEnd end([&] { return commandWaiting; });
            Form1 form(ui, spreadsheet, settings, end, QDir::tempPath().toStdString());
            form.open();
            ui.onNextEvents([&] { form.close(); });
            commandWaiting = true;
            ui.processPendingEvents();  // a long command lets the window work
            std::fputs("the command went on\n", stderr);
            std::abort();
        },
        ::testing::ExitedWithCode(0), "^$");
}

TEST(Closing, WithTheWindowIdleEndsTheEventLoopAndLetsTheProgramUnwind) {
    // The real end again, with no command under way: the handler returns, the
    // event loop ends with code 0, and what follows it (the end of main()) runs.
    ScriptedServices ui;
    RecordingSpreadsheet spreadsheet;
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.path());
    ProcessEnd end([] { return false; });
    Form1 form(ui, spreadsheet, settings, end, QDir::tempPath().toStdString());
    ASSERT_TRUE(form.open());
    bool handlerReturned = false;
    QTimer::singleShot(0, &form, [&] {
        form.close();
        handlerReturned = true;
    });
    QTimer guard;  // a loop that never ends fails instead of hanging
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(10000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(handlerReturned);
    EXPECT_TRUE(form.programEnded());
    EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace qf::testing
