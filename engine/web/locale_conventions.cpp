#include "locale_conventions.h"

#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/decimfmt.h>
#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/numsys.h>
#include <unicode/smpdtfmt.h>
#include <unicode/strenum.h>
#include <unicode/uchar.h>
#include <unicode/ucurr.h>
#include <unicode/uenum.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "base/text.h"

namespace qf::engine {

namespace {

// One word's meanings together; two different months (or weekdays, ...) make
// it ambiguous.
void merge(DateWord& w, const DateWord& other) {
    auto one = [](std::uint8_t& a, std::uint8_t b) {
        if (b != 0 && a != b) a = a == 0 ? b : DateWord::kAmbiguous;
    };
    one(w.month, other.month);
    one(w.weekday, other.weekday);
    one(w.dayPeriod, other.dayPeriod);
    one(w.marker, other.marker);
    w.full = w.full || other.full;
    w.abbreviated = w.abbreviated || other.abbreviated;
    w.filler = w.filler || other.filler;
    w.glue = w.glue || other.glue;
    w.hourMark = w.hourMark || other.hourMark;
}

std::string utf8(const icu::UnicodeString& s) {
    std::string out;
    s.toUTF8String(out);
    return out;
}

bool isLetter(UChar32 c) {
    const auto type = static_cast<UCharCategory>(u_charType(c));
    return u_isalpha(c) || type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK;
}

bool allLetters(const icu::UnicodeString& s) {
    if (s.isEmpty()) return false;
    for (int32_t i = 0; i < s.length(); i = s.moveIndex32(i, 1))
        if (!isLetter(s.char32At(i))) return false;
    return true;
}

// Letters, or words of letters joined by hyphens ("segunda-feira").
bool oneWord(const icu::UnicodeString& s) {
    if (s.startsWith(icu::UnicodeString(u'-')) || s.endsWith(icu::UnicodeString(u'-'))) return false;
    icu::UnicodeString letters(s);
    letters.findAndReplace(icu::UnicodeString(u'-'), icu::UnicodeString());
    return allLetters(letters);
}

// The forms a page may write a name in: as given, lower-case, upper-case and
// capitalised.
std::vector<std::string> caseForms(const icu::UnicodeString& name, const icu::Locale& locale) {
    icu::UnicodeString lower(name), upper(name);
    lower.toLower(locale);
    upper.toUpper(locale);
    icu::UnicodeString title(lower);
    if (!title.isEmpty()) {
        const UChar32 first = title.char32At(0);
        title.replace(0, U16_LENGTH(first), icu::UnicodeString(u_totitle(first)));
    }
    return {utf8(name), utf8(lower), utf8(upper), utf8(title)};
}

// Adds a month or weekday name (its period dropped) in every case form.
template <class Sink>
void addName(Sink& sink, icu::UnicodeString name, const icu::Locale& locale, const DateWord& meaning) {
    name.trim();
    if (name.endsWith(icu::UnicodeString(u'.'))) name.truncate(name.length() - 1);
    if (!oneWord(name)) return;  // "thg 12", "12月": not one word
    for (const std::string& form : caseForms(name, locale)) sink.add(form, meaning);
}

// A day period by its letters only: "a. m." is "am".
icu::UnicodeString lettersOf(const icu::UnicodeString& s) {
    icu::UnicodeString out;
    for (int32_t i = 0; i < s.length(); i = s.moveIndex32(i, 1))
        if (isLetter(s.char32At(i))) out.append(s.char32At(i));
    return out;
}

// The month, weekday and day period names of a locale.
template <class Sink>
void addNames(Sink& words, const icu::DateFormatSymbols& symbols, const icu::Locale& locale) {
    using S = icu::DateFormatSymbols;
    for (const auto context : {S::FORMAT, S::STANDALONE}) {
        for (const auto width : {S::WIDE, S::ABBREVIATED}) {
            int32_t count = 0;
            const icu::UnicodeString* months = symbols.getMonths(count, context, width);
            for (int32_t m = 0; m < count && m < 12; ++m) {
                DateWord w;
                w.month = static_cast<std::uint8_t>(m + 1);
                w.full = width == S::WIDE;
                w.abbreviated = !w.full;
                addName(words, months[m], locale, w);
            }
            const icu::UnicodeString* days = symbols.getWeekdays(count, context, width);
            for (int32_t d = 1; d < count && d <= 7; ++d) {
                DateWord w;
                w.weekday = static_cast<std::uint8_t>(d);
                w.full = width == S::WIDE;
                w.abbreviated = !w.full;
                addName(words, days[d], locale, w);
            }
        }
    }
    int32_t count = 0;
    const icu::UnicodeString* periods = symbols.getAmPmStrings(count);
    for (int32_t p = 0; p < count && p < 2; ++p) {
        DateWord w;
        w.dayPeriod = static_cast<std::uint8_t>(p + 1);
        const icu::UnicodeString letters = lettersOf(periods[p]);
        if (!letters.isEmpty())
            for (const std::string& form : caseForms(letters, locale)) words.add(form, w);
    }
}

// A date or time pattern of CLDR, read into its fields and literal texts.
struct PatternItem {
    char16_t field = 0;  // 0 for a literal
    int count = 0;
    icu::UnicodeString literal;
};

std::vector<PatternItem> parsePattern(const icu::UnicodeString& p) {
    std::vector<PatternItem> items;
    auto literal = [&]() -> icu::UnicodeString& {
        if (items.empty() || items.back().field != 0) items.push_back({});
        return items.back().literal;
    };
    for (int32_t i = 0; i < p.length();) {
        const char16_t c = p.charAt(i);
        if (c == u'\'') {
            if (i + 1 < p.length() && p.charAt(i + 1) == u'\'') {
                literal().append(u'\'');
                i += 2;
                continue;
            }
            int32_t end = i + 1;
            icu::UnicodeString& text = literal();
            while (end < p.length()) {
                if (p.charAt(end) == u'\'') {
                    if (end + 1 < p.length() && p.charAt(end + 1) == u'\'') {
                        text.append(u'\'');
                        end += 2;
                        continue;
                    }
                    break;
                }
                text.append(p.charAt(end++));
            }
            i = end + 1;
            continue;
        }
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
            int32_t run = 1;
            while (i + run < p.length() && p.charAt(i + run) == c) ++run;
            items.push_back({c, run, {}});
            i += run;
            continue;
        }
        literal().append(c);
        ++i;
    }
    return items;
}

icu::UnicodeString patternOf(const icu::DateFormat* format) {
    icu::UnicodeString p;
    if (const auto* simple = dynamic_cast<const icu::SimpleDateFormat*>(format)) simple->toPattern(p);
    return p;
}

// Each run of letters of a literal text.
std::vector<icu::UnicodeString> wordsOf(const icu::UnicodeString& literal) {
    std::vector<icu::UnicodeString> out;
    icu::UnicodeString word;
    for (int32_t i = 0; i <= literal.length(); i = literal.moveIndex32(i, 1)) {
        const UChar32 c = i < literal.length() ? literal.char32At(i) : UChar32{0x20};
        if (isLetter(c)) {
            word.append(c);
        } else if (!word.isEmpty()) {
            out.push_back(word);
            word.remove();
        }
        if (i == literal.length()) break;
    }
    return out;
}

bool isDateField(char16_t f) { return f == u'y' || f == u'M' || f == u'L' || f == u'd'; }

// The words a date pattern writes between its fields. A word right after a
// numeric year, month or day that is a single ideograph or syllable ("年",
// "월") marks that number.
void addDatePatternWords(DateWords& words, const std::vector<PatternItem>& items, const icu::Locale& locale) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].field != 0) continue;
        const icu::UnicodeString& literal = items[i].literal;
        const PatternItem* before = i > 0 ? &items[i - 1] : nullptr;
        for (const icu::UnicodeString& w : wordsOf(literal)) {
            DateWord meaning;
            const bool right = before && isDateField(before->field) && before->count <= 2 && literal.startsWith(w);
            if (right && w.countChar32() == 1 && w.char32At(0) >= 0x2e80) {
                meaning.marker = before->field == u'y' ? 1 : before->field == u'd' ? 3 : 2;
            } else {
                meaning.filler = true;
            }
            for (const std::string& form : caseForms(w, locale)) words.add(form, meaning);
        }
    }
}

