#pragma once
// Number format codes, as a workbook file writes them ("#,##0.00", "dd.mm.yyyy",
// "[$-407]d. mmmm yyyy"). A cell holds a small id; the codes live once in a
// table of the process that only grows, so millions of cells cost two bytes
// each and the file's writer makes one format object per code.
//
// Threads: any thread may intern a code or read one by its id.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qf::engine {

using FormatId = std::uint16_t;

// The format every cell has unless it says otherwise: the spreadsheet's own.
inline constexpr FormatId kGeneralFormat = 0;

// The id of a code, the same id for the same code; "" and "General" are
// kGeneralFormat. Once the table holds 65,535 codes, further new codes get
// kGeneralFormat: the value stays right, only its look is the spreadsheet's.
FormatId internFormat(std::string_view code);

// The code of an id ("General" for kGeneralFormat); valid for the process's life.
std::string_view formatCode(FormatId id);

// How many characters a number shows with its format, roughly: enough to size a
// column to it.
std::size_t shownLength(double number, FormatId id);

}  // namespace qf::engine
