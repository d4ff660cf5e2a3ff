#pragma once
// The URL list's commands: the click handlers of the list's buttons on the main
// window, and the list control's own mouse and key handling (removal, drag).
// The window creates one UrlListCommands for its ListView1 and connects each
// button's click to the handler of the same name.

#include <QPoint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/window_services.h"
#include "url_list_view.h"

namespace qf {

// The list's own pointer codes (the window's codes are in qf::pointer).
namespace list_pointer {
inline constexpr int kDefault = 0;
inline constexpr int kArrow = 1;
inline constexpr int kDragIcon = 99;
}  // namespace list_pointer

class UrlListCommands {
public:
    // programFolder: the folder of the program's executable (the drag icon lives there).
    UrlListCommands(UrlListView& listView, WindowServices& ui, std::string programFolder);
    ~UrlListCommands();
    UrlListCommands(const UrlListCommands&) = delete;
    UrlListCommands& operator=(const UrlListCommands&) = delete;

    void PushButton4_Click();   // "Add URL"
    void PushButton13_Click();  // "Load URLs From Text File"
    // Appends the entries of each file as "Load URLs From Text File" does for one
    // chosen file, with the same clean-up of the path and the same boxes for a
    // missing or unreadable file; the next file is read either way.
    void loadTextFiles(const std::vector<std::string>& paths);
    void PushButton3_Click();   // "Load Sample/Example URLs"
    void PushButton11_Click();  // "Clear List"
    void PushButton8_Click();   // "Help"
    void PushButton17_Click();  // "Remove Filenames Containing X"
    void PushButton1_Click();   // "Remove Filenames Not Cont. X"
    void PushButton5_Click();   // "Move Up"
    void PushButton6_Click();   // "Move Down"

    // ListView1's handlers; the list's events call them.
    void ListView1_KeyDown(int key);
    void ListView1_DblClick();
    void ListView1_ItemClick();
    void ListView1_MouseDown();
    void ListView1_MouseMove(const QPoint& point);
    void ListView1_MouseUp();

    // Where the mouse pointer is on the screen, in pixels (the system's cursor
    // position unless replaced).
    void setCursorPosition(std::function<QPoint()> source);

    // The list's own pointer code (see qf::list_pointer).
    int listPointer() const;
    // The position of the entry being dragged, 0 when none.
    int dragPosition() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace qf
