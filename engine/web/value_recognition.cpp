#include "value_recognition.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/text.h"

namespace qf::engine {

namespace {

// Longer texts are never values; the bound also keeps the work per cell small.
constexpr std::size_t kMaxValueLength = 96;
constexpr std::size_t kMaxTokens = 40;
constexpr std::size_t kMaxGroups = 12;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// ---- the conventions as bits ----

struct ConventionTables {
    std::array<Conventions, kNumberMarksCount> marks{};
    std::array<Conventions, kDateOrderCount> orders{};
    std::array<Conventions, 2> timePoint{};
    ConventionTables() {
        for (unsigned m = 0; m < kNumberMarksCount; ++m)
            for (unsigned o = 0; o < kDateOrderCount; ++o)
                for (unsigned t = 0; t < 2; ++t) {
                    const Conventions bit = Conventions{1} << conventionIndex(static_cast<NumberMarks>(m),
                                                                              static_cast<DateOrder>(o), t == 1);
                    marks[m] |= bit;
                    orders[o] |= bit;
                    timePoint[t] |= bit;
                }
    }
};
const ConventionTables kTables;

// ---- the text, made plain ----

// Copies the text without its surrounding spaces, every kind of space as one
// ASCII space, the minus sign U+2212 as "-", the right single quote U+2019 (a
// grouping mark) as "'", and without the invisible direction marks. Returns
// false when the text is too long to be a value.
bool plainText(std::string_view text, std::string& out) {
    out.clear();
    bool space = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        char put = c;
        std::size_t skip = 0;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            put = ' ';
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            const std::string_view rest = text.substr(i, 3);
            if (rest.substr(0, 2) == "\xC2\xA0") {
                put = ' ';
                skip = 1;
            } else if (rest == "\xE2\x80\xAF" || rest == "\xE2\x80\x89" || rest == "\xE2\x80\x87" ||
                       rest == "\xE2\x80\x8A") {
                put = ' ';
                skip = 2;
            } else if (rest == "\xE2\x88\x92") {
                put = '-';
                skip = 2;
            } else if (rest == "\xE2\x80\x99") {
                put = '\'';
                skip = 2;
            } else if (rest == "\xE2\x80\x8E" || rest == "\xE2\x80\x8F" || rest.substr(0, 2) == "\xD8\x9C") {
                i += rest.substr(0, 2) == "\xD8\x9C" ? 1u : 2u;
                continue;
            }
        }
        i += skip;
        if (put == ' ') {
            space = !out.empty();
            continue;
        }
        if (space) out.push_back(' ');
        space = false;
        if (out.size() >= kMaxValueLength) return false;
        if (skip == 0 && static_cast<unsigned char>(c) >= 0x80) {
            out.push_back(c);
        } else {
            out.push_back(put);
        }
    }
    return true;
}

int expandYear(int y, std::size_t digitCount) {
    if (digitCount > 2) return y;
    return y < 30 ? 2000 + y : 1900 + y;
}

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

// 1 Sunday .. 7 Saturday, as CLDR counts weekdays.
int weekdayOf(int y, int m, int d) {
    const std::int64_t days = daysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));  // 0: a Thursday
    return static_cast<int>(((days % 7) + 7 + 4) % 7) + 1;
}

// A literal of a format code: quoted, or as it is when its characters need no
// quotes and it need not stand out.
void appendLiteral(std::string& code, std::string_view text, bool quote = false) {
    if (text.empty()) return;
    if (!quote && text.find_first_not_of(" ,./-:") == std::string_view::npos) {
        code += text;
        return;
    }
    code += '"';
    for (char c : text)
        if (c != '"') code += c;
    code += '"';
}

// ---- numbers ----

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

Conventions withMarks(unsigned marksBits) {
    Conventions out = 0;
    for (unsigned m = 0; m < kNumberMarksCount; ++m)
        if (marksBits & (1u << m)) out |= kTables.marks[m];
    return out;
}

Conventions withOrders(unsigned orderBits) {
    Conventions out = 0;
    for (unsigned o = 0; o < kDateOrderCount; ++o)
        if (orderBits & (1u << o)) out |= kTables.orders[o];
    return out;
}

Conventions withTimePoint(bool timeWithPoint) { return kTables.timePoint[timeWithPoint ? 1 : 0]; }

unsigned marksOf(Conventions set) {
    unsigned out = 0;
    for (unsigned m = 0; m < kNumberMarksCount; ++m)
        if (set & kTables.marks[m]) out |= 1u << m;
    return out;
}

unsigned ordersOf(Conventions set) {
    unsigned out = 0;
    for (unsigned o = 0; o < kDateOrderCount; ++o)
        if (set & kTables.orders[o]) out |= 1u << o;
    return out;
}

const Reading::Alternative* valueUnder(const Reading& reading, Conventions inQuestion) {
    if (reading.kind != Reading::Kind::Value) return nullptr;
    const Reading::Alternative* chosen = nullptr;
    const Reading::Alternative* only = nullptr;  // of the readings as a number
    std::size_t numbers = 0;
    for (std::size_t i = 0; i < reading.count; ++i) {
        const Reading::Alternative& a = reading.alternatives[i];
        if (!std::isnan(a.number)) {
            only = &a;
            ++numbers;
        }
        if (!(a.readers & inQuestion)) continue;
        if (std::isnan(a.number) || (chosen && chosen->number != a.number)) return nullptr;  // read differently
        if (!chosen) chosen = &a;
    }
    if (chosen) return chosen;
    return reading.plain && numbers == 1 ? only : nullptr;
}

