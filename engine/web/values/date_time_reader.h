#pragma once
// Reads a text as a date, a time of day or both: numeric dates in every order
// the conventions write them, dates with month and weekday names of the page's
// languages (or of any language CLDR has), times with a colon, a point or an
// hour mark, day periods, and the words between a date and its time. Each
// reading gets the format code that shows it as the page wrote it.
//
// Threads: one per reader, on its thread. Its buffers keep their room from
// text to text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conventions.h"
#include "format_codes.h"
#include "lexicon.h"

namespace qf::engine {

class DateTimeReader {
public:
    // dates off: only times are read.
    DateTimeReader(Lexicon& lexicon, FormatCodes& codes, bool dates)
        : lexicon_(lexicon), codes_(codes), dates_(dates) {}

    // Starts on a new text (made plain).
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
        std::optional<Lexicon::Word> word;
    };
    // A piece of the format code: a number (its role decided later), a name,
    // or a literal.
    enum class Piece : std::uint8_t { Number, Month, Weekday, Literal, Hour, Minute, Second, Fraction, DayPeriod };
    struct Part {
        Piece piece;
        std::string_view text;
        const Lexicon::Word* word = nullptr;
        std::size_t number = 0;  // index into numbers_ for Number
    };
    // What every date of a text shares: its time of day and the conventions
    // that read it, the language its names are shown in.
    struct Moment {
        double timeOfDay = 0;
        Conventions timeReaders = kAllConventions;
        bool english = true;
        std::uint32_t lcid = 0;
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
    // The date's k-th number, and how many digits it was written with.
    int numberAt(std::size_t k) const { return static_cast<int>(tokens_[numbers_[k]].value); }
    std::size_t digitsAt(std::size_t k) const { return tokens_[numbers_[k]].text.size(); }

    // The form (date_time_grammar.cpp).
    bool form(std::size_t& i, bool& isDate);
    bool gap(std::size_t& i, bool allowFillers);
    bool weekdayFirst(std::size_t& i);
    bool date(std::size_t& i);
    bool dateTail(std::size_t& i);
    bool glue(std::size_t& i);
    bool time(std::size_t& i, bool afterDate);
    bool dayPeriod(std::size_t& i, bool toEnd);

    // The values and their codes (date_time_reader.cpp).
    Moment moment() const;
    void addDate(Reading& out, const Moment& m, int y, std::size_t yDigits, int month, int d, Conventions readers,
                 const std::array<char, 3>& roles);
    bool byMonthName(Reading& out, const Moment& m);
    bool byMarkers(Reading& out, const Moment& m);
    void numericDate(Reading& out, const Moment& m);
    std::string code(const std::array<char, 3>& roles, bool english, std::uint32_t lcid) const;

    Lexicon& lexicon_;
    FormatCodes& codes_;
    const bool dates_;
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

}  // namespace qf::engine
