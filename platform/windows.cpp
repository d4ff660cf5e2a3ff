#include <windows.h>
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>
#include <stdio.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <string>

#include "base/failure.h"
#include "platform.h"
#include "windows_text.h"

namespace qf::platform {

using windows::systemText;
using windows::utf8;
using windows::wide;

namespace {

// A text WinHTTP allocated, freed with it.
struct GlobalText {
    explicit GlobalText(wchar_t* t) : text(t) {}
    ~GlobalText() {
        if (text) ::GlobalFree(text);
    }
    GlobalText(const GlobalText&) = delete;
    GlobalText& operator=(const GlobalText&) = delete;
    wchar_t* text;
};

bool environmentNamesProxy() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        if (const char* value = std::getenv(name); value && *value) return true;
    return false;
}

// The proxy of a proxy list and its bypass list for a host; empty: direct.
std::string proxyOf(const wchar_t* list, const wchar_t* bypass, const std::string& scheme, const std::string& host) {
    if (!list || (bypass && bypassesProxy(utf8(bypass), host))) return {};
    return proxyFromList(utf8(list), scheme);
}

// The user's Internet settings asked for an address: the automatic
// configuration (detected, or the script at its address) when it is on and
// answers, else the fixed proxy.
std::string askWinHttp(const std::wstring& url, const std::string& scheme, const std::string& host) {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG settings{};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&settings)) return {};
    const GlobalText autoConfig(settings.lpszAutoConfigUrl), fixed(settings.lpszProxy),
        fixedBypass(settings.lpszProxyBypass);
    if (settings.fAutoDetect || settings.lpszAutoConfigUrl) {
        static const HINTERNET session =
            ::WinHttpOpen(L"Quillfen", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        WINHTTP_AUTOPROXY_OPTIONS options{};
        if (settings.lpszAutoConfigUrl) {
            options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
            options.lpszAutoConfigUrl = settings.lpszAutoConfigUrl;
        }
        if (settings.fAutoDetect) {
            options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
            options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        }
        options.fAutoLogonIfChallenged = TRUE;
        WINHTTP_PROXY_INFO info{};
        if (session && ::WinHttpGetProxyForUrl(session, url.c_str(), &options, &info)) {
            const GlobalText proxy(info.lpszProxy), bypass(info.lpszProxyBypass);
            if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY) return {};
            return proxyOf(proxy.text, bypass.text, scheme, host);
        }
    }
    return proxyOf(fixed.text, fixedBypass.text, scheme, host);
}

std::string knownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::string out;
    if (::SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK) out = utf8(path);
    ::CoTaskMemFree(path);
    return out;
}

