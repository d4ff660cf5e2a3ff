#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <stdio.h>

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
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
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

std::string homeFolder() {
    const std::string profile = knownFolder(FOLDERID_Profile);
    return profile.empty() ? std::string("C:\\") : profile;
}

std::string documentsFolder() {
    const std::string documents = knownFolder(FOLDERID_Documents);
    return documents.empty() ? homeFolder() + "\\Documents" : documents;
}

std::optional<std::size_t> openFileLimit() {
    // The C library's streams are what the workbook writer opens.
    const int limit = ::_getmaxstdio();
    return limit > 0 ? static_cast<std::size_t>(limit) : 0;
}

}  // namespace qf::platform
