// Start-up of the main window: optional skin and cursor files, restored
// options, the presence check, and how failing steps are reported.

#include <QApplication>
#include <QGroupBox>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "app/is_installed.h"
#include "app/settings_keys.h"
#include "app/twips.h"
#include "app_fixture.h"
#include "base/trap.h"
#include "urllist/url_list_view.h"

namespace qf::testing {

using namespace Qt::StringLiterals;
namespace {

using namespace form_load_statement;

std::string report(const std::string& description, int line) {
    return errorReportText(description, "in QuillfenApp2021/08/31.Form1.Form_Load ", line);
}

QColor background(const QWidget& control) { return control.palette().color(control.backgroundRole()); }

TEST(StartUp, WithoutOptionalFilesOpensTheDesignedWindow) {
    AppStart start;
    ASSERT_TRUE(start.open());
    Form1& form = *start.form;

    EXPECT_TRUE(start.ui.boxes.empty());
    EXPECT_EQ(start.end.calls, 0);
    EXPECT_EQ(start.spreadsheet.log, std::vector<std::string>{"canStart"});
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), u"Quillfen"_s);
    EXPECT_FALSE(form.windowIcon().isNull());

    // The list's one column.
    const UrlListModel& list = form.listView().list();
    EXPECT_EQ(list.columnCount(), 1);
    EXPECT_EQ(list.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), u"URL(s)"_s);
    EXPECT_EQ(form.listView().columnWidth(0), twipsToPixels(6500, form.logicalDpiX()));
    EXPECT_EQ(list.count(), 0);

    // An empty store: the first option, both enabled.
    EXPECT_TRUE(form.option1().isChecked());
    EXPECT_FALSE(form.option2().isChecked());
    EXPECT_TRUE(form.option1().isEnabled());
    EXPECT_TRUE(form.option2().isEnabled());

    // No skin: the design's white, no call on the skin component.
    EXPECT_EQ(background(form), QColor(Qt::white));
    EXPECT_EQ(background(form.option1()), QColor(Qt::white));
    EXPECT_EQ(background(form.frame()), QColor(Qt::white));
    EXPECT_FALSE(form.skin().loaded());
    EXPECT_EQ(form.skin().optionFlags(), 0);
    EXPECT_TRUE(form.styleSheet().isEmpty());

    // No cursor file: the hand is Qt's pointing hand.
    EXPECT_FALSE(form.hasHandCursor());
    EXPECT_EQ(form.cursorFor(Pointer::Custom).shape(), Qt::PointingHandCursor);
}

TEST(StartUp, SkinFileTurnsTheBackgroundsToButtonFaceAndAppliesItsSheet) {
    AppStart start;
    const QByteArray sheet = "QPushButton { color: rgb(10, 20, 30); }";
    start.writeProgramFile("x/o.cjs", sheet);
    ASSERT_TRUE(start.open());
    Form1& form = *start.form;

    EXPECT_TRUE(start.ui.boxes.empty());
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    for (const QWidget* control :
         {static_cast<const QWidget*>(&form), static_cast<const QWidget*>(&form.option1()),
          static_cast<const QWidget*>(&form.option2()), static_cast<const QWidget*>(&form.frame())})
        EXPECT_EQ(background(*control), buttonFace) << control->objectName().toStdString();
    EXPECT_EQ(form.skin().optionFlags() & 1, 1);
    EXPECT_TRUE(form.skin().property(5));
    EXPECT_TRUE(form.skin().property(10));
    EXPECT_EQ(form.styleSheet(), QString::fromUtf8(sheet));
}

