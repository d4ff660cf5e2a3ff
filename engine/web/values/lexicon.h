#pragma once
// The words the readers know in a page's languages: month, weekday and day
// period names, the words a date or a time writes between its parts, and the
// currency signs. A name none of the page's languages has is looked up among
// every language's (WorldWords), and the language it is from is noted: the
// page's other texts may then be read in it too.
//
// Threads: one per reader, on its thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "locale_conventions.h"

namespace qf::engine {

class Lexicon {
public:
    // locales: those a page's texts may be written in (null ones are left out).
    explicit Lexicon(std::vector<const LocaleConventions*> locales);

    struct Word {
        DateWord meaning;
        const LocaleConventions* locale = nullptr;  // null: every language's words
        bool english = false;
        bool fromWorld = false;  // a name of a language none of the page's speaks
    };
    // A word's meanings in the page's locales and in extra (the languages the
    // text's other names came from), else among every language's names, whose
    // first two languages then join extra.
    std::optional<Word> lookUp(std::string_view word, std::vector<const LocaleConventions*>& extra);
    bool isCurrencySign(std::string_view sign) const;
    // A locale of the page writes "15 h 20".
    bool hourMark() const { return hourMark_; }

    // The languages whose names (found among every language's) the texts read
    // so far used most, and taking their words in from now on. False when
    // they bring no words the lexicon did not have.
    bool adoptLanguagesUsed();

    // With a log, every word looked up and every sign asked about is added to
    // it (null: none logged). A text read again after the languages were
    // adopted reads as before unless they answer one of its questions
    // otherwise.
    void logQuestions(std::string* log) { log_ = log; }
    bool answersOtherwise(std::string_view log) const;

private:
    const LocaleConventions* worldLanguage(std::uint16_t index);
    void note(char kind, std::string_view question) const;

    std::vector<const LocaleConventions*> locales_;
    bool hourMark_ = false;
    const WorldWords* world_ = nullptr;
    std::unordered_map<std::uint16_t, const LocaleConventions*> worldLanguages_;
    std::unordered_map<std::uint16_t, unsigned> worldLanguagesUsed_;
    std::size_t adoptedFrom_ = 0;  // locales_ from here on came with the last adoption
    bool hourMarkAdopted_ = false;
    std::string* log_ = nullptr;
};

}  // namespace qf::engine