std::optional<double> dateSerial(int year, int month, int day) {
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return std::nullopt;
    std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    bool beforeMarch1900 = year == 1900 && month <= 2;
    std::int64_t epoch = beforeMarch1900 ? daysFromCivil(1899, 12, 31) : daysFromCivil(1899, 12, 30);
    return static_cast<double>(days - epoch);
}

// ---- the reader ----

ValueReader::ValueReader(std::vector<const LocaleConventions*> locales, bool dates)
    : locales_(std::move(locales)), dates_(dates) {
    std::erase(locales_, nullptr);
    for (const LocaleConventions* l : locales_) hourMark_ = hourMark_ || l->timeWithHourMark;
}

void ValueReader::adoptLanguagesUsed() {
    unsigned most = 0;
    for (const auto& [language, uses] : worldLanguagesUsed_) most = std::max(most, uses);
    std::vector<std::uint16_t> chosen;
    for (const auto& [language, uses] : worldLanguagesUsed_)
        if (uses == most) chosen.push_back(language);
    std::sort(chosen.begin(), chosen.end());
    for (std::size_t k = 0; k < chosen.size() && k < 4; ++k) {
        const LocaleConventions* l = worldLanguage(chosen[k]);
        if (!l || std::find(locales_.begin(), locales_.end(), l) != locales_.end()) continue;
        locales_.push_back(l);
        hourMark_ = hourMark_ || l->timeWithHourMark;
    }
    worldLanguagesUsed_.clear();
}

std::uint64_t ValueReader::signIndex(std::string_view sign) {
    for (std::size_t k = 0; k < signs_.size(); ++k)
        if (signs_[k] == sign) return k + 1;
    signs_.emplace_back(sign);
    return signs_.size();
}

FormatId ValueReader::format(std::string_view code) {
    if (code.empty()) return kGeneralFormat;
    const auto it = formats_.find(code);
    if (it != formats_.end()) return it->second;
    const FormatId id = internFormat(code);
    formats_.emplace(std::string(code), id);
    return id;
}

bool ValueReader::isCurrencySign(std::string_view sign) const {
    if (sign == "$") return true;
    // No sign has digits, spaces or these marks, or is long ("/14/2025" is no sign).
    if (sign.empty() || sign.size() > 12 || sign.find_first_of("0123456789 /:%()+-=") != std::string_view::npos)
        return false;
    for (const LocaleConventions* l : locales_)
        for (const std::string& s : l->currencySigns)
            if (s == sign) return true;
    // Signs of letters alone ("kr", "CHF") count only in their locales' pages.
    if (std::all_of(sign.begin(), sign.end(), isAsciiLetter)) return false;
    return worldWords().isCurrencySign(sign);
}

const LocaleConventions* ValueReader::worldLanguage(std::uint16_t index) {
    const auto it = worldLanguages_.find(index);
    if (it != worldLanguages_.end()) return it->second;
    const LocaleConventions* record = resolveLocale(world_->languageTags()[index]).record;
    worldLanguages_.emplace(index, record);
    return record;
}

std::optional<ValueReader::Word> ValueReader::lookUp(std::string_view word,
                                                     std::vector<const LocaleConventions*>& extra) {
    std::optional<Word> found;
    auto take = [&](DateWord meaning, const LocaleConventions* locale) {
        if (locale->dateOrder == DateOrder::OtherCalendar) meaning.month = meaning.weekday = 0;  // not Gregorian
        if (!found) {
            found = Word{meaning, locale, locale && locale->language == "en", false};
            return;
        }
        // Known to two of the page's locales: both meanings count.
        DateWords both;
        both.add(std::string(word), found->meaning);
        both.add(std::string(word), meaning);
        found->meaning = *both.find(word);
    };
    for (const LocaleConventions* l : locales_)
        if (const DateWord* w = l->words.find(word)) take(*w, l);
    for (const LocaleConventions* l : extra)
        if (const DateWord* w = l->words.find(word)) take(*w, l);
    if (found) return found;
    // A name none of the page's locales knows, in the language it is from.
    if (!world_) world_ = &worldWords();
    const WorldWords::Entry* e = world_->find(word);
    if (!e || e->meaning.month == DateWord::kAmbiguous || e->meaning.weekday == DateWord::kAmbiguous ||
        e->meaning.dayPeriod == DateWord::kAmbiguous)
        return std::nullopt;
    Word w{e->meaning, nullptr, false, true};
    for (std::uint16_t language : e->languages) ++worldLanguagesUsed_[language];
    // (Each language's record is made the first time it is needed: only the
    // first two languages of a name are taken in.)
    for (std::uint16_t language : e->languages) {
        const std::string& tag = world_->languageTags()[language];
        if (tag == "en" || tag.starts_with("en-")) w.english = true;
    }
    for (std::size_t k = 0; k < e->languages.size() && k < 2; ++k) {
        const LocaleConventions* l = worldLanguage(e->languages[k]);
        if (!l) continue;
        if (l->dateOrder == DateOrder::OtherCalendar) w.meaning.month = w.meaning.weekday = 0;  // not Gregorian
        if (!w.locale) w.locale = l;
        if (extra.size() < 2 && std::find(extra.begin(), extra.end(), l) == extra.end()) extra.push_back(l);
    }
    return w;
}

