#include "url_list_commands.h"

namespace qf {

struct UrlListCommands::State {
    UrlListView& view;
    WindowServices& ui;
    std::string programFolder;
};

UrlListCommands::UrlListCommands(UrlListView& listView, WindowServices& ui, std::string programFolder)
    : state_(new State{listView, ui, std::move(programFolder)}) {}

UrlListCommands::~UrlListCommands() { delete state_; }

void UrlListCommands::PushButton4_Click() {}
void UrlListCommands::PushButton13_Click() {}
void UrlListCommands::PushButton3_Click() {}
void UrlListCommands::PushButton11_Click() {}
void UrlListCommands::PushButton8_Click() {}
void UrlListCommands::PushButton17_Click() {}
void UrlListCommands::PushButton1_Click() {}
void UrlListCommands::PushButton5_Click() {}
void UrlListCommands::PushButton6_Click() {}

}  // namespace qf
