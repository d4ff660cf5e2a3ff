// The installed program's command line: quillfen --import as its own process,
// with no display and no Qt platform named.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/import/loopback_server.h"
#include "tests/import/xlsx_reader.h"
#include "support/test_helpers.h"

namespace qf::cli {
namespace {

namespace fs = std::filesystem;

std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Outcome {
    int status = -1;
    std::string out, err;
};

class Program : public ::testing::Test {
protected:
    void SetUp() override { home = testing::newTempFolder("program"); }
    void TearDown() override { fs::remove_all(home); }

    // The program with a fresh home, no display and no Qt platform unless the
    // environment ("NAME=value ...") names them.
    Outcome run(const std::string& arguments, const std::string& environment = "", const std::string& umask = "022") {
        const std::string command = "umask " + umask +
                                    "; env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME=" + shellQuoted(home) +
                                    " XDG_CONFIG_HOME=" + shellQuoted(home + "/.config") + " " + environment + " " +
                                    shellQuoted(QUILLFEN_EXECUTABLE) + " " + arguments + " >" +
                                    shellQuoted(home + "/out") + " 2>" + shellQuoted(home + "/err") + " </dev/null";
        Outcome result;
        const int status = std::system(command.c_str());
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = contents(home + "/out");
        result.err = contents(home + "/err");
        return result;
    }
    std::string home;
};

// How a page's values are read: each page's own conventions, the Locale
// setting, --locale over it; a tag CLDR does not know is refused.
TEST_F(Program, ALocaleFromTheSettingsOrTheCommandLineReadsEveryPage) {
    testing::LoopbackServer server;
    server.page("/a.html", "<html lang='en'><table><tr><td>1.500</td></tr></table>");
    const std::string list = home + "/list.txt";
    std::ofstream(list) << server.url("/a.html") << "\n";
    auto firstCell = [&](const std::string& arguments) {
        const Outcome r = run("--import " + shellQuoted(list) + " --output " + shellQuoted(home + "/out.xlsx") +
                              " --force " + arguments);
        EXPECT_EQ(r.status, 0) << r.err;
        return testing::readXlsx(home + "/out.xlsx").at("Sheet1", "A1");
    };
    EXPECT_EQ(firstCell(""), "float:1.5") << "the page's own English";
    fs::create_directories(home + "/.config");
    std::ofstream(home + "/.config/Tarnwick.ini") << "[Quillfen]\nLocale=de-DE\n";
    EXPECT_EQ(firstCell(""), "int:1500") << "the setting";
    EXPECT_EQ(firstCell("--locale en-US"), "float:1.5") << "the command line over the setting";
    std::ofstream(home + "/.config/Tarnwick.ini") << "[Quillfen]\nLocale=xx-QQ\n";
    EXPECT_EQ(firstCell(""), "float:1.5") << "a setting CLDR does not know leaves each page its own";

    const Outcome r = run("--import " + shellQuoted(list) + " --locale xx-QQ");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quillfen: unknown locale xx-QQ; give a language tag, such as de-CH\n");
}

// Sites that answer only a browser's requests: the user agent, the language
// and cookies from the command line or the settings; a cookie file or a user
// agent that cannot be used is refused before any request.
TEST_F(Program, TheRequestsAreABrowsersWithTheAgentLanguageAndCookiesAskedFor) {
    testing::LoopbackServer server;
    // Each page shows the request header it is named after; refused without it.
    for (const char* name : {"User-Agent", "Accept-Language", "Cookie"})
        server.handle("/" + std::string(name), [name](const testing::ScriptedHttpServer::Request& r,
                                                      testing::ScriptedHttpServer::Connection& c) {
            const std::string value = r.header(name);
            c.send(
                testing::ScriptedHttpServer::response(value.empty() ? 403 : 200, "text/html", "<p>" + value + "</p>"));
        });
    const std::string cookies = home + "/cookies.txt", bad = home + "/bad.txt", list = home + "/list.txt";
    std::ofstream(cookies) << "# Netscape HTTP Cookie File\n127.0.0.1\tFALSE\t/\tFALSE\t0\tlogin\tyes\n";
    std::ofstream(bad) << "# Netscape HTTP Cookie File\n127.0.0.1 FALSE / FALSE 0 login yes\n";
    fs::create_directories(home + "/.config");
    struct Case {
        std::string settings, arguments, path, cell;
    };
    const Case cases[] = {
        {"", "", "/User-Agent", "str:Mozilla/5.0 (compatible; Quillfen/1.0.0)"},
        {"UserAgent=Field Test/2\n", "", "/User-Agent", "str:Field Test/2"},
        {"UserAgent=Field Test/2\n", "--user-agent 'Mozilla/5.0 (X11)'", "/User-Agent", "str:Mozilla/5.0 (X11)"},
        {"Locale=de-DE\n", "", "/Accept-Language", "str:de-DE,de;q=0.9,en;q=0.8"},
        {"Locale=de-DE\n", "--locale=fr-CH", "/Accept-Language", "str:fr-CH,fr;q=0.9,en;q=0.8"},
        {"", "", "/Cookie", ""},
        {"", "--cookies " + shellQuoted(cookies), "/Cookie", "str:login=yes"},
        {"CookieFile=" + cookies + "\n", "", "/Cookie", "str:login=yes"},
    };
    for (const Case& c : cases) {
        std::ofstream(home + "/.config/Tarnwick.ini") << "[Quillfen]\n" << c.settings;
        std::ofstream(list) << server.url(c.path) << "\n";
        const Outcome r = run("--import " + shellQuoted(list) + " --output " + shellQuoted(home + "/out.xlsx") +
                                  " --force " + c.arguments,
                              "LANG=C");
        EXPECT_EQ(r.status, c.cell.empty() ? 1 : 0) << c.arguments << r.err;
        EXPECT_EQ(testing::readXlsx(home + "/out.xlsx").at("Sheet1", "A1"), c.cell) << c.settings << c.arguments;
    }

    // Refused before any request; files other users may read are read, with a warning.
    std::ofstream(home + "/.config/Tarnwick.ini") << "[Quillfen]\n";
    std::ofstream(home + "/.netrc") << "machine 127.0.0.9 login a password b\n";
    fs::permissions(cookies, fs::perms::others_read, fs::perm_options::add);
    fs::permissions(home + "/.netrc", fs::perms::others_read, fs::perm_options::add);
    const std::string warning = " can be read or changed by other users; it is read all the same\n";
    const std::pair<std::string, std::string> outcomes[] = {
        {"--cookies " + shellQuoted(bad),
         "the cookie file " + bad + " cannot be used: line 2: not seven fields separated by tabs\n"},
        {"--cookies " + shellQuoted(home + "/none.txt"),
         "the cookie file " + home + "/none.txt cannot be read: No such file or directory\n"},
        {"--user-agent \"$(printf 'A\\r\\nX-Sneaked: 1')\"", "the user agent holds a line break\n"},
        {"--cookies " + shellQuoted(cookies),
         "warning: the cookie file " + cookies + warning + "quillfen: warning: " + home + "/.netrc" + warning},
    };
    const int before = server.requests();
    for (const auto& [arguments, message] : outcomes) {
        const Outcome r = run("--import " + shellQuoted(list) + " " + arguments);
        EXPECT_EQ(r.status, message.rfind("warning", 0) == 0 ? 0 : 2) << arguments;
        EXPECT_EQ(r.err.substr(0, r.err.find("[1/1]")), "quillfen: " + message) << arguments;
    }
    EXPECT_EQ(server.requests(), before + 1) << "only the run that was not refused";
}

TEST_F(Program, ImportsWithoutADisplayIntoTheDocumentsFolder) {
    testing::LoopbackServer server;
    server.page("/a.html", "<table><tr><td>Tea</td><td>3</td></tr></table>");
    server.page("/b.html", "<p>Second</p>", 500);
    const std::string list = home + "/list.txt";
    std::ofstream(list) << server.url("/a.html") << "\n";

    Outcome r = run("--import " + shellQuoted(list) + " --separate-sheets");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, home + "/Documents/Book1.xlsx\n");
    EXPECT_NE(r.err.find("[1/1] 100% "), std::string::npos) << r.err;
    const testing::XlsxContent book = testing::readXlsx(home + "/Documents/Book1.xlsx");
    EXPECT_EQ(book.error, "");
    EXPECT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(book.at("Sheet1", "B1"), "int:3");

