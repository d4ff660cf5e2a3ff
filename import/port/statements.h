#pragma once
// The numbers of the statements that the spreadsheet's steps run through the
// trap they are given (see spreadsheet.h). They are the numbers the error
// report names, whichever spreadsheet makes the workbook.

namespace qf {

// The import run's statements that its spreadsheet makes. The run's other
// statements are numbered in import/import_run.h.
namespace run_statement {
// startWorkbook
inline constexpr int kStartSpreadsheet = 110;
inline constexpr int kAddWorkbook = 112;
inline constexpr int kAlertsOff = 114;
inline constexpr int kTakeNewWorkbook = 116;
// keepFirstSheetOnly
inline constexpr int kMoreThanOneSheet = 120;
inline constexpr int kCountSheets = 122;
inline constexpr int kDeleteSheet = 124;  // each sheet after the first
// finish
inline constexpr int kSelectFirstCell = 166;
inline constexpr int kShowWorkbook = 168;  // or write it, and hand it to the host
inline constexpr int kAlertsOn = 170;
}  // namespace run_statement

// The web import's statements, all made by importPage.
namespace web_import_statement {
inline constexpr int kAddPageAtA1 = 100;
// The page's settings, one statement each in steps of two.
inline constexpr int kFirstSetting = 102;
inline constexpr int kLastSetting = 138;
}  // namespace web_import_statement

}  // namespace qf
