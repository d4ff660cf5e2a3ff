#include "xlsx_output.h"

#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "platform/platform.h"
#include "workbook.h"
#include "xml_text.h"

namespace qf::engine {

namespace {

std::string errnoText(int error) { return std::strerror(error); }

// The number formats a workbook's cells use, one format object per code, made
// as the first cell with that code is written.
class Formats {
public:
    explicit Formats(lxw_workbook* wb) : wb_(wb) {}

    lxw_format* forCell(const CellView& cell) {
        if (cell.format == kGeneralFormat) return nullptr;
        if (cell.format >= made_.size()) made_.resize(cell.format + std::size_t{1}, nullptr);
        lxw_format*& slot = made_[cell.format];
        if (!slot) {
            slot = workbook_add_format(wb_);
            format_set_num_format(slot, std::string(formatCode(cell.format)).c_str());
        }
        return slot;
    }

private:
    lxw_workbook* wb_;
    std::vector<lxw_format*> made_;  // by format id; owned by the workbook
};

void check(lxw_error error) {
    if (error != LXW_NO_ERROR) throw Failure(lxw_strerror(error));
}

// Removes a temporary file unless it was handed over.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    ~TempFile() {
        if (!path_.empty()) platform::removeFile(path_);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }
    void release() { path_.clear(); }

private:
    std::string path_;
};

// In constant-memory mode libxlsxwriter keeps each sheet's rows in a
// temporary file of its own and closes it only when it copies the rows into
// the finished sheet. It never closes the file of a sheet that got no rows
// (an unreadable entry's sheet), nor any sheet's file when the workbook is
// freed without being written or its writing fails: each would stay open
// until the program ends, a descriptor and, in a memory folder, the memory
// its rows take. The writer closes those files itself.
class SheetRowFiles {
public:
    SheetRowFiles() = default;
    SheetRowFiles(const SheetRowFiles&) = delete;
    SheetRowFiles& operator=(const SheetRowFiles&) = delete;
    // A workbook given up before workbook_close: every sheet's file.
    ~SheetRowFiles() {
        for (lxw_worksheet* sheet : sheets_) close(sheet);
    }

    void add(lxw_worksheet* sheet) { sheets_.push_back(sheet); }

    // Just before workbook_close: closes the files of the sheets without rows
    // (the library's own test of that) and notes which file each other sheet
    // has, by descriptor and identity.
    void beforeClose() {
        for (lxw_worksheet* sheet : sheets_) {
            if (!sheet->optimize_tmpfile) continue;
            if (sheet->dim_rowmin == LXW_ROW_MAX) {
                close(sheet);
                continue;
            }
            struct stat st {};
            const int fd = ::fileno(sheet->optimize_tmpfile);
            if (fd >= 0 && ::fstat(fd, &st) == 0) withRows_.push_back({fd, st.st_dev, st.st_ino});
        }
        sheets_.clear();  // workbook_close frees them, written or not
    }

    // After a workbook_close that failed: the files it did not get to are still
    // open on their descriptors. The descriptors are closed (each one's FILE
    // the library has lost stays allocated, a few bytes).
    void afterFailedClose() {
        for (const OpenFile& file : withRows_) {
            struct stat st {};
            if (::fstat(file.fd, &st) == 0 && st.st_dev == file.device && st.st_ino == file.inode) ::close(file.fd);
        }
    }

private:
    struct OpenFile {
        int fd;
        dev_t device;
        ino_t inode;
    };
    static void close(lxw_worksheet* sheet) {
        if (!sheet->optimize_tmpfile) return;
        std::fclose(sheet->optimize_tmpfile);
        sheet->optimize_tmpfile = nullptr;
        sheet->file = nullptr;  // was the same file; the packager gives the sheet its own
    }
    std::vector<lxw_worksheet*> sheets_;
    std::vector<OpenFile> withRows_;
};

constexpr int kMaxBookNumber = 1'000'000;

// Writing rows straight to disk keeps one temporary file open per sheet until
// the end; with more sheets than the process may open files, the cells are
// gathered in memory instead.
bool enoughFilesForEverySheet(std::size_t sheets) {
    const std::optional<std::size_t> limit = platform::openFileLimit();
    return !limit || sheets + 64 <= *limit;
}

