#include "form1.h"

#include <cstdio>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <algorithm>
#include <filesystem>

#include "base/file_exists.h"
#include "base/program_info.h"
#include "base/text.h"
#include "base/trap.h"
#include "cursor_file.h"
#include "frame.h"
#include "import/web_import.h"
#include "is_installed.h"
#include "program_end.h"
#include "progress_bar.h"
#include "push_button.h"
#include "settings_keys.h"
#include "twips.h"
#include "urllist/url_list_commands.h"
#include "urllist/url_list_view.h"

namespace qf {

namespace {

constexpr int kClientWidth = 8040;
constexpr int kClientHeight = 6990;
constexpr int kColumnWidth = 6500;

// The design's font is Arial. Where it is missing, Liberation Sans has its
// metrics (fontconfig's own aliases name it too); without either, a sans-serif.
QFont arialBold(double points) {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

// The colour a control fills its background with (buttons and options fill
// with the button role, the window and the frame with the window role).
void setBackground(QWidget& control, const QColor& colour) {
    QPalette palette = control.palette();
    palette.setColor(control.backgroundRole(), colour);
    control.setPalette(palette);
}

QIcon programIcon() {
    QIcon icon;
    for (const char* file : {":/quillfen-32.png", ":/quillfen-64.png", ":/quillfen-256.png"})
        icon.addFile(QLatin1String(file));
    return icon;
}

// Where the list's commands report from: the click handlers of their buttons.
ListCommandLocations listCommandLocations() {
    ListCommandLocations at;
    at.addUrl = handlerLocation("Form1", "PushButton4_Click");
    at.loadFromTextFile = handlerLocation("Form1", "PushButton13_Click");
    at.addSamples = handlerLocation("Form1", "PushButton3_Click");
    at.clearList = handlerLocation("Form1", "PushButton11_Click");
    at.showHelp = handlerLocation("Form1", "PushButton8_Click");
    at.removeContaining = handlerLocation("Form1", "PushButton17_Click");
    at.removeNotContaining = handlerLocation("Form1", "PushButton1_Click");
    at.moveUp = handlerLocation("Form1", "PushButton5_Click");
    at.moveDown = handlerLocation("Form1", "PushButton6_Click");
    return at;
}

// Does the folder listing find a normal file (not a folder) at this path?
bool isNormalFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(std::u8string(path.begin(), path.end())), error);
}

}  // namespace

RunLocations importRunLocations() {
    return {handlerLocation("Form1", "PushButton2_Click"), handlerLocation("Excel1", "ImportWeb")};
}

void setSelected(QRadioButton& option, bool selected) {
    if (selected || !option.isChecked()) {
        option.setChecked(selected);
        return;
    }
    const bool exclusive = option.autoExclusive();
    option.setAutoExclusive(false);
    option.setChecked(false);
    option.setAutoExclusive(exclusive);
}

Form1::Form1(WindowServices& ui, Spreadsheet& spreadsheet, SettingsStore& settings, ProgramEnd& end,
             std::string programFolder, QWidget* parent)
    : QWidget(parent),
      ui_(ui),
      spreadsheet_(spreadsheet),
      settings_(settings),
      end_(end),
      programFolder_(std::move(programFolder)) {
    buildControls();
    commands_ = std::make_unique<UrlListCommands>(*listView_, ui_, programFolder_, listCommandLocations());
    wire();
    ui_.addPointerListener([window = QPointer<Form1>(this)](Pointer shown) {
        if (window) window->showPointer(shown);
    });
    showPointer(ui_.pointer());
}

Form1::~Form1() {
    if (overridingPointer_) QGuiApplication::restoreOverrideCursor();
}

int Form1::twipsX(int twips) const { return twipsToPixels(twips, logicalDpiX()); }
int Form1::twipsY(int twips) const { return twipsToPixels(twips, logicalDpiY()); }

void Form1::place(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(twipsX(left), twipsY(top), twipsX(width), twipsY(height));
}

