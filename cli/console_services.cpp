#include "console_services.h"

#ifndef _WIN32
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace qf::cli {

namespace {

// The message box's button sets and their answers, in the order shown.
constexpr int kButtonsMask = 7;
constexpr int kDefaultButtonMask = 0x300;  // second (0x100) or third (0x200) button is the default
constexpr int kAnswerOk = 1, kAnswerCancel = 2, kAnswerAbort = 3, kAnswerRetry = 4, kAnswerIgnore = 5,
              kAnswerYes = 6, kAnswerNo = 7;

bool isShownControl(char c) { return c == '\n' || c == '\t'; }

}  // namespace

char printableChar(char c) {
    // No control character reaches the terminal: an escape sequence could take it over.
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
}

int defaultAnswer(int flags) {
    static constexpr int kButtons[6][3] = {
        {kAnswerOk, kAnswerOk, kAnswerOk},              // OK
        {kAnswerOk, kAnswerCancel, kAnswerCancel},      // OK, Cancel
        {kAnswerAbort, kAnswerRetry, kAnswerIgnore},    // Abort, Retry, Ignore
        {kAnswerYes, kAnswerNo, kAnswerCancel},         // Yes, No, Cancel
        {kAnswerYes, kAnswerNo, kAnswerNo},             // Yes, No
        {kAnswerRetry, kAnswerCancel, kAnswerCancel},   // Retry, Cancel
    };
    const int set = flags & kButtonsMask;
    if (set > 5) return kAnswerOk;
    const int which = (flags & kDefaultButtonMask) >> 8;
    return kButtons[set][which > 2 ? 0 : which];
}

std::string asLines(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += isShownControl(text[i]) ? text[i] : printableChar(text[i]);
        }
    }
    if (out.empty() || out.back() != '\n') out += '\n';
    return out;
}

int ConsoleServices::messageBox(const std::string& text, int flags, const std::string&) {
    if (beforeMessage_) beforeMessage_();
    const std::string lines = asLines(text);
    std::fwrite(lines.data(), 1, lines.size(), out_);
    std::fflush(out_);
    return defaultAnswer(flags);
}

std::string ConsoleServices::inputBox(const std::string&, const std::string&, const std::string& defaultText) {
    return defaultText;
}

std::string ConsoleServices::openFileDialog(const FileDialogRequest&) { return {}; }

void ConsoleServices::processPendingEvents() {}

bool ConsoleServices::openDocument(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    pid_t child = 0;
    char opener[] = "xdg-open";
    std::string file = path;
    char* const argv[] = {opener, file.data(), nullptr};
    if (::posix_spawnp(&child, opener, nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

}  // namespace qf::cli
