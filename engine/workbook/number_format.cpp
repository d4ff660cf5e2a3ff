#include "number_format.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace qf::engine {

namespace {

// What a code shows, worked out once when it is interned.
struct Entry {
    std::string code;
    bool general = false;
    bool dateOrTime = false;  // a fixed width: `literals` is all of it
    bool grouped = false;
    bool percent = false;
    bool scientific = false;
    std::uint8_t decimals = 0;
    std::uint16_t literals = 0;  // characters shown besides the digits
};

bool isDateTimeLetter(char c) {
    c = static_cast<char>(c | 0x20);
    return c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 's';
}

// Characters of a UTF-8 text.
std::uint16_t charsOf(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    return static_cast<std::uint16_t>(std::min<std::size_t>(n, 0xffff));
}

Entry describe(std::string code) {
    Entry e;
    e.code = std::move(code);
    e.general = e.code == "General";
    std::string_view s = e.code;
    s = s.substr(0, s.find(';'));  // the positive section shows most numbers
    std::size_t width = 0, literals = 0;
    bool afterPoint = false;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (c == '"') {
            const std::size_t end = s.find('"', i + 1);
            const std::string_view quoted = s.substr(i + 1, end == std::string_view::npos ? end : end - i - 1);
            literals += charsOf(quoted);
            width += charsOf(quoted);
            i = end == std::string_view::npos ? s.size() : end + 1;
            continue;
        }
        if (c == '[') {  // [$-407] and the like show nothing
            const std::size_t end = s.find(']', i);
            i = end == std::string_view::npos ? s.size() : end + 1;
            continue;
        }
        if (c == '\\' && i + 1 < s.size()) {
            ++literals;
            ++width;
            i += 2;
            continue;
        }
        if (s.substr(i, 5) == "AM/PM" || s.substr(i, 5) == "am/pm") {
            e.dateOrTime = true;
            width += 2;
            i += 5;
            continue;
        }
        if (isDateTimeLetter(c)) {
            std::size_t run = 1;
            while (i + run < s.size() && (s[i + run] | 0x20) == (c | 0x20)) ++run;
            e.dateOrTime = true;
            const char k = static_cast<char>(c | 0x20);
            width += k == 'y' ? (run > 2 ? 4 : 2) : (k == 'd' || k == 'm') && run == 3 ? 4 : run >= 4 ? 9 : 2;
            i += run;
            continue;
        }
        if (c == '0' || c == '#' || c == '?') {
            if (afterPoint) ++e.decimals;
        } else if (c == '.') {
            afterPoint = true;
            ++width;
        } else if (c == ',') {
            if (!afterPoint) e.grouped = true;
        } else if (c == '%') {
            e.percent = true;
            ++literals;
            ++width;
        } else if (c == 'E' || c == 'e') {
            e.scientific = true;
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            if ((static_cast<unsigned char>(c) & 0xc0) != 0x80) {
                ++literals;
                ++width;
            }
        } else {
            ++literals;
            ++width;
        }
        ++i;
    }
    e.literals = static_cast<std::uint16_t>(std::min<std::size_t>(e.dateOrTime ? width : literals, 0xffff));
    return e;
}

constexpr std::size_t kChunkSize = 256;
constexpr std::size_t kChunks = 256;  // 65,536 ids in all

class Table {
public:
    Table() { add("General"); }

    FormatId intern(std::string_view code) {
        if (code.empty() || code == "General") return kGeneralFormat;
        std::lock_guard lock(mutex_);
        if (const auto it = ids_.find(std::string(code)); it != ids_.end()) return it->second;
        if (size_ == kChunks * kChunkSize - 1) return kGeneralFormat;  // full: ids stay below 65,535
        return add(std::string(code));
    }

    const Entry& entry(FormatId id) const {
        const Entry* chunk = chunks_[id / kChunkSize].load(std::memory_order_acquire);
        return chunk ? chunk[id % kChunkSize] : chunks_[0].load(std::memory_order_acquire)[0];
    }

private:
    // With the mutex held (or from the constructor).
    FormatId add(std::string code) {
        const auto id = static_cast<FormatId>(size_);
        std::unique_ptr<Entry[]>& chunk = owned_[id / kChunkSize];
        if (!chunk) {
            chunk = std::make_unique<Entry[]>(kChunkSize);
            chunks_[id / kChunkSize].store(chunk.get(), std::memory_order_release);
        }
        chunk[id % kChunkSize] = describe(code);
        ids_.emplace(std::move(code), id);
        ++size_;
        return id;
    }

    std::mutex mutex_;
    std::unordered_map<std::string, FormatId> ids_;
    std::array<std::unique_ptr<Entry[]>, kChunks> owned_;
    std::array<std::atomic<const Entry*>, kChunks> chunks_{};
    std::size_t size_ = 0;
};

Table& table() {
    static Table t;
    return t;
}

std::size_t generalLength(double number) {
    char buf[32];
    const int n = std::snprintf(buf, sizeof buf, "%.10g", number);
    return n > 0 ? static_cast<std::size_t>(n) : 1;
}

}  // namespace

FormatId internFormat(std::string_view code) { return table().intern(code); }

std::string_view formatCode(FormatId id) { return table().entry(id).code; }

std::size_t shownLength(double number, FormatId id) {
    const Entry& e = table().entry(id);
    if (e.general || e.scientific || !std::isfinite(number)) return generalLength(number);
    if (e.dateOrTime) return e.literals;
    const double shown = std::fabs(e.percent ? number * 100 : number);
    std::size_t digits = 1;
    for (double v = std::round(shown); v >= 10 && digits < 400; v /= 10) ++digits;
    std::size_t n = digits + (e.grouped ? (digits - 1) / 3 : 0) + e.literals + (number < 0 ? 1 : 0);
    if (e.decimals > 0) n += 1 + e.decimals;
    return n;
}

}  // namespace qf::engine