bool ValueReader::readNumber(std::string_view text, Reading& r) {
    NumberShape s;
    std::string_view t = text;
    auto trimFront = [&] {
        while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    };
    if (t.size() >= 2 && t.front() == '(' && t.back() == ')') {
        s.parentheses = s.negative = true;
        t = t.substr(1, t.size() - 2);
        trimFront();
        while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    }
    // Before the digits: signs, a currency sign, a percent sign.
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
        if (!sign.empty() && (sign.back() == '.' || sign.back() == ',') && !isCurrencySign(sign)) sign.remove_suffix(1);
        if (!s.currency.empty() || sign.empty() || !isCurrencySign(sign)) {
            unknownSign_ = !sign.empty() && (sign.size() <= 3 || !std::all_of(sign.begin(), sign.end(), isAsciiLetter));
            return false;
        }
        s.currency = sign;
        s.currencyFirst = true;
        t.remove_prefix(sign.size());
        s.currencySpaced = !t.empty() && t.front() == ' ';
        trimFront();
    }
    if (t.empty()) return false;
    // The digits and the marks between them.
    std::size_t i = 0;
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
    // After them: a percent or a currency sign.
    std::string_view rest = t.substr(i);
    const bool spaced = !rest.empty() && rest.front() == ' ';
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (!rest.empty()) {
        if (rest == "%") {
            if (s.percent) return false;
            s.percent = true;
            s.percentSpaced = spaced;
        } else if (s.currency.empty() && isCurrencySign(rest)) {
            s.currency = rest;
            s.currencySpaced = spaced;
        } else {
            unknownSign_ = rest.size() <= 3 || !std::all_of(rest.begin(), rest.end(), isAsciiLetter);
            return false;
        }
    }
    if (s.percent && !s.currency.empty()) return false;

    // The number with each decimal mark, and the conventions that read it so;
    // when both agree (no marks at all), one alternative.
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
    const std::size_t markCount = s.groupCount - 1;
    unsigned readers = 0;
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
    // A time of day with a point, "15.20", where a locale writes times so.
    const bool plainDigits = !s.sign && !s.parentheses && !s.percent && s.currency.empty() && s.exponent.empty() &&
                             !s.leadingMark && (markCount == 1 || markCount == 2) && s.groups[0].size() <= 2;
    bool timeReading = plainDigits;
    for (std::size_t k = 1; k < s.groupCount && timeReading; ++k)
        timeReading = s.marks[k - 1] == '.' && s.groups[k].size() == 2;
    if (timeReading) {
        int parts[3] = {};
        for (std::size_t k = 0; k < s.groupCount; ++k)
            std::from_chars(s.groups[k].data(), s.groups[k].data() + s.groups[k].size(), parts[k]);
        // (A locale with a decimal point and times with points, si, reads
        // "12.50" both ways.)
        if (parts[0] <= 23 && parts[1] <= 59 && parts[2] <= 59) {
            const std::string code = markCount == 2 ? "h\".\"mm\".\"ss" : "h\".\"mm";
            r.alternatives[r.count++] = {(parts[0] * 3600.0 + parts[1] * 60.0 + parts[2]) / 86400.0,
                                         format(s.groups[0].size() == 2 ? "h" + code : code), withTimePoint(true)};
        }
    }
    if (r.count == 0) return false;
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

// Reads one text as a date, a time or both.
// One reader's parser: its buffers keep their room from text to text.
class TextParser {
public:
    explicit TextParser(ValueReader& reader) : reader_(reader) {}

    // Starts on a new text.
    void reset(std::string_view s) {
        s_ = s;
        tokens_.clear();
        extra_.clear();
        parts_.clear();
        numbers_.clear();
        numeric_ = separatorSpaced_ = trailingDot_ = monthFirst_ = hasTime_ = timeWithPoint_ = false;
        foreignWord_ = false;
        separator_ = 0;
        monthByName_ = weekday_ = hour_ = minute_ = second_ = period_ = 0;
        gaps_ = {};
        markers_ = {};
        fraction_ = 0;
    }
    bool tokenize();
    bool parse(Reading& out);
    // A word of the text that no language of the page has.
    bool foreignWord() const { return foreignWord_; }

private:
    enum class Kind : std::uint8_t { Number, Word, Punct, Space };
    struct Token {
        Kind kind;
        char punct = 0;
        std::string_view text;
        std::uint32_t value = 0;  // a number's
        std::optional<ValueReader::Word> word;
    };
    // A piece of the format code: a number (its role decided later), a name,
    // or a literal.
    enum class Piece : std::uint8_t { Number, Month, Weekday, Literal, Hour, Minute, Second, Fraction, DayPeriod };
    struct Part {
        Piece piece;
        std::string_view text;
        const ValueReader::Word* word = nullptr;
        std::size_t number = 0;  // index into numbers_ for Number
    };

    const Token* at(std::size_t i) const { return i < tokens_.size() ? &tokens_[i] : nullptr; }
    bool isPunct(std::size_t i, char c) const { return at(i) && at(i)->kind == Kind::Punct && at(i)->punct == c; }
    bool isSpace(std::size_t i) const { return at(i) && at(i)->kind == Kind::Space; }
    bool isNumber(std::size_t i) const { return at(i) && at(i)->kind == Kind::Number; }
    const DateWord* wordAt(std::size_t i) const {
        return at(i) && at(i)->kind == Kind::Word && at(i)->word ? &at(i)->word->meaning : nullptr;
    }
    bool isMonth(std::size_t i) const {
        const DateWord* w = wordAt(i);
        return w && w->month != 0 && w->month != DateWord::kAmbiguous;
    }
    bool isWeekday(std::size_t i) const {
        const DateWord* w = wordAt(i);
        return w && w->weekday != 0 && w->weekday != DateWord::kAmbiguous;
    }
    void literal(std::size_t from, std::size_t to) {
        if (to > from) parts_.push_back({Piece::Literal, span(from, to)});
    }
    std::string_view span(std::size_t from, std::size_t to) const {
        const char* begin = tokens_[from].text.data();
        const char* end = tokens_[to - 1].text.data() + tokens_[to - 1].text.size();
        return {begin, static_cast<std::size_t>(end - begin)};
    }
    std::size_t addNumber(std::size_t i) {
        numbers_.push_back(i);
        parts_.push_back({Piece::Number, tokens_[i].text, nullptr, numbers_.size() - 1});
        return numbers_.size() - 1;
    }

