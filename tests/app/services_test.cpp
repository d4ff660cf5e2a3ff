// The Qt window services' conversions, the cursor file reader and FileExists.

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
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
namespace {

TEST(FileDialog, FilterBecomesQtNameFiltersWithEveryFileForStarDotStar) {
    EXPECT_EQ(qtNameFilters("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"),
              QStringList({"Text Files (*.txt)", "All Files (*)"}));
    EXPECT_EQ(qtNameFilters("Pages|*.htm;*.html"), QStringList({"Pages (*.htm *.html)"}));
    EXPECT_TRUE(qtNameFilters("").isEmpty());
    EXPECT_EQ(fileDialogResult({"/home/u/a b.txt"}), "/home/u/a b.txt");
}

TEST(CursorFile, ReadsTheHotSpotAndKeepsItInsideTheImage) {
    QFile shipped(shippedFile("HAND-M.CUR"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    QByteArray data = shipped.readAll();
    QTemporaryDir dir;
    auto write = [&](const QByteArray& content) {
        const QString path = dir.filePath("c.cur");
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

    EXPECT_THROW(readCursorFile(dir.filePath("missing.cur")), Failure);
}

TEST(FileExists, TrueForWhatHasAModificationTime) {
    QTemporaryDir dir;
    QFile file(dir.filePath("f.txt"));
    file.open(QIODevice::WriteOnly);
    file.close();
    EXPECT_TRUE(FileExists(dir.filePath("f.txt").toStdString()));
    EXPECT_TRUE(FileExists(dir.path().toStdString()));
    EXPECT_FALSE(FileExists(dir.filePath("none.txt").toStdString()));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(dir.filePath("f.txt/below").toStdString()));
}

TEST(ShippedPictures, AllLoadAtTheirDesignSize) {
    for (const char* picture : {":/arrow_up.png", ":/arrow_down.png", ":/quillfen-32.png"})
        EXPECT_EQ(QImage(picture).size(), QSize(32, 32)) << picture;
    EXPECT_EQ(QImage(shippedFile("drag.ico"), "ico").size(), QSize(32, 32));
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
    EXPECT_EQ(title, "Application Error");
    EXPECT_EQ(text, "Type mismatch\nin X at line 5\n\nPlease");
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, 1);

    answer(QMessageBox::Ok);
    EXPECT_EQ(ui.messageBox("Done.", MessageButtons::Ok, MessageIcon::None), MessageAnswer::Ok);
    EXPECT_EQ(title, "Quillfen");  // no caption: the application title
    EXPECT_EQ(icon, QMessageBox::NoIcon);

    answer(QMessageBox::No);
    EXPECT_EQ(ui.messageBox("Go on?", MessageButtons::YesNo, MessageIcon::None), MessageAnswer::No);
    EXPECT_EQ(buttons, 2);
    answer(QMessageBox::Yes);
    EXPECT_EQ(ui.messageBox("Go on?", MessageButtons::YesNo, MessageIcon::None), MessageAnswer::Yes);
}

TEST(QtBoxes, InputBoxGivesTheTextOrEmptyWhenCancelled) {
    QtWindowServices ui;
    whenShown<QInputDialog>([](QInputDialog& box) {
        EXPECT_EQ(box.windowTitle(), "Quillfen");
        EXPECT_EQ(box.labelText(), "Enter website address to add: ");
        box.setTextValue("  www.example.com ");
        box.accept();
    });
    EXPECT_EQ(ui.inputBox("Enter website address to add: "), "  www.example.com ");
    whenShown<QInputDialog>([](QInputDialog& box) {
        box.setTextValue("typed, then cancelled");
        box.reject();
    });
    EXPECT_EQ(ui.inputBox("Text?", "Caption"), "");
}

TEST(QtBoxes, FileDialogTakesTheRequestAndGivesFolderAndNames) {
    QTemporaryDir dir;
    for (const char* name : {"a.txt", "b.txt", "c"}) {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
    }
    QtWindowServices ui;
    FileDialogRequest request{"Add File(s) - Hold Ctrl to select multiple files",
                              "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|",
                              {.allowMultiSelect = true, .readOnlyChecked = true, .explorerStyle = true, .longNames = true},
                              ""};
    whenShown<QFileDialog>([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Add File(s) - Hold Ctrl to select multiple files");
        EXPECT_EQ(dialog.nameFilters(), QStringList({"Text Files (*.txt)", "All Files (*)"}));
        EXPECT_EQ(dialog.selectedNameFilter(), "Text Files (*.txt)");
        EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFiles);
        dialog.setDirectory(dir.path());
        dialog.selectFile("\"a.txt\" \"b.txt\"");
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
        dialog.selectFile("typed-name.txt");
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

TEST(Skin, AppliesOnlyWhenSwitchedOnAndReadsTheNamedPart) {
    QTemporaryDir dir;
    const QString path = dir.filePath("o.cjs");
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
    EXPECT_TRUE(window.styleSheet().startsWith("QWidget { color: red; }"));

    skin.load(path.toStdString(), "Blue");
    EXPECT_EQ(skin.styleSheet(), "\nQWidget { color: blue; }\n");
    EXPECT_THROW(skin.load(path.toStdString(), "Purple"), Failure);
    EXPECT_THROW(skin.setProperty(7, true), Failure);
}

}  // namespace
}  // namespace qf::testing
