#pragma once
// Writing a workbook as an .xlsx file, and handing it to the user without ever
// overwriting a file or leaving a half-written one behind.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qf::engine {

class Workbook;

// Writes the workbook to path (an existing file there is replaced). Every text
// goes in as XML allows it (xml_text.h), so a strict reader takes the file.
// Fails (qf::Failure) with the reason.
void writeXlsx(const Workbook& book, const std::string& path);

// The same with the writer's temporary files in temporaryFolder (none: the
// system's temporary folder). A write that fails there is done again in the
// system's temporary folder.
void writeXlsxWithTemporaryFolder(const Workbook& book, const std::string& path,
                                  const std::optional<std::string>& temporaryFolder);

// The most the writer's temporary files can take at once for this workbook,
// whatever its texts hold.
std::uint64_t mostTemporaryBytes(const Workbook& book);

using WorkbookFileWriter = std::function<void(const Workbook& book, const std::string& path)>;

// Writes the workbook into folder (created if missing) under the first free name
// "Book1.xlsx", "Book2.xlsx", ... and returns the file's path. The file is written
// under a temporary name in the same folder and then linked to its final name
// only if that name is still free, so a concurrent writer is never overwritten.
// On failure no file is left behind and the description names the path and the
// reason.
std::string saveAsNewFile(const Workbook& book, const std::string& folder,
                          const WorkbookFileWriter& writer = writeXlsx);

// Writes the workbook to path the same safe way: through a temporary file in
// the same folder, then given the name. An existing file at path is replaced
// only when replace is set; otherwise the write fails and the file is kept.
std::string saveToFile(const Workbook& book, const std::string& path, bool replace,
                       const WorkbookFileWriter& writer = writeXlsx);

}  // namespace qf::engine
