#include "value_recognition.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "engine/web/values/date_time_reader.h"
#include "engine/web/values/plain_text.h"
#include "engine/workbook/number_format.h"

namespace qf::engine {

namespace {

// What each byte of a text is, for counting its runs in one pass.
enum : std::uint8_t { kDigit = 1, kLetter = 2, kPrintable = 4, kSpace = 8 };  // kPrintable: ASCII from ' '

struct ByteClasses {
    std::array<std::uint8_t, 256> of{};
    constexpr ByteClasses() {
        for (unsigned u = 0; u < 256; ++u) {
            const char c = static_cast<char>(u);
            of[u] =
                static_cast<std::uint8_t>((isDigit(c) ? kDigit : 0) | (isAsciiLetter(c) || u >= 0x80 ? kLetter : 0) |
                                          (u >= 0x20 && u < 0x80 ? kPrintable : 0) | (c == ' ' ? kSpace : 0));
        }
    }
};
constexpr ByteClasses kByteClasses;

// The runs of digits and of letters (a byte from 0x80 is a letter's); true
// for a text of plain ASCII with single spaces and none around it.
bool runs(std::string_view t, std::size_t& numbers, std::size_t& words) {
    unsigned before = kByteClasses.of[' '], odd = 0;
    for (const char c : t) {
        const unsigned k = kByteClasses.of[static_cast<unsigned char>(c)];
        const unsigned starts = k & ~before;
        numbers += starts & kDigit;
        words += (starts & kLetter) >> 1;
        odd |= (~k & kPrintable) | (k & before & kSpace);
        before = k;
    }
    return !t.empty() && t.front() != ' ' && t.back() != ' ' && !odd;
}

}  // namespace

ValueReader::ValueReader(std::vector<const LocaleConventions*> locales, bool dates)
    : dates_(dates), lexicon_(std::move(locales)), codes_(&internFormat), numberReader_(lexicon_, codes_) {}

ValueReader::~ValueReader() = default;

bool ValueReader::adoptLanguagesUsed() { return lexicon_.adoptLanguagesUsed(); }

Reading ValueReader::read(std::string_view text) {
    questions_.clear();
    lexicon_.logQuestions(&questions_);
    Reading r;
    if (text.size() > kMaxValueLength * 2) return r;
    // Most texts are words: without a digit, no value (but "$HOME" tells its
    // column about "$").
    if (std::none_of(text.begin(), text.end(), isDigit)) {
        if (text.size() > 1 && text[0] == '$' && text[1] != ' ') r.dollarWord = true;
        return r;
    }
    // No date or time has fewer than two numbers, or more than six words. A
    // text of plain ASCII with single spaces is read as it is; any other is
    // made plain first.
    std::size_t numbers = 0, words = 0;
    const bool asIs = runs(text, numbers, words);
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
    const bool isNumber = numberReader_.read(s, number);
    if (numbers < 2 || words > 6) {
        if (isNumber) return number;
        r.readAgain = numberReader_.unknownSign();
        return r;
    }
    if (isNumber) {
        // "07.12.26" is a time where times are written with points, and a date.
        bool onlyTime = true;
        for (std::size_t k = 0; k < number.count; ++k)
            onlyTime = onlyTime && !(number.alternatives[k].readers & withTimePoint(false));
        if (!onlyTime) return number;
    }
    if (!dateTimeReader_) dateTimeReader_ = std::make_unique<DateTimeReader>(lexicon_, codes_, dates_);
    dateTimeReader_->reset(s);
    if (dateTimeReader_->tokenize() && dateTimeReader_->parse(r)) {
        for (std::size_t k = 0; k < number.count && isNumber && r.count < r.alternatives.size(); ++k)
            r.alternatives[r.count++] = number.alternatives[k];
        if (isNumber) r.plain = false;
        r.readAgain = dateTimeReader_->foreignWord();
        return r;
    }
    if (isNumber) return number;
    Reading left;
    left.dollarWord = r.dollarWord;
    left.readAgain = dateTimeReader_->foreignWord() || numberReader_.unknownSign();
    return left;
}

}  // namespace qf::engine
