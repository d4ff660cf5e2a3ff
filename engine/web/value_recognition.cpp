#include "value_recognition.h"

#include <array>
#include <charconv>
#include <cstring>

#include "base/text.h"

namespace qf::engine {

namespace {

// Longer texts are never values; the bound also keeps the work per cell small.
constexpr std::size_t kMaxValueLength = 64;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A cursor over the candidate text.
struct Reader {
    std::string_view s;
    std::size_t i = 0;

    bool done() const { return i == s.size(); }
    char peek() const { return i < s.size() ? s[i] : '\0'; }
    bool take(char c) {
        if (peek() != c) return false;
        ++i;
        return true;
    }
    void skipSpaces() {
        while (peek() == ' ') ++i;
    }
    // Reads minDigits..maxDigits decimal digits as a number.
    bool digits(std::size_t minDigits, std::size_t maxDigits, int& out) {
        std::size_t start = i;
        int v = 0;
        while (i < s.size() && isDigit(s[i]) && i - start < maxDigits) v = v * 10 + (s[i++] - '0');
        if (i - start < minDigits || (i < s.size() && isDigit(s[i]))) {
            i = start;
            return false;
        }
        out = v;
        return true;
    }
};

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[static_cast<std::size_t>(m - 1)];
}

int expandYear(int y, std::size_t digitCount) {
    if (digitCount > 2) return y;
    return y < 30 ? 2000 + y : 1900 + y;
}

// Month names, full or in their usual abbreviations ("Sept" included).
int readMonthName(Reader& r) {
    static constexpr std::array<const char*, 12> kNames = {"january",   "february", "march",    "april",
                                                           "may",       "june",     "july",     "august",
                                                           "september", "october",  "november", "december"};
    std::size_t start = r.i;
    std::size_t end = start;
    while (end < r.s.size() && ((r.s[end] | 0x20) >= 'a' && (r.s[end] | 0x20) <= 'z')) ++end;
    std::size_t len = end - start;
    if (len < 3) return 0;
    for (std::size_t m = 0; m < kNames.size(); ++m) {
        const char* name = kNames[m];
        std::size_t nameLen = std::strlen(name);
        bool full = len == nameLen;
        bool abbrev = len == 3 || (m == 8 && len == 4);
        if (!full && !abbrev) continue;
        bool same = true;
        for (std::size_t k = 0; k < len && same; ++k) same = asciiLower(r.s[start + k]) == name[k];
        if (same) {
            r.i = end;
            return static_cast<int>(m) + 1;
        }
    }
    return 0;
}

// Reads a year of two or four digits.
bool readYear(Reader& r, int& year) {
    std::size_t start = r.i;
    int y = 0;
    if (!r.digits(2, 4, y) || r.i - start == 3) {
        r.i = start;
        return false;
    }
    year = expandYear(y, r.i - start);
    return true;
}

// Dates in the forms listed in the header; leaves the reader after the date.
bool readDate(Reader& r, int& y, int& m, int& d) {
    std::size_t start = r.i;
    int a = 0;
    if (r.digits(1, 4, a)) {
        std::size_t firstLen = r.i - start;
        if (firstLen == 4 && r.take('-')) {  // YYYY-MM-DD
            y = a;
            if (r.digits(1, 2, m) && r.take('-') && r.digits(1, 2, d)) return true;
        } else if (firstLen <= 2 && r.take('/')) {  // M/D/YYYY, M/D/YY
            m = a;
            if (r.digits(1, 2, d) && r.take('/') && readYear(r, y)) return true;
        } else if (firstLen <= 2 && r.take('-')) {  // 7-Dec-2026
            d = a;
            if ((m = readMonthName(r)) != 0 && r.take('-') && readYear(r, y)) return true;
        }
    } else if ((m = readMonthName(r)) != 0) {  // Dec 7, 2026
        r.skipSpaces();
        if (r.digits(1, 2, d)) {
            r.take(',');
            std::size_t before = r.i;
            r.skipSpaces();
            if (r.i > before && readYear(r, y)) return true;
        }
    }
    r.i = start;
    return false;
}

// h:mm[:ss[.fff]] with an optional AM/PM; gives the fraction of a day.
bool readTime(Reader& r, double& fraction) {
    std::size_t start = r.i;
    int h = 0, mi = 0, sec = 0;
    double fracSec = 0.0;
    bool ok = r.digits(1, 2, h) && r.take(':') && r.digits(2, 2, mi);
    if (ok && r.take(':')) {
        ok = r.digits(2, 2, sec);
        if (ok && r.peek() == '.') {
            std::size_t dot = r.i++;
            while (isDigit(r.peek())) ++r.i;
            std::from_chars(r.s.data() + dot, r.s.data() + r.i, fracSec);
        }
    }
    if (ok) {
        std::size_t beforeSuffix = r.i;
        r.skipSpaces();
        char c = asciiLower(r.peek());
        if ((c == 'a' || c == 'p') && r.i + 1 < r.s.size() && asciiLower(r.s[r.i + 1]) == 'm') {
            r.i += 2;
            ok = h >= 1 && h <= 12;
            h = h % 12 + (c == 'p' ? 12 : 0);
        } else {
            r.i = beforeSuffix;
        }
        ok = ok && h <= 23 && mi <= 59 && sec <= 59;
    }
    if (!ok) {
        r.i = start;
        return false;
    }
    fraction = (h * 3600.0 + mi * 60.0 + sec + fracSec) / 86400.0;
    return true;
}

// Digits with optional thousands separators, a fraction and an exponent, up to
// the end of the text; the number is written without separators into `out`.
bool readPlainNumber(std::string_view s, double& value) {
    std::array<char, kMaxValueLength + 1> clean{};
    std::size_t n = 0;
    std::size_t i = 0;
    std::size_t intDigits = 0, group = 0;
    bool commas = false;
    while (i < s.size() && (isDigit(s[i]) || s[i] == ',')) {
        if (s[i] == ',') {
            if (intDigits == 0 || (commas ? group != 3 : group > 3)) return false;
            commas = true;
            group = 0;
        } else {
            clean[n++] = s[i];
            ++intDigits;
            ++group;
        }
        ++i;
    }
    if (commas && group != 3) return false;
    std::size_t fracDigits = 0;
    if (i < s.size() && s[i] == '.') {
        clean[n++] = s[i++];
        while (i < s.size() && isDigit(s[i])) {
            clean[n++] = s[i++];
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        clean[n++] = s[i++];
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) clean[n++] = s[i++];
        std::size_t expDigits = 0;
        while (i < s.size() && isDigit(s[i])) {
            clean[n++] = s[i++];
            ++expDigits;
        }
        if (expDigits == 0) return false;
    }
    if (i != s.size()) return false;
    auto [end, ec] = std::from_chars(clean.data(), clean.data() + n, value);
    return ec == std::errc() && end == clean.data() + n;
}

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// Signs, brackets, "$" and "%" around a plain number.
bool readNumber(std::string_view s, double& value, NumberFormat& format) {
    bool negative = false, signSeen = false, currency = false, percent = false;
    if (s.size() >= 2 && s.front() == '(' && s.back() == ')') {
        negative = true;
        s = trimSpaces(s.substr(1, s.size() - 2));
    }
    auto takeSign = [&] {
        if (s.empty() || (s.front() != '-' && s.front() != '+')) return true;
        if (signSeen || negative) return false;  // "--5", "(-5)"
        signSeen = true;
        negative = s.front() == '-';
        s = trimSpaces(s.substr(1));
        return true;
    };
    if (!takeSign()) return false;
    if (!s.empty() && s.front() == '$') {
        currency = true;
        s = trimSpaces(s.substr(1));
        if (!takeSign()) return false;
    }
    if (!s.empty() && s.back() == '%') {
        if (currency) return false;
        percent = true;
        s = trimSpaces(s.substr(0, s.size() - 1));
    }
    if (!readPlainNumber(s, value)) return false;
    if (negative) value = -value;
    if (percent) value /= 100.0;
    format = percent ? NumberFormat::Percent : currency ? NumberFormat::Currency : NumberFormat::General;
    return true;
}

}  // namespace

