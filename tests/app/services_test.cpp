// The Qt window services' conversions, the cursor file reader and FileExists.

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/cursor_file.h"
#include "app/qt_window_services.h"
#include "app/skin_framework.h"
#include "app_fixture.h"
#include "base/file_exists.h"

namespace qf::testing {

using namespace Qt::StringLiterals;
namespace {

TEST(FileDialog, FilterBecomesQtNameFiltersWithEveryFileForStarDotStar) {
    EXPECT_EQ(qtNameFilters("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"),
              QStringList({u"Text Files (*.txt)"_s, u"All Files (*)"_s}));
    EXPECT_EQ(qtNameFilters("Pages|*.htm;*.html"), QStringList({u"Pages (*.htm *.html)"_s}));
    EXPECT_TRUE(qtNameFilters("").isEmpty());
    EXPECT_EQ(fileDialogResult({u"/home/u/a b.txt"_s}), "/home/u/a b.txt");
}

TEST(CursorFile, ReadsTheHotSpotAndKeepsItInsideTheImage) {
    QFile shipped(shippedFile(u"HAND-M.CUR"_s));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    QByteArray data = shipped.readAll();
    QTemporaryDir dir;
    auto write = [&](const QByteArray& content) {
        const QString path = dir.filePath(u"c.cur"_s);
        QFile out(path);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(content);
        return path;
    };
    const CursorImage hand = readCursorFile(write(data));
    EXPECT_EQ(hand.hotSpot, QPoint(11, 1));
    EXPECT_EQ(hand.image.size(), QSize(32, 32));

    // A hot spot of (300, 40) on a 32 x 32 image.
    data[10] = char(300 & 0xFF);
    data[11] = char(300 >> 8);
    data[12] = 40;
    EXPECT_EQ(readCursorFile(write(data)).hotSpot, QPoint(31, 31));

    EXPECT_THROW(readCursorFile(dir.filePath(u"missing.cur"_s)), Failure);
}

TEST(FileExists, TrueForWhatHasAModificationTime) {
    QTemporaryDir dir;
    QFile file(dir.filePath(u"f.txt"_s));
    file.open(QIODevice::WriteOnly);
    file.close();
    EXPECT_TRUE(FileExists(dir.filePath(u"f.txt"_s).toStdString()));
    EXPECT_TRUE(FileExists(dir.path().toStdString()));
    EXPECT_FALSE(FileExists(dir.filePath(u"none.txt"_s).toStdString()));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(dir.filePath(u"f.txt/below"_s).toStdString()));
}

TEST(ShippedPictures, AllLoadAtTheirDesignSize) {
    for (const char* picture : {":/arrow_up.png", ":/arrow_down.png", ":/quillfen-32.png"})
        EXPECT_EQ(QImage(QLatin1String(picture)).size(), QSize(32, 32)) << picture;
    EXPECT_EQ(QImage(shippedFile(u"drag.ico"_s), "ico").size(), QSize(32, 32));
}

// Acts on the next modal box as soon as it is up.
template <class Box, class Act>
void whenShown(Act act) {
    QTimer::singleShot(0, [act] {
        auto* box = qobject_cast<Box*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        act(*box);
    });
}

TEST(QtBoxes, MessageBoxesShowTheirFlagsAndGiveTheAnswerCodes) {
    QtWindowServices ui;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    auto answer = [&](QMessageBox::StandardButton button) {
        whenShown<QMessageBox>([&, button](QMessageBox& box) {
            title = box.windowTitle();
            text = box.text();
            icon = box.icon();
            buttons = int(box.buttons().size());
            box.button(button)->click();
        });
    };

    answer(QMessageBox::Ok);
    EXPECT_EQ(ui.messageBox("Type mismatch\r\nin X at line 5\r\rPlease", MessageButtons::Ok, MessageIcon::Exclamation,
                            "Application Error"),
              MessageAnswer::Ok);
    EXPECT_EQ(title, u"Application Error"_s);
    EXPECT_EQ(text, u"Type mismatch\nin X at line 5\n\nPlease"_s);
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, 1);

    answer(QMessageBox::Ok);
    EXPECT_EQ(ui.messageBox("Done.", MessageButtons::Ok, MessageIcon::None), MessageAnswer::Ok);
    EXPECT_EQ(title, u"Quillfen"_s);  // no caption: the application title
    EXPECT_EQ(icon, QMessageBox::NoIcon);

    answer(QMessageBox::No);
    EXPECT_EQ(ui.messageBox("Go on?", MessageButtons::YesNo, MessageIcon::None), MessageAnswer::No);
    EXPECT_EQ(buttons, 2);
    answer(QMessageBox::Yes);
    EXPECT_EQ(ui.messageBox("Go on?", MessageButtons::YesNo, MessageIcon::None), MessageAnswer::Yes);
}

