#include "number_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "plain_text.h"

namespace qf::engine {

constexpr std::size_t kMaxGroups = 12;

// A number as written: its signs, its groups of digits and the marks between
// them, its exponent.
struct NumberShape {
    bool parentheses = false, negative = false, sign = false;
    bool percent = false, percentFirst = false, percentSpaced = false;
    std::string_view currency;
    bool currencyFirst = false, currencySpaced = false;
    char leadingMark = 0;  // ".5"
    std::array<std::string_view, kMaxGroups> groups{};
    std::array<char, kMaxGroups> marks{};  // marks[i] stands before groups[i + 1]
    std::size_t groupCount = 0;
    std::string_view exponent;  // "e-3"
};

namespace {

struct NumberValue {
    double value = 0;
    unsigned decimals = 0;
    bool grouped = false;
    bool shownAsWritten = false;  // the spreadsheet's own format shows it as the page wrote it
};

// The number a shape is with `dec` as its decimal mark, if it reads so;
// `group` gets the grouping mark it then has (0 for none).
std::optional<NumberValue> interpret(const NumberShape& s, char dec, char& group) {
    group = 0;
    const std::size_t markCount = s.groupCount - 1;
    std::string_view fraction;
    std::size_t intGroups = s.groupCount;
    if (s.leadingMark) {
        if (s.leadingMark != dec || markCount > 0) return std::nullopt;
        fraction = s.groups[0];
        intGroups = 0;
    } else if (markCount > 0 && s.marks[markCount - 1] == dec) {
        fraction = s.groups[markCount];
        intGroups = markCount;
    }
    NumberValue out;
    if (intGroups > 1) {
        group = s.marks[0];
        for (std::size_t i = 0; i + 1 < intGroups; ++i)
            if (s.marks[i] != group || group == dec) return std::nullopt;
        const std::string_view first = s.groups[0];
        if (first.size() > 3 || first[0] == '0') return std::nullopt;
        bool thousands = true, indian = group == ',' && first.size() <= 2 && s.groups[intGroups - 1].size() == 3;
        for (std::size_t i = 1; i < intGroups; ++i) {
            thousands = thousands && s.groups[i].size() == 3;
            if (i + 1 < intGroups) indian = indian && s.groups[i].size() == 2;
        }
        if (!thousands && !indian) return std::nullopt;
        out.grouped = true;
    }
    // The digits: "007" and "0022" are text (a value would lose the zeros),
    // and the sheet keeps 15 significant digits.
    std::uint64_t mantissa = 0;
    std::size_t digits = 0, kept = 0, significant = 0, trailingZeros = 0, intDigits = 0;
    auto take = [&](std::string_view d) {
        for (char c : d) {
            ++digits;
            if (mantissa == 0 && c == '0') continue;
            if (++kept <= 18) mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
            ++significant;
            trailingZeros = c == '0' ? trailingZeros + 1 : 0;
        }
    };
    for (std::size_t i = 0; i < intGroups; ++i) take(s.groups[i]);
    intDigits = intGroups == 0 ? 1 : digits;
    if (intGroups > 0 && digits > 1 && s.groups[0][0] == '0') return std::nullopt;
    take(fraction);
    out.decimals = static_cast<unsigned>(fraction.size());
    if (significant - trailingZeros > 15) return std::nullopt;
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (s.exponent.empty() && kept <= 15 && out.decimals <= 22) {
        // Both exact, so the quotient is the correctly rounded value.
        out.value = static_cast<double>(mantissa) / kPowers[out.decimals];
    } else {
        std::array<char, kMaxValueLength + 8> clean{};
        std::size_t n = 0;
        for (std::size_t i = 0; i < intGroups; ++i)
            for (char c : s.groups[i]) clean[n++] = c;
        if (intGroups == 0) clean[n++] = '0';
        if (!fraction.empty()) clean[n++] = '.';
        for (char c : fraction) clean[n++] = c;
        for (char c : s.exponent) clean[n++] = c;
        auto [end, ec] = std::from_chars(clean.data(), clean.data() + n, out.value);
        if (ec != std::errc() || end != clean.data() + n || !std::isfinite(out.value)) return std::nullopt;
    }
    if (s.negative) out.value = -out.value;
    if (s.percent) out.value /= 100.0;
    // The spreadsheet's own format shows up to 11 characters as they are; a
    // number with an exponent it shows without one.
    out.shownAsWritten = s.exponent.empty() && !out.grouped &&
                         intDigits + (fraction.empty() ? 0 : fraction.size() + 1) <= 11 &&
                         (fraction.empty() || fraction.back() != '0');
    return out;
}

// The marks (a bit per NumberMarks) of the conventions with that decimal
// mark that group with `group` (0: that read an ungrouped number).
unsigned marksReading(char dec, char group) {
    auto bit = [](NumberMarks m) { return 1u << static_cast<unsigned>(m); };
    if (dec == '.') {
        switch (group) {
            case 0:
                return bit(NumberMarks::PointComma) | bit(NumberMarks::PointSpace) | bit(NumberMarks::PointApostrophe) |
                       bit(NumberMarks::PointOther);
            case ',': return bit(NumberMarks::PointComma);
            case ' ': return bit(NumberMarks::PointSpace);
            case '\'': return bit(NumberMarks::PointApostrophe);
            default: return 0;
        }
    }
    switch (group) {
        case 0:
            return bit(NumberMarks::CommaPoint) | bit(NumberMarks::CommaSpace) | bit(NumberMarks::CommaApostrophe) |
                   bit(NumberMarks::CommaOther);
        case '.': return bit(NumberMarks::CommaPoint);
        case ' ': return bit(NumberMarks::CommaSpace);
        case '\'': return bit(NumberMarks::CommaApostrophe);
        default: return 0;
    }
}

// How a number's exponent is written, as bits of a format's key: none (0), or
// its letter's case, its sign, its digits and the mantissa's integer digits.
std::uint64_t exponentForm(const NumberShape& s, const NumberValue& v) {
    if (s.exponent.empty()) return 0;
    std::size_t digits = 0;
    for (std::size_t i = 0; i < s.groupCount; ++i) digits += s.groups[i].size();
    const std::size_t intDigits = std::clamp<std::size_t>(digits - std::min<std::size_t>(digits, v.decimals), 1, 15);
    const std::size_t exponentDigits = std::min<std::size_t>(
        static_cast<std::size_t>(std::count_if(s.exponent.begin(), s.exponent.end(), isDigit)), 15);
    return 1u | (s.exponent[0] == 'E' ? 2u : 0u) | (s.exponent[1] == '+' ? 4u : 0u) | exponentDigits << 3 |
           intDigits << 7;
}

// The format code that shows a number as the shape writes it; one with an
// exponent in scientific form, with as many digits before the mark and in the
// exponent as the page wrote ("12e3" is 00e-0, which shows 12e3).
std::string numberCode(const NumberShape& s, const NumberValue& v) {
    const std::uint64_t exponent = exponentForm(s, v);
    std::string body = exponent ? std::string(exponent >> 7, '0') : v.grouped ? "#,##0" : "0";
    if (v.decimals > 0) body += "." + std::string(v.decimals, '0');
    if (exponent) {
        body += (exponent & 2) ? "E" : "e";
        body += (exponent & 4) ? "+" : "-";
        body += std::string((exponent >> 3) & 15, '0');
    }
    if (s.percent) {
        if (s.percentFirst) return "%" + std::string(s.percentSpaced ? " " : "") + body;
        return body + (s.percentSpaced ? " %" : "%");
    }
    if (!s.currency.empty()) {
        std::string affix;
        if (s.currencyFirst) {
            std::string sign(s.currency);
            if (s.currencySpaced) sign += ' ';
            if (sign == "$")
                affix = "$";
            else
                appendLiteral(affix, sign, true);
            body = affix + body;
        } else {
            appendLiteral(affix, std::string(s.currencySpaced ? " " : "") + std::string(s.currency), true);
            body += affix;
        }
    } else if (v.shownAsWritten && !s.parentheses) {
        return {};
    }
    if (s.parentheses) body += ";(" + body + ")";
    return body;
}

}  // namespace

std::uint64_t NumberReader::signIndex(std::string_view sign) {
    for (std::size_t k = 0; k < signs_.size(); ++k)
        if (signs_[k] == sign) return k + 1;
    signs_.emplace_back(sign);
    return signs_.size();
}

bool NumberReader::read(std::string_view text, Reading& r) {
    unknownSign_ = false;
    NumberShape s;
    std::string_view t = text;
    if (!readSigns(t, s) || t.empty()) return false;
    std::size_t i = 0;
    if (!readDigits(t, i, s)) return false;
    std::string_view rest = t.substr(i);
    const bool spaced = !rest.empty() && rest.front() == ' ';
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (!readAfter(rest, spaced, s)) return false;
    if (s.percent && !s.currency.empty()) return false;

    unsigned readers = 0;
    const std::size_t count = addNumbers(s, r, readers);
    addTimeWithPoint(s, r);
    if (r.count == 0) return false;
    const std::size_t markCount = s.groupCount - 1;
    r.kind = Reading::Kind::Value;
    const bool strong = markCount >= 2 || (markCount >= 1 && (s.percent || !s.currency.empty()));
    r.plain = count > 0 && ((markCount == 0 && !s.leadingMark) || strong);
    if (strong && readers != 0 && readers != (1u << kNumberMarksCount) - 1)
        r.marksVote = static_cast<std::uint8_t>(readers);
    r.amount = !s.currency.empty() || markCount > 0 || s.leadingMark;
    r.parenthesised = s.parentheses && !r.amount;
    r.bareDollar = s.currency == "$" && markCount == 0 && !s.leadingMark && !s.percent;
    return true;
}

// Before the digits: parentheses around the number, signs, a currency sign, a
// percent sign.
bool NumberReader::readSigns(std::string_view& t, NumberShape& s) {
    auto trimFront = [&] {
        while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    };
    if (t.size() >= 2 && t.front() == '(' && t.back() == ')') {
        s.parentheses = s.negative = true;
        t = t.substr(1, t.size() - 2);
        trimFront();
        while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    }
    while (!t.empty() && !isDigit(t.front())) {
        const char c = t.front();
        if (c == '+' || c == '-') {
            if (s.sign || s.parentheses) return false;
            s.sign = true;
            s.negative = c == '-';
            t.remove_prefix(1);
            trimFront();
            continue;
        }
        if (c == '%') {
            if (s.percent) return false;
            s.percent = s.percentFirst = true;
            t.remove_prefix(1);
            s.percentSpaced = !t.empty() && t.front() == ' ';
            trimFront();
            continue;
        }
        if ((c == '.' || c == ',') && t.size() > 1 && isDigit(t[1])) break;
        std::size_t end = 0;
        while (end < t.size() && !isDigit(t[end]) && t[end] != ' ' && t[end] != '-' && t[end] != '+') ++end;
        std::string_view sign = t.substr(0, end);
        if (!sign.empty() && (sign.back() == '.' || sign.back() == ',') && !lexicon_.isCurrencySign(sign))
            sign.remove_suffix(1);
        if (!s.currency.empty() || sign.empty() || !lexicon_.isCurrencySign(sign)) {
            unknownSign_ = !sign.empty() && (sign.size() <= 3 || !std::all_of(sign.begin(), sign.end(), isAsciiLetter));
            return false;
        }
        s.currency = sign;
        s.currencyFirst = true;
        t.remove_prefix(sign.size());
        s.currencySpaced = !t.empty() && t.front() == ' ';
        trimFront();
    }
    return true;
}

// The digits and the marks between them, and an exponent; i ends after them.
bool NumberReader::readDigits(std::string_view t, std::size_t& i, NumberShape& s) const {
    if (t[0] == '.' || t[0] == ',') {
        s.leadingMark = t[0];
        i = 1;
    }
    for (;;) {
        const std::size_t start = i;
        while (i < t.size() && isDigit(t[i])) ++i;
        if (i == start || s.groupCount == kMaxGroups) return false;
        s.groups[s.groupCount++] = t.substr(start, i - start);
        if (!s.leadingMark && i + 1 < t.size() && (t[i] == '.' || t[i] == ',' || t[i] == ' ' || t[i] == '\'') &&
            isDigit(t[i + 1])) {
            s.marks[s.groupCount - 1] = t[i++];
            continue;
        }
        break;
    }
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
        const std::size_t digits = j;
        while (j < t.size() && isDigit(t[j])) ++j;
        if (j > digits) {
            s.exponent = t.substr(i, j - i);
            i = j;
        }
    }
    return true;
}