std::optional<double> dateSerial(int year, int month, int day) {
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return std::nullopt;
    std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    bool beforeMarch1900 = year == 1900 && month <= 2;
    std::int64_t epoch = beforeMarch1900 ? daysFromCivil(1899, 12, 31) : daysFromCivil(1899, 12, 30);
    return static_cast<double>(days - epoch);
}

CellValue recognizeValue(std::string_view text, bool recognizeDates) {
    // Non-breaking spaces count as spaces; the candidate is copied so that they
    // can be replaced without touching the cell's text.
    std::array<char, kMaxValueLength> buffer{};
    std::size_t n = 0;
    bool tooLong = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
            c = ' ';
            ++i;
        } else if (c == '\t' || c == '\n' || c == '\r') {
            c = ' ';
        }
        if (n == 0 && c == ' ') continue;
        if (n == buffer.size()) {
            tooLong = true;
            break;
        }
        buffer[n++] = c;
    }
    std::string_view s = trimSpaces(std::string_view(buffer.data(), n));
    if (s.empty() && !tooLong) return CellValue{};
    auto asText = [&] { return CellValue::makeText(std::string(text)); };
    if (tooLong || s.front() == '=') return asText();

    char first = s.front();
    bool maybeNumber = isDigit(first) || first == '-' || first == '+' || first == '(' || first == '$' || first == '.';
    bool maybeMonth = (first | 0x20) >= 'a' && (first | 0x20) <= 'z';
    if (!maybeNumber && !maybeMonth) return asText();

    Reader r{s};
    int y = 0, m = 0, d = 0;
    if (readDate(r, y, m, d)) {
        double time = 0.0;
        bool withTime = false;
        if (!r.done()) {
            std::size_t before = r.i;
            r.skipSpaces();
            withTime = r.i > before && readTime(r, time);
        }
        if (r.done()) {
            auto serial = dateSerial(y, m, d);
            if (!recognizeDates || !serial) return asText();
            return withTime ? CellValue::makeNumber(*serial + time, NumberFormat::DateTime)
                            : CellValue::makeNumber(*serial, NumberFormat::Date);
        }
    }
    r.i = 0;
    double time = 0.0;
    if (isDigit(first) && readTime(r, time) && r.done()) return CellValue::makeNumber(time, NumberFormat::Time);

    double value = 0.0;
    NumberFormat format = NumberFormat::General;
    if (maybeNumber && readNumber(s, value, format)) return CellValue::makeNumber(value, format);
    return asText();
}

}  // namespace qf::engine
