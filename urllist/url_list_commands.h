#pragma once
// The URL list's commands: the click handlers of the list's buttons on the main
// window, and the list control's own mouse and key handling (removal, drag).
// The window creates one UrlListCommands for its list control and connects each
// button's click to its command.

#include <QPoint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/window_services.h"
#include "url_list_view.h"

namespace qf {

// The list's own pointer (the window's is qf::Pointer).
enum class ListPointer { Default, Arrow, DragIcon };

// Where each command's error reports say they come from; the window names them.
struct ListCommandLocations {
    std::string addUrl;
    std::string loadFromTextFile;  // and loadTextFiles
    std::string addSamples;
    std::string clearList;
    std::string showHelp;
    std::string removeContaining;
    std::string removeNotContaining;
    std::string moveUp;
    std::string moveDown;
};

// The numbers of the commands' statements, which their error reports name.
namespace list_statement {
// addUrl
inline constexpr int kAskAddress = 100;
inline constexpr int kAppendAddress = 104;
// loadFromTextFile, loadTextFiles
inline constexpr int kChooseFiles = 108;
inline constexpr int kSplitChosen = 112;
inline constexpr int kTakeOnePath = 116;
inline constexpr int kReadOneFile = 118;
inline constexpr int kJoinPath = 134;  // each of several chosen files
inline constexpr int kCleanPath = 136;
inline constexpr int kAppendPath = 138;
// addSamples: one statement a sample
inline constexpr int kAppendSample[3] = {100, 102, 104};
// clearList, showHelp
inline constexpr int kClear = 100;
inline constexpr int kShowHelp = 100;
// removeContaining, removeNotContaining
inline constexpr int kAskText = 100;
inline constexpr int kBusyWhileRemoving = 104;
inline constexpr int kRemoveEntries = 106;
inline constexpr int kNotBusy = 108;
// moveUp, moveDown
inline constexpr int kListEmpty = 102;
inline constexpr int kTakeSelected = 104;
inline constexpr int kNotLast = 106;  // moveDown only
inline constexpr int kInsertCopy = 108;
inline constexpr int kRemoveOriginal = 110;
inline constexpr int kSelectMoved = 112;
inline constexpr int kScrollToMoved = 114;
inline constexpr int kFocusMoved = 116;
inline constexpr int kFocusUnmoved = 118;
}  // namespace list_statement

class UrlListCommands {
public:
    // programFolder: the folder of the program's executable (the drag icon lives there).
    UrlListCommands(UrlListView& listView, WindowServices& ui, std::string programFolder,
                    ListCommandLocations locations);
    ~UrlListCommands();
    UrlListCommands(const UrlListCommands&) = delete;
    UrlListCommands& operator=(const UrlListCommands&) = delete;

    void addUrl();            // "Add URL"
    void loadFromTextFile();  // "Load URLs From Text File"
    // Appends the entries of each file as "Load URLs From Text File" does for one
    // chosen file, with the same clean-up of the path and the same boxes for a
    // missing or unreadable file; the next file is read either way.
    void loadTextFiles(const std::vector<std::string>& paths);
    void addSamples();           // "Load Sample/Example URLs"
    void clearList();            // "Clear List"
    void showHelp();             // "Help"
    void removeContaining();     // "Remove Filenames Containing X"
    void removeNotContaining();  // "Remove Filenames Not Cont. X"
    void moveUp();               // "Move Up"
    void moveDown();             // "Move Down"

    // The list control's own handlers; the list's events call them.
    void keyDown(int key);
    void doubleClick();
    void itemClick();
    void mouseDown();
    void mouseMove(const QPoint& point);
    void mouseUp();

    // Where the mouse pointer is on the screen, in pixels (the system's cursor
    // position unless replaced).
    void setCursorPosition(std::function<QPoint()> source);

    // The list's own pointer.
    ListPointer listPointer() const;
    // The position of the entry being dragged, 0 when none.
    int dragPosition() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace qf
