#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/failure.h"
#include "platform/child_process.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qf::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The stand-in child (pipe_child.cpp) doing what mode says.
ChildProcess start(const std::string& mode, std::vector<std::string> more = {}) {
    more.insert(more.begin(), mode);
    return ChildProcess(QUILLFEN_PIPE_CHILD, more);
}

struct Reading {
    std::string data;
    bool closed = false;  // read gave -1
};

// What the child writes, until size bytes came or it closed its end (20 s at most).
Reading readFrom(ChildProcess& child, std::size_t size = std::string::npos) {
    Reading r;
    std::vector<char> buffer(65536);
    for (const auto end = Clock::now() + 20s; r.data.size() < size && Clock::now() < end;) {
        const std::ptrdiff_t n = child.read(buffer.data(), std::min(buffer.size(), size - r.data.size()), 100ms);
        if (n < 0) {
            r.closed = true;
            break;
        }
        r.data.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return r;
}

std::string pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i % 251);
    return data;
}

#ifndef _WIN32
// Whether a process is gone: no more, or a zombie its new parent has not collected.
bool gone(const std::string& id) {
    for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(50ms)) {
        std::string stat;
        if (!std::getline(std::ifstream("/proc/" + std::to_string(std::stol(id)) + "/stat"), stat)) return true;
        if (stat.substr(stat.rfind(')') + 2, 1) == "Z") return true;
    }
    return false;
}
#endif

TEST(ChildProcess, EchoesMoreThanAPipeHoldsWhileBothDirectionsRunAtOnce) {
    ChildProcess child = start("echo");
    const std::string sent = pattern(1 << 20);
    bool written = false;
    std::thread writer([&] { written = child.write(sent.data(), sent.size()); });
    const Reading back = readFrom(child, sent.size());
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_TRUE(back.data == sent) << back.data.size() << " bytes came back";
}

// A child that ends by itself: all it wrote is read, then -1, and writing to it
// fails without ending this program.
TEST(ChildProcess, AnEndedChildIsReadToTheEndThenRefusesWrites) {
    for (const auto& [mode, expected] : {std::pair{"exit", std::string()}, {"flood", pattern(1 << 20)}}) {
        SCOPED_TRACE(mode);
        ChildProcess child = start(mode);
        const Reading r = readFrom(child);
        EXPECT_TRUE(r.closed);
        EXPECT_TRUE(r.data == expected) << r.data.size() << " bytes came";
        for (const auto end = Clock::now() + 5s; child.running() && Clock::now() < end;)
            std::this_thread::sleep_for(10ms);
        EXPECT_FALSE(child.running());
        EXPECT_FALSE(child.write("x", 1));
    }
}

// A hung child: reads time out with 0, and kill ends it and what it started.
TEST(ChildProcess, KillEndsAHungChildAndWhatItStarted) {
    for (const std::string mode : {"hang", "grandchild"}) {
        SCOPED_TRACE(mode);
        ChildProcess child = start(mode);
        const std::string id = readFrom(child, 16).data;  // the hanging process's
        ASSERT_EQ(id.size(), 16u);
        char byte = 0;
        auto began = Clock::now();
        EXPECT_EQ(child.read(&byte, 1, 300ms), 0);
        EXPECT_GE(Clock::now() - began, 250ms);
        EXPECT_TRUE(child.running());

        began = Clock::now();
        child.kill();
        EXPECT_LT(Clock::now() - began, 3s);
        EXPECT_FALSE(child.running());
        EXPECT_TRUE(readFrom(child).closed);  // nothing holds its end any more
#ifndef _WIN32
        EXPECT_TRUE(gone(id));
#endif
        EXPECT_FALSE(child.write("x", 1));
        child.kill();
    }
}

#ifndef _WIN32
// Where this program's free descriptors lie decides which numbers its pipes get:
// here the pipe the child reads is 95 and 96, the one it writes 97 and 100.
TEST(ChildProcess, ItsPipesAreRightWhateverNumbersTheyHaveHere) {
    std::vector<int> held;
    for (int fd = 0; fd < 101;) held.push_back(fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC));
    for (int& fd : held)
        if (fd == 95 || fd == 96 || fd == 97 || fd == 100) ::close(std::exchange(fd, -1));
    ChildProcess child = start("echo");
    EXPECT_TRUE(child.write("hi", 2));
    EXPECT_EQ(readFrom(child, 2).data, "hi");
    for (int fd : held)
        if (fd >= 0) ::close(fd);
}
#endif

TEST(ChildProcess, AProgramThatCannotBeStartedIsAFailureNamingIt) {
    const std::string missing = std::string(QUILLFEN_PIPE_CHILD) + "-missing";
    try {
        ChildProcess child(missing, {});
        ADD_FAILURE() << "started";
    } catch (const Failure& failure) {
        EXPECT_THAT(failure.what(), ::testing::StartsWith(missing + " could not be started: "));
        EXPECT_GT(std::string(failure.what()).size(), missing.size() + 30);
    }
}

TEST(ChildProcess, ArgumentsArriveAsTheyWereGiven) {
    const std::vector<std::string> arguments = {
        "with space",          "",           "a \"quoted\" word", "\"",
        "C:\\Program Files\\", "dir\\\\\"x", "Grüße, 日本語 ✓",   "\ttab and\nnewline"};
    ChildProcess child = start("argv", arguments);
    const Reading r = readFrom(child);
    std::string expected;
    for (const std::string& a : arguments) expected += a + '\0';
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(r.data, expected);
}

TEST(RegisteredApplication, IsTheUsersAppPathsEntryAndEmptyWithoutOne) {
    EXPECT_EQ(registeredApplication("quillfen-no-such-program.exe"), "");
#ifdef _WIN32
    const wchar_t* key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\quillfen-test-prüf.exe";
    const std::wstring path = L"\"C:\\Program Files\\Prüf\\prüf.exe\"";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key, nullptr, REG_SZ, path.c_str(),
                                static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    EXPECT_EQ(registeredApplication("quillfen-test-prüf.exe"), "C:\\Program Files\\Prüf\\prüf.exe");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, key);
#endif
}

}  // namespace
}  // namespace qf::platform
