#pragma once
// Form1: the program's one window. It holds the URL list (ListView1), the ten
// push buttons, the import options and the progress bar; runs start-up
// (Form_Load), shows the window's pointer code, applies the hover pointer rule,
// keeps the sheet mode in the settings store and ends the program when closed.

#include <QCursor>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/window_services.h"
#include "import/import_run.h"
#include "skin_framework.h"

class QGroupBox;
class QShortcut;
class QRadioButton;

namespace qf {

class PushButton;
class ProgressBar;
class ProgramEnd;
class SettingsStore;
class UrlListCommands;
class UrlListView;

inline constexpr const char* kListTooltip =
    "Double-click item to remove it. Move | line to right and out of window to reveal full names.";

// The numbers of Form_Load's statements, which its error reports name.
namespace form_load_statement {
inline constexpr int kApplySkin = 102;
inline constexpr int kHandCursorExists = 104;
inline constexpr int kLoadHandCursor = 106;
inline constexpr int kTitleAndIcon = 126;
inline constexpr int kAddColumn = 128;
inline constexpr int kSetColumnWidth = 130;
inline constexpr int kRestoreOption1 = 132;
inline constexpr int kRestoreOption2 = 134;
inline constexpr int kEnableOption1 = 136;
inline constexpr int kEnableOption2 = 138;
inline constexpr int kCheckInstalled = 140;
}  // namespace form_load_statement

// Where the error reports of "Start Importing" (PushButton2_Click) and of the
// web import of each entry say they come from, in the window and on the
// command line alike.
RunLocations importRunLocations();

class Form1 : public QWidget, public ImportRunHost {
    Q_OBJECT
public:
    // programFolder: the folder of the program's executable, without a trailing
    // separator; the optional skin and cursor files are looked for there.
    Form1(WindowServices& ui, Spreadsheet& spreadsheet, SettingsStore& settings, ProgramEnd& end,
          std::string programFolder, QWidget* parent = nullptr);
    ~Form1() override;

    // Loads the window (Form_Load) and shows it, centred on the screen, unless
    // start-up ended the program. Returns whether the window is shown.
    bool open();

    void Form_Load();
    void Form_Unload();

    // The option buttons' click handlers: store the sheet mode.
    void Option1_Click();
    void Option2_Click();

    // The hover pointer rule.
    void hoverOverButton();
    void hoverElsewhere();

    // The pointer shown for a pointer code.
    QCursor cursorFor(Pointer pointer) const;
    bool hasHandCursor() const { return handCursor_.has_value(); }

    UrlListView& listView() const { return *listView_; }
    ProgressBar& progressBar() const { return *progressBar_; }
    QRadioButton& option1() const { return *option1_; }
    QRadioButton& option2() const { return *option2_; }
    QGroupBox& frame() const { return *frame1_; }
    const SkinFramework& skin() const { return skin_; }
    // The ten push buttons, in tab order.
    const std::array<PushButton*, 10>& pushButtons() const { return buttons_; }
    bool programEnded() const { return ended_; }

    // ImportRunHost
    int entryCount() const override;
    std::string entryText(int position) const override;
    SheetMode sheetMode() const override;
    bool stopRequested() const override;  // Escape pressed, or the window closed, during a run
    bool closing() const override;
    void entryStarted(int number, int count, const std::string& entry) override;
    bool workbookWritten(const std::string& path) override;
    void entryNote(int number, const std::string& entry, const std::string& note) override;
    void entryFailed(int number, const std::string& entry, const std::string& reason) override;
    void runFinished(const RunSummary& summary) override;

    // Appends the entries of list files given on the command line, as "Load URLs
    // From Text File" reads a chosen file.
    void loadListFiles(const std::vector<std::string>& paths);

    // "Start Importing".
    void PushButton2_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void setUpWindow();
    void addList();
    PushButton* addButton(const char* name, const char* caption, int left, int top, int width, int height);
    void addImportOptions();
    void addProgressBar();
    void setDesignTabOrder();
    void watchPointerMoves();
    void wire();
    int twipsX(int twips) const;
    int twipsY(int twips) const;
    void place(QWidget* control, int left, int top, int width, int height);
    void applySkin();
    void centre();
    void showPointer(Pointer pointer);
    void saveOptions();
    void endProgram();
    std::string optionalFile(const std::string& name) const;

    WindowServices& ui_;
    Spreadsheet& spreadsheet_;
    SettingsStore& settings_;
    ProgramEnd& end_;
    std::string programFolder_;
    SkinFramework skin_;
    std::optional<QCursor> handCursor_;
    bool overridingPointer_ = false;  // this window's pointer is the application's override pointer
    bool ended_ = false;

    UrlListView* listView_ = nullptr;
    ProgressBar* progressBar_ = nullptr;
    QGroupBox* frame1_ = nullptr;
    QRadioButton* option1_ = nullptr;
    QRadioButton* option2_ = nullptr;
    std::array<PushButton*, 10> buttons_{};
    std::unique_ptr<UrlListCommands> commands_;
    QShortcut* stopKey_ = nullptr;
    int runs_ = 0;  // import runs under way (a run can start inside another)
    bool stopRequested_ = false;
    bool closeRequested_ = false;
};

// Sets an option button's selected state. Unselecting the selected button of a
// group leaves none selected (Qt would otherwise refuse it).
void setSelected(QRadioButton& option, bool selected);

}  // namespace qf