std::string bookName(int n) { return "Book" + std::to_string(n) + ".xlsx"; }

std::uint64_t encodedSize(const Workbook& book) {
    std::uint64_t total = 0;
    for (const auto& sheet : book.sheets()) total += sheet->cells().encodedSize();
    return total;
}

// Workbooks up to this size (their cells as the sheets keep them) are written
// with the temporary files in memory when the system has room for the most
// they can take: creating and deleting hundreds of files on a disk costs more
// than the rest of a small write. Larger ones use the disk, which is what the
// temporary files are there for.
constexpr std::uint64_t kMemoryWriteLimit = std::uint64_t{16} << 20;

// Writes with libxlsxwriter; its temporary files go to temporaryFolder, or to
// the system's temporary folder when that is null.
void writeWith(const Workbook& book, const std::string& path, const char* temporaryFolder) {
    lxw_workbook_options options{};
    options.constant_memory = enoughFilesForEverySheet(book.sheets().size()) ? LXW_TRUE : LXW_FALSE;
    options.tmpdir = const_cast<char*>(temporaryFolder);  // only read
    lxw_workbook* wb = workbook_new_opt(path.c_str(), &options);
    if (!wb) throw Failure(errno ? errnoText(errno) : std::string("the file cannot be created"));
    std::unique_ptr<lxw_workbook, void (*)(lxw_workbook*)> owner(wb, lxw_workbook_free);
    SheetRowFiles rowFiles;  // after owner: closed while the workbook is still there

    Formats formats(wb);
    std::string text;
    for (const auto& sheet : book.sheets()) {
        const std::string name = xmlNameText(sheet->name());  // as the sheet keeps it already
        lxw_worksheet* ws = workbook_add_worksheet(wb, name.c_str());
        if (!ws) throw Failure("the sheet \"" + name + "\" cannot be added");
        rowFiles.add(ws);
        for (const auto& [column, width] : sheet->columnWidths())
            check(worksheet_set_column(ws, static_cast<lxw_col_t>(column), static_cast<lxw_col_t>(column), width,
                                       nullptr));
        lxw_error error = LXW_NO_ERROR;
        sheet->cells().forEachCell([&](std::int64_t row, std::int32_t column, const CellView& cell) {
            if (error != LXW_NO_ERROR) return;
            const auto r = static_cast<lxw_row_t>(row);
            const auto c = static_cast<lxw_col_t>(column);
            if (cell.kind == CellValue::Kind::Number) {
                error = worksheet_write_number(ws, r, c, cell.number, formats.forCell(cell));
            } else {
                xmlCellText(cell.text, text);
                error = worksheet_write_string(ws, r, c, text.c_str(), nullptr);
            }
        });
        check(error);
        if (sheet == book.activeSheet()) worksheet_activate(ws);
        const auto& a = sheet->selectionFirst;
        const auto& b = sheet->selectionLast;
        if (a.row != 0 || a.column != 0 || !(b == a))
            worksheet_set_selection(ws, static_cast<lxw_row_t>(a.row), static_cast<lxw_col_t>(a.column),
                                    static_cast<lxw_row_t>(b.row), static_cast<lxw_col_t>(b.column));
    }
    rowFiles.beforeClose();
    errno = 0;
    const lxw_error closed = workbook_close(owner.release());  // frees the workbook
    if (closed != LXW_NO_ERROR) {
        const int error = errno;
        rowFiles.afterFailedClose();
        std::string reason = lxw_strerror(closed);
        if (error != 0) reason += " (" + errnoText(error) + ")";
        throw Failure(reason);
    }
}

std::uint64_t mostTemporaryBytes(std::uint64_t encoded, std::size_t sheets) {
    // Row by row, a sheet's XML takes at most 45 bytes for each encoded byte:
    // a row's element is under 45 bytes and takes at least one; a text cell is
    // under 75 bytes plus 7 for each byte of text (a control character becomes
    // "_xHHHH_") and takes two plus its text; a number is under 63 and takes 9.
    // The column widths add at most one 60-byte element for every two encoded
    // bytes. Each sheet's rows are kept in a file until the end, and the whole
    // sheet is written once more before it is zipped.
    constexpr std::uint64_t kXmlPerEncodedByte = 45 + 30;
    constexpr std::uint64_t kEachSheet = 64 * 1024, kWorkbookParts = 1 << 20;
    return 2 * (kXmlPerEncodedByte * encoded + kEachSheet * sheets) + kWorkbookParts;
}

}  // namespace

