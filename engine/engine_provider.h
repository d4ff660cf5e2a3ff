#pragma once
// The embedded spreadsheet engine as an automation provider. create("Excel.Application")
// gives a new, independent, invisible application object; the import code drives it
// through the late-bound interface only.
//
//     qf::engine::EngineSettings settings;
//     settings.openWorkbook = [](const std::string& path) { /* show it on the desktop */ };
//     qf::engine::EngineProvider provider(std::move(settings));
//     qf::automation::Object app = provider.create("Excel.Application");
//
// Making the application visible (Visible = True) writes each of its workbooks as an
// .xlsx file into the documents folder ("Book1.xlsx", "Book2.xlsx", ..., never
// overwriting a file), or to the settings' outputPath, and then calls openWorkbook
// with the file's path.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "automation/object.h"
#include "engine/web/page_source.h"
#include "engine/web/web_page_source.h"

namespace qf::engine {

// The name the engine's application object gives as its default member.
inline constexpr const char* kEngineName = "Quillfen Spreadsheet Engine";

struct EngineSettings {
    // Where visible workbooks are written. Empty: the user's documents folder
    // (XDG_DOCUMENTS_DIR from user-dirs.dirs, else ~/Documents), created if missing.
    std::string documentsFolder;
    // Where a visible workbook is written instead, when not empty: an existing file
    // there is kept and the write fails, unless replaceOutput.
    std::string outputPath;
    bool replaceOutput = false;
    // Asked to open a workbook file that has just been written. May be empty.
    std::function<void(const std::string& path)> openWorkbook;
    // Makes the page source of one application instance. Empty: the web page
    // source, with these limits (pagesAhead 0 turns reading ahead off).
    std::function<std::unique_ptr<PageSource>()> pageSourceFactory;
    FetchLimits fetchLimits;
    LoadLimits loadLimits;
    // The number of sheets in a new workbook (1 to 255).
    int sheetsInNewWorkbook = 1;
};

class EngineProvider : public automation::Provider {
public:
    explicit EngineProvider(EngineSettings settings = {});

    // "Excel.Application" (any letter case): a new application instance. Any other
    // identifier fails with "ActiveX component can't create object".
    automation::Object create(std::string_view progId) override;
    // The engine has no shared running instance: this always fails.
    automation::Object getRunning(std::string_view progId) override;
    // The page source's read-ahead for an application object this provider made.
    std::shared_ptr<automation::ReadAhead> readAhead(const automation::Object& application) override;

private:
    std::shared_ptr<const EngineSettings> settings_;
};

// The user's documents folder as the desktop names it (not created here).
std::string userDocumentsFolder();

}  // namespace qf::engine
