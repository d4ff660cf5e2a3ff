#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <stdio.h>

#include <cstdio>
#include <random>
#include <string>

#include "base/failure.h"
#include "platform.h"

namespace qf::platform {

namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
    return out;
}

std::string utf8(const wchar_t* text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.pop_back();  // the terminating NUL
    return out;
}

std::string systemText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n && text ? utf8(text) : "system error " + std::to_string(error);
    if (text) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    return out;
}

std::string knownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::string out;
    if (::SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK) out = utf8(path);
    ::CoTaskMemFree(path);
    return out;
}

}  // namespace

Publish publishWithoutOverwriting(const std::string& temp, const std::string& target) {
    // Without MOVEFILE_REPLACE_EXISTING the move refuses a name that is taken.
    if (::MoveFileExW(wide(temp).c_str(), wide(target).c_str(), MOVEFILE_WRITE_THROUGH)) return Publish::Done;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return Publish::NameTaken;
    throw Failure(systemText(error));
}

std::string createTemporaryFile(const std::string& folder, const std::string& prefix) {
    std::string stem = folder;
    if (!stem.empty() && stem.back() != '/' && stem.back() != '\\') stem += '\\';
    stem += prefix;
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        const std::string path = stem + suffix;
        // CREATE_NEW refuses a name that is taken, so the file is ours.
        const HANDLE file =
            ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            return path;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) throw Failure(systemText(error));
    }
    throw Failure("no free temporary name in " + folder);
}

void flushFileToDisk(const std::string& path) {
    const HANDLE file = ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw Failure(systemText(::GetLastError()));
    const BOOL flushed = ::FlushFileBuffers(file);
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    if (!flushed) throw Failure(systemText(error));
}

void flushFolderToDisk(const std::string&) noexcept {
    // The file system keeps its folder entries in its own journal; a file moved
    // with MOVEFILE_WRITE_THROUGH is on the disk when the move returns.
}

bool nameTaken(const std::string& path) { return ::GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

void replaceFile(const std::string& from, const std::string& to) {
    if (!::MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw Failure(systemText(::GetLastError()));
}

void removeFile(const std::string& path) noexcept { ::DeleteFileW(wide(path).c_str()); }

std::string homeFolder() {
    const std::string profile = knownFolder(FOLDERID_Profile);
    return profile.empty() ? std::string("C:\\") : profile;
}

std::string documentsFolder() {
    const std::string documents = knownFolder(FOLDERID_Documents);
    return documents.empty() ? homeFolder() + "\\Documents" : documents;
}

std::optional<std::string> memoryTemporaryFolder(std::uint64_t) {
    return std::nullopt;  // Windows has no folder kept in memory
}

std::string userLocale() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const int length = ::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    std::string tag;
    for (int i = 0; i + 1 < length; ++i) {
        const wchar_t c = name[i];
        if (c > 0x7f) return {};
        tag += static_cast<char>(c);
    }
    return tag;
}

std::optional<std::size_t> openFileLimit() {
    // The C library's streams are what the workbook writer opens.
    const int limit = ::_getmaxstdio();
    return limit > 0 ? static_cast<std::size_t>(limit) : 0;
}

}  // namespace qf::platform