void Form1::buildControls() {
    setUpWindow();
    addList();
    PushButton* moveUp = addButton("PushButton5", "Move Up", 7080, 630, 840, 1200);
    moveUp->setPicture(QIcon(QStringLiteral(":/arrow_up.png")));
    PushButton* moveDown = addButton("PushButton6", "Move Down", 7080, 1950, 840, 1200);
    moveDown->setPicture(QIcon(QStringLiteral(":/arrow_down.png")));
    PushButton* add = addButton("PushButton4", "Add URL", 120, 3260, 3840, 405);
    PushButton* load = addButton("PushButton13", "Load URLs From Text File", 4080, 3260, 3840, 405);
    PushButton* clear = addButton("PushButton11", "Clear List", 120, 3770, 3840, 405);
    PushButton* removeContaining = addButton("PushButton17", "Remove Filenames Containing X", 120, 4280, 3840, 405);
    PushButton* removeNotContaining = addButton("PushButton1", "Remove Filenames Not Cont. X", 4080, 4280, 3840, 405);
    addImportOptions();
    PushButton* start = addButton("PushButton2", "Start Importing", 120, 5950, 7800, 405);
    addProgressBar();
    PushButton* samples = addButton("PushButton3", "Load Sample/Example URLs", 4080, 3770, 3840, 405);
    PushButton* help = addButton("PushButton8", "Help", 120, 120, 7800, 405);
    buttons_ = {moveUp, moveDown, add, load, clear, removeContaining, removeNotContaining, start, samples, help};
    setDesignTabOrder();
    watchPointerMoves();
}

void Form1::setUpWindow() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(twipsX(kClientWidth), twipsY(kClientHeight));
    setFont(arialBold(9));
    setAutoFillBackground(true);
    setBackground(*this, Qt::white);
}

void Form1::addList() {
    listView_ = new UrlListView(this);
    listView_->setObjectName(QStringLiteral("ListView1"));
    listView_->setFont(arialBold(9));
    listView_->setToolTip(QString::fromLatin1(kListTooltip));
    place(listView_, 120, 630, 6840, 2535);
}

PushButton* Form1::addButton(const char* name, const char* caption, int left, int top, int width, int height) {
    auto* b = new PushButton(QString::fromLatin1(caption), this);
    b->setObjectName(QLatin1String(name));
    b->setFont(arialBold(11.25));
    b->setFocusPolicy(Qt::StrongFocus);
    b->setAutoDefault(false);
    setBackground(*b, Qt::white);
    place(b, left, top, width, height);
    return b;
}

void Form1::addImportOptions() {
    frame1_ = new Frame(QStringLiteral("Import Options"), this);
    frame1_->setObjectName(QStringLiteral("Frame1"));
    frame1_->setAutoFillBackground(true);
    setBackground(*frame1_, Qt::white);
    place(frame1_, 120, 4725, 7800, 1095);
    auto option = [this](const char* name, const char* caption, int left, int top, int width, int height) {
        auto* o = new QRadioButton(QString::fromLatin1(caption), frame1_);
        o->setObjectName(QLatin1String(name));
        o->setAutoFillBackground(true);
        setBackground(*o, Qt::white);
        place(o, left, top, width, height);
        return o;
    };
    option1_ = option("Option1", "Import all web sites to one sheet", 240, 300, 5175, 255);
    option2_ = option("Option2", "Import each web site to a separate sheet", 240, 650, 5775, 255);
    option1_->setChecked(true);
}

void Form1::addProgressBar() {
    progressBar_ = new ProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar_->setCaption(QString::fromLatin1(kIdleProgressText));
    progressBar_->setFocusPolicy(Qt::NoFocus);
    setBackground(*progressBar_, Qt::white);
    place(progressBar_, 120, 6470, 7800, 405);
}

// Tab order of the design: the list, the move buttons, the three rows of
// buttons, the options, "Start Importing", then "Load Sample/Example URLs" and
// "Help" (the progress bar and the frame take no focus).
void Form1::setDesignTabOrder() {
    const auto& b = buttons_;
    const QList<QWidget*> order = {listView_, b[0],     b[1],     b[2], b[3], b[4], b[5],
                                   b[6],      option1_, option2_, b[7], b[8], b[9]};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
}

// The hover pointer rule hears the pointer moving over the window's background,
// the frame, the options and the buttons. The list applies it in its own
// pointer-move handler.
void Form1::watchPointerMoves() {
    QList<QWidget*> watched = {this, frame1_, option1_, option2_};
    for (PushButton* b : buttons_) watched << b;
    for (QWidget* w : watched) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
}

