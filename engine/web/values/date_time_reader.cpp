#include "date_time_reader.h"

#include <cmath>
#include <cstdio>

#include "calendar.h"

namespace qf::engine {

std::string DateTimeReader::code(const std::array<char, 3>& roles, bool english, std::uint32_t lcid) const {
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

bool DateTimeReader::parse(Reading& out) {
    std::size_t i = 0;
    bool isDate = false;
    if (!form(i, isDate) || i != tokens_.size()) return false;
    if (isDate && !dates_) return false;
    const Moment m = moment();
    if (!isDate) {
        out.kind = Reading::Kind::Value;
        out.alternatives[0] = {m.timeOfDay, codes_.format(code({}, true, 0)), m.timeReaders};
        out.count = 1;
        out.plain = !timeWithPoint_;
        return true;
    }
    out.plain = !timeWithPoint_;
    if (monthByName_) {
        if (!byMonthName(out, m)) return false;
    } else if (markers_[0]) {
        if (!byMarkers(out, m)) return false;
    } else if (numeric_) {
        numericDate(out, m);
    } else {
        return false;
    }
    if (out.count == 0) return false;
    // In another calendar the numbers would be another date.
    if (numeric_ && out.count < out.alternatives.size())
        out.alternatives[out.count++] = {std::nan(""), 0, withOrders(1u << unsigned(DateOrder::OtherCalendar))};
    out.kind = Reading::Kind::Value;
    return true;
}

DateTimeReader::Moment DateTimeReader::moment() const {
    Moment m;
    m.timeOfDay = hasTime_ ? (hour_ * 3600.0 + minute_ * 60.0 + second_ + fraction_) / 86400.0 : 0.0;
    m.timeReaders = !hasTime_ ? kAllConventions : timeWithPoint_ ? withTimePoint(true) : kAllConventions;
    // The language month and weekday names (and day periods) are shown in.
    for (const Part& p : parts_) {
        if ((p.piece != Piece::Month && p.piece != Piece::Weekday) || !p.word || p.word->english) continue;
        m.english = false;
        if (p.word->locale) m.lcid = p.word->locale->lcid;
        break;
    }
    return m;
}

// A reading as the date y-month-d, when it is one (and on the weekday the text
// names).
void DateTimeReader::addDate(Reading& out, const Moment& m, int y, std::size_t yDigits, int month, int d,
                             Conventions readers, const std::array<char, 3>& roles) {
    if (yDigits != 2 && yDigits != 4) return;
    const auto serial = dateSerial(expandYear(y, yDigits), month, d);
    if (!serial) return;
    if (weekday_ && weekdayOf(expandYear(y, yDigits), month, d) != weekday_) return;
    if (out.count == out.alternatives.size()) return;
    out.alternatives[out.count++] = {*serial + m.timeOfDay, codes_.format(code(roles, m.english, m.lcid)),
                                     readers & m.timeReaders};
}

constexpr Conventions kGregorian = ~withOrders(1u << unsigned(DateOrder::OtherCalendar));

bool DateTimeReader::byMonthName(Reading& out, const Moment& m) {
    if (numbers_.size() != 2) return false;
    // The year is the number of four digits; with two short ones, the
    // last (the month name comes first or between them).
    const bool firstIsYear = !monthFirst_ && digitsAt(0) == 4 && digitsAt(1) <= 2;
    const std::size_t y = firstIsYear ? 0 : 1, d = firstIsYear ? 1 : 0;
    if (digitsAt(d) > 2) return false;
    // Year first only as written "2026. december 7." (or with words, or
    // dashes), a two-digit year last only as "7-Dec-26": "4096 Dec 19" and
    // "18 Jul 10" are a size and a day in a list of files.
    const bool dashes = gaps_[0] == "-" && gaps_[1] == "-";
    if (firstIsYear && !dashes && gaps_[0].find_first_not_of(" ") == std::string_view::npos) return false;
    if (!monthFirst_ && !firstIsYear && digitsAt(y) == 2 && !dashes) return false;
    std::array<char, 3> roles{};
    roles[y] = 'y';
    roles[d] = 'd';
    addDate(out, m, numberAt(y), digitsAt(y), monthByName_, numberAt(d), kGregorian, roles);
    return true;
}

// "2026年12月7日": each number marked as the year, the month or the day.
bool DateTimeReader::byMarkers(Reading& out, const Moment& m) {
    std::array<int, 4> byRole{};
    std::array<std::size_t, 4> digits{};
    std::array<char, 3> roles{};
    for (std::size_t k = 0; k < 3; ++k) {
        if (byRole[static_cast<std::size_t>(markers_[k])]) return false;
        byRole[static_cast<std::size_t>(markers_[k])] = numberAt(k);
        digits[static_cast<std::size_t>(markers_[k])] = digitsAt(k);
        roles[k] = markers_[k] == 1 ? 'y' : markers_[k] == 2 ? 'm' : 'd';
    }
    addDate(out, m, byRole[1], digits[1], byRole[2], byRole[3], kGregorian, roles);
    return true;
}

// Each order that reads it; month first only with slashes (and dashes, as
// people write them) and two-digit years first only in the "26. 12. 7." form.
void DateTimeReader::numericDate(Reading& out, const Moment& m) {
    const bool yearFirst = digitsAt(0) == 4;
    const bool dotted = separator_ == '.';
    if (yearFirst) {
        addDate(out, m, numberAt(0), 4, numberAt(1), numberAt(2), withOrders(1u << unsigned(DateOrder::YearMonthDay)),
                {'y', 'm', 'd'});
        return;
    }
    const bool shortYear = digitsAt(2) == 2;
    const bool padded = digitsAt(0) == 2 && digitsAt(1) == 2;
    if (digitsAt(0) <= 2 && digitsAt(1) <= 2 && !(dotted && shortYear && !padded) && !trailingDot_)
        addDate(out, m, numberAt(2), digitsAt(2), numberAt(1), numberAt(0),
                withOrders(1u << unsigned(DateOrder::DayMonthYear)), {'d', 'm', 'y'});
    if (!dotted && digitsAt(0) <= 2 && digitsAt(1) <= 2 && !trailingDot_)
        addDate(out, m, numberAt(2), digitsAt(2), numberAt(0), numberAt(1),
                withOrders(1u << unsigned(DateOrder::MonthDayYear)), {'m', 'd', 'y'});
    // (A two-digit year first: "21/3/25" in eu, "26-12-07" in eo,
    // "26. 12. 7." in ko.)
    if (digitsAt(0) == 2 && digitsAt(1) <= 2 && digitsAt(2) <= 2 && (!trailingDot_ || separatorSpaced_))
        addDate(out, m, numberAt(0), 2, numberAt(1), numberAt(2), withOrders(1u << unsigned(DateOrder::YearMonthDay)),
                {'y', 'm', 'd'});
    // A two-digit year leaves doubt about the form; four digits do not.
    // (Two-digit years with points are also how versions are numbered.)
    const bool fullYear = digitsAt(2) == 4;
    out.plain = out.plain && fullYear;
    unsigned orders = 0;
    for (std::size_t k = 0; k < out.count; ++k) orders |= ordersOf(out.alternatives[k].readers);
    constexpr unsigned kGregorianOrders = (1u << unsigned(DateOrder::OtherCalendar)) - 1;
    if ((fullYear || (shortYear && !dotted)) && orders != kGregorianOrders)
        out.orderVote = static_cast<std::uint8_t>(orders);
}

}  // namespace qf::engine
