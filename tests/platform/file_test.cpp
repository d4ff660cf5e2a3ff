#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "base/failure.h"
#include "folder_test.h"
#include "platform/platform.h"

#ifdef __linux__
#include <linux/magic.h>
#include <sys/statfs.h>
#include <unistd.h>
#endif

namespace qf::platform {
namespace {

namespace fs = std::filesystem;

using Files = FolderTest;

TEST_F(Files, TemporaryFilesAreNewEmptyFilesWithDistinctNamesInTheFolder) {
    const std::string first = createTemporaryFile(folder.string(), ".Book.xlsx.tmp-");
    const std::string second = createTemporaryFile(folder.string(), ".Book.xlsx.tmp-");
    EXPECT_NE(first, second);
    for (const std::string& made : {first, second}) {
        const fs::path p(made);
        EXPECT_TRUE(fs::equivalent(p.parent_path(), folder)) << made;
        EXPECT_EQ(p.filename().string().rfind(".Book.xlsx.tmp-", 0), 0u) << made;
        EXPECT_GT(p.filename().string().size(), std::string(".Book.xlsx.tmp-").size()) << made;
        EXPECT_TRUE(fs::is_regular_file(p)) << made;
        EXPECT_EQ(fs::file_size(p), 0u) << made;
    }
}

TEST_F(Files, ATemporaryFileInAMissingFolderFailsWithTheSystemsText) {
    try {
        createTemporaryFile(path("no-such-folder"), "x-");
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_STRNE(failure.what(), "");
    }
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(Files, FlushingKeepsTheContentAndAMissingFileIsAFailure) {
    write("book.xlsx", "cells");
    EXPECT_NO_THROW(flushFileToDisk(path("book.xlsx")));
    EXPECT_EQ(read("book.xlsx"), "cells");
    EXPECT_THROW(flushFileToDisk(path("gone.xlsx")), Failure);
    EXPECT_NO_THROW(flushFolderToDisk(folder.string()));
    EXPECT_NO_THROW(flushFolderToDisk(path("no-such-folder")));
}

TEST_F(Files, ANameIsTakenByAFileOrAFolderButNotByNothing) {
    write("Book1.xlsx", "");
    fs::create_directory(folder / "Book2.xlsx");
    EXPECT_TRUE(nameTaken(path("Book1.xlsx")));
    EXPECT_TRUE(nameTaken(path("Book2.xlsx")));
    EXPECT_FALSE(nameTaken(path("Book3.xlsx")));
#ifndef _WIN32
    // A link that leads nowhere still holds its name: writing through it would
    // put the book somewhere else.
    fs::create_symlink(folder / "elsewhere.xlsx", folder / "Book4.xlsx");
    EXPECT_TRUE(nameTaken(path("Book4.xlsx")));
#endif
}

TEST_F(Files, ReplacingPutsTheNewContentUnderTheNameAndLeavesNoSource) {
    write("Book1.xlsx", "old book");
    write("part.tmp", "new book");
    replaceFile(path("part.tmp"), path("Book1.xlsx"));
    EXPECT_EQ(read("Book1.xlsx"), "new book");
    EXPECT_FALSE(fs::exists(folder / "part.tmp"));

    EXPECT_THROW(replaceFile(path("part.tmp"), path("Book1.xlsx")), Failure);
    EXPECT_EQ(read("Book1.xlsx"), "new book");
}

TEST_F(Files, RemovingAFileThatIsNotThereIsNoFailure) {
    write("part.tmp", "x");
    removeFile(path("part.tmp"));
    EXPECT_FALSE(fs::exists(folder / "part.tmp"));
    EXPECT_NO_THROW(removeFile(path("part.tmp")));
}

#ifdef __linux__
bool heldInMemory(const std::string& folder) {
    struct statfs fs {};
    return ::statfs(folder.c_str(), &fs) == 0 && fs.f_type == TMPFS_MAGIC;
}

// Whatever the environment names, the folder offered is in memory, and none is
// offered without the room asked for.
TEST_F(Files, TheMemoryFolderIsHeldInMemoryAndHasTheRoomAskedFor) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> keep = saved ? std::optional<std::string>(saved) : std::nullopt;
    for (const char* named : {"/", "relative/folder", "/no/such/folder", ""}) {
        ::setenv("XDG_RUNTIME_DIR", named, 1);
        const std::optional<std::string> chosen = memoryTemporaryFolder(1);
        if (chosen) {
            EXPECT_TRUE(heldInMemory(*chosen)) << *chosen << " offered with XDG_RUNTIME_DIR=" << named;
        }
        if (heldInMemory("/dev/shm") && ::access("/dev/shm", W_OK | X_OK) == 0) {
            EXPECT_NE(chosen, std::nullopt) << "XDG_RUNTIME_DIR=" << named;
        }
        EXPECT_EQ(memoryTemporaryFolder(UINT64_MAX), std::nullopt) << "XDG_RUNTIME_DIR=" << named;
    }
    if (keep) {
        ::setenv("XDG_RUNTIME_DIR", keep->c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}
#else
TEST_F(Files, NoFolderIsHeldInMemory) { EXPECT_EQ(memoryTemporaryFolder(1), std::nullopt); }
#endif

}  // namespace
}  // namespace qf::platform