void Form1::wire() {
    auto command = [this](PushButton* b, void (UrlListCommands::*handler)()) {
        connect(b, &QAbstractButton::clicked, this, [this, handler] { (commands_.get()->*handler)(); });
    };
    const auto& b = buttons_;
    command(b[0], &UrlListCommands::moveUp);
    command(b[1], &UrlListCommands::moveDown);
    command(b[2], &UrlListCommands::addUrl);
    command(b[3], &UrlListCommands::loadFromTextFile);
    command(b[4], &UrlListCommands::clearList);
    command(b[5], &UrlListCommands::removeContaining);
    command(b[6], &UrlListCommands::removeNotContaining);
    connect(b[7], &QAbstractButton::clicked, this, &Form1::PushButton2_Click);
    command(b[8], &UrlListCommands::addSamples);
    command(b[9], &UrlListCommands::showHelp);
    stopKey_ = new QShortcut(
        QKeySequence(Qt::Key_Escape), this, this, [this] { stopRequested_ = true; }, Qt::WindowShortcut);
    stopKey_->setEnabled(false);  // only while a run is under way
    connect(option1_, &QAbstractButton::clicked, this, &Form1::Option1_Click);
    connect(option2_, &QAbstractButton::clicked, this, &Form1::Option2_Click);
}

std::string Form1::optionalFile(const std::string& name) const {
    return programFolder_ + QDir::separator().toLatin1() + name;
}

bool Form1::open() {
    Form_Load();
    if (ended_) return false;
    centre();
    show();
    centre();  // again, now that the frame around the window is known
    listView_->setFocus();
    return true;
}

void Form1::centre() {
    QScreen* screen = this->screen();
    if (!screen) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void Form1::Form_Load() {
    using namespace form_load_statement;
    Trap trap(ui_, handlerLocation("Form1", "Form_Load"));
    trap.step(kApplySkin, [&] { applySkin(); });
    const std::string cursorFile = optionalFile("HAND-M.CUR");
    if (trap.when(kHandCursorExists, [&] { return FileExists(cursorFile); })) {
        trap.step(kLoadHandCursor, [&] {
            handCursor_ = toCursor(readCursorFile(QString::fromStdString(cursorFile)));
            showPointer(ui_.pointer());
        });
    }
    trap.step(kTitleAndIcon, [&] {
        setWindowTitle(QLatin1String(kProductName));
        setWindowIcon(programIcon());
        // Every box without a caption of its own shows this title.
        applicationTitle();
    });
    trap.step(kAddColumn, [&] { listView_->list().addColumn(QStringLiteral("URL(s)")); });
    trap.step(kSetColumnWidth, [&] { listView_->setColumnWidth(0, twipsX(kColumnWidth)); });
    trap.step(kRestoreOption1, [&] { setSelected(*option1_, readSetting(settings_, settings_key::kOption1)); });
    trap.step(kRestoreOption2, [&] { setSelected(*option2_, readSetting(settings_, settings_key::kOption2)); });
    trap.step(kEnableOption1, [&] { option1_->setEnabled(true); });
    trap.step(kEnableOption2, [&] { option2_->setEnabled(true); });
    trap.step(kCheckInstalled, [&] { IsInstalled(spreadsheet_, ui_, [this] { endProgram(); }); });
}

void Form1::applySkin() {
    const char separator = QDir::separator().toLatin1();
    const std::string path = optionalFile(std::string("x") + separator + "o.cjs");
    if (!isNormalFile(path)) return;
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    for (QWidget* control : {static_cast<QWidget*>(this), static_cast<QWidget*>(option1_),
                             static_cast<QWidget*>(option2_), static_cast<QWidget*>(frame1_)})
        setBackground(*control, buttonFace);
    skin_.load(path, "");
    skin_.setOptionFlags(skin_.optionFlags() | SkinFramework::kEnabled);
    skin_.setProperty(SkinFramework::kSkinWindow, true);
    skin_.setProperty(SkinFramework::kRepolish, true);
    skin_.apply(*this);
}

void Form1::Form_Unload() {
    ui_.processPendingEvents();
    ui_.processPendingEvents();
    endProgram();
}

void Form1::endProgram() {
    ended_ = true;
    end_.now();
}

// Closed during a run: the runs stop after the entry in hand and write what
// they imported, and the program ends when the outermost one returns.
void Form1::closeEvent(QCloseEvent* event) {
    if (runs_ > 0) {
        event->ignore();
        closeRequested_ = true;
        end_.announce();
        hide();
        return;
    }
    event->accept();
    Form_Unload();
}

void Form1::Option1_Click() { saveOptions(); }
void Form1::Option2_Click() { saveOptions(); }

void Form1::saveOptions() {
    try {
        saveSetting(settings_, settings_key::kOption1, option1_->isChecked());
        saveSetting(settings_, settings_key::kOption2, option2_->isChecked());
    } catch (const std::exception& failure) {
        // The options keep working for this run; the user learns that the choice
        // will not be remembered.
        ui_.messageBox(failure.what(), MessageButtons::Ok, MessageIcon::Exclamation, {});
    }
}

void Form1::hoverOverButton() {
    if (!ui_.busy() && ui_.pointer() != Pointer::Custom) ui_.setPointer(Pointer::Custom);
}

void Form1::hoverElsewhere() {
    if (!ui_.busy() && ui_.pointer() != Pointer::Default) ui_.setPointer(Pointer::Default);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseMove) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (std::find(buttons_.begin(), buttons_.end(), widget) != buttons_.end()) {
        hoverOverButton();
    } else if (widget == this || widget == frame1_) {
        // A move that a control passed on to its container is not a move over
        // the container's background.
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (!widget->childAt(at)) hoverElsewhere();
    } else {
        hoverElsewhere();
    }
    return false;
}