    bool gap(std::size_t& i, bool allowFillers);
    bool weekdayFirst(std::size_t& i);
    bool date(std::size_t& i);
    bool dateTail(std::size_t& i);
    bool time(std::size_t& i, bool afterDate);
    bool dayPeriod(std::size_t& i, bool toEnd);

    struct Order {
        int year = 0, month = 0, day = 0;
        bool valid = false;
    };
    std::string code(const std::array<char, 3>& roles, bool english, std::uint32_t lcid) const;

    ValueReader& reader_;
    std::string_view s_;
    std::vector<Token> tokens_;
    std::vector<const LocaleConventions*> extra_;
    std::vector<Part> parts_;
    std::vector<std::size_t> numbers_;  // token indexes of the date's numbers
    // The date's form.
    bool numeric_ = false;
    char separator_ = 0;
    bool separatorSpaced_ = false, trailingDot_ = false;
    int monthByName_ = 0;
    bool monthFirst_ = false;
    std::array<std::string_view, 2> gaps_;  // around a month name between the numbers
    int weekday_ = 0;
    std::array<int, 3> markers_{};  // for numbers_[k]: 0, or 1 year, 2 month, 3 day
    // The time's.
    bool hasTime_ = false, timeWithPoint_ = false;
    int hour_ = 0, minute_ = 0, second_ = 0;
    double fraction_ = 0;
    int period_ = 0;  // 1 am, 2 pm
    bool foreignWord_ = false;
};

bool TextParser::tokenize() {
    std::size_t i = 0;
    while (i < s_.size()) {
        if (tokens_.size() == kMaxTokens) return false;
        const char c = s_[i];
        const std::size_t start = i;
        Token t{Kind::Space, 0, {}, 0, std::nullopt};
        if (isDigit(c)) {
            while (i < s_.size() && isDigit(s_[i])) ++i;
            t.kind = Kind::Number;
            for (std::size_t k = start; k < i && k < start + 9; ++k) t.value = t.value * 10 + unsigned(s_[k] - '0');
        } else if (c == ' ') {
            ++i;
        } else if (static_cast<unsigned char>(c) < 0x80 && !isAsciiLetter(c)) {
            t.kind = Kind::Punct;
            t.punct = c;
            ++i;
        } else {
            while (i < s_.size() && (isAsciiLetter(s_[i]) || static_cast<unsigned char>(s_[i]) >= 0x80)) ++i;
            t.kind = Kind::Word;
        }
        t.text = s_.substr(start, i - start);
        tokens_.push_back(std::move(t));
    }
    // Names written with a hyphen ("segunda-feira") are one word.
    for (std::size_t k = 0; k + 2 < tokens_.size(); ++k) {
        if (tokens_[k].kind != Kind::Word || tokens_[k + 1].punct != '-' || tokens_[k + 2].kind != Kind::Word) continue;
        const std::string_view joined(tokens_[k].text.data(), tokens_[k].text.size() + 1 + tokens_[k + 2].text.size());
        auto word = reader_.lookUp(joined, extra_);
        if (!word) continue;
        tokens_[k].text = joined;
        tokens_[k].word = word;
        tokens_.erase(tokens_.begin() + static_cast<std::ptrdiff_t>(k + 1),
                      tokens_.begin() + static_cast<std::ptrdiff_t>(k + 3));
    }
    // The words, in the page's locales first; a name only another language
    // knows brings that language's words in.
    for (int round = 0; round < 2; ++round) {
        // Once another language came in, its words may mean more ("月" is a
        // weekday in every language's names, and a month's mark in Japanese).
        const bool again = round == 1 && !extra_.empty();
        for (std::size_t k = 0; k < tokens_.size(); ++k) {
            Token& t = tokens_[k];
            if (t.kind != Kind::Word || (t.word && !again)) continue;
            t.word = reader_.lookUp(t.text, extra_);
            if (t.word || round == 0 || k == 0 || tokens_[k - 1].kind != Kind::Number) continue;
            // "7日月曜日": a marker glued to the next word.
            const std::size_t first = utf8SequenceLength(t.text, 0);
            if (first == 0 || first >= t.text.size()) continue;
            auto marker = reader_.lookUp(t.text.substr(0, first), extra_);
            auto rest = reader_.lookUp(t.text.substr(first), extra_);
            if (!marker || !marker->meaning.marker || !rest) continue;
            Token tail{Kind::Word, 0, {}, 0, std::nullopt};
            tail.text = t.text.substr(first);
            tail.word = rest;
            t.text = t.text.substr(0, first);
            t.word = marker;
            tokens_.insert(tokens_.begin() + static_cast<std::ptrdiff_t>(k + 1), std::move(tail));
        }
    }
    for (const Token& t : tokens_)
        foreignWord_ = foreignWord_ || (t.kind == Kind::Word && (!t.word || t.word->fromWorld));
    return true;
}

