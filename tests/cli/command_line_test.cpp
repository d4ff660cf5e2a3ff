// The command line's arguments and the console's message boxes.

#include <gtest/gtest.h>

#include "base/failure.h"
#include "base/trap.h"
#include "base/window_services.h"
#include "cli/command_line.h"
#include "cli/console_services.h"

namespace qf::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, ImportFormsAndTheirOptions) {
    ParseResult r = parseArguments({"--import", "a.txt", "--one-sheet", "b.txt", "--output", "out.xlsx", "--force"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.action, Action::Import);
    EXPECT_EQ(r.options.files, (Args{"a.txt", "b.txt"}));
    EXPECT_EQ(r.options.sheetMode, SheetMode::OneSheet);
    EXPECT_EQ(r.options.output, "out.xlsx");
    EXPECT_TRUE(r.options.force);
    EXPECT_FALSE(r.options.open);

    r = parseArguments({"--import", "--separate-sheets", "--output=Book.XLSX", "--open", "--", "--odd name.txt"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.sheetMode, SheetMode::SheetPerSite);
    EXPECT_EQ(r.options.output, "Book.XLSX");
    EXPECT_TRUE(r.options.open);
    EXPECT_EQ(r.options.files, (Args{"--odd name.txt"}));

    r = parseArguments({"--import", "a.txt"});
    EXPECT_FALSE(r.options.sheetMode.has_value());  // the remembered mode
    EXPECT_EQ(r.options.output, "");
    EXPECT_EQ(r.options.locale, "");   // the remembered one, else each page's own
    EXPECT_EQ(r.options.scripts, "");  // the remembered one, else auto
    for (const char* when : {"auto", "always", "never"}) {
        EXPECT_EQ(parseArguments({"--import", "a.txt", "--scripts", when}).options.scripts, when);
        EXPECT_EQ(parseArguments({"--import", "--scripts=" + std::string(when), "a.txt"}).options.scripts, when);
    }

    for (const auto& [args, tag] :
         std::vector<std::pair<Args, std::string>>{{{"--import", "a.txt", "--locale", "de-CH"}, "de-CH"},
                                                   {{"--import", "--locale=sr_Latn_RS", "a.txt"}, "sr_Latn_RS"},
                                                   // as LANG names a locale
                                                   {{"--import", "--locale", "de_DE.UTF-8", "a.txt"}, "de-DE"},
                                                   {{"--import", "--locale", "de_DE@euro", "a.txt"}, "de-DE"},
                                                   {{"--import", "--locale", "fr_CA.utf8@euro", "a.txt"}, "fr-CA"},
                                                   {{"--import", "--locale", "sr_RS@latin", "a.txt"}, "sr-Latn-RS"},
                                                   {{"--import", "--locale", "uz@cyrillic", "a.txt"}, "uz-Cyrl"}}) {
        r = parseArguments(args);
        ASSERT_EQ(r.error, "") << tag;
        EXPECT_EQ(r.options.locale, tag);
        EXPECT_EQ(r.options.files, Args{"a.txt"});
    }
    r = parseArguments({"--import", "a.txt", "--user-agent", "Mozilla/5.0 (X11)", "--cookies=c.txt"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.userAgent, "Mozilla/5.0 (X11)");
    EXPECT_EQ(r.options.cookieFile, "c.txt");
}

TEST(CommandLine, BadArgumentsAreRefusedWithTheReason) {
    const std::vector<std::pair<Args, std::string>> table = {
        {{"--import"}, "--import needs at least one list file"},
        {{"--import", "a.txt", "--one-sheet", "--separate-sheets"},
         "--separate-sheets and --one-sheet cannot be given together"},
        {{"--import", "a.txt", "--output"}, "--output needs a file name"},
        {{"--import", "a.txt", "--output="}, "--output needs a file name"},
        {{"--import", "a.txt", "--output", "out.csv"}, "the output file must end in .xlsx: out.csv"},
        {{"--import", "a.txt", "--output", ".xlsx"}, "the output file must end in .xlsx: .xlsx"},
        {{"--import", "a.txt", "--quiet"}, "unknown option --quiet"},
        {{"a.txt", "--one-sheet"}, "--one-sheet is an option of --import"},
        {{"--output", "x.xlsx", "a.txt"}, "--output is an option of --import"},
        {{"--import", "a.txt", "--locale"}, "--locale needs a language tag, such as de-CH"},
        {{"--import", "a.txt", "--locale="}, "--locale needs a language tag, such as de-CH"},
        {{"--import", "a.txt", "--locale", "de CH"}, "not a language tag: de CH"},
        {{"--import", "a.txt", "--locale", "-de"}, "not a language tag: -de"},
        {{"--import", "a.txt", "--locale", "de--CH"}, "not a language tag: de--CH"},
        {{"a.txt", "--locale", "de"}, "--locale is an option of --import"},
        {{"--import", "a.txt", "--scripts"}, "--scripts takes auto, always or never"},
        {{"--import", "a.txt", "--scripts=sometimes"}, "--scripts takes auto, always or never, not sometimes"},
        {{"a.txt", "--scripts", "never"}, "--scripts is an option of --import"},
        {{"--import", "a.txt", "--locale", "C.UTF-8"},
         "the locale C names no language; give a language tag, such as de-CH"},
        {{"--import", "a.txt", "--locale", "POSIX"},
         "the locale POSIX names no language; give a language tag, such as de-CH"},
        {{"--import", "a.txt", "--locale", ".UTF-8"}, "--locale needs a language tag, such as de-CH"},
        {{"--import", "a.txt", "--user-agent"}, "--user-agent needs a text"},
        {{"--import", "a.txt", "--user-agent="}, "--user-agent needs a text"},
        {{"--import", "a.txt", "--cookies"}, "--cookies needs a file name"},
        {{"a.txt", "--cookies", "c.txt"}, "--cookies is an option of --import"},
        {{"a.txt", "--user-agent=Agent"}, "--user-agent is an option of --import"},
    };
    for (const auto& [args, error] : table) EXPECT_EQ(parseArguments(args).error, error) << args.front();
    // The same mode twice is no conflict.
    EXPECT_EQ(parseArguments({"--import", "a", "--one-sheet", "--one-sheet"}).error, "");
}

TEST(CommandLine, WindowFormTakesEveryArgumentAsAListFile) {
    const ParseResult r = parseArguments({"list one.txt", "-", "--", "--import"});
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.options.action, Action::Window);
    EXPECT_EQ(r.options.files, (Args{"list one.txt", "-", "--import"}));
    EXPECT_TRUE(parseArguments({}).options.files.empty());
}

TEST(CommandLine, HelpAndVersionNeedNoWindow) {
    EXPECT_TRUE(wantsNoWindow({"--import", "a.txt"}));
    EXPECT_TRUE(wantsNoWindow({"a.txt", "--help"}));
    EXPECT_TRUE(wantsNoWindow({"--version"}));
    EXPECT_FALSE(wantsNoWindow({"a.txt"}));
    EXPECT_FALSE(wantsNoWindow({"--", "--import"}));  // a file named --import
    EXPECT_EQ(parseArguments({"--import", "--bogus", "--help"}).error, "unknown option --bogus");
    EXPECT_EQ(parseArguments({"--import", "--help"}).options.action, Action::Help);
    EXPECT_EQ(versionText().rfind("quillfen ", 0), 0u);
    EXPECT_NE(usageText().find("--separate-sheets"), std::string::npos);
}

TEST(ConsoleServices, MessagesBecomeLinesAndQuestionsTakeTheirDefault) {
    EXPECT_EQ(defaultAnswer(MessageButtons::Ok), MessageAnswer::Ok);
    EXPECT_EQ(defaultAnswer(MessageButtons::OkCancel), MessageAnswer::Ok);
    EXPECT_EQ(defaultAnswer(MessageButtons::AbortRetryIgnore), MessageAnswer::Abort);
    EXPECT_EQ(defaultAnswer(MessageButtons::YesNoCancel), MessageAnswer::Yes);
    EXPECT_EQ(defaultAnswer(MessageButtons::YesNo), MessageAnswer::Yes);
    EXPECT_EQ(defaultAnswer(MessageButtons::RetryCancel), MessageAnswer::Retry);

    EXPECT_EQ(asLines("Done."), "Done.\n");
    EXPECT_EQ(asLines("a\r\n\r\nb\rc\nd\r\n"), "a\n\nb\nc\nd\n");
    EXPECT_EQ(asLines(""), "\n");
    EXPECT_EQ(asLines("url\x1b]0;title\x07\tend\x7f"), "url?]0;title?\tend?\n");

    std::FILE* out = std::tmpfile();
    ConsoleServices console(out);
    int cleared = 0;
    console.setBeforeMessage([&cleared] { ++cleared; });
    EXPECT_EQ(console.messageBox("Would you like to proceed anyway?", MessageButtons::YesNo, MessageIcon::Question),
              MessageAnswer::Yes);
    EXPECT_EQ(console.inputBox("Add", "", "www.x.com"), "www.x.com");
    EXPECT_EQ(console.openFileDialog({}), "");
    EXPECT_EQ(cleared, 1);
    std::rewind(out);
    char buffer[128] = {};
    EXPECT_EQ(std::string(buffer, std::fread(buffer, 1, sizeof buffer, out)), "Would you like to proceed anyway?\n");
    std::fclose(out);
}

// A trapped failure on the command line says which step failed and why, on one
// line, and nothing of the window's error report.
TEST(ConsoleServices, FailuresAreToldInTheCommandLinesWords) {
    const RunLocations run{"run ", "web import "};
    struct Case {
        std::string location;
        int line;
        std::string expected;
    };
    const Case table[] = {
        {run.run, run_statement::kShowWorkbook, "quillfen: writing the workbook failed: Disk full\n"},
        {run.run, run_statement::kStartSpreadsheet, "quillfen: starting the workbook failed: Disk full\n"},
        {run.run, run_statement::kAddSheet, "quillfen: adding a sheet failed: Disk full\n"},
        {run.webImport, web_import_statement::kAddPageAtA1, "quillfen: importing a page failed: Disk full\n"},
        {run.run, run_statement::kClosingBox, "quillfen: Disk full\n"},    // a step with no name of its own
        {"list ", run_statement::kShowWorkbook, "quillfen: Disk full\n"},  // another handler's statement
    };
    for (const auto& [location, line, expected] : table) {
        std::FILE* out = std::tmpfile();
        ConsoleServices console(out, run);
        Trap trap(console, location);
        trap.step(line, [] { throw Failure("Disk full"); });
        std::rewind(out);
        char buffer[256] = {};
        EXPECT_EQ(std::string(buffer, std::fread(buffer, 1, sizeof buffer, out)), expected) << line;
        std::fclose(out);
    }
}

}  // namespace
}  // namespace qf::cli