// The code page of an encoding name as iconv knows it; 0 when there is none.
UINT codePageOf(const std::string& name) {
    struct Alias {
        const char* name;
        UINT codePage;
    };
    static constexpr Alias kAliases[] = {
        {"UTF-8", CP_UTF8},
        {"UTF-16LE", 1200},
        {"UTF-16BE", 1201},
        {"US-ASCII", 1252},
        {"SHIFT_JIS", 932},
        {"SHIFT-JIS", 932},
        {"SJIS", 932},
        {"X-SJIS", 932},
        {"MS_KANJI", 932},
        {"CSSHIFTJIS", 932},
        {"WINDOWS-31J", 932},
        {"MS932", 932},
        {"EUC-JP", 20932},
        {"EUCJP", 20932},
        {"X-EUC-JP", 20932},
        {"ISO-2022-JP", 50220},
        {"CSISO2022JP", 50220},
        {"GBK", 936},
        {"X-GBK", 936},
        {"GB2312", 936},
        {"GB_2312-80", 936},
        {"CHINESE", 936},
        {"CSGB2312", 936},
        {"EUC-CN", 936},
        {"GB18030", 54936},
        {"BIG5", 950},
        {"BIG-5", 950},
        {"BIG5-HKSCS", 950},
        {"CN-BIG5", 950},
        {"CSBIG5", 950},
        {"X-X-BIG5", 950},
        {"EUC-KR", 949},
        {"EUCKR", 949},
        {"KS_C_5601-1987", 949},
        {"KS_C_5601-1989", 949},
        {"KSC5601", 949},
        {"KOREAN", 949},
        {"CSEUCKR", 949},
        {"KOI8-R", 20866},
        {"KOI8", 20866},
        {"KOI8-RU", 21866},
        {"KOI8-U", 21866},
        {"CSKOI8R", 20866},
        {"IBM866", 866},
        {"CP866", 866},
        {"866", 866},
        {"CSIBM866", 866},
        {"MACINTOSH", 10000},
        {"MAC", 10000},
        {"X-MAC-ROMAN", 10000},
        {"CSMACINTOSH", 10000},
        {"X-MAC-CYRILLIC", 10007},
        {"X-MAC-UKRAINIAN", 10007},
        {"TIS-620", 874},
        {"DOS-874", 874},
        {"ISO-8859-11", 874},
        {"LATIN1", 1252},
        {"LATIN2", 28592},
        {"LATIN3", 28593},
        {"LATIN4", 28594},
        {"CYRILLIC", 28595},
        {"ARABIC", 28596},
        {"GREEK", 28597},
        {"HEBREW", 28598},
        {"LATIN5", 28599},
        {"LATIN6", 28600},
        {"VISUAL", 28598},
        {"LOGICAL", 38598},
        {"ISO-8859-8-I", 38598},
        {"CSISOLATIN2", 28592},
        {"L2", 28592},
        {"L3", 28593},
        {"L4", 28594},
        {"L5", 28599},
        {"L6", 28600},
        {"L9", 28605},
        {"LATIN9", 28605},
    };
    for (const Alias& alias : kAliases)
        if (name == alias.name) return alias.codePage;
    // The numbered families: WINDOWS-1251, CP1251, ISO-8859-5 (ISO8859-5,
    // ISO_8859-5), IBM437.
    auto number = [&name](std::size_t from) -> UINT {
        if (from >= name.size() || name.size() - from > 5) return 0;
        if (!std::all_of(name.begin() + static_cast<std::ptrdiff_t>(from), name.end(),
                         [](char c) { return c >= '0' && c <= '9'; }))
            return 0;
        return static_cast<UINT>(std::strtoul(name.c_str() + from, nullptr, 10));
    };
    for (const char* head : {"WINDOWS-", "CP", "IBM", "X-CP"})
        if (name.rfind(head, 0) == 0) return number(std::char_traits<char>::length(head));
    for (const char* head : {"ISO-8859-", "ISO8859-", "ISO_8859-"})
        if (name.rfind(head, 0) == 0) {
            const UINT part = number(std::char_traits<char>::length(head));
            return part >= 1 && part <= 16 && part != 12 ? (part == 1 ? 1252 : 28590 + part) : 0;
        }
    return 0;
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

bool openToOthers(const std::string&) { return false; }  // a profile's files are its user's

void replaceFile(const std::string& from, const std::string& to) {
    if (!::MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw Failure(systemText(::GetLastError()));
}

void removeFile(const std::string& path) noexcept { ::DeleteFileW(wide(path).c_str()); }

std::string homeFolder() {
    const std::string profile = knownFolder(FOLDERID_Profile);
    return profile.empty() ? std::string("C:\\") : profile;
}

std::optional<std::string> systemProxyFor(const std::string& address) {
    if (environmentNamesProxy()) return std::nullopt;
    const std::wstring url = wide(address);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = parts.dwHostNameLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return std::nullopt;
    const std::string scheme = utf8(std::wstring(parts.lpszScheme, parts.dwSchemeLength).c_str());
    const std::string host = utf8(std::wstring(parts.lpszHostName, parts.dwHostNameLength).c_str());
    // The settings (and a configuration script's answer) per scheme, host and
    // port: detecting the script can take seconds, once.
    static std::mutex mutex;
    static std::map<std::string, std::string> known;
    const std::string key = scheme + "://" + host + ":" + std::to_string(parts.nPort);
    {
        std::lock_guard lock(mutex);
        if (const auto it = known.find(key); it != known.end()) return it->second;
    }
    std::string proxy = askWinHttp(url, scheme, host);
    std::lock_guard lock(mutex);
    known.emplace(key, proxy);
    return proxy;
}

std::string documentsFolder() {
    const std::string documents = knownFolder(FOLDERID_Documents);
    return documents.empty() ? homeFolder() + "\\Documents" : documents;
}

std::optional<std::string> memoryTemporaryFolder(std::uint64_t) {
    return std::nullopt;  // Windows has no folder kept in memory
}

std::string pathInFolder(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder + name;
    return folder + '\\' + name;
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

std::vector<std::string> programArguments(int, char*[]) {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(utf8(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

void useUtf8Console() {
    // A window program (quillfen.exe) has no console of its own: started from
    // one (cmd.exe, PowerShell), it writes into that one, except where its
    // output was redirected to a file or a pipe.
    if (!::GetConsoleWindow()) {
        const auto unset = [](DWORD which) {
            const HANDLE handle = ::GetStdHandle(which);
            return handle == nullptr || handle == INVALID_HANDLE_VALUE;
        };
        const bool outFree = unset(STD_OUTPUT_HANDLE), errFree = unset(STD_ERROR_HANDLE);
        if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
            if (outFree) std::freopen("CONOUT$", "w", stdout);
            if (errFree) std::freopen("CONOUT$", "w", stderr);
        }
    }
    ::SetConsoleOutputCP(CP_UTF8);
}

void nameThisThread(const char*) {}

// The progress is written a line per entry to a console as well.
bool isTerminal(std::FILE*) { return false; }

std::size_t terminalWidth(std::FILE*) { return 80; }

bool hasWindowDisplay(const std::string&, bool) { return true; }

// Only making a file tells whether it may be made there.
std::string folderWriteRefusal(const std::string&) { return {}; }

bool openWithAssociatedProgram(const std::string& path) {
    // ShellExecuteW's result above 32 means started; below, no program is
    // associated or it could not start.
    const auto started = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", wide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return started > 32;
}

std::optional<std::string> convertToUtf8(std::string_view bytes, const std::string& encoding) {
    const UINT codePage = codePageOf(encoding);
    if (codePage == 0 || (codePage != 1200 && codePage != 1201 && !::IsValidCodePage(codePage))) return std::nullopt;
    std::wstring text;
    if (codePage == 1200 || codePage == 1201) {
        // UTF-16 by hand: Windows converts it from no code page.
        text.reserve(bytes.size() / 2 + 1);
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
            text += static_cast<wchar_t>(codePage == 1200 ? a | b << 8 : b | a << 8);
        }
        if (bytes.size() % 2) text += L'\xFFFD';
        // Unpaired surrogates become U+FFFD, as the UTF-8 they go into cannot hold them.
        for (std::size_t i = 0; i < text.size(); ++i) {
            const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF, low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
            if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
                ++i;
            else if (high || low)
                text[i] = L'\xFFFD';
        }
    } else if (!bytes.empty()) {
        const int size = static_cast<int>(bytes.size());
        const int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
        if (n <= 0) return std::nullopt;
        text.resize(static_cast<std::size_t>(n));
        ::MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), n);
        // Windows-1252 leaves five bytes undefined; they do not decode.
        if (codePage == 1252)
            for (wchar_t& c : text)
                if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) c = L'\xFFFD';
    }
    return utf8(text.data(), text.size());
}

}  // namespace qf::platform
