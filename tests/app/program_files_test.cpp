// Where the program finds its pointer files: beside a built executable, or in
// the data folder an install puts beside bin/.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/program_files.h"

namespace qf::testing {
namespace {

TEST(ProgramFiles, BuildTreeFirstThenTheInstalledDataFolder) {
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath("usr/bin"));
    const std::string bin = root.filePath("usr/bin").toStdString();
    // Neither: the executable's folder, where a missing file is looked for as before.
    EXPECT_EQ(programFilesFolder(bin), bin);

    ASSERT_TRUE(QDir(root.path()).mkpath("usr/share/quillfen"));
    EXPECT_EQ(programFilesFolder(bin), root.filePath("usr/share/quillfen").toStdString());

    QFile beside(root.filePath("usr/bin/HAND-M.CUR"));
    ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
    beside.close();
    EXPECT_EQ(programFilesFolder(bin), bin);
}

}  // namespace
}  // namespace qf::testing
