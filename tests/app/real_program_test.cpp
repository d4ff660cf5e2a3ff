// The real executable under a virtual X server: its window appears with the
// product name as caption and the design's client size.

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

// Starts the program, waits until its window is mapped (a loaded machine may
// take seconds), prints the window's name and geometry, then stops the program.
const char* const kScript = R"sh(
"$1" &
pid=$!
window=""
for i in $(seq 1 300); do
  window="$(xdotool search --onlyvisible --name '^Quillfen$' 2>/dev/null | head -n1)"
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then echo "no window"; kill $pid; exit 1; fi
sleep 0.2
echo "name: $(xdotool getwindowname "$window")"
xwininfo -id "$window"
kill $pid
)sh";

TEST(RealProgram, WindowAppearsWithItsCaptionAndDesignSize) {
    for (const char* tool : {"Xvfb", "xdotool", "xwininfo"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) GTEST_SKIP() << tool << " is not installed";

    QTemporaryDir config;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.insert(u"XDG_CONFIG_HOME"_s, config.path());
    QProcess run;
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QStringLiteral(QUILLFEN_VIRTUAL_DISPLAY), {u"1024x768x24"_s, u"sh"_s, u"-c"_s, QLatin1String(kScript),
                                                         u"sh"_s, QStringLiteral(QUILLFEN_EXECUTABLE)});
    ASSERT_TRUE(run.waitForFinished(90000));
    const QString output = QString::fromLocal8Bit(run.readAll());
    ASSERT_EQ(run.exitCode(), 0) << output.toStdString();

    EXPECT_TRUE(output.contains(u"name: Quillfen\n"_s)) << output.toStdString();
    const auto width = QRegularExpression(u"Width: (\\d+)"_s).match(output);
    const auto height = QRegularExpression(u"Height: (\\d+)"_s).match(output);
    ASSERT_TRUE(width.hasMatch() && height.hasMatch()) << output.toStdString();
    EXPECT_EQ(width.captured(1).toInt(), 536);
    EXPECT_EQ(height.captured(1).toInt(), 466);
    EXPECT_TRUE(output.contains(u"Map State: IsViewable"_s)) << output.toStdString();
}

}  // namespace