QCursor Form1::cursorFor(Pointer pointer) const {
    switch (pointer) {
        case Pointer::Custom: return handCursor_ ? *handCursor_ : QCursor(Qt::PointingHandCursor);
        case Pointer::Hourglass: return Qt::WaitCursor;
        case Pointer::Default:
        case Pointer::Arrow: break;
    }
    return Qt::ArrowCursor;
}

void Form1::showPointer(Pointer pointer) {
    // At the default every control shows its own pointer; any other pointer
    // shows over the whole window, its controls included, until the default
    // returns, and the controls' own pointers are untouched meanwhile.
    if (pointer == Pointer::Default) {
        if (overridingPointer_) QGuiApplication::restoreOverrideCursor();
        overridingPointer_ = false;
        return;
    }
    if (overridingPointer_) {
        QGuiApplication::changeOverrideCursor(cursorFor(pointer));
    } else {
        QGuiApplication::setOverrideCursor(cursorFor(pointer));
        overridingPointer_ = true;
    }
}

void Form1::loadListFiles(const std::vector<std::string>& paths) { commands_->loadTextFiles(paths); }

int Form1::entryCount() const { return listView_->list().count(); }
std::string Form1::entryText(int position) const { return listView_->list().text(position).toStdString(); }
SheetMode Form1::sheetMode() const { return option2_->isChecked() ? SheetMode::SheetPerSite : SheetMode::OneSheet; }

// The bar stands at the share of the list that the entry in hand completes and
// names the entry.
void Form1::entryStarted(int number, int count, const std::string& entry) {
    if (count > 0) progressBar_->setProgress(static_cast<double>(number) / count * 100.0);
    progressBar_->setCaption(QString::fromStdString("Processing: " + stripPath(entry)));
}

// The bar returns to rest.
void Form1::runFinished(const RunSummary& /*summary*/) {
    progressBar_->setProgress(0.0);
    progressBar_->setCaption(QString::fromLatin1(kIdleProgressText));
}

// A workbook the engine wrote is opened on the desktop (its path goes to
// standard error when that fails or the program is ending); the closing box
// names it either way.
bool Form1::workbookWritten(const std::string& path) { return workbookOpener(ui_, end_)(path); }

namespace {

// A line on standard error, where the window has no place for what it says.
void toStandardError(std::string line) {
    for (char& c : line)
        if (isAsciiControl(c)) c = '?';  // no escape reaches a terminal
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

// How a page was read.
void Form1::entryNote(int number, const std::string& entry, const std::string& note) {
    toStandardError("quillfen: entry " + std::to_string(number) + ": " + entry + ": " + note);
}

// Every entry that could not be read, with why; the closing box names only the first twenty.
void Form1::entryFailed(int number, const std::string& entry, const std::string& reason) {
    toStandardError("quillfen: entry " + std::to_string(number) + " could not be read: " + entry + ": " + reason);
}

bool Form1::stopRequested() const { return stopRequested_ || closeRequested_; }
bool Form1::closing() const { return closeRequested_; }

// Escape stops every run under way; a run started afterwards runs in full.
void Form1::PushButton2_Click() {
    if (runs_ == 0) stopRequested_ = false;
    ++runs_;
    stopKey_->setEnabled(true);
    struct Leave {
        Form1& form;
        ~Leave() {
            if (--form.runs_ == 0) form.stopKey_->setEnabled(false);
        }
    };
    {
        Leave leave{*this};
        qf::runImport(*this, ui_, spreadsheet_, importRunLocations());
    }
    if (runs_ == 0 && closeRequested_) Form_Unload();
}

}  // namespace qf
