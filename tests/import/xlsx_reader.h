#pragma once
// Reads a written .xlsx back for the tests (through python3's openpyxl): sheet
// names in order and every non-empty cell as "type:value" ("str:Tea", "int:3",
// "float:2.5", "datetime:2026-12-07 00:00:00"; line breaks as \n).

#include <map>
#include <string>
#include <vector>

namespace qf::testing {

struct XlsxContent {
    std::vector<std::string> sheets;
    std::map<std::string, std::map<std::string, std::string>> cells;  // sheet -> "A1" -> value
    std::string error;                                                // why it could not be read
    // The cell's value, or "" when empty.
    std::string at(const std::string& sheet, const std::string& cell) const;
};

XlsxContent readXlsx(const std::string& path);

}  // namespace qf::testing
