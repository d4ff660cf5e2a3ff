#include <unicode/locid.h>
#include <unicode/ucurr.h>
#include <unicode/uenum.h>

#include <algorithm>
#include <map>

#include "cldr_words.h"
#include "locale_conventions.h"

namespace qf::engine {

using cldr::merge;
using cldr::utf8;

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
            cldr::addNames(sink, symbols, locale);
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
