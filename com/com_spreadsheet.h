#pragma once
// The spreadsheet port over COM: the installed spreadsheet application, reached
// by its programmatic identifier and driven by late binding, call for call as
// the design drives it. The choice of backend on Windows.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "com_provider.h"
#include "import/port/spreadsheet.h"

namespace qf::com {

// The programmatic identifier of the spreadsheet application.
inline constexpr const char* kSpreadsheetProgId = "Excel.Application";

class ComSpreadsheet : public Spreadsheet {
public:
    // Enters COM on the calling thread (fails when it cannot). progId names the
    // application (tests name a stand-in's).
    explicit ComSpreadsheet(std::string progId = kSpreadsheetProgId);

    // Creates an instance and lets it go at once.
    bool canStart() override;
    // The running instance (GetActiveObject), when its default member reads
    // "Microsoft Excel" exactly.
    bool instanceRunning() override;
    // Each run creates an instance of its own (statement 110) and leaves it
    // visible with the new, unsaved workbook (168).
    std::unique_ptr<NewWorkbook> newWorkbook() override;

private:
    ComProvider provider_;
    std::string progId_;
};

// The program's spreadsheet on Windows: COM when the application is registered
// on this machine, else the one that makeFallback gives (the embedded engine).
// The fallback is used, too, when COM cannot be entered.
enum class Backend { Com, Fallback };
Backend chooseBackend(std::string_view progId = kSpreadsheetProgId);
std::unique_ptr<Spreadsheet> makeSpreadsheet(const std::function<std::unique_ptr<Spreadsheet>()>& makeFallback,
                                             std::string_view progId = kSpreadsheetProgId);

}  // namespace qf::com
