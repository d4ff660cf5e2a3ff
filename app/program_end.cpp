#include "program_end.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "base/window_services.h"

namespace qf {

void ProcessEnd::now() {
    std::fflush(nullptr);
    if (commandWaiting_()) std::_Exit(0);
    // Every event loop under way returns once the handler in hand has returned.
    // Before the loop has started (start-up ended the program) this does
    // nothing, and start-up returns from main() by itself.
    QCoreApplication::exit(0);
}

std::function<bool(const std::string& path)> workbookOpener(WindowServices& ui, const ProgramEnd& end) {
    return [&ui, &end](const std::string& path) {
        if (!end.announced() && ui.openDocument(path)) return true;
        std::fprintf(stderr, "The workbook was saved as %s\n", path.c_str());
        return false;
    };
}

}  // namespace qf
