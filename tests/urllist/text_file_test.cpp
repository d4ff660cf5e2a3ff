// Reading URL text files and the paths "Load URLs From Text File" builds.

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fstream>
#include <random>

#include "base/program_info.h"
#include "list_fixture.h"
#include "urllist/store/url_text_file.h"

namespace qf::testing {
namespace {

using Texts = std::vector<std::string>;

// The line rule written the plain way, to check the fast splitter.
Texts referenceSplit(const std::string& text) {
    Texts out;
    std::string line;
    bool open = false;  // some text since the last line end
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out.push_back(line);
            line.clear();
            open = false;
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += text[i];
            open = true;
        }
    }
    if (open) out.push_back(line);
    return out;
}

Texts split(const std::string& text) {
    Texts out;
    for (const auto& piece : splitUrlLines(text)) out.emplace_back(piece.view());
    return out;
}

TEST(UrlLines, LineEndTable) {
    const std::vector<std::pair<std::string, Texts>> table = {
        {"", {}},
        {"a\r\n\r\nc\r\n", {"a", "", "c"}},    // blank middle line
        {"one\ntwo\n", {"one", "two"}},        // a final LF adds no empty entry
        {"one\n\ntwo\n", {"one", "", "two"}},  // a blank line inside does
        {"one\ntwo\n\n", {"one", "two", ""}},  // so does a blank last line
        {"one\r\ntwo\r\n", {"one", "two"}},
        {"one\rtwo\r", {"one", "two"}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},  // mixed line ends
        {"\r\n", {""}},
        {"\n", {""}},
        {"\r", {""}},
        {"a\r\r\n", {"a", ""}},
        {"a\n\r\n", {"a", ""}},
        {"a\r\nb\n", {"a", "b"}},
        {"last", {"last"}},
        {"  spaced \t\r\n", {"  spaced \t"}},                          // nothing trimmed
        {std::string("a\0b\r\nc", 6), {std::string("a\0b", 3), "c"}},  // NUL bytes stay
    };
    for (const auto& [text, expected] : table) EXPECT_EQ(split(text), expected) << "text: " << text;
}

TEST(UrlLines, AgreesWithThePlainRuleOnRandomText) {
    std::mt19937 random(7);
    const char alphabet[] = {'a', 'b', '\r', '\n', ' '};
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 24, ' ');
        for (char& c : text) c = alphabet[random() % 5];
        ASSERT_EQ(split(text), referenceSplit(text)) << "text: " << text;
    }
}