// After them: a percent or a currency sign.
bool NumberReader::readAfter(std::string_view rest, bool spaced, NumberShape& s) {
    if (rest.empty()) return true;
    if (rest == "%") {
        if (s.percent) return false;
        s.percent = true;
        s.percentSpaced = spaced;
    } else if (s.currency.empty() && lexicon_.isCurrencySign(rest)) {
        s.currency = rest;
        s.currencySpaced = spaced;
    } else {
        unknownSign_ = rest.size() <= 3 || !std::all_of(rest.begin(), rest.end(), isAsciiLetter);
        return false;
    }
    return true;
}

// The number with each decimal mark, and the conventions that read it so;
// when both agree (no marks at all), one alternative. Returns how many, with
// the marks that read any in readers.
std::size_t NumberReader::addNumbers(const NumberShape& s, Reading& r, unsigned& readers) {
    std::array<std::pair<NumberValue, unsigned>, 2> found{};
    std::size_t count = 0;
    for (const char dec : {'.', ','}) {
        char group = 0;
        const auto v = interpret(s, dec, group);
        const unsigned marks = v ? marksReading(dec, group) : 0;
        if (!marks) continue;
        if (count == 1 && found[0].first.value == v->value && found[0].first.decimals == v->decimals &&
            found[0].first.grouped == v->grouped) {
            found[0].second |= marks;
            continue;
        }
        found[count++] = {*v, marks};
    }
    for (std::size_t k = 0; k < count; ++k) {
        const NumberValue& v = found[k].first;
        const std::uint64_t key =
            std::uint64_t{v.decimals} | (v.grouped ? 1u << 8 : 0) | (v.shownAsWritten ? 1u << 9 : 0) |
            (s.percent ? 1u << 10 : 0) | (s.percentFirst ? 1u << 11 : 0) | (s.percentSpaced ? 1u << 12 : 0) |
            (s.currencyFirst ? 1u << 13 : 0) | (s.currencySpaced ? 1u << 14 : 0) | (s.parentheses ? 1u << 15 : 0) |
            (s.currency.empty() ? 0 : signIndex(s.currency) << 16) | exponentForm(s, v) << 40;
        r.alternatives[k] = {v.value, formatOf(key, [&] { return numberCode(s, v); }), withMarks(found[k].second)};
        readers |= found[k].second;
    }
    r.count = static_cast<std::uint8_t>(count);
    return count;
}