    std::ofstream(list, std::ios::app) << server.url("/b.html") << "\n";
    r = run("--import " + shellQuoted(list));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, home + "/Documents/Book2.xlsx\n");  // never over the first

    r = run("--import " + shellQuoted(list) + " --output " + shellQuoted(home + "/Documents/Book1.xlsx"));
    EXPECT_EQ(r.status, 2);
    r = run("--import " + shellQuoted(list) + " --output " + shellQuoted(home + "/none/x.xlsx"));
    EXPECT_EQ(r.status, 2);  // before the first page
    EXPECT_EQ(r.err, "quillfen: cannot write the workbook to " + home + "/none/x.xlsx: the folder " + home +
                         "/none does not exist\n");
    r = run("--import");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quillfen: --import needs at least one list file\nTry 'quillfen --help' for more information.\n");
}

// A workbook is readable by whom the user's umask lets read any new file, as
// every other program on the desktop makes it, new or replacing one.
TEST_F(Program, WorkbooksGetThePermissionsOfAnyNewFile) {
    testing::LoopbackServer server;
    server.page("/a.html", "<p>Tea</p>");
    std::ofstream(home + "/list.txt") << server.url("/a.html") << "\n";
    const std::string output = " --output " + shellQuoted(home + "/out.xlsx");
    const std::vector<std::array<std::string, 4>> cases = {// umask, arguments, workbook, its permissions
                                                           {"022", "", home + "/Documents/Book1.xlsx", "644"},
                                                           {"027", output + " --force", home + "/out.xlsx", "640"}};
    for (const auto& [umask, arguments, written, permissions] : cases) {
        const Outcome r = run("--import " + shellQuoted(home + "/list.txt") + arguments, "", umask);
        EXPECT_EQ(r.out, written + "\n") << r.err;
        char shown[8];
        std::snprintf(shown, sizeof shown, "%o", static_cast<unsigned>(fs::status(written).permissions()));
        EXPECT_EQ(shown, permissions) << "umask " << umask << arguments;
    }
}

