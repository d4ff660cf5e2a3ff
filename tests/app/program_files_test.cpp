// Where the program finds its pointer files: beside a built executable, or in
// the data folder an install puts beside bin/.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/program_files.h"

namespace qf::testing {

using namespace Qt::StringLiterals;
namespace {

TEST(ProgramFiles, BuildTreeFirstThenTheInstalledDataFolder) {
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath(u"usr/bin"_s));
    const std::string bin = root.filePath(u"usr/bin"_s).toStdString();
    // Neither: the executable's folder, where a missing file is looked for as before.
    EXPECT_EQ(programFilesFolder(bin), bin);

    ASSERT_TRUE(QDir(root.path()).mkpath(u"usr/share/quillfen"_s));
    EXPECT_EQ(programFilesFolder(bin), root.filePath(u"usr/share/quillfen"_s).toStdString());

    QFile beside(root.filePath(u"usr/bin/HAND-M.CUR"_s));
    ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
    beside.close();
    EXPECT_EQ(programFilesFolder(bin), bin);
}

}  // namespace
}  // namespace qf::testing
