#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "platform/platform.h"

namespace qf::platform {
namespace {

namespace fs = std::filesystem;

class Publishing : public ::testing::Test {
protected:
    // A folder of its own: other test runs may be publishing at the same time.
    fs::path folder = fs::temp_directory_path() / ("quillfen-publish-" + std::to_string(std::random_device()()));

    void SetUp() override {
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string write(const std::string& name, const std::string& content) {
        std::ofstream(folder / name, std::ios::binary) << content;
        return (folder / name).string();
    }
    std::string read(const std::string& name) {
        std::ifstream in(folder / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

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
