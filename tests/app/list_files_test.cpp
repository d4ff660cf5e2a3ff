// "quillfen FILE...": the window opens with the entries of each list file, read
// as "Load URLs From Text File" reads one, and a file that cannot be read is
// reported in the same boxes without keeping the window from opening.

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "base/program_info.h"
#include "base/trap.h"
#include "urllist/url_list_view.h"

namespace qf::testing {
namespace {

TEST(ListFilesOnTheCommandLine, WindowOpensWithTheEntriesOfEachFile) {
    QTemporaryDir lists;
    auto write = [&lists](const char* name, const std::string& bytes) {
        const std::string path = lists.filePath(QString::fromUtf8(name)).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    const std::string lf = write("lf.txt", "www.a.com\nwww.b.com\n");
    const std::string crlf = write("crlf.txt", "www.c.com\r\n\r\nwww.e.com\r\n");
    const std::string folder = lists.path().toStdString();
    // A doubled separator is cleaned up as the button's paths are.
    const std::string doubled = folder + "//lf.txt";

    AppStart start;
    ASSERT_TRUE(start.open());
    start.form->loadListFiles({lf, folder + "/missing.txt", crlf, folder, doubled});
    EXPECT_TRUE(start.form->isVisible());

    const UrlListModel& list = start.form->listView().list();
    std::vector<std::string> entries;
    for (int i = 1; i <= list.count(); ++i) entries.emplace_back(list.utf8(i));
    EXPECT_EQ(entries, (std::vector<std::string>{"www.a.com", "www.b.com", "www.c.com", "", "www.e.com", "www.a.com",
                                                 "www.b.com"}));
    ASSERT_EQ(start.ui.boxes.size(), 2u);
    EXPECT_EQ(start.ui.boxes[0].text, "File not found");
    EXPECT_EQ(start.ui.boxes[0].caption, applicationTitle());
    EXPECT_EQ(start.ui.boxes[1].caption, kErrorReportCaption);
    EXPECT_NE(start.ui.boxes[1].text.find("Path/File access error"), std::string::npos) << start.ui.boxes[1].text;
    EXPECT_NE(start.ui.boxes[1].text.find("PushButton13_Click"), std::string::npos) << start.ui.boxes[1].text;
}

}  // namespace
}  // namespace qf::testing
