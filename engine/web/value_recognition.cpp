#include "value_recognition.h"

#include "engine/web/values/date_time_reader.h"
#include "engine/web/values/plain_text.h"
#include "engine/workbook/number_format.h"

namespace qf::engine {

ValueReader::ValueReader(std::vector<const LocaleConventions*> locales, bool dates)
    : dates_(dates), lexicon_(std::move(locales)), codes_(&internFormat), numberReader_(lexicon_, codes_) {}

ValueReader::~ValueReader() = default;

void ValueReader::adoptLanguagesUsed() { lexicon_.adoptLanguagesUsed(); }

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