DateOrder orderOf(const std::vector<PatternItem>& items) {
    int y = -1, m = -1, d = -1;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const char16_t f = items[i].field;
        if (f == u'y' && y < 0) y = static_cast<int>(i);
        if ((f == u'M' || f == u'L') && m < 0) m = static_cast<int>(i);
        if (f == u'd' && d < 0) d = static_cast<int>(i);
    }
    if (y >= 0 && (m < 0 || y < m)) return DateOrder::YearMonthDay;
    if (m >= 0 && d >= 0 && m < d) return DateOrder::MonthDayYear;
    return DateOrder::DayMonthYear;
}

NumberMarks marksOf(const icu::UnicodeString& decimal, const icu::UnicodeString& group) {
    const bool comma = decimal == icu::UnicodeString(u',');
    const UChar32 g = group.isEmpty() ? 0 : group.char32At(0);
    if (comma) {
        if (g == u'.') return NumberMarks::CommaPoint;
        if (g == u' ' || g == 0xa0 || g == 0x202f || g == 0x2009) return NumberMarks::CommaSpace;
        if (g == 0x2019 || g == u'\'') return NumberMarks::CommaApostrophe;
        return NumberMarks::CommaOther;
    }
    if (g == u',') return NumberMarks::PointComma;
    if (g == u' ' || g == 0xa0 || g == 0x202f || g == 0x2009) return NumberMarks::PointSpace;
    if (g == 0x2019 || g == u'\'') return NumberMarks::PointApostrophe;
    return NumberMarks::PointOther;
}

