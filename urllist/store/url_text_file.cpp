#include "url_text_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/failure.h"
#include "base/program_info.h"
#include "base/file_exists.h"

namespace qf {

namespace {

using namespace failure_text;
constexpr const char* kNotText = "not a text file";

void addPiece(std::vector<UrlStore::Span>& pieces, std::string_view text, std::size_t from, std::size_t to) {
    if (to - from > 0x7fffffff) throw Failure(kOutOfMemory);
    pieces.push_back({text.data() + from, static_cast<std::uint32_t>(to - from)});
}

}  // namespace

namespace {

#if !defined(__SSE2__)
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

std::uint64_t load8(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    return word;
}

bool hasZeroByte(std::uint64_t word) { return ((word - kOnes) & ~word & kHighBits) != 0; }
#endif

// Finds the CR and LF characters of a text, noting on the way whether any byte
// lies outside ASCII.
class LineEnds {
public:
    explicit LineEnds(std::string_view text) : text_(text) {}

    // The position of the next CR or LF from i on, or the text's size.
    std::size_t next(std::size_t i) {
        const std::size_t n = text_.size();
        const char* const d = text_.data();
#if defined(__SSE2__)
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i lf = _mm_set1_epi8('\n');
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
            high_ |= static_cast<unsigned>(_mm_movemask_epi8(v));
            const int ends = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
            if (ends) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(ends)));
        }
#else
        for (; i + 8 <= n; i += 8) {
            const std::uint64_t word = load8(d + i);
            high_ |= (word & kHighBits) != 0;
            if (hasZeroByte(word ^ (kOnes * '\n')) || hasZeroByte(word ^ (kOnes * '\r'))) break;
        }
#endif
        for (; i < n; ++i) {
            const auto c = static_cast<unsigned char>(d[i]);
            high_ |= c & 0x80u;
            if (c == '\n' || c == '\r') return i;
        }
        return n;
    }

    bool sawNonAscii() const { return high_ != 0; }

private:
    std::string_view text_;
    unsigned high_ = 0;
};

}  // namespace

std::vector<UrlStore::Span> splitUrlLines(std::string_view text, bool* nonAscii) {
    std::vector<UrlStore::Span> pieces;
    pieces.reserve(text.size() / 32 + 4);
    const std::size_t n = text.size();
    LineEnds ends(text);
    std::size_t piece = 0;  // where the current entry starts
    for (std::size_t i = ends.next(0); i < n; i = ends.next(i)) {
        addPiece(pieces, text, piece, i);
        if (text[i] == '\r') {
            ++i;
            if (i < n && text[i] == '\n') ++i;
        } else {
            ++i;
        }
        piece = i;
    }
    // A line end closes its line: only text after the last one makes another entry.
    if (piece < n) addPiece(pieces, text, piece, n);
    if (nonAscii) *nonAscii = ends.sawNonAscii();
    return pieces;
}

std::string windows1252ToUtf8(std::string_view bytes) {
    // 0x80 to 0x9F; the unassigned bytes keep their own number.
    static constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        if (b < 0x80) {
            out.push_back(byte);
            continue;
        }
        const char16_t u = b < 0xA0 ? kHigh[b - 0x80] : static_cast<char16_t>(b);
        if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
        }
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
    return out;
}

namespace {

const char* openFailure(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return kFileNotFound;
        case EACCES:
        case EPERM: return kPermissionDenied;
        case ENOMEM: return kOutOfMemory;
        default: return kPathFileAccess;
    }
}

struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The file's bytes; what was read before a read error is kept, with the error
// in readError.
struct FileBytes {
    TextBlock data;
    std::size_t size = 0;
    const char* readError = nullptr;
};

FileBytes readAll(const std::string& path) {
    const std::filesystem::path fsPath(std::u8string(path.begin(), path.end()));
    std::error_code error;
    const auto status = std::filesystem::status(fsPath, error);
    if (error) throw Failure(openFailure(error.value()));
    // A folder, a pipe or a device is no text file; reading one could block or
    // never end.
    if (!std::filesystem::is_regular_file(status)) throw Failure(kPathFileAccess);
#ifdef _WIN32
    // The path is UTF-8; the narrow open would read it in the ANSI code page
    // and miss every name with other characters.
    std::unique_ptr<std::FILE, CloseFile> file(_wfopen(fsPath.c_str(), L"rb"));
#else
    std::unique_ptr<std::FILE, CloseFile> file(std::fopen(path.c_str(), "rb"));
#endif
    if (!file) throw Failure(openFailure(errno));

    FileBytes bytes;
    std::size_t capacity = std::filesystem::file_size(fsPath, error);
    if (error) capacity = 0;
    capacity += 1;  // room to see the end of the file in the first pass
    bytes.data = allocateTextBlock(capacity);
    for (;;) {
        if (bytes.size == capacity) {  // the file grew while it was read
            const std::size_t larger = capacity * 2;
            TextBlock moved = allocateTextBlock(larger);
            std::memcpy(moved.get(), bytes.data.get(), bytes.size);
            bytes.data = std::move(moved);
            capacity = larger;
        }
        const std::size_t got = std::fread(bytes.data.get() + bytes.size, 1, capacity - bytes.size, file.get());
        bytes.size += got;
        if (got == 0) {
            if (std::ferror(file.get())) bytes.readError = errno == ENOMEM ? kOutOfMemory : kDeviceIo;
            break;
        }
    }
    return bytes;
}

}  // namespace

