// Start-up where the installed spreadsheet application is the only one: the
// command line names nothing (Qt takes its own options), and there is no
// engine to fall back on.

#include "start_up.h"

#include "com/com_spreadsheet.h"

namespace qf {

ProgramStart startProgram(int, char*[]) { return {}; }

std::unique_ptr<Spreadsheet> windowSpreadsheet(const SettingsStore&) { return com::makeSpreadsheet(nullptr); }

}  // namespace qf