// Spaces, punctuation and (with allowFillers) the words a date writes between
// its parts; false when there is nothing of the sort.
bool TextParser::gap(std::size_t& i, bool allowFillers) {
    const std::size_t start = i;
    while (at(i)) {
        const Token& t = tokens_[i];
        if (t.kind == Kind::Space ||
            (t.kind == Kind::Punct && (t.punct == '.' || t.punct == ',' || t.punct == '-' || t.punct == '/'))) {
            ++i;
            continue;
        }
        const DateWord* w = wordAt(i);
        if (allowFillers && w && w->filler) {
            ++i;
            continue;
        }
        break;
    }
    literal(start, i);
    return i > start;
}

bool TextParser::weekdayFirst(std::size_t& i) {
    if (!isWeekday(i)) return true;
    weekday_ = tokens_[i].word->meaning.weekday;
    parts_.push_back({Piece::Weekday, tokens_[i].text, &*tokens_[i].word});
    ++i;
    return gap(i, true);
}

bool TextParser::date(std::size_t& i) {
    const std::size_t start = i;
    // A month name first: "Dec 7, 2026".
    if (isMonth(i)) {
        monthFirst_ = true;
        monthByName_ = tokens_[i].word->meaning.month;
        parts_.push_back({Piece::Month, tokens_[i].text, &*tokens_[i].word});
        ++i;
        if (!gap(i, false) || !isNumber(i)) return false;
        addNumber(i++);
        if (!gap(i, false) || !isNumber(i)) return false;
        addNumber(i++);
        return true;
    }
    if (!isNumber(i)) return false;
    addNumber(i++);
    // "2026年12月7日", "2026년 12월 7일"
    if (wordAt(i) && wordAt(i)->marker) {
        for (int k = 0; k < 3; ++k) {
            if (k > 0) {
                const std::size_t before = i;
                while (isSpace(i)) ++i;
                literal(before, i);
                if (!isNumber(i)) return false;
                addNumber(i++);
            }
            const DateWord* w = wordAt(i);
            if (!w || !w->marker || w->marker == DateWord::kAmbiguous) return false;
            markers_[static_cast<std::size_t>(k)] = w->marker;
            literal(i, i + 1);
            ++i;
        }
        return true;
    }
    // Numeric: the same separator twice, "/", "-", "." or ". ".
    const std::size_t afterFirst = i;
    if (at(i) && at(i)->kind == Kind::Punct && (at(i)->punct == '/' || at(i)->punct == '-' || at(i)->punct == '.')) {
        const char sep = at(i)->punct;
        const bool spaced = isSpace(i + 1);
        const std::size_t step = spaced ? 2 : 1;
        if (isNumber(i + step) && isPunct(i + step + 1, sep) && isSpace(i + step + 2) == spaced &&
            isNumber(i + 2 * step + 1)) {
            literal(i, i + step);
            addNumber(i + step);
            literal(i + step + 1, i + 2 * step + 1);
            addNumber(i + 2 * step + 1);
            i += 2 * step + 2;
            numeric_ = true;
            separator_ = sep;
            separatorSpaced_ = spaced;
            if ((sep == '.') && isPunct(i, '.')) {
                trailingDot_ = true;
                literal(i, i + 1);
                ++i;
            }
            return true;
        }
    }
    // A month name between the numbers: "7. Dezember 2026", "21.dez.2018",
    // "7-Dec-26", "7 de diciembre de 2026", "2026. december 7.".
    i = afterFirst;
    if (!gap(i, true) || !isMonth(i)) {
        i = start;
        return false;
    }
    gaps_[0] = span(afterFirst, i);
    monthByName_ = tokens_[i].word->meaning.month;
    parts_.push_back({Piece::Month, tokens_[i].text, &*tokens_[i].word});
    const std::size_t afterMonth = ++i;
    if (!gap(i, true) || !isNumber(i)) return false;
    gaps_[1] = span(afterMonth, i);
    addNumber(i++);
    return true;
}

// What may follow a date: a period, the locale's words ("г."), a weekday
// ("7 Aralık 2026 Pazartesi", "2026. december 7., hétfő", "2026年12月7日月曜日").
bool TextParser::dateTail(std::size_t& i) {
    const std::size_t start = i;
    for (;;) {
        if (isPunct(i, '.') && !isNumber(i + 1)) {
            ++i;
            continue;
        }
        const std::size_t k = isSpace(i) ? i + 1 : i;
        const DateWord* w = wordAt(k);
        if (w && w->filler && !w->glue && !w->weekday) {
            i = k + 1;
            continue;
        }
        break;
    }
    std::size_t k = i;
    if (isPunct(k, ',')) ++k;
    if (isSpace(k)) ++k;
    if (weekday_ == 0 && isWeekday(k)) {
        literal(start, k);
        weekday_ = tokens_[k].word->meaning.weekday;
        parts_.push_back({Piece::Weekday, tokens_[k].text, &*tokens_[k].word});
        i = k + 1;
        return true;
    }
    literal(start, i);
    return true;
}