// The window's arguments are checked before Qt starts, so that neither bad
// ones nor a missing display end in Qt's abort. Qt's own options pass.
TEST_F(Program, TheWindowsArgumentsAndItsDisplayAreCheckedBeforeQtStarts) {
    const std::string tryHelp = "\nTry 'quillfen --help' for more information.\n";
    const std::string noDisplay =
        "quillfen: the window needs a display, and there is none (DISPLAY and WAYLAND_DISPLAY are not set)\n"
        "To import without a window: quillfen --import FILE...\n";
    const std::string nowhere = "DISPLAY=:97";  // a display no server answers: Qt would abort
    const std::vector<std::array<std::string, 3>> cases = {
        {"", "--versio", "quillfen: unknown option --versio" + tryHelp},
        {"", "list.txt -style", "quillfen: -style needs a value" + tryHelp},
        {"", "-platform offscreen --style=fusion -reverse --bogus", "quillfen: unknown option --bogus" + tryHelp},
        {"", "list.txt", noDisplay},
        {"QT_QPA_PLATFORM=offscreen", "-platform xcb", noDisplay},
        {nowhere, "--bogus", "quillfen: unknown option --bogus" + tryHelp},
        {nowhere, "-display :98 list.txt --force", "quillfen: --force is an option of --import" + tryHelp},
    };
    for (const auto& [environment, arguments, err] : cases) {
        const Outcome r = run(arguments, environment);
        EXPECT_EQ(r.status, 2) << environment << " quillfen " << arguments;
        EXPECT_EQ(r.err, err) << environment << " quillfen " << arguments;
    }
}

TEST_F(Program, HelpAndVersionWithoutADisplay) {
    Outcome r = run("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("quillfen ", 0), 0u);
    r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--import FILE..."), std::string::npos);
    EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace qf::cli
