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

class UrlListCommands {
public:
    // programFolder: the folder of the program's executable (the drag icon lives there).
    UrlListCommands(UrlListView& listView, WindowServices& ui, std::string programFolder);
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