// A day period's words from i: "PM", "p. m.", "오후"; with toEnd, all that is left.
bool TextParser::dayPeriod(std::size_t& i, bool toEnd) {
    std::string letters;
    std::size_t k = i, best = 0;
    int period = 0;
    while (at(k) && (at(k)->kind == Kind::Word || isPunct(k, '.') || isSpace(k))) {
        if (at(k)->kind == Kind::Word) {
            letters += at(k)->text;
            const auto w = reader_.lookUp(letters, extra_);
            if (w && w->meaning.dayPeriod && w->meaning.dayPeriod != DateWord::kAmbiguous) {
                best = k + 1;
                period = w->meaning.dayPeriod;
                if (isPunct(best, '.')) ++best;
            }
        }
        ++k;
        if (!toEnd && best) break;
    }
    if (!best || (toEnd && best != tokens_.size())) return false;
    period_ = period;
    parts_.push_back({Piece::DayPeriod, span(i, best)});
    i = best;
    return true;
}

// "15:20", "3:20:05 PM", "15.20", "15 h 20", "12h55", "오후 3:20".
bool TextParser::time(std::size_t& i, bool afterDate) {
    std::size_t k = i;
    bool periodFirst = false;
    if (at(k) && at(k)->kind == Kind::Word) {
        if (!dayPeriod(k, false)) return false;
        periodFirst = true;
        const std::size_t before = k;
        while (isSpace(k)) ++k;
        literal(before, k);
    }
    if (!isNumber(k) || tokens_[k].text.size() > 2) return false;
    parts_.push_back({Piece::Hour, tokens_[k].text});
    hour_ = static_cast<int>(tokens_[k].value);
    ++k;
    auto twoDigits = [&](std::size_t t) { return isNumber(t) && tokens_[t].text.size() == 2; };
    if (isPunct(k, ':') || isPunct(k, '.')) {
        const char sep = tokens_[k].punct;
        timeWithPoint_ = sep == '.';
        if (!twoDigits(k + 1)) return false;
        literal(k, k + 1);
        parts_.push_back({Piece::Minute, tokens_[k + 1].text});
        minute_ = static_cast<int>(tokens_[k + 1].value);
        k += 2;
        if (isPunct(k, sep) && twoDigits(k + 1)) {
            literal(k, k + 1);
            parts_.push_back({Piece::Second, tokens_[k + 1].text});
            second_ = static_cast<int>(tokens_[k + 1].value);
            k += 2;
            if (sep == ':' && isPunct(k, '.') && isNumber(k + 1)) {
                parts_.push_back({Piece::Fraction, tokens_[k + 1].text});
                std::from_chars(tokens_[k].text.data(), tokens_[k + 1].text.data() + tokens_[k + 1].text.size(),
                                fraction_);
                k += 2;
            }
        }
    } else {
        // The hour mark: "15 h 20", "12h55"; only where a page's locale writes
        // it so, or after a date.
        std::size_t m = k;
        if (isSpace(m)) ++m;
        const DateWord* w = wordAt(m);
        const bool mark = (w && w->hourMark) || (at(m) && (at(m)->text == "h" || at(m)->text == "H"));
        if (!mark || !(afterDate || reader_.hourMark_)) return false;
        ++m;
        if (isSpace(m)) ++m;
        if (!twoDigits(m)) return false;
        literal(k, m);
        parts_.push_back({Piece::Minute, tokens_[m].text});
        minute_ = static_cast<int>(tokens_[m].value);
        k = m + 1;
        // "15 h 20 min 05 s"
        auto filler = [&](std::size_t t) { return wordAt(t) && wordAt(t)->filler; };
        if (isSpace(k) && filler(k + 1) && isSpace(k + 2) && twoDigits(k + 3) && isSpace(k + 4) && filler(k + 5)) {
            literal(k, k + 3);
            parts_.push_back({Piece::Second, tokens_[k + 3].text});
            second_ = static_cast<int>(tokens_[k + 3].value);
            literal(k + 4, k + 6);
            k += 6;
        }
    }
    std::size_t rest = k;
    while (isSpace(rest)) ++rest;
    if (!periodFirst && at(rest) && at(rest)->kind == Kind::Word) {
        literal(k, rest);
        k = rest;
        if (!dayPeriod(k, true)) {
            // the locale's words after a time ("min 05 s" is left out)
            return false;
        }
    }
    if (k != tokens_.size()) return false;
    if (period_) {
        if (hour_ < 1 || hour_ > 12) return false;
        hour_ = hour_ % 12 + (period_ == 2 ? 12 : 0);
    }
    if (hour_ > 23 || minute_ > 59 || second_ > 59) return false;
    hasTime_ = true;
    i = k;
    return true;
}

std::string TextParser::code(const std::array<char, 3>& roles, bool english, std::uint32_t lcid) const {
    std::string code;
    const bool numericNames = !english && lcid == 0;  // names no format code can show: numbers instead
    if (!english && lcid != 0) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "[$-%X]", lcid);
        code += tag;
    }
    bool skipLiteral = false;
    for (const Part& p : parts_) {
        switch (p.piece) {
            case Piece::Literal:
                if (!skipLiteral) appendLiteral(code, p.text);
                skipLiteral = false;
                break;
            case Piece::Number: {
                const char role = roles[p.number];
                const bool two = p.text.size() >= 2;
                if (role == 'y')
                    code += p.text.size() > 2 ? "yyyy" : "yy";
                else
                    code += std::string(two ? 2 : 1, role == 'd' ? 'd' : 'm');
                break;
            }
            // A name written in full is shown in full, also where the short name is spelled the same ("Juli").
            case Piece::Month: code += numericNames ? "mm" : p.word->meaning.full ? "mmmm" : "mmm"; break;
            case Piece::Weekday:
                if (numericNames)
                    skipLiteral = true;
                else
                    code += p.word->meaning.full ? "dddd" : "ddd";
                break;
            case Piece::Hour: code += p.text.size() >= 2 ? "hh" : "h"; break;
            case Piece::Minute: code += "mm"; break;
            case Piece::Second: code += "ss"; break;
            case Piece::Fraction: code += "." + std::string(p.text.size(), '0'); break;
            case Piece::DayPeriod:
                code += !p.text.empty() && p.text[0] >= 'a' && p.text[0] <= 'z' ? "am/pm" : "AM/PM";
                break;
        }
    }
    // A time's colon and point are written as the page wrote them.
    return code;
}

