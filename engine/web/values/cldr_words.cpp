#include "cldr_words.h"

#include <unicode/smpdtfmt.h>
#include <unicode/uchar.h>

namespace qf::engine::cldr {

namespace {

bool allLetters(const icu::UnicodeString& s) {
    if (s.isEmpty()) return false;
    for (int32_t i = 0; i < s.length(); i = s.moveIndex32(i, 1))
        if (!isLetter(s.char32At(i))) return false;
    return true;
}

}  // namespace

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