std::unique_ptr<LocaleConventions> build(const icu::Locale& locale) {
    UErrorCode status = U_ZERO_ERROR;
    auto r = std::make_unique<LocaleConventions>();
    r->tag = locale.toLanguageTag<std::string>(status);
    r->language = locale.getLanguage();
    // Windows knows a language's locales by language and region ("fr_FR"); a
    // script matters only where the language has two (sr_Latn_RS).
    r->lcid = uloc_getLCID(locale.getName());
    if (r->lcid < 0x400)
        r->lcid = uloc_getLCID((std::string(locale.getLanguage()) + "_" + locale.getCountry()).c_str());

    // Numbers with the digits 0-9: a locale whose own digits are others is read
    // with the symbols it has for those.
    icu::Locale latin(locale);
    status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberingSystem> system(icu::NumberingSystem::createInstance(locale, status));
    if (U_SUCCESS(status) && system && std::string_view(system->getName()) != "latn") {
        status = U_ZERO_ERROR;
        latin.setKeywordValue("numbers", "latn", status);
    }
    status = U_ZERO_ERROR;
    const icu::DecimalFormatSymbols symbols(latin, status);
    if (U_SUCCESS(status)) {
        using D = icu::DecimalFormatSymbols;
        r->marks = marksOf(symbols.getConstSymbol(D::kDecimalSeparatorSymbol),
                           symbols.getConstSymbol(D::kGroupingSeparatorSymbol));
        for (const auto which : {D::kCurrencySymbol, D::kIntlCurrencySymbol}) {
            std::string sign = utf8(symbols.getConstSymbol(which));
            if (!sign.empty()) r->currencySigns.push_back(std::move(sign));
        }
    }
    status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> number(icu::NumberFormat::createInstance(latin, status));
    if (const auto* decimal = dynamic_cast<const icu::DecimalFormat*>(number.get()))
        r->indianGrouping = decimal->getGroupingSize() == 3 && decimal->getSecondaryGroupingSize() == 2;

    using F = icu::DateFormat;
    const std::unique_ptr<F> shortDate(F::createDateInstance(F::kShort, locale));
    r->dateOrder = orderOf(parsePattern(patternOf(shortDate.get())));
    status = U_ZERO_ERROR;
    std::unique_ptr<icu::StringEnumeration> calendars(
        icu::Calendar::getKeywordValuesForLocale("calendar", locale, true, status));
    const char* preferred = calendars && U_SUCCESS(status) ? calendars->next(nullptr, status) : nullptr;
    if (preferred && std::string_view(preferred) != "gregorian") r->dateOrder = DateOrder::OtherCalendar;
    for (const auto style : {F::kShort, F::kMedium, F::kLong, F::kFull}) {
        const std::unique_ptr<F> date(F::createDateInstance(style, locale));
        addDatePatternWords(r->words, parsePattern(patternOf(date.get())), locale);
    }
    const icu::UnicodeString shortTime = [&] {
        const std::unique_ptr<F> time(F::createTimeInstance(F::kShort, locale));
        return patternOf(time.get());
    }();
    for (const auto style : {F::kShort, F::kMedium}) {
        const std::unique_ptr<F> time(F::createTimeInstance(style, locale));
        const std::vector<PatternItem> items = parsePattern(patternOf(time.get()));
        for (std::size_t i = 0; i + 2 < items.size(); ++i) {
            const char16_t h = items[i].field;
            if ((h != u'H' && h != u'h' && h != u'k' && h != u'K') || items[i + 1].field != 0 ||
                items[i + 2].field != u'm')
                continue;
            const icu::UnicodeString& between = items[i + 1].literal;
            if (between == icu::UnicodeString(u'.')) r->timeWithPoint = true;
            if (between.indexOf(u'h') >= 0) r->timeWithHourMark = true;
        }
        for (const PatternItem& item : items) {
            for (const icu::UnicodeString& w : wordsOf(item.literal)) {
                DateWord meaning;
                (w == icu::UnicodeString(u'h') ? meaning.hourMark : meaning.filler) = true;
                for (const std::string& form : caseForms(w, locale)) r->words.add(form, meaning);
            }
        }
    }
    // The words between a date and its time: what a date-time pattern adds to
    // the date's and the time's own.
    for (const auto style : {F::kShort, F::kMedium, F::kLong, F::kFull}) {
        const std::unique_ptr<F> date(F::createDateInstance(style, locale));
        const std::unique_ptr<F> both(F::createDateTimeInstance(style, F::kShort, locale));
        const icu::UnicodeString d = patternOf(date.get()), t = shortTime, dt = patternOf(both.get());
        icu::UnicodeString glue;
        if (dt.length() > d.length() + t.length() && dt.startsWith(d) && dt.endsWith(t))
            dt.extract(d.length(), dt.length() - d.length() - t.length(), glue);
        else if (dt.length() > d.length() + t.length() && dt.startsWith(t) && dt.endsWith(d))
            dt.extract(t.length(), dt.length() - d.length() - t.length(), glue);
        for (const PatternItem& item : parsePattern(glue)) {
            for (const icu::UnicodeString& w : wordsOf(item.literal)) {
                DateWord meaning;
                meaning.glue = true;
                for (const std::string& form : caseForms(w, locale)) r->words.add(form, meaning);
            }
        }
    }
    status = U_ZERO_ERROR;
    const icu::DateFormatSymbols names(locale, status);
    if (U_SUCCESS(status)) addNames(r->words, names, locale);
    return r;
}