bool TextParser::parse(Reading& out) {
    std::size_t i = 0;
    bool isDate = false;
    if (!weekdayFirst(i)) return false;
    const std::size_t beforeDate = i;
    const std::size_t partsBefore = parts_.size();
    if (date(i)) {
        isDate = true;
        if (!dateTail(i)) return false;
        if (i < tokens_.size()) {
            // The words and commas between the date and its time.
            const std::size_t start = i;
            bool glued = false;
            while (at(i) && (isSpace(i) || isPunct(i, ',') || (wordAt(i) && wordAt(i)->glue) ||
                             (isPunct(i, '.') && i > start && wordAt(i - 1) && wordAt(i - 1)->glue))) {
                glued = true;
                ++i;
            }
            if (!glued) return false;
            literal(start, i);
            if (!time(i, true)) return false;
        }
    } else {
        if (weekday_ != 0) return false;
        i = beforeDate;
        parts_.resize(partsBefore);
        numbers_.clear();
        if (!time(i, false)) return false;
    }
    if (i != tokens_.size()) return false;
    if (isDate && !reader_.dates_) return false;

    const double timeOfDay = hasTime_ ? (hour_ * 3600.0 + minute_ * 60.0 + second_ + fraction_) / 86400.0 : 0.0;
    const Conventions timeReaders = !hasTime_        ? kAllConventions
                                    : timeWithPoint_ ? withTimePoint(true)
                                                     : kAllConventions;
    // The language month and weekday names (and day periods) are shown in.
    bool english = true;
    std::uint32_t lcid = 0;
    for (const Part& p : parts_) {
        if ((p.piece != Piece::Month && p.piece != Piece::Weekday) || !p.word || p.word->english) continue;
        english = false;
        if (p.word->locale) lcid = p.word->locale->lcid;
        break;
    }
    if (!isDate) {
        out.kind = Reading::Kind::Value;
        out.alternatives[0] = {timeOfDay, reader_.format(code({}, true, 0)), timeReaders};
        out.count = 1;
        out.plain = !timeWithPoint_;
        return true;
    }

    auto number = [&](std::size_t k) { return static_cast<int>(tokens_[numbers_[k]].value); };
    auto digitsOf = [&](std::size_t k) { return tokens_[numbers_[k]].text.size(); };
    auto add = [&](int y, std::size_t yDigits, int m, int d, Conventions readers, const std::array<char, 3>& roles) {
        if (yDigits != 2 && yDigits != 4) return;
        const auto serial = dateSerial(expandYear(y, yDigits), m, d);
        if (!serial) return;
        if (weekday_ && weekdayOf(expandYear(y, yDigits), m, d) != weekday_) return;
        if (out.count == out.alternatives.size()) return;
        out.alternatives[out.count++] = {*serial + timeOfDay, reader_.format(code(roles, english, lcid)),
                                         readers & timeReaders};
    };
    out.plain = !timeWithPoint_;
    const Conventions gregorian = ~withOrders(1u << unsigned(DateOrder::OtherCalendar));
    if (monthByName_) {
        if (numbers_.size() != 2) return false;
        // The year is the number of four digits; with two short ones, the
        // last (the month name comes first or between them).
        const bool firstIsYear = !monthFirst_ && digitsOf(0) == 4 && digitsOf(1) <= 2;
        const std::size_t y = firstIsYear ? 0 : 1, d = firstIsYear ? 1 : 0;
        if (digitsOf(d) > 2) return false;
        // Year first only as written "2026. december 7." (or with words, or
        // dashes), a two-digit year last only as "7-Dec-26": "4096 Dec 19" and
        // "18 Jul 10" are a size and a day in a list of files.
        const bool dashes = gaps_[0] == "-" && gaps_[1] == "-";
        if (firstIsYear && !dashes && gaps_[0].find_first_not_of(" ") == std::string_view::npos) return false;
        if (!monthFirst_ && !firstIsYear && digitsOf(y) == 2 && !dashes) return false;
        std::array<char, 3> roles{};
        roles[y] = 'y';
        roles[d] = 'd';
        add(number(y), digitsOf(y), monthByName_, number(d), gregorian, roles);
    } else if (markers_[0]) {
        std::array<int, 4> byRole{};
        std::array<std::size_t, 4> digits{};
        std::array<char, 3> roles{};
        for (std::size_t k = 0; k < 3; ++k) {
            if (byRole[static_cast<std::size_t>(markers_[k])]) return false;
            byRole[static_cast<std::size_t>(markers_[k])] = number(k);
            digits[static_cast<std::size_t>(markers_[k])] = digitsOf(k);
            roles[k] = markers_[k] == 1 ? 'y' : markers_[k] == 2 ? 'm' : 'd';
        }
        add(byRole[1], digits[1], byRole[2], byRole[3], gregorian, roles);
    } else if (numeric_) {
        // Each order that reads it; month first only with slashes (and
        // dashes, as people write them) and two-digit years first only in the
        // "26. 12. 7." form.
        const bool yearFirst = digitsOf(0) == 4;
        const bool dotted = separator_ == '.';
        if (yearFirst) {
            add(number(0), 4, number(1), number(2), withOrders(1u << unsigned(DateOrder::YearMonthDay)),
                {'y', 'm', 'd'});
        } else {
            const bool shortYear = digitsOf(2) == 2;
            const bool padded = digitsOf(0) == 2 && digitsOf(1) == 2;
            if (digitsOf(0) <= 2 && digitsOf(1) <= 2 && !(dotted && shortYear && !padded) && !trailingDot_)
                add(number(2), digitsOf(2), number(1), number(0), withOrders(1u << unsigned(DateOrder::DayMonthYear)),
                    {'d', 'm', 'y'});
            if (!dotted && digitsOf(0) <= 2 && digitsOf(1) <= 2 && !trailingDot_)
                add(number(2), digitsOf(2), number(0), number(1), withOrders(1u << unsigned(DateOrder::MonthDayYear)),
                    {'m', 'd', 'y'});
            // (A two-digit year first: "21/3/25" in eu, "26-12-07" in eo,
            // "26. 12. 7." in ko.)
            if (digitsOf(0) == 2 && digitsOf(1) <= 2 && digitsOf(2) <= 2 && (!trailingDot_ || separatorSpaced_))
                add(number(0), 2, number(1), number(2), withOrders(1u << unsigned(DateOrder::YearMonthDay)),
                    {'y', 'm', 'd'});
            // A two-digit year leaves doubt about the form; four digits do not.
            // (Two-digit years with points are also how versions are numbered.)
            const bool fullYear = digitsOf(2) == 4;
            out.plain = out.plain && fullYear;
            unsigned orders = 0;
            for (std::size_t k = 0; k < out.count; ++k) orders |= ordersOf(out.alternatives[k].readers);
            constexpr unsigned kGregorianOrders = (1u << unsigned(DateOrder::OtherCalendar)) - 1;
            if ((fullYear || (shortYear && !dotted)) && orders != kGregorianOrders)
                out.orderVote = static_cast<std::uint8_t>(orders);
        }
    } else {
        return false;
    }
    if (out.count == 0) return false;
    // In another calendar the numbers would be another date.
    if (numeric_ && out.count < out.alternatives.size())
        out.alternatives[out.count++] = {std::nan(""), kGeneralFormat,
                                         withOrders(1u << unsigned(DateOrder::OtherCalendar))};
    out.kind = Reading::Kind::Value;
    return true;
}

