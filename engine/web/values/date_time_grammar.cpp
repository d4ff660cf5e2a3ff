// The forms of dates and times the date and time reader knows: the text cut
// into tokens, then read from the left, each piece noted for the format code.

#include <charconv>

#include "base/text.h"
#include "date_time_reader.h"
#include "plain_text.h"

namespace qf::engine {

namespace {

constexpr std::size_t kMaxTokens = 40;

}  // namespace

bool DateTimeReader::tokenize() {
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
        auto word = lexicon_.lookUp(joined, extra_);
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
            t.word = lexicon_.lookUp(t.text, extra_);
            if (t.word || round == 0 || k == 0 || tokens_[k - 1].kind != Kind::Number) continue;
            // "7日月曜日": a marker glued to the next word.
            const std::size_t first = utf8SequenceLength(t.text, 0);
            if (first == 0 || first >= t.text.size()) continue;
            auto marker = lexicon_.lookUp(t.text.substr(0, first), extra_);
            auto rest = lexicon_.lookUp(t.text.substr(first), extra_);
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
bool DateTimeReader::gap(std::size_t& i, bool allowFillers) {
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

bool DateTimeReader::weekdayFirst(std::size_t& i) {
    if (!isWeekday(i)) return true;
    weekday_ = tokens_[i].word->meaning.weekday;
    parts_.push_back({Piece::Weekday, tokens_[i].text, &*tokens_[i].word});
    ++i;
    return gap(i, true);
}

bool DateTimeReader::date(std::size_t& i) {
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
bool DateTimeReader::dateTail(std::size_t& i) {
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

// The words and commas between the date and its time.
bool DateTimeReader::glue(std::size_t& i) {
    const std::size_t start = i;
    bool glued = false;
    while (at(i) && (isSpace(i) || isPunct(i, ',') || (wordAt(i) && wordAt(i)->glue) ||
                     (isPunct(i, '.') && i > start && wordAt(i - 1) && wordAt(i - 1)->glue))) {
        glued = true;
        ++i;
    }
    if (!glued) return false;
    literal(start, i);
    return true;
}

// A day period's words from i: "PM", "p. m.", "오후"; with toEnd, all that is left.
bool DateTimeReader::dayPeriod(std::size_t& i, bool toEnd) {
    std::string letters;
    std::size_t k = i, best = 0;
    int period = 0;
    while (at(k) && (at(k)->kind == Kind::Word || isPunct(k, '.') || isSpace(k))) {
        if (at(k)->kind == Kind::Word) {
            letters += at(k)->text;
            const auto w = lexicon_.lookUp(letters, extra_);
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
bool DateTimeReader::time(std::size_t& i, bool afterDate) {
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
        if (!mark || !(afterDate || lexicon_.hourMark())) return false;
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

// A weekday, a date and what may follow it, the words between it and a time,
// and the time; or a time alone.
bool DateTimeReader::form(std::size_t& i, bool& isDate) {
    if (!weekdayFirst(i)) return false;
    const std::size_t beforeDate = i;
    const std::size_t partsBefore = parts_.size();
    if (date(i)) {
        isDate = true;
        if (!dateTail(i)) return false;
        if (i < tokens_.size() && (!glue(i) || !time(i, true))) return false;
        return true;
    }
    if (weekday_ != 0) return false;
    i = beforeDate;
    parts_.resize(partsBefore);
    numbers_.clear();
    return time(i, false);
}

}  // namespace qf::engine