// A time of day with a point, "15.20", where a locale writes times so.
void NumberReader::addTimeWithPoint(const NumberShape& s, Reading& r) {
    const std::size_t markCount = s.groupCount - 1;
    const bool plainDigits = !s.sign && !s.parentheses && !s.percent && s.currency.empty() && s.exponent.empty() &&
                             !s.leadingMark && (markCount == 1 || markCount == 2) && s.groups[0].size() <= 2;
    bool timeReading = plainDigits;
    for (std::size_t k = 1; k < s.groupCount && timeReading; ++k)
        timeReading = s.marks[k - 1] == '.' && s.groups[k].size() == 2;
    if (!timeReading) return;
    int parts[3] = {};
    for (std::size_t k = 0; k < s.groupCount; ++k)
        std::from_chars(s.groups[k].data(), s.groups[k].data() + s.groups[k].size(), parts[k]);
    // (A locale with a decimal point and times with points, si, reads
    // "12.50" both ways.)
    if (parts[0] <= 23 && parts[1] <= 59 && parts[2] <= 59) {
        const std::string code = markCount == 2 ? "h\".\"mm\".\"ss" : "h\".\"mm";
        r.alternatives[r.count++] = {(parts[0] * 3600.0 + parts[1] * 60.0 + parts[2]) / 86400.0,
                                     codes_.format(s.groups[0].size() == 2 ? "h" + code : code), withTimePoint(true)};
    }
}

}  // namespace qf::engine
