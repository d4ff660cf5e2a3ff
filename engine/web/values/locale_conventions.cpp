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
#include <unicode/unistr.h>

#include <array>
#include <map>
#include <mutex>

#include "base/text.h"
#include "cldr_words.h"

namespace qf::engine {

namespace {

using cldr::caseForms;
using cldr::parsePattern;
using cldr::PatternItem;
using cldr::patternOf;
using cldr::utf8;
using cldr::wordsOf;

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

    // The date patterns of each style and the time patterns of the short and
    // medium ones, each made once (a format is costly to make).
    using F = icu::DateFormat;
    constexpr std::array<F::EStyle, 4> kDateStyles{F::kShort, F::kMedium, F::kLong, F::kFull};
    std::array<icu::UnicodeString, 4> datePatterns;
    std::unique_ptr<F> shortDate;  // kept for its month and weekday names
    for (std::size_t k = 0; k < kDateStyles.size(); ++k) {
        std::unique_ptr<F> date(F::createDateInstance(kDateStyles[k], locale));
        datePatterns[k] = patternOf(date.get());
        if (k == 0) shortDate = std::move(date);
    }
    std::array<icu::UnicodeString, 2> timePatterns;
    for (std::size_t k = 0; k < timePatterns.size(); ++k) {
        const std::unique_ptr<F> time(F::createTimeInstance(kDateStyles[k], locale));
        timePatterns[k] = patternOf(time.get());
    }
    r->dateOrder = orderOf(parsePattern(datePatterns[0]));
    status = U_ZERO_ERROR;
    std::unique_ptr<icu::StringEnumeration> calendars(
        icu::Calendar::getKeywordValuesForLocale("calendar", locale, true, status));
    const char* preferred = calendars && U_SUCCESS(status) ? calendars->next(nullptr, status) : nullptr;
    if (preferred && std::string_view(preferred) != "gregorian") r->dateOrder = DateOrder::OtherCalendar;
    for (const icu::UnicodeString& pattern : datePatterns) addDatePatternWords(r->words, parsePattern(pattern), locale);
    const icu::UnicodeString& shortTime = timePatterns[0];
    for (const icu::UnicodeString& pattern : timePatterns) {
        const std::vector<PatternItem> items = parsePattern(pattern);
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
    for (std::size_t k = 0; k < kDateStyles.size(); ++k) {
        const std::unique_ptr<F> both(F::createDateTimeInstance(kDateStyles[k], F::kShort, locale));
        const icu::UnicodeString &d = datePatterns[k], &t = shortTime, dt = patternOf(both.get());
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
    // The Gregorian names: those of the date formats where they are of that
    // calendar (ICU made them already), else made for it.
    const auto* simple = dynamic_cast<const icu::SimpleDateFormat*>(shortDate.get());
    if (simple && simple->getDateFormatSymbols() && std::string_view(simple->getCalendar()->getType()) == "gregorian") {
        cldr::addNames(r->words, *simple->getDateFormatSymbols(), locale);
    } else {
        status = U_ZERO_ERROR;
        const icu::DateFormatSymbols names(locale, status);
        if (U_SUCCESS(status)) cldr::addNames(r->words, names, locale);
    }
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
    if (!fresh) cldr::merge(it->second, meaning);
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

}  // namespace qf::engine
