#pragma once
// Decides the conventions a page's values are written in, and reads them.
//
// The evidence, strongest first:
// 1. The texts' own shapes. A text that only some conventions read
//    ("1.234,56", "1 234,5", "3.000.000", "12,5 %", "$1.50", "25/12/2026",
//    "07.12.2026") speaks for its column, or else its table, or else the page.
// 2. The language the page declares, with its region: the lang attribute in
//    force at the text (the nearest element that has one, <html> included),
//    else a <meta http-equiv="Content-Language">, else the reply's
//    Content-Language header. A tag without a region ("de") is read in CLDR's
//    likeliest region for it (de-DE); when the user's own locale speaks the
//    same language in another region (de-AT), both are in question.
// 3. For a page that declares no language: the user's own locale and en-US,
//    both in question.
// The marks and the order of a date's parts are two axes, decided apart.
// When a column's own shapes go against the declared or the user's
// conventions, the shapes' conventions alone are in question; when only
// shapes elsewhere in its table or page do, both are. A page whose language
// dates in another calendar (th, fa) has its numeric dates left text. A
// forced locale (WebQueryOptions::locale) is the only convention of every page,
// but for a column whose own shapes go against it: there both are in question.
//
// A text is a value when the conventions in question read it alike, or when
// its shape leaves no doubt; otherwise it stays text exactly as the page wrote
// it: a wrong value is never made, a text is. Parentheses make a number
// negative only in a column that writes amounts (currency, grouping or
// decimals), and "$1" is no currency in a column that writes "$" before other
// things ("$@", "$HOME").
//
// Threads: one per page, on the thread laying the page out.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/workbook/cell.h"
#include "page_source.h"
#include "value_recognition.h"

namespace qf::engine {

// The languages a page declares. Texts name theirs by an index into tags; 0
// (an empty tag) is "none of its own", where the page's default applies.
struct PageLanguages {
    std::string header;             // the reply's Content-Language
    std::string meta;               // <meta http-equiv="Content-Language">
    std::vector<std::string> tags;  // the lang attributes in force
};

// For the benchmarks alone: with reading off, every cell keeps its text as it
// is and nothing is read, so that a page's processor time can be measured
// without its values. On by default; for the whole process. (The benchmark
// program, also built against older trees, looks for the macro.)
#define QF_VALUE_READING_SWITCH 1
void setValueReading(bool on);

// Takes from CLDR, ahead of the first page, what reading values takes once
// for the whole process: the records of en-US and of the options' locales,
// and every language's words. Otherwise the first page to need them waits
// while they are made. Any thread; nothing when reading is off.
void prepareValueReading(const WebQueryOptions& options);

class PageValues {
public:
    // groupTables: for each group of texts (a column of a table, of a <pre>
    // block or of the page's flow), the table it belongs to.
    // usedLanguages: the indexes into languages.tags that texts name; the
    // options give the forced and the user's locale and whether dates are read.
    PageValues(const WebQueryOptions& options, const PageLanguages& languages, const std::vector<bool>& usedLanguages,
               std::vector<std::uint32_t> groupTables);

    // First every text with its group and language: its cell when the page's
    // conventions cannot change it (most cells), else false, and it waits.
    // Then decide, then the waiting cells in the order they were noted.
    bool note(std::uint32_t group, std::uint16_t language, std::string_view text, CellValue& cell);
    void decide();
    CellValue waiting(std::size_t index, std::string_view text);

    // The conventions in question for a group, once decided.
    Conventions inQuestion(std::uint32_t group) const { return groups_[group].inQuestion; }
    // Whether a group's own texts go against the forced locale, once decided:
    // its texts that the two read differently stay text.
    bool againstForced(std::uint32_t group) const { return groups_[group].againstForced; }

private:
    // Votes of texts along one axis: the intersection of what they read in.
    struct Votes {
        unsigned all = ~0u, any = 0;
        bool voted = false;
        void add(unsigned vote) {
            if (!vote) return;
            voted = true;
            all &= vote;
            any |= vote;
        }
        void add(const Votes& v) {
            if (v.voted && v.all) add(v.all);
        }
        bool conflict() const { return voted && !all; }
    };
    struct Evidence {
        Votes marks, orders;
    };
    struct Group {
        std::uint32_t table = 0;
        Conventions base = 0;
        Evidence evidence;
        Conventions amounts = 0;  // those that read an amount in it
        bool dollarWords = false;
        Conventions inQuestion = 0;
        bool againstForced = false;
    };

    std::optional<ValueReader> reader_;      // none with reading off
    bool wordsAdopted_ = false;              // by decide: texts may read otherwise
    std::vector<Conventions> languageBase_;  // by language index
    Conventions forced_ = 0;
    Conventions otherCalendar_ = 0;  // the conventions of another calendar that the page's languages have
    struct Waiting {
        std::uint32_t group;
        Reading reading;  // read again (after decide) when it has a word then unknown
        std::uint32_t questionsFrom = 0, questionsLength = 0;  // in questions_: what reading it asked
    };
    std::vector<Group> groups_;
    std::vector<Waiting> waiting_;
    std::string questions_;  // those of the waiting texts to be read again, one after another
    std::vector<Evidence> tables_;
    Evidence page_;
};

}  // namespace qf::engine
