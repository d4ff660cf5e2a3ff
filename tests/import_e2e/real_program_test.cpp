// The real executable under a virtual X server, driven by real input events:
// two loopback pages typed in through "Add URL", "Start Importing" clicked, and
// the workbook found in the documents folder.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/import/loopback_server.h"
#include "tests/import/xlsx_reader.h"

namespace {

using namespace Qt::StringLiterals;
using Strings = std::vector<std::string>;

// $1 the program, $2 and $3 the addresses, $4 the documents folder, $5 an
// address that fails. Places are
// the design's, in pixels at 96 dots per inch (15 twips to the pixel).
const char* const kScript = R"sh(
program="$1"; first="$2"; second="$3"; documents="$4"; failing="$5"
"$program" &
pid=$!
trap 'kill $pid 2>/dev/null' EXIT
windows() { xdotool search --onlyvisible --name '^Quillfen$' 2>/dev/null; }
main=""
for i in $(seq 1 150); do main="$(windows | head -n1)"; [ -n "$main" ] && break; sleep 0.1; done
[ -n "$main" ] || { echo "no window"; exit 1; }
sleep 0.5
add_url() {
  xdotool mousemove --window "$main" 136 230 click 1
  dialog=""
  for i in $(seq 1 100); do dialog="$(windows | grep -vx "$main" | head -n1)"; [ -n "$dialog" ] && break; sleep 0.1; done
  [ -n "$dialog" ] || { echo "no input box"; exit 1; }
  sleep 0.3
  xdotool windowfocus --sync "$dialog"
  xdotool type --delay 5 "$1"
  xdotool key Return
  for i in $(seq 1 100); do [ -z "$(windows | grep -vx "$main")" ] && break; sleep 0.1; done
}
add_url "$first"
add_url "$failing"
add_url "$second"
xdotool mousemove --window "$main" 268 410 click 1
for i in $(seq 1 600); do
  found="$(ls "$documents"/*.xlsx 2>/dev/null | head -n1)"
  [ -n "$found" ] && break
  sleep 0.1
done
[ -n "$found" ] || { echo "no workbook written"; exit 1; }
echo "workbook: $found"
)sh";

TEST(RealProgram, ImportsTwoPagesTypedInThroughTheWindow) {
    for (const char* tool : {"Xvfb", "xdotool"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) GTEST_SKIP() << tool << " is not installed";

    qf::testing::LoopbackServer server;
    server.page("/first.html", "<html><body><p>First page</p></body></html>");
    server.page("/second.html",
                "<html lang='en'><body><table><tr><td>Second</td><td>42</td><td>1.500</td></tr></table></body></html>");

    QTemporaryDir home;
    const QString config = home.filePath(u"config"_s);
    const QString documents = home.filePath(u"Documents"_s);
    QDir().mkpath(config);
    QDir().mkpath(documents);
    QFile dirs(config + u"/user-dirs.dirs"_s);
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DOCUMENTS_DIR=\"" + documents.toUtf8() + "\"\n");
    dirs.close();
    // The window reads every page in the settings' locale.
    QFile settings(config + u"/Tarnwick.ini"_s);
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[Quillfen]\nLocale=de-DE\n");
    settings.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.insert(u"HOME"_s, home.path());
    environment.insert(u"XDG_CONFIG_HOME"_s, config);
    QProcess run;
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QStringLiteral(QUILLFEN_VIRTUAL_DISPLAY),
              {u"1024x768x24"_s, u"sh"_s, u"-c"_s, QLatin1String(kScript), u"sh"_s, QStringLiteral(QUILLFEN_EXECUTABLE),
               QString::fromStdString(server.url("/first.html")), QString::fromStdString(server.url("/second.html")),
               documents, QString::fromStdString(server.url("/missing.html"))});
    ASSERT_TRUE(run.waitForFinished(90000));
    const std::string output = QString::fromLocal8Bit(run.readAll()).toStdString();
    ASSERT_EQ(run.exitCode(), 0) << output;

    const QStringList written = QDir(documents).entryList({u"*.xlsx"_s});
    ASSERT_EQ(written.size(), 1) << output;
    const auto book = qf::testing::readXlsx(QDir(documents).filePath(written.front()).toStdString());
    ASSERT_EQ(book.error, "");
    ASSERT_EQ(book.sheets.size(), 1u);
    const std::string& sheet = book.sheets.front();
    // The newest page on top.
    EXPECT_EQ(book.at(sheet, "A1"), "str:Second");
    EXPECT_EQ(book.at(sheet, "B1"), "int:42");
    EXPECT_EQ(book.at(sheet, "C1"), "int:1500") << "read in de-DE though the page says en";
    EXPECT_EQ(book.at(sheet, "A2"), "str:First page");
    Strings asked = server.requested();
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, (Strings{"/first.html", "/missing.html", "/second.html"}))
        << "each page once, the failing one too";
}

}  // namespace