TEST(UrlEncoding, Utf8ValidityAndWindows1252) {
    EXPECT_TRUE(isValidUtf8("plain ascii and caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_TRUE(isValidUtf8(std::string("nul\0inside", 10)));
    EXPECT_FALSE(isValidUtf8("caf\xE9"));             // a Windows-1252 e acute
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));            // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));        // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));    // beyond U+10FFFF
    EXPECT_FALSE(isValidUtf8("abcdefghij\xE2\x82"));  // cut short at the end
    EXPECT_FALSE(isValidUtf8("\x80"));

    EXPECT_EQ(windows1252ToUtf8("caf\xE9 \x80 \x9F"), "caf\xC3\xA9 \xE2\x82\xAC \xC5\xB8");
    // Bytes the code page leaves unassigned keep their number, never a replacement mark.
    EXPECT_EQ(windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

class ReaderTest : public ListFixture {
protected:
    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // Chooses one file in the dialog and presses "Load URLs From Text File".
    void load(const std::string& path) {
        ui.answerFileDialog(path);
        commands->loadFromTextFile();
    }
    QTemporaryDir dir;
};

TEST_F(ReaderTest, FileDialogRequestAndLineEnds) {
    fill({"kept"});
    load(write("list.txt", "www.a.com\r\n\r\nwww.c.com\r\n"));
    ASSERT_EQ(ui.boxes.size(), 1u);
    const auto& request = ui.boxes[0].fileRequest;
    EXPECT_EQ(request.title, "Add File(s) - Hold Ctrl to select multiple files");
    EXPECT_EQ(request.filter, "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");
    EXPECT_TRUE(request.options.allowMultiSelect);
    EXPECT_FALSE(request.options.fileMustExist);
    EXPECT_TRUE(request.options.readOnlyChecked);
    EXPECT_TRUE(request.options.explorerStyle);
    EXPECT_TRUE(request.options.longNames);
    EXPECT_EQ(request.fileName, "");
    EXPECT_EQ(texts(), (Texts{"kept", "www.a.com", "", "www.c.com"}));
}

TEST_F(ReaderTest, EncodingsAreDecodedWithoutLoss) {
    load(write("utf8.txt", "\xEF\xBB\xBFwww.caf\xC3\xA9.fr\nx"));
    load(write("ansi.txt", "www.caf\xE9.fr\r\n\x80\x81"));
    ASSERT_EQ(list().count(), 4);
    // The byte order mark is no part of the first line.
    EXPECT_EQ(list().text(1), QString::fromUtf8("www.caf\xC3\xA9.fr"));
    EXPECT_EQ(list().text(3), QString::fromUtf8("www.caf\xC3\xA9.fr"));
    EXPECT_EQ(list().text(4), QString(QChar(0x20AC)) + QChar(0x81));
    for (int p = 1; p <= list().count(); ++p) EXPECT_FALSE(list().text(p).contains(QChar(0xFFFD)));
    EXPECT_TRUE(ui.boxes.size() == 2u && ui.messages().empty());
}

TEST_F(ReaderTest, BinaryFileIsRefusedAndLongLineLoadsAsRead) {
    std::string binary;
    for (int round = 0; round < 64; ++round)
        for (int b = 0; b < 256; ++b) binary.push_back(static_cast<char>(b));
    load(write("binary.bin", binary));
    EXPECT_EQ(ui.messages(), (Texts{report("not a text file", "PushButton13_Click", list_statement::kReadOneFile)}));
    EXPECT_EQ(list().count(), 0);

    list().clear();
    const std::string line(20u << 20, 'x');
    load(write("long.txt", line));
    ASSERT_EQ(list().count(), 1);
    EXPECT_EQ(list().utf8(1).size(), line.size());
    // The row shows the start of it only.
    EXPECT_EQ(list().data(list().index(0, 0), Qt::DisplayRole).toString().size(), UrlListModel::kDisplayLimit);
}

// A text as UTF-16 with its byte order mark, in either order.
std::string utf16File(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST_F(ReaderTest, ListFilesAsEditorsWriteThem) {
    const std::string cafe = "www.caf\xC3\xA9.fr", smile = "www.a.com/\xF0\x9F\x98\x80";
    struct Case {
        const char* what;
        std::string bytes;
        Texts entries;
        bool refused = false;  // refused whole: nothing is added
    };
    const Texts none;
    const std::vector<Case> table = {
        {"UTF-8 with a byte order mark",
         "\xEF\xBB\xBFhttp://a.example/\r\n" + cafe + "\r\n",
         {"http://a.example/", cafe}},
        {"byte order mark, then blank lines", "\xEF\xBB\xBF\r\n\r\nx", {"", "", "x"}},
        {"only a byte order mark", "\xEF\xBB\xBF", {}},
        {"UTF-16, little end first",
         utf16File(u"www.caf\u00E9.fr\r\n\r\nwww.a.com/\U0001F600\r\n", false),
         {cafe, "", smile}},
        {"UTF-16, big end first", utf16File(u"www.caf\u00E9.fr\nlast", true), {cafe, "last"}},
        {"tab and form feed are text", "a\tb\fc\r\n", {"a\tb\fc"}},
        {"a NUL byte", std::string("www.a.com\r\nwww.\0b.com\r\n", 23), none, true},
        {"another control byte", "www.a.com\x01\r\n", none, true},
        {"UTF-16 without its mark", std::string("w\0w\0w\0.\0a\0", 10), none, true},
        {"UTF-16 cut in the middle of a unit", utf16File(u"www.a.com", false) + "x", none, true},
        {"UTF-16 with a lone surrogate", utf16File(u"www.a.com\xD800x", false), none, true},
        {"UTF-16 holding a NUL", utf16File(std::u16string(u"www.a.com\0", 10), true), none, true},
        {"UTF-32 (its mark starts as UTF-16's)", std::string("\xFF\xFE\0\0w\0\0\0", 8), none, true},
    };
    for (const auto& [what, bytes, entries, refused] : table) {
        SCOPED_TRACE(what);
        commands->clearList();
        fill({"kept"});
        ui.boxes.clear();
        load(write("list.txt", bytes));
        Texts expected = {"kept"};
        expected.insert(expected.end(), entries.begin(), entries.end());
        EXPECT_EQ(texts(), expected);
        EXPECT_EQ(
            ui.messages(),
            refused ? Texts{report("not a text file", "PushButton13_Click", list_statement::kReadOneFile)} : Texts{});
    }
}

TEST_F(ReaderTest, MissingAndEmptyFiles) {
    load(dir.filePath(QStringLiteral("typed-name.txt")).toStdString());
    ASSERT_EQ(ui.messages(), (Texts{"File not found"}));
    EXPECT_EQ(ui.boxes.back().buttons, MessageButtons::Ok);
    EXPECT_EQ(ui.boxes.back().icon, MessageIcon::None);
    EXPECT_EQ(ui.boxes.back().caption, applicationTitle());
    EXPECT_EQ(list().count(), 0);

    load(write("empty.txt", ""));
    EXPECT_EQ(list().count(), 0);
    EXPECT_EQ(ui.messages().size(), 1u);

    ui.answerFileDialog("");  // cancelled
    commands->loadFromTextFile();
    EXPECT_EQ(list().count(), 0);
}

TEST_F(ReaderTest, EveryLineEndStyleGivesExactlyTheFilesLines) {
    for (const std::string end : {"\n", "\r\n", "\r"}) {
        commands->clearList();
        load(write("ends.txt", "www.a.com" + end + "www.b.com" + end));
        EXPECT_EQ(texts(), (Texts{"www.a.com", "www.b.com"})) << "line end of " << end.size() << " bytes";
        commands->clearList();
        load(write("blank.txt", "www.a.com" + end + end + "www.c.com"));
        EXPECT_EQ(texts(), (Texts{"www.a.com", "", "www.c.com"})) << "line end of " << end.size() << " bytes";
    }
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(ReaderTest, NamesOutsideAsciiAreFoundAndRead) {
    const QString folder = dir.filePath(QString::fromUtf8("Listen \xC3\xA9t\xC3\xA9"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile file(folder + QString::fromUtf8("/adressen \xC3\xBC \xE2\x82\xAC.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("www.a.com\r\nwww.b.com\r\n");
    file.close();
    load(QDir::toNativeSeparators(file.fileName()).toStdString());
    EXPECT_EQ(texts(), (Texts{"www.a.com", "www.b.com"}));
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(ReaderTest, FolderAndPipeAreReportedAtStatement118) {
    fill({"kept"});
    load(dir.path().toStdString());
    const std::string fifo = dir.filePath(QStringLiteral("pipe")).toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    load(fifo);  // must not wait for a writer
    const Texts expected(2, report("Path/File access error", "PushButton13_Click", list_statement::kReadOneFile));
    EXPECT_EQ(ui.messages(), expected);
    EXPECT_EQ(texts(), (Texts{"kept"}));
    EXPECT_EQ(ui.boxes.back().caption, kErrorReportCaption);
}

TEST_F(ReaderTest, ReadErrorIsReportedAtStatement118) {
    // A file that exists and opens but whose first read fails.
    fill({"kept"});
    load("/proc/self/mem");
    EXPECT_EQ(ui.messages(), (Texts{report("Device I/O error", "PushButton13_Click", list_statement::kReadOneFile)}));
    EXPECT_EQ(texts(), (Texts{"kept"}));
}

TEST_F(ReaderTest, UnreadableFileIsReportedAtStatement118) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root, which can read a file without read permission";
    const std::string path = write("locked.txt", "www.a.com\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    load(path);
    EXPECT_EQ(ui.messages(), (Texts{report("Permission denied", "PushButton13_Click", list_statement::kReadOneFile)}));
    EXPECT_EQ(list().count(), 0);
}

TEST_F(ReaderTest, SeveralFilesAreAppendedAsPathsWithoutBeingRead) {
    ui.answerFileDialog(std::string("/data/lists\0b.txt\0a.txt", 23));
    commands->loadFromTextFile();
    ui.answerFileDialog(std::string("/\0x.txt\0y.txt", 13));  // the root folder
    commands->loadFromTextFile();
    EXPECT_EQ(texts(), (Texts{"/data/lists/b.txt", "/data/lists/a.txt", "/x.txt", "/y.txt"}));
    EXPECT_TRUE(ui.messages().empty());
}

TEST(PathCleanUp, WindowsAndPosixRules) {
    EXPECT_EQ(cleanWindowsPath("C:\\\\a.txt"), "C:\\a.txt");                  // root folder + separator
    EXPECT_EQ(cleanWindowsPath("C:\\dir\\\\\\x.txt"), "C:\\dir\\\\x.txt");    // three become two
    EXPECT_EQ(cleanWindowsPath("C:\\dir\\\\\\\\x.txt"), "C:\\dir\\\\x.txt");  // four become two
    EXPECT_EQ(cleanWindowsPath("\\\\server\\share\\\\f.txt"), "\\\\server\\share\\f.txt");
    EXPECT_EQ(cleanWindowsPath("\\\\\\\\server\\f.txt"), "\\\\server\\f.txt");  // exactly two leading
    EXPECT_EQ(cleanWindowsPath("\\f.txt"), "\\\\f.txt");
    EXPECT_EQ(cleanWindowsPath(""), "");
    EXPECT_EQ(cleanPosixPath("//x.txt"), "/x.txt");
    EXPECT_EQ(cleanPosixPath("/home//u///f.txt"), "/home/u/f.txt");
    EXPECT_EQ(cleanPosixPath("rel/a\\\\b"), "rel/a\\\\b");
}

}  // namespace
}  // namespace qf::testing
