#include "program_end.h"

#include <cstdio>
#include <cstdlib>

#include "base/window_services.h"

namespace qf {

void ProcessEnd::now() {
    std::fflush(nullptr);
    std::_Exit(0);
}

std::function<void(const std::string& path)> workbookOpener(WindowServices& ui, const ProgramEnd& end) {
    return [&ui, &end](const std::string& path) {
        if (end.announced() || !ui.openDocument(path))
            std::fprintf(stderr, "The workbook was saved as %s\n", path.c_str());
    };
}

}  // namespace qf