TEST(StartUp, SkinThatCannotBeLoadedIsReportedAt102AfterTheColoursChanged) {
    AppStart start;
    start.writeProgramFile("x/o.cjs", QByteArray("\x89PNG\0\0\xff\xfe", 8));
    ASSERT_TRUE(start.open());
    Form1& form = *start.form;

    ASSERT_EQ(start.ui.boxes.size(), 1u);
    EXPECT_EQ(start.ui.boxes[0].text, report("Not a skin file: " + start.programFolder() + "/x/o.cjs", kApplySkin));
    EXPECT_EQ(start.ui.boxes[0].caption, "Application Error");
    EXPECT_EQ(start.ui.boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(start.ui.boxes[0].icon, MessageIcon::Exclamation);
    // The colours set before the load stay; nothing after it ran.
    EXPECT_EQ(background(form), QApplication::palette().color(QPalette::Button));
    EXPECT_EQ(form.skin().optionFlags(), 0);
    EXPECT_TRUE(form.styleSheet().isEmpty());
    // Start-up went on.
    EXPECT_EQ(form.windowTitle(), u"Quillfen"_s);
    EXPECT_TRUE(form.option1().isChecked());
    EXPECT_TRUE(form.isVisible());
}

TEST(StartUp, SkinPathThatIsAFolderIsNoSkin) {
    AppStart start;
    QDir(start.programDir.path()).mkpath(u"x/o.cjs"_s);
    ASSERT_TRUE(start.open());
    EXPECT_TRUE(start.ui.boxes.empty());
    EXPECT_EQ(background(*start.form), QColor(Qt::white));
    EXPECT_FALSE(start.form->skin().loaded());
}

TEST(StartUp, HandCursorFileGivesTheCustomPointerWithItsHotSpot) {
    AppStart start;
    QFile shipped(shippedFile(u"HAND-M.CUR"_s));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    start.writeProgramFile("HAND-M.CUR", shipped.readAll());
    ASSERT_TRUE(start.open());

    EXPECT_TRUE(start.ui.boxes.empty());
    ASSERT_TRUE(start.form->hasHandCursor());
    const QCursor hand = start.form->cursorFor(Pointer::Custom);
    EXPECT_EQ(hand.shape(), Qt::BitmapCursor);
    EXPECT_EQ(hand.hotSpot(), QPoint(11, 1));
    EXPECT_EQ(hand.pixmap().size(), QSize(32, 32));
}

TEST(StartUp, CorruptCursorFilesAreReportedAt106AndStartUpGoesOn) {
    // Text instead of a cursor; an empty file; an icon file; a cursor whose image
    // lies beyond the end of the file.
    QByteArray truncated("\0\0\2\0\1\0\x20\x20\0\0\x0b\0\x01\0\x28\x10\0\0\x16\0\0\0", 22);
    const std::vector<QByteArray> files = {"not a cursor at all", QByteArray(),
                                           QByteArray("\0\0\1\0\1\0", 6) + QByteArray(40, '\0'), truncated};
    for (const QByteArray& content : files) {
        AppStart start;
        start.writeProgramFile("HAND-M.CUR", content);
        ASSERT_TRUE(start.open());
        ASSERT_EQ(start.ui.boxes.size(), 1u) << content.toHex().toStdString();
        EXPECT_EQ(start.ui.boxes[0].text, report("Invalid picture", kLoadHandCursor));
        EXPECT_FALSE(start.form->hasHandCursor());
        EXPECT_EQ(start.form->cursorFor(Pointer::Custom).shape(), Qt::PointingHandCursor);
        EXPECT_EQ(start.form->windowTitle(), u"Quillfen"_s);
    }
}

struct StoredOptions {
    const char* option1;  // nullptr: key missing
    const char* option2;
    bool selected1;
    bool selected2;
    std::vector<int> reportedLines;
};

TEST(StartUp, RestoresTheOptionsFromTheStore) {
    const std::vector<StoredOptions> cases = {
        {nullptr, nullptr, true, false, {}},
        {"0", "1", false, true, {}},
        {"False", "True", false, true, {}},
        {"False", "False", false, false, {}},  // neither selected
        {"FALSE", "-1", false, true, {}},
        {"True", "maybe", true, false, {kRestoreOption2}},                // the second keeps its state
        {"maybe", nullptr, true, false, {kRestoreOption1}},               // the first keeps the design's state
        {"yes", "1,5", true, false, {kRestoreOption1, kRestoreOption2}},  // commas read back as written
        {" 2.5 ", "0", true, false, {}},
    };
    for (const StoredOptions& c : cases) {
        AppStart start;
        start.storeOptions(c.option1, c.option2);
        ASSERT_TRUE(start.open());
        const std::string label = std::string(c.option1 ? c.option1 : "-") + " / " + (c.option2 ? c.option2 : "-");
        EXPECT_EQ(start.form->option1().isChecked(), c.selected1) << label;
        EXPECT_EQ(start.form->option2().isChecked(), c.selected2) << label;
        std::vector<std::string> expected;
        for (int line : c.reportedLines) expected.push_back(report("Type mismatch", line));
        EXPECT_EQ(start.ui.messages(), expected) << label;
    }
}

// The keys the engine's settings are read from, under the names stored files
// use: a number out of its range or no whole number leaves the default.
TEST(StartUp, SettingsKeysReadTheirStoredNamesWithinTheirRanges) {
    const std::vector<std::pair<const char*, long>> seconds = {
        {nullptr, 15}, {"1", 1},    {" 600 ", 600}, {"1e2", 100}, {"0", 15},
        {"601", 15},   {"2.5", 15}, {"-3", 15},     {"1,5", 15},  {"ten", 15},
    };
    for (const auto& [text, expected] : seconds) {
        AppStart stored;
        if (text) stored.settings->saveSetting("Tarnwick", "Quillfen", "RenderSeconds", text);
        EXPECT_EQ(readSetting(*stored.settings, settings_key::kRenderSeconds), expected) << (text ? text : "-");
    }
    AppStart start;
    EXPECT_EQ(readSetting(*start.settings, settings_key::kRenderTabs), 4);
    EXPECT_EQ(rememberedSheetMode(*start.settings), SheetMode::OneSheet);
    start.settings->saveSetting("Tarnwick", "Quillfen", "RenderTabs", "33");
    start.settings->saveSetting("Tarnwick", "Quillfen", "UserAgent", "Field Test/2");
    start.storeOptions("maybe", "-1");
    EXPECT_EQ(readSetting(*start.settings, settings_key::kRenderTabs), 4);
    EXPECT_EQ(readSetting(*start.settings, settings_key::kUserAgent), "Field Test/2");
    EXPECT_EQ(rememberedSheetMode(*start.settings), SheetMode::SheetPerSite);
    start.storeOptions(nullptr, "maybe");
    EXPECT_EQ(rememberedSheetMode(*start.settings), SheetMode::OneSheet) << "unreadable: off, as the window reports it";
}

TEST(StartUp, SeveralFailingStepsGiveOneReportEachInOrder) {
    AppStart start;
    start.writeProgramFile("x/o.cjs", QByteArray("\0", 1));
    start.writeProgramFile("HAND-M.CUR", "junk");
    start.storeOptions("junk", "junk");
    ASSERT_TRUE(start.open());
    const std::vector<std::string> expected = {
        report("Not a skin file: " + start.programFolder() + "/x/o.cjs", kApplySkin),
        report("Invalid picture", kLoadHandCursor), report("Type mismatch", kRestoreOption1),
        report("Type mismatch", kRestoreOption2)};
    EXPECT_EQ(start.ui.messages(), expected);
    EXPECT_TRUE(start.form->isVisible());
}

TEST(StartUp, WithoutSpreadsheetApplicationShowsTheAdvisoryAndEnds) {
    {
        AppStart start;
        start.spreadsheet.starts = false;
        bool visibleAtEnd = true;
        start.end.onEnd = [&] { visibleAtEnd = start.form->isVisible(); };
        EXPECT_FALSE(start.open());

        ASSERT_EQ(start.ui.boxes.size(), 1u);
        const ShownBox& box = start.ui.boxes[0];
        EXPECT_EQ(box.text,
                  "Error 842001. A normal instance of Excel could not be created.\r\n\r\n"
                  "1. Please make sure Excel is installed on this computer.\r\n\r\n"
                  "2. Please open Excel normally and make sure a blank spreadsheet opens immediately without any "
                  "interrupting window (such as an Excel file recovery window).\r\n\r\n"
                  "3. Please make sure that when you double-click on a XLS or XLSX file that Excel opens normally "
                  "without any interrupting messages.\r\n\r\n"
                  "4. All versions of Excel are supported by this software except for the rare Excel Starter and "
                  "Student editions.");
        EXPECT_EQ(box.caption, "");  // the application title
        EXPECT_EQ(box.buttons, MessageButtons::Ok);
        EXPECT_EQ(box.icon, MessageIcon::None);
        EXPECT_EQ(start.end.calls, 1);
        EXPECT_FALSE(visibleAtEnd);
        EXPECT_FALSE(start.form->isVisible());
    }
}

}  // namespace
}  // namespace qf::testing
