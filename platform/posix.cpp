#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <pwd.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/statfs.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

#include "base/failure.h"
#include "platform.h"

extern char** environ;

namespace qf::platform {

namespace {

std::string errnoText(int error) { return std::strerror(error); }

// fsync on what path names, opened with flags; EINVAL means the thing cannot be
// synced, so there is nothing to do.
void syncPath(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) throw Failure(errnoText(errno));
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (rc != 0 && error != EINVAL) throw Failure(errnoText(error));
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs: a quoted "$HOME/..." or absolute path.
// Empty when absent, malformed, or set to the home folder itself (which means
// the folder is disabled).
std::string documentsFromUserDirs(const std::string& file, const std::string& home) {
    std::ifstream in(file);
    std::string line, found;
    while (std::getline(in, line)) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.compare(start, key.size(), key) != 0) continue;
        std::string value = line.substr(start + key.size());
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        if (value.size() < 2 || value.front() != '"' || value.back() != '"') continue;
        value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
            value = home + value.substr(5);
        else if (value.empty() || value.front() != '/')
            continue;
        found = withoutTrailingSlash(value);  // the last assignment counts
    }
    return found == withoutTrailingSlash(home) ? std::string() : found;
}

}  // namespace

Publish publishWithoutOverwriting(const std::string& temp, const std::string& target) {
    if (::link(temp.c_str(), target.c_str()) == 0) {
        ::unlink(temp.c_str());
        return Publish::Done;
    }
    if (errno == EEXIST) return Publish::NameTaken;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) throw Failure(errnoText(errno));
        // No hard links on this file system: rename without replacing.
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return Publish::Done;
    if (errno == EEXIST) return Publish::NameTaken;
    if (errno != EINVAL && errno != ENOSYS) throw Failure(errnoText(errno));
#endif
    // Nor an exclusive rename: claim the name with an exclusive create, then move
    // the file over the empty placeholder that is ours.
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        if (errno == EEXIST) return Publish::NameTaken;
        throw Failure(errnoText(errno));
    }
    ::close(fd);
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(target.c_str());
        throw Failure(errnoText(error));
    }
    return Publish::Done;
}

// Not mkstemp, which makes the file 0600: opened with 0666, the file gets what
// the user's umask (or the folder's default ACL) gives any new file, set by the
// kernel as it creates it, without reading the process-wide umask.
std::string createTemporaryFile(const std::string& folder, const std::string& prefix) {
    std::string stem = folder;
    if (stem.empty() || stem.back() != '/') stem += '/';
    stem += prefix;
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = stem;
        for (int i = 0; i < 6; ++i) path += kLetters[pick(random)];
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) throw Failure(errnoText(errno));
    }
    throw Failure(errnoText(EEXIST));
}

void flushFileToDisk(const std::string& path) { syncPath(path, O_RDONLY); }

void flushFolderToDisk(const std::string& folder) noexcept {
    try {
        syncPath(folder, O_RDONLY | O_DIRECTORY);
    } catch (const Failure&) {
        // The entries reach the disk later all the same.
    }
}

bool nameTaken(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool openToOthers(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IRWXG | S_IRWXO)) != 0;
}

void replaceFile(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) throw Failure(errnoText(errno));
}

void removeFile(const std::string& path) noexcept { ::unlink(path.c_str()); }

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::optional<std::string> systemProxyFor(const std::string&) { return std::nullopt; }

std::string documentsFolder() {
    const std::string home = homeFolder();
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        config = xdg;
    else
        config = home + "/.config";
    std::string documents = documentsFromUserDirs(withoutTrailingSlash(config) + "/user-dirs.dirs", home);
    return documents.empty() ? withoutTrailingSlash(home) + "/Documents" : documents;
}

std::optional<std::string> memoryTemporaryFolder(std::uint64_t bytes) {
#ifdef __linux__
    // The user's runtime folder first (theirs alone), then the shared one.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    for (const char* folder : {runtime, "/dev/shm"}) {
        if (!folder || folder[0] != '/') continue;
        struct statfs fs {};
        if (::statfs(folder, &fs) != 0 || fs.f_type != TMPFS_MAGIC) continue;
        if (::access(folder, W_OK | X_OK) != 0) continue;
        const auto free = static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_bsize);
        if (free >= bytes) return std::string(folder);
    }
#else
    (void)bytes;
#endif
    return std::nullopt;
}

std::string pathInFolder(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + '/' + name;
}

std::string userLocale() {
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return localeNameToTag(value);
    }
    return {};
}

std::optional<std::size_t> openFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    return static_cast<std::size_t>(limit.rlim_cur);
}

std::vector<std::string> programArguments(int argc, char* argv[]) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
}

void useUtf8Console() {}

void nameThisThread(const char* name) { ::pthread_setname_np(::pthread_self(), name); }

bool isTerminal(std::FILE* file) { return ::isatty(::fileno(file)) == 1; }

std::size_t terminalWidth(std::FILE* file) {
    winsize size{};
    if (::ioctl(::fileno(file), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

namespace {
bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}
}  // namespace

bool hasWindowDisplay(const std::string& qtPlatforms, bool displayNamed) {
    std::string platforms = qtPlatforms;
    if (platforms.empty() && isSet("QT_QPA_PLATFORM")) platforms = std::getenv("QT_QPA_PLATFORM");
    for (std::size_t start = 0; start < platforms.size();) {
        std::size_t end = platforms.find(';', start);
        if (end == std::string::npos) end = platforms.size();
        const std::string entry = platforms.substr(start, end - start);
        const std::string name = entry.substr(0, entry.find(':'));
        if (!name.empty() && name != "xcb" && name.rfind("wayland", 0) != 0) return true;
        start = end + 1;
    }
    return displayNamed || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

std::string folderWriteRefusal(const std::string& folder) {
    if (::access(folder.c_str(), W_OK | X_OK) == 0) return {};
    return std::generic_category().message(errno);
}

bool openWithAssociatedProgram(const std::string& path) {
    pid_t child = 0;
    char opener[] = "xdg-open";
    std::string file = path;
    char* const argv[] = {opener, file.data(), nullptr};
    if (::posix_spawnp(&child, opener, nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::optional<std::string> convertToUtf8(std::string_view in, const std::string& encoding) {
    constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    iconv_t cd = iconv_open("UTF-8", encoding.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::size_t unit = encoding.rfind("UTF-16", 0) == 0 ? 2 : 1;
    std::string out;
    out.resize(in.size() + in.size() / 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    std::size_t used = 0;
    while (srcLeft > 0) {
        char* dst = out.data() + used;
        std::size_t dstLeft = out.size() - used;
        std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        used = out.size() - dstLeft;
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else {  // EILSEQ or a truncated sequence at the end
            if (out.size() - used < kReplacement.size()) out.resize(out.size() * 2);
            out.replace(used, kReplacement.size(), kReplacement);
            used += kReplacement.size();
            std::size_t skip = std::min(unit, srcLeft);
            src += skip;
            srcLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    out.resize(used);
    return out;
}

}  // namespace qf::platform