std::uint64_t mostTemporaryBytes(const Workbook& book) {
    return mostTemporaryBytes(encodedSize(book), book.sheets().size());
}

void writeXlsxWithTemporaryFolder(const Workbook& book, const std::string& path,
                                  const std::optional<std::string>& temporaryFolder) {
    if (temporaryFolder) {
        try {
            writeWith(book, path, temporaryFolder->c_str());
            return;
        } catch (const Failure&) {
            // written again below; a failure there is the one to report
        }
    }
    writeWith(book, path, nullptr);
}

void writeXlsx(const Workbook& book, const std::string& path) {
    std::optional<std::string> inMemory;
    const std::uint64_t encoded = encodedSize(book);
    if (encoded <= kMemoryWriteLimit)
        inMemory = platform::memoryTemporaryFolder(mostTemporaryBytes(encoded, book.sheets().size()));
    writeXlsxWithTemporaryFolder(book, path, inMemory);
}

namespace {

using FailureFor = std::function<Failure(const std::string& reason)>;

// Runs step; a failure in it becomes fail(its reason).
template <typename Step>
decltype(auto) failingWith(const FailureFor& fail, Step&& step) {
    try {
        return step();
    } catch (const Failure& failure) {
        throw fail(failure.what());
    }
}

// Writes the workbook under a new temporary name in folder and puts it on the
// disk; returns that name. Fails with fail(reason), leaving no file behind.
std::string writeTemporary(const Workbook& book, const std::string& folder, const WorkbookFileWriter& writer,
                           const FailureFor& fail) {
    TempFile temp(failingWith(fail, [&] { return platform::createTemporaryFile(folder, ".Book.xlsx.tmp-"); }));
    failingWith(fail, [&] {
        writer(book, temp.path());
        platform::flushFileToDisk(temp.path());
    });
    std::string written = temp.path();
    temp.release();
    return written;
}

}  // namespace

std::string saveAsNewFile(const Workbook& book, const std::string& folder, const WorkbookFileWriter& writer) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec))
        throw Failure("Cannot create the folder " + folder + ": " + (ec ? ec.message() : std::string("not a folder")));

    // The name the file will most likely get, for messages.
    int n = 1;
    while (n < kMaxBookNumber && platform::nameTaken(platform::pathInFolder(folder, bookName(n)))) ++n;
    const std::string intended = platform::pathInFolder(folder, bookName(n));
    auto fail = [&](const std::string& reason) -> Failure {
        return Failure("Cannot write the workbook file " + intended + ": " + reason);
    };

    TempFile temp(writeTemporary(book, folder, writer, fail));

    for (; n <= kMaxBookNumber; ++n) {
        const std::string target = platform::pathInFolder(folder, bookName(n));
        const platform::Publish published =
            failingWith(fail, [&] { return platform::publishWithoutOverwriting(temp.path(), target); });
        if (published == platform::Publish::NameTaken) continue;
        temp.release();
        platform::flushFolderToDisk(folder);
        return target;
    }
    throw fail("no free name from Book1.xlsx to " + bookName(kMaxBookNumber));
}

std::string saveToFile(const Workbook& book, const std::string& path, bool replace, const WorkbookFileWriter& writer) {
    auto fail = [&](const std::string& reason) -> Failure {
        return Failure("Cannot write the workbook file " + path + ": " + reason);
    };
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    const std::string folder = parent.empty() ? std::string(".") : parent.string();
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) throw fail("the folder " + folder + " does not exist");
    if (!replace && platform::nameTaken(path)) throw fail("the file exists");

    TempFile temp(writeTemporary(book, folder, writer, fail));
    if (replace) {
        failingWith(fail, [&] { platform::replaceFile(temp.path(), path); });
    } else {
        const platform::Publish published =
            failingWith(fail, [&] { return platform::publishWithoutOverwriting(temp.path(), path); });
        if (published == platform::Publish::NameTaken) throw fail("the file exists");
    }
    temp.release();
    platform::flushFolderToDisk(folder);
    return path;
}

}  // namespace qf::engine