namespace {

// The control characters a text file may hold: tab, the line ends, vertical
// tab, form feed, the old end-of-file mark and escape. Any other (NUL above
// all) says the bytes are no text.
bool isTextControl(unsigned c) {
    return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A || c == 0x1B;
}

}  // namespace

bool holdsOnlyText(std::string_view bytes) {
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x20 && !isTextControl(c)) return false;
    }
    return true;
}

std::optional<std::string> utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    const auto unitAt = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (first << 8 | second) : (second << 8 | first);
    };
    std::string out;
    out.reserve(bytes.size() / 2 + bytes.size() / 8);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        auto c = static_cast<std::uint32_t>(unitAt(i));
        if (c >= 0xDC00 && c <= 0xDFFF) return std::nullopt;  // a low surrogate without its high one
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 3 >= bytes.size()) return std::nullopt;
            const auto low = static_cast<std::uint32_t>(unitAt(i + 2));
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

namespace {

// Only what lies up to the last line end counts of a text whose reading failed
// later on: lines are taken whole.
std::size_t wholeLines(std::string_view text) {
    const std::size_t lastEnd = text.find_last_of("\r\n");
    return lastEnd == std::string_view::npos ? 0 : lastEnd + 1;
}

// Appends the lines of a decoded text, copied into a block of their own.
void appendCopied(UrlStore& list, std::string_view text) {
    TextBlock block = allocateTextBlock(text.size());
    if (!text.empty()) std::memcpy(block.get(), text.data(), text.size());
    auto spans = splitUrlLines({block.get(), text.size()});
    list.appendBlock(std::move(block), text.size(), std::move(spans));
}

// Appends the lines of a UTF-16 file's bytes after its byte order mark, or
// refuses them whole when they are no UTF-16 text.
void appendUtf16(UrlStore& list, std::string_view bytes, bool bigEndian, bool readError) {
    if (readError) bytes = bytes.substr(0, bytes.size() - bytes.size() % 2);
    std::optional<std::string> text = utf16ToUtf8(bytes, bigEndian);
    if (!text || !holdsOnlyText(*text)) throw Failure(kNotText);
    appendCopied(list, std::string_view(*text).substr(0, readError ? wholeLines(*text) : text->size()));
}

}  // namespace

void readUrlTextFile(UrlStore& list, WindowServices& ui, const std::string& path) {
    if (!FileExists(path)) {
        ui.messageBox(kFileNotFound, MessageButtons::Ok, MessageIcon::None, applicationTitle());
        return;
    }
    FileBytes bytes;
    try {
        bytes = readAll(path);
    } catch (const std::bad_alloc&) {
        throw Failure(kOutOfMemory);
    }
    try {
        std::string_view text(bytes.data.get(), bytes.size);
        // Editors mark UTF-16 and often UTF-8 with a byte order mark.
        if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
            appendUtf16(list, text.substr(2), text[0] == '\xFE', bytes.readError != nullptr);
        } else {
            if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
            if (bytes.readError) text = text.substr(0, wholeLines(text));
            if (!holdsOnlyText(text)) throw Failure(kNotText);
            bool nonAscii = false;
            auto spans = splitUrlLines(text, &nonAscii);
            if (!nonAscii || isValidUtf8(text)) {
                list.appendBlock(std::move(bytes.data), bytes.size, std::move(spans));
            } else {
                spans.clear();
                const std::string decoded = windows1252ToUtf8(text);
                bytes.data.reset();
                appendCopied(list, decoded);
            }
        }
    } catch (const std::bad_alloc&) {
        throw Failure(kOutOfMemory);
    }
    if (bytes.readError) throw Failure(bytes.readError);
}

namespace {

// One pass, left to right: each pair of the character becomes one.
std::string collapsePairs(std::string_view text, char c) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out.push_back(text[i]);
        if (text[i] == c && i + 1 < text.size() && text[i + 1] == c) ++i;
    }
    return out;
}

}  // namespace

std::string cleanWindowsPath(std::string_view path) {
    if (path.empty() || path.front() != '\\') return collapsePairs(path, '\\');
    std::size_t i = 1;
    while (i < path.size() && path[i] == '\\') ++i;
    return "\\\\" + collapsePairs(path.substr(i), '\\');
}

std::string cleanPosixPath(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (const char c : path)
        if (c != '/' || out.empty() || out.back() != '/') out.push_back(c);
    return out;
}

std::string cleanPath(std::string_view path) {
#ifdef _WIN32
    return cleanWindowsPath(path);
#else
    return cleanPosixPath(path);
#endif
}

}  // namespace qf
