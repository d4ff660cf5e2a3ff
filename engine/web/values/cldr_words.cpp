#include "cldr_words.h"

#include <unicode/smpdtfmt.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>

namespace qf::engine::cldr {

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
    // At most three bytes for each UTF-16 unit; a lone surrogate becomes U+FFFD.
    std::string out(static_cast<std::size_t>(s.length()) * 3, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, s.getBuffer(), s.length(), 0xfffd,
                       nullptr, &status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return out;
}

bool isLetter(UChar32 c) {
    const auto type = static_cast<UCharCategory>(u_charType(c));
    return u_isalpha(c) || type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK;
}

bool oneWord(const icu::UnicodeString& s) {
    if (s.isEmpty() || s.charAt(0) == u'-' || s.charAt(s.length() - 1) == u'-') return false;
    bool letters = false;
    for (int32_t i = 0; i < s.length(); i = s.moveIndex32(i, 1)) {
        const UChar32 c = s.char32At(i);
        if (c == u'-') continue;
        if (!isLetter(c)) return false;
        letters = true;
    }
    return letters;
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
    // Most names have fewer than four forms ("mai" is its own lower case).
    const icu::UnicodeString* forms[] = {&name, &lower, &upper, &title};
    std::vector<std::string> out;
    out.reserve(4);
    for (std::size_t i = 0; i < 4; ++i)
        if (std::none_of(forms, forms + i, [&](const icu::UnicodeString* f) { return *f == *forms[i]; }))
            out.push_back(utf8(*forms[i]));
    return out;
}

icu::UnicodeString lettersOf(const icu::UnicodeString& s) {
    icu::UnicodeString out;
    for (int32_t i = 0; i < s.length(); i = s.moveIndex32(i, 1))
        if (isLetter(s.char32At(i))) out.append(s.char32At(i));
    return out;
}

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

}  // namespace qf::engine::cldr