ValueReader::~ValueReader() = default;

Reading ValueReader::read(std::string_view text) {
    Reading r;
    if (text.size() > kMaxValueLength * 2) return r;
    // The runs of digits and of letters: no date or time has fewer than two
    // numbers, or more than six words. A text of plain ASCII with single
    // spaces is read as it is; any other is made plain first.
    auto runs = [](std::string_view t, std::size_t& numbers, std::size_t& words) {
        bool asIs = !t.empty() && t.front() != ' ' && t.back() != ' ';
        char before = ' ';
        for (const char c : t) {
            const auto u = static_cast<unsigned char>(c);
            asIs = asIs && u >= 0x20 && u < 0x80 && !(c == ' ' && before == ' ');
            numbers += isDigit(c) && !isDigit(before);
            const bool letter = isAsciiLetter(c) || u >= 0x80;
            words += letter && !(isAsciiLetter(before) || static_cast<unsigned char>(before) >= 0x80);
            before = c;
        }
        return asIs;
    };
    std::size_t numbers = 0, words = 0;
    const bool asIs = runs(text, numbers, words);
    if (numbers == 0) {  // most texts are words: no value (but "$HOME" tells its column about "$")
        if (text.size() > 1 && text[0] == '$' && text[1] != ' ') r.dollarWord = true;
        return r;
    }
    std::string_view s = text;
    if (!asIs) {
        if (!plainText(text, text_)) return r;
        s = text_;
        numbers = words = 0;
        runs(s, numbers, words);
    } else if (s.size() > kMaxValueLength) {
        return r;
    }
    if (s.empty()) {
        r.kind = Reading::Kind::Empty;
        return r;
    }
    if (s[0] == '=') return r;
    if (s[0] == '$' && s.size() > 1 && !isDigit(s[1]) && s[1] != '.' && s[1] != ' ' && s[1] != '-') r.dollarWord = true;
    Reading number = r;
    unknownSign_ = false;
    const bool isNumber = readNumber(s, number);
    if (numbers < 2 || words > 6) {
        if (isNumber) return number;
        r.readAgain = unknownSign_;
        return r;
    }
    if (isNumber) {
        // "07.12.26" is a time where times are written with points, and a date.
        bool onlyTime = true;
        for (std::size_t k = 0; k < number.count; ++k)
            onlyTime = onlyTime && !(number.alternatives[k].readers & withTimePoint(false));
        if (!onlyTime) return number;
    }
    if (!parser_) parser_ = std::make_unique<TextParser>(*this);
    parser_->reset(s);
    if (parser_->tokenize() && parser_->parse(r)) {
        for (std::size_t k = 0; k < number.count && isNumber && r.count < r.alternatives.size(); ++k)
            r.alternatives[r.count++] = number.alternatives[k];
        if (isNumber) r.plain = false;
        r.readAgain = parser_->foreignWord();
        return r;
    }
    if (isNumber) return number;
    Reading left;
    left.dollarWord = r.dollarWord;
    left.readAgain = parser_->foreignWord() || unknownSign_;
    return left;
}

}  // namespace qf::engine
