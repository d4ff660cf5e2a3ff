#pragma once
// Lays a decoded page out into sheet cells.
//
// HTML (parsed as browsers parse it), in document order from the top-left cell
// down:
// - Block elements (p, div, h1..h6, li, dt, dd, blockquote, section, ...) start a
//   new row in the region's first column; inline elements (a, b, span, code, ...)
//   stay in the same cell; <br> starts a new row (inside a table cell, a new row
//   under that cell). A block without text gives no row.
// - Tables: one row per <tr> and one column per <td>/<th>; colspan and rowspan
//   reserve their cells and the text goes to the top-left one. A caption is a row
//   of its own above the table's rows. A cell holding several lines or a nested
//   table takes as many rows and columns as its content needs, so the cells
//   beside and below it move out of its way. A table without any text gives no
//   rows.
// - Dropped: the head, scripts, styles, templates, noscript, form controls,
//   images, embedded objects and media, svg and iframes. Text that only CSS hides
//   is kept. Links give their text.
// - White space collapses as a browser collapses it and every cell is trimmed; a
//   non-breaking space stays U+00A0.
// - <pre>: with preFormattedTextToColumns each line is a row, split into columns
//   at tabs and at runs of two or more spaces (with consecutiveDelimitersAsOne,
//   neighbouring delimiters count as one; without it every further delimiter
//   gives an empty cell); a line's indentation is not a delimiter. Otherwise each
//   line is one cell. Lines without text give no row.
// Text that is not HTML: each line is a row in the first column.
// Spans: a colspan above 1000 counts as 1000 and a rowspan above 65534 (or 0)
// as 65534, and a rowspan ends with its table's last row, as browsers count
// them; this moves cells, never drops a text.
// - A text longer than the 32,767 characters (UTF-16 units) a cell holds goes on
//   in the cells below it, as a taller cell would (in a table the rows below
//   move down), in pieces that read back as the text; no character is split.
// A page whose texts do not all fit is refused (PageRefused), never cut: a text
// past the sheet's 1,048,576 rows or 16,384 columns.
// Cell texts become values as page_values.h and value_recognition.h describe
// (dates only when date recognition is on); contentLanguage is the reply's
// Content-Language header.

#include <string_view>

#include "engine/workbook/cell.h"
#include "page_source.h"
#include "script_signals.h"
#include "web_limits.h"

namespace qf::engine {

// Throws PageRefused for a page that does not fit on a sheet (see above), whose
// elements nest so deeply, or whose table cells span so many rows and columns,
// that reading it would take unbounded time, or whose texts stand so far apart
// that its cells would take unbounded memory.
// With facts, what tells whether the page is built by scripts is read as well.
PageGrid layoutHtml(std::string_view utf8, const WebQueryOptions& options, std::string_view contentLanguage = {},
                    ScriptSignals* facts = nullptr);
PageGrid layoutText(std::string_view utf8, const WebQueryOptions& options, std::string_view contentLanguage = {});

}  // namespace qf::engine