// The closing box of a long list: its text short, the whole list in its details.
TEST(QtBoxes, DetailsHoldWhatTheTextLeavesOut) {
    QtWindowServices ui{QString()};
    QString text, details;
    whenShown<QMessageBox>([&](QMessageBox& box) {
        text = box.text();
        details = box.detailedText();
        box.button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(ui.detailedMessageBox("Done.\r\nand 2 more", "a\r\nb\r\nc", MessageButtons::Ok, MessageIcon::None),
              MessageAnswer::Ok);
    EXPECT_EQ(text, u"Done.\nand 2 more"_s);
    EXPECT_EQ(details, u"a\nb\nc"_s);
}

// What the program's end asks: whether events now run inside a command.
TEST(QtBoxes, ACommandWaitsWhileItLetsTheWindowWorkOrShowsABox) {
    QtWindowServices ui{QString()};
    EXPECT_FALSE(ui.commandWaiting());
    bool whileYielding = false;
    QTimer::singleShot(0, [&] { whileYielding = ui.commandWaiting(); });
    ui.processPendingEvents();
    EXPECT_TRUE(whileYielding);
    EXPECT_FALSE(ui.commandWaiting());

    bool whileShown = false;
    whenShown<QMessageBox>([&](QMessageBox& box) {
        whileShown = ui.commandWaiting();
        box.button(QMessageBox::Ok)->click();
    });
    ui.messageBox("Done.", MessageButtons::Ok, MessageIcon::None);
    EXPECT_TRUE(whileShown);
    EXPECT_FALSE(ui.commandWaiting());
}

TEST(QtBoxes, InputBoxGivesTheTextOrEmptyWhenCancelled) {
    QtWindowServices ui;
    whenShown<QInputDialog>([](QInputDialog& box) {
        EXPECT_EQ(box.windowTitle(), u"Quillfen"_s);
        EXPECT_EQ(box.labelText(), u"Enter website address to add: "_s);
        box.setTextValue(u"  www.example.com "_s);
        box.accept();
    });
    EXPECT_EQ(ui.inputBox("Enter website address to add: "), "  www.example.com ");
    whenShown<QInputDialog>([](QInputDialog& box) {
        box.setTextValue(u"typed, then cancelled"_s);
        box.reject();
    });
    EXPECT_EQ(ui.inputBox("Text?", "Caption"), "");
}

TEST(QtBoxes, FileDialogTakesTheRequestAndGivesFolderAndNames) {
    QTemporaryDir dir;
    for (const QString& name : {u"a.txt"_s, u"b.txt"_s, u"c"_s}) {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
    }
    QtWindowServices ui;
    FileDialogRequest request{
        "Add File(s) - Hold Ctrl to select multiple files",
        "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|",
        {.allowMultiSelect = true, .readOnlyChecked = true, .explorerStyle = true, .longNames = true},
        ""};
    whenShown<QFileDialog>([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), u"Add File(s) - Hold Ctrl to select multiple files"_s);
        EXPECT_EQ(dialog.nameFilters(), QStringList({u"Text Files (*.txt)"_s, u"All Files (*)"_s}));
        EXPECT_EQ(dialog.selectedNameFilter(), u"Text Files (*.txt)"_s);
        EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFiles);
        dialog.setDirectory(dir.path());
        dialog.selectFile(u"\"a.txt\" \"b.txt\""_s);
        static_cast<QDialog&>(dialog).accept();
    });
    const std::string folder = QDir::toNativeSeparators(dir.path()).toStdString();
    EXPECT_EQ(ui.openFileDialog(request), folder + '\0' + "a.txt" + '\0' + "b.txt");

    whenShown<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(ui.openFileDialog(request), "");

    // A typed name of a file that does not exist comes back as it stands.
    bool warned = false;
    whenShown<QFileDialog>([&](QFileDialog& dialog) {
        dialog.setDirectory(dir.path());
        dialog.selectFile(u"typed-name.txt"_s);
        // A dialog that insists on an existing file shows its own warning instead.
        QTimer closeWarning;
        closeWarning.setSingleShot(true);
        QObject::connect(&closeWarning, &QTimer::timeout, [&] {
            if (auto* warning = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                warned = true;
                warning->done(QMessageBox::Ok);
            }
        });
        closeWarning.start(0);
        static_cast<QDialog&>(dialog).accept();
        if (dialog.isVisible()) dialog.reject();
    });
    EXPECT_EQ(ui.openFileDialog(request), folder + QDir::separator().toLatin1() + "typed-name.txt");
    EXPECT_FALSE(warned);
}

// Every line of a log file, parsed.
std::vector<QJsonObject> logRecords(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    std::vector<QJsonObject> records;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty()) records.push_back(QJsonDocument::fromJson(line).object());
    return records;
}