// The locale a tag names, with its likely script and region added; the root
// locale when CLDR has no data for its language.
icu::Locale localeOf(std::string_view tag, bool& regionGiven) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale full =
        icu::Locale::forLanguageTag(icu::StringPiece(tag.data(), static_cast<int32_t>(tag.size())), status);
    if (U_FAILURE(status) || full.isBogus() || full.getLanguage()[0] == '\0') return icu::Locale::getRoot();
    regionGiven = full.getCountry()[0] != '\0';
    full.addLikelySubtags(status);
    if (U_FAILURE(status)) return icu::Locale::getRoot();
    // ICU falls back to its root data for a language it does not know.
    const icu::DecimalFormatSymbols probe(full, status);
    const icu::Locale valid = probe.getLocale(ULOC_VALID_LOCALE, status);
    if (U_FAILURE(status) || std::string_view(valid.getLanguage()) != full.getLanguage()) return icu::Locale::getRoot();
    return full;
}

struct Records {
    std::mutex mutex;
    std::map<std::string, ResolvedLocale, std::less<>> byTag;  // as asked, lower case
    std::map<std::string, std::unique_ptr<LocaleConventions>, std::less<>> byLocale;
};

Records& records() {
    static Records r;
    return r;
}

}  // namespace

void DateWords::add(const std::string& word, const DateWord& meaning) {
    auto [it, fresh] = words_.try_emplace(word, meaning);
    if (!fresh) merge(it->second, meaning);
}

