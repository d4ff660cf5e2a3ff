#pragma once
// The URL list's commands: the click handlers of the list's buttons on the main
// window, and the list control's own mouse and key handling (removal, drag).
// The window creates one UrlListCommands for its ListView1 and connects each
// button's click to the handler of the same name.

#include <string>

#include "base/window_services.h"
#include "url_list_view.h"

namespace qf {

class UrlListCommands {
public:
    // programFolder: the folder of the program's executable (the drag icon lives there).
    UrlListCommands(UrlListView& listView, WindowServices& ui, std::string programFolder);
    ~UrlListCommands();
    UrlListCommands(const UrlListCommands&) = delete;
    UrlListCommands& operator=(const UrlListCommands&) = delete;

    void PushButton4_Click();   // "Add URL"
    void PushButton13_Click();  // "Load URLs From Text File"
    void PushButton3_Click();   // "Load Sample/Example URLs"
    void PushButton11_Click();  // "Clear List"
    void PushButton8_Click();   // "Help"
    void PushButton17_Click();  // "Remove Filenames Containing X"
    void PushButton1_Click();   // "Remove Filenames Not Cont. X"
    void PushButton5_Click();   // "Move Up"
    void PushButton6_Click();   // "Move Down"

private:
    struct State;
    State* state_;
};

}  // namespace qf