TEST(UiLog, EveryBoxShownAndItsAnswerAndTheShownWindowAreLogged) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ui.jsonl"_s);
    QtWindowServices ui(path);

    whenShown<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::No)->click(); });
    EXPECT_EQ(ui.messageBox("Go on?\r\nReally \"on\"?", MessageButtons::YesNo, MessageIcon::Question),
              MessageAnswer::No);
    whenShown<QInputDialog>([](QInputDialog& box) {
        box.setTextValue(u"www.\u00e9.example"_s);
        box.accept();
    });
    ui.inputBox("Enter website address to add: ");
    whenShown<QInputDialog>([](QInputDialog& box) { box.reject(); });
    ui.inputBox("Text?", "Caption", "given");

    QWidget window;
    window.setWindowTitle(u"Quillfen"_s);
    window.setFixedSize(200, 100);
    auto* option = new QRadioButton(u"One sheet"_s, &window);
    option->setObjectName("Option1");
    option->setGeometry(10, 20, 100, 16);
    option->setChecked(true);
    auto* button = new QPushButton(u"Start"_s, &window);
    button->setObjectName("PushButton2");
    button->move(10, 50);
    new QPushButton(u"no name"_s, &window);  // not logged
    ui.setWindow(&window);
    window.show();
    QCoreApplication::processEvents();

    const auto records = logRecords(path);
    ASSERT_EQ(records.size(), 7u);
    EXPECT_EQ(records[0], (QJsonObject{{u"event"_s, u"message"_s},
                                       {u"caption"_s, u"Quillfen"_s},
                                       {u"text"_s, u"Go on?\nReally \"on\"?"_s},
                                       {u"buttons"_s, u"YesNo"_s},
                                       {u"icon"_s, u"Question"_s}}));
    EXPECT_EQ(records[1], (QJsonObject{{u"event"_s, u"answer"_s}, {u"answer"_s, u"No"_s}}));
    EXPECT_EQ(records[2][u"prompt"_s], u"Enter website address to add: "_s);
    EXPECT_EQ(records[3], (QJsonObject{{u"event"_s, u"answer"_s}, {u"text"_s, u"www.\u00e9.example"_s}}));
    EXPECT_EQ(records[4], (QJsonObject{{u"event"_s, u"input"_s},
                                       {u"caption"_s, u"Caption"_s},
                                       {u"prompt"_s, u"Text?"_s},
                                       {u"default"_s, u"given"_s}}));
    EXPECT_EQ(records[5], (QJsonObject{{u"event"_s, u"answer"_s}, {u"text"_s, u""_s}}));

    const QJsonObject& shown = records[6];
    EXPECT_EQ(shown[u"event"_s], u"window"_s);
    EXPECT_EQ(shown[u"title"_s], u"Quillfen"_s);
    const QPoint inside = window.mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(shown[u"x"_s], inside.x());
    EXPECT_EQ(shown[u"y"_s], inside.y());
    EXPECT_EQ(shown[u"width"_s], 200);
    EXPECT_EQ(shown[u"height"_s], 100);
    const QJsonArray controls = shown[u"controls"_s].toArray();
    ASSERT_EQ(controls.size(), 2);
    EXPECT_EQ(controls[0].toObject(), (QJsonObject{{u"name"_s, u"Option1"_s},
                                                   {u"class"_s, u"QRadioButton"_s},
                                                   {u"text"_s, u"One sheet"_s},
                                                   {u"checked"_s, true},
                                                   {u"x"_s, 10},
                                                   {u"y"_s, 20},
                                                   {u"width"_s, 100},
                                                   {u"height"_s, 16}}));
    EXPECT_EQ(controls[1].toObject()[u"name"_s], u"PushButton2"_s);
    EXPECT_FALSE(controls[1].toObject().contains(u"checked"_s));
}

TEST(Skin, AppliesOnlyWhenSwitchedOnAndReadsTheNamedPart) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"o.cjs"_s);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("QWidget { color: red; }\n/* [Blue] */\nQWidget { color: blue; }\n/* [Green] */\nx");
    file.close();

    SkinFramework skin;
    QWidget window;
    skin.load(path.toStdString(), "");
    skin.apply(window);  // the option flag is not set yet
    EXPECT_TRUE(window.styleSheet().isEmpty());
    skin.setOptionFlags(skin.optionFlags() | 1);
    skin.apply(window);  // property 5 is still off
    EXPECT_TRUE(window.styleSheet().isEmpty());
    skin.setProperty(5, true);
    skin.apply(window);
    EXPECT_TRUE(window.styleSheet().startsWith(u"QWidget { color: red; }"_s));

    skin.load(path.toStdString(), "Blue");
    EXPECT_EQ(skin.styleSheet(), u"\nQWidget { color: blue; }\n"_s);
    EXPECT_THROW(skin.load(path.toStdString(), "Purple"), Failure);
    EXPECT_THROW(skin.setProperty(7, true), Failure);
}

}  // namespace
}  // namespace qf::testing