ResolvedLocale resolveLocale(std::string_view tag) {
    std::string key(tag);
    for (char& c : key) c = c == '_' ? '-' : asciiLower(c);
    Records& all = records();
    std::lock_guard lock(all.mutex);
    if (const auto it = all.byTag.find(key); it != all.byTag.end()) return it->second;
    ResolvedLocale resolved;
    const icu::Locale locale = localeOf(key, resolved.regionGiven);
    if (locale != icu::Locale::getRoot()) {
        std::unique_ptr<LocaleConventions>& record = all.byLocale[locale.getName()];
        if (!record) record = build(locale);
        resolved.record = record.get();
    }
    all.byTag.emplace(std::move(key), resolved);
    return resolved;
}

const WorldWords& worldWords() {
    static const WorldWords world = [] {
        WorldWords w;
        int32_t count = 0;
        const icu::Locale* available = icu::Locale::getAvailableLocales(count);
        for (int32_t i = 0; i < count; ++i) {
            const icu::Locale& locale = available[i];
            if (locale.getCountry()[0] != '\0' || locale.getVariant()[0] != '\0') continue;
            UErrorCode status = U_ZERO_ERROR;
            const icu::DateFormatSymbols symbols(locale, status);
            if (U_FAILURE(status)) continue;
            // One language's forms first (two forms of one name are one word),
            // then into the table of all.
            std::map<std::string, DateWord> mine;
            struct Sink {
                std::map<std::string, DateWord>& words;
                void add(const std::string& word, const DateWord& meaning) {
                    auto [it, fresh] = words.try_emplace(word, meaning);
                    if (!fresh) merge(it->second, meaning);
                }
            } sink{mine};
            addNames(sink, symbols, locale);
            const auto language = static_cast<std::uint16_t>(w.languages_.size());
            w.languages_.push_back(locale.toLanguageTag<std::string>(status));
            for (const auto& [word, meaning] : mine) {
                auto [it, fresh] = w.words_.try_emplace(word, WorldWords::Entry{meaning, {language}});
                if (fresh) continue;
                DateWord& known = it->second.meaning;
                const bool same = known.month == meaning.month && known.weekday == meaning.weekday &&
                                  known.dayPeriod == meaning.dayPeriod;
                if (!same) {
                    known.month = known.month || meaning.month ? DateWord::kAmbiguous : 0;
                    known.weekday = known.weekday || meaning.weekday ? DateWord::kAmbiguous : 0;
                    known.dayPeriod = known.dayPeriod || meaning.dayPeriod ? DateWord::kAmbiguous : 0;
                }
                known.full = known.full || meaning.full;
                known.abbreviated = known.abbreviated || meaning.abbreviated;
                it->second.languages.push_back(language);
            }
        }
        // Currency signs that cannot be read as words: symbols of every current
        // currency, in full ("US$") and short ("$"). Letters-only signs ("kr",
        // "CHF") count only in the pages of their own locales.
        UErrorCode status = U_ZERO_ERROR;
        UEnumeration* codes = ucurr_openISOCurrencies(UCURR_COMMON | UCURR_NON_DEPRECATED, &status);
        const char* code = nullptr;
        while (U_SUCCESS(status) && (code = uenum_next(codes, nullptr, &status)) != nullptr) {
            UChar iso[4] = {};
            u_charsToUChars(code, iso, 3);
            for (const auto kind : {UCURR_SYMBOL_NAME, UCURR_NARROW_SYMBOL_NAME}) {
                UBool isChoice = false;
                int32_t length = 0;
                UErrorCode nameStatus = U_ZERO_ERROR;
                const UChar* name = ucurr_getName(iso, "en", kind, &isChoice, &length, &nameStatus);
                if (U_FAILURE(nameStatus) || !name) continue;
                const std::string sign = utf8(icu::UnicodeString(name, length));
                const bool asciiLetters = std::all_of(
                    sign.begin(), sign.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
                if (!sign.empty() && !asciiLetters) w.signs_.emplace(sign, true);
            }
        }
        uenum_close(codes);
        return w;
    }();
    return world;
}

}  // namespace qf::engine
