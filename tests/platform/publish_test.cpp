#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "folder_test.h"
#include "platform/platform.h"

namespace qf::platform {
namespace {

namespace fs = std::filesystem;

using Publishing = FolderTest;

TEST_F(Publishing, TakesAFreeNameAndLeavesNoTemporaryFile) {
    const std::string temp = write("part.tmp", "new book");
    EXPECT_EQ(publishWithoutOverwriting(temp, (folder / "Book1.xlsx").string()), Publish::Done);
    EXPECT_EQ(read("Book1.xlsx"), "new book");
    EXPECT_FALSE(fs::exists(temp));
}

TEST_F(Publishing, NeverOverwritesAFileThatHasTheName) {
    write("Book1.xlsx", "the user's book");
    const std::string temp = write("part.tmp", "new book");
    EXPECT_EQ(publishWithoutOverwriting(temp, (folder / "Book1.xlsx").string()), Publish::NameTaken);
    EXPECT_EQ(read("Book1.xlsx"), "the user's book");
    EXPECT_EQ(read("part.tmp"), "new book");  // still there for the next name
}

TEST_F(Publishing, AMissingFolderIsAFailureWithTheSystemsText) {
    const std::string temp = write("part.tmp", "new book");
    EXPECT_THROW(publishWithoutOverwriting(temp, (folder / "no-such-folder" / "Book1.xlsx").string()), std::exception);
    EXPECT_EQ(read("part.tmp"), "new book");
}

TEST(UserFolders, DocumentsAndHomeAreNamed) {
    EXPECT_FALSE(homeFolder().empty());
    EXPECT_FALSE(documentsFolder().empty());
    EXPECT_NE(openFileLimit(), std::optional<std::size_t>(0));
}

}  // namespace
}  // namespace qf::platform
