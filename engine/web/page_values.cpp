#include "page_values.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "base/text.h"

namespace qf::engine {

namespace {

std::atomic<bool> valueReading{true};

// The conventions one declaration puts in question, and their locales.
struct Base {
    Conventions conventions = 0;
    std::vector<const LocaleConventions*> locales;
    void add(const LocaleConventions* l) {
        if (!l || std::find(locales.begin(), locales.end(), l) != locales.end()) return;
        locales.push_back(l);
        conventions |= conventionOf(*l);
    }
};

// A declaration ("de", "de-CH", "de, en"); nothing in it CLDR knows leaves the
// base empty.
Base declared(std::string_view tags, const LocaleConventions* user) {
    Base base;
    while (!tags.empty()) {
        const std::size_t comma = tags.find(',');
        const std::string_view tag = trimAny(tags.substr(0, comma), " \t");
        tags = comma == std::string_view::npos ? std::string_view() : tags.substr(comma + 1);
        if (tag.empty()) continue;
        const ResolvedLocale resolved = resolveLocale(tag);
        if (!resolved.record) continue;
        base.add(resolved.record);
        // "en" on the page of an en-GB user: en-US (CLDR's likeliest) and en-GB.
        if (!resolved.regionGiven && user && user->language == resolved.record->language) base.add(user);
    }
    return base;
}

}  // namespace

void setValueReading(bool on) { valueReading = on; }

void prepareValueReading(const WebQueryOptions& options) {
    if (!valueReading) return;
    resolveLocale("en-US");
    for (const std::string& tag : {options.userLocale, options.locale})
        if (!tag.empty()) resolveLocale(tag);
    worldWords();
}

PageValues::PageValues(const WebQueryOptions& options, const PageLanguages& languages,
                       const std::vector<bool>& usedLanguages, std::vector<std::uint32_t> groupTables) {
    groups_.resize(groupTables.size());
    if (!valueReading) return;
    const LocaleConventions* enUs = resolveLocale("en-US").record;
    const LocaleConventions* user = options.userLocale.empty() ? nullptr : resolveLocale(options.userLocale).record;
    if (!user) user = enUs;
    std::vector<const LocaleConventions*> words;
    auto use = [&](const Base& b) {
        for (const LocaleConventions* l : b.locales)
            if (std::find(words.begin(), words.end(), l) == words.end()) words.push_back(l);
    };
    const LocaleConventions* forced = options.locale.empty() ? nullptr : resolveLocale(options.locale).record;
    if (forced) {
        forced_ = conventionOf(*forced);
        words.push_back(forced);
    }
    Base undeclared;
    undeclared.add(user);
    undeclared.add(enUs);
    Base pageDefault = declared(languages.meta, user);
    if (pageDefault.locales.empty()) pageDefault = declared(languages.header, user);
    if (pageDefault.locales.empty()) pageDefault = undeclared;
    const std::size_t count = std::max<std::size_t>(languages.tags.size(), 1);
    languageBase_.resize(count);
    std::vector<Base> bases(count);
    for (std::size_t k = 0; k < count; ++k) {
        const bool tagged = k < languages.tags.size() && !languages.tags[k].empty();
        bases[k] = tagged ? declared(languages.tags[k], user) : pageDefault;
        if (bases[k].locales.empty()) bases[k] = undeclared;
        languageBase_[k] = bases[k].conventions;
    }
    // The words of the languages the texts are in, those of elements first
    // (a name both a German page and en-US know is shown as German).
    for (std::size_t k = 1; k <= count; ++k) {
        const std::size_t language = k % count;
        if (!forced && language < usedLanguages.size() && usedLanguages[language]) use(bases[language]);
    }
    reader_.emplace(std::move(words), !options.disableDateRecognition);
    for (const Conventions base : languageBase_)
        otherCalendar_ |= base & withOrders(1u << unsigned(DateOrder::OtherCalendar));
    if (forced_) otherCalendar_ = forced_ & withOrders(1u << unsigned(DateOrder::OtherCalendar));
    std::uint32_t tables = 0;
    for (std::size_t g = 0; g < groupTables.size(); ++g) {
        groups_[g].table = groupTables[g];
        tables = std::max(tables, groupTables[g] + 1);
    }
    tables_.resize(tables);
}

bool PageValues::note(std::uint32_t group, std::uint16_t language, std::string_view text, CellValue& cell) {
    if (!reader_) {
        cell = CellValue::makeText(std::string(text));
        return true;
    }
    Group& g = groups_[group];
    g.base |= languageBase_[language < languageBase_.size() ? language : 0];
    Reading r = reader_->read(text);
    g.dollarWords = g.dollarWords || r.dollarWord;
    if (r.kind == Reading::Kind::Value) {
        // An amount makes the column one of amounts only under the conventions
        // that read it: "(2,4)" (notes 2 and 4) is none on an English page.
        if (r.amount) {
            for (std::size_t k = 0; k < r.count; ++k)
                if (!std::isnan(r.alternatives[k].number))
                    g.amounts |= r.plain ? kAllConventions : r.alternatives[k].readers;
        }
        g.evidence.marks.add(r.marksVote);
        g.evidence.orders.add(r.orderVote);
        // Read alike by every convention, and not by its column: done. (The
        // reading of another calendar counts only where the page's
        // language is in one.)
        const Reading::Alternative* only = nullptr;
        std::size_t numbers = 0;
        for (std::size_t k = 0; k < r.count; ++k) {
            const Reading::Alternative& a = r.alternatives[k];
            if (std::isnan(a.number) && !otherCalendar_) continue;
            only = &a;
            ++numbers;
        }
        const Conventions possible =
            otherCalendar_ ? kAllConventions : ~withOrders(1u << unsigned(DateOrder::OtherCalendar));
        if (numbers == 1 && !std::isnan(only->number) && (r.plain || (only->readers & possible) == possible) &&
            !r.parenthesised && !r.bareDollar && !r.readAgain) {
            cell = CellValue::makeNumber(only->number, only->format);
            return true;
        }
    } else if (!r.readAgain) {
        cell = r.kind == Reading::Kind::Empty ? CellValue{} : CellValue::makeText(std::string(text));
        return true;
    }
    Waiting& w = waiting_.emplace_back(Waiting{group, r});
    if (r.readAgain) {
        w.questionsFrom = static_cast<std::uint32_t>(questions_.size());
        w.questionsLength = static_cast<std::uint32_t>(reader_->questions().size());
        questions_ += reader_->questions();
    }
    return false;
}

void PageValues::decide() {
    if (!reader_) return;
    wordsAdopted_ = reader_->adoptLanguagesUsed();
    for (const Group& g : groups_) {
        tables_[g.table].marks.add(g.evidence.marks);
        tables_[g.table].orders.add(g.evidence.orders);
        page_.marks.add(g.evidence.marks);
        page_.orders.add(g.evidence.orders);
    }
    // (No shape tells of another calendar: only a page's language does.)
    constexpr unsigned kAllMarks = (1u << kNumberMarksCount) - 1,
                       kAllOrders = (1u << unsigned(DateOrder::OtherCalendar)) - 1;
    for (Group& g : groups_) {
        if (forced_) {
            // The page's own shapes still speak: where a column's texts go
            // against the forced conventions along an axis, the column's
            // conventions are in question beside them, so that a text the two
            // read differently stays text instead of becoming a wrong value.
            auto against = [&](const Votes& own, unsigned forced) {
                return own.voted && !own.conflict() && !(forced & own.all);
            };
            const bool marksAgainst = against(g.evidence.marks, marksOf(forced_));
            const bool ordersAgainst = against(g.evidence.orders, ordersOf(forced_));
            g.inQuestion = forced_;
            if (marksAgainst || ordersAgainst) {
                g.againstForced = true;
                const unsigned m = marksOf(forced_) | (marksAgainst ? g.evidence.marks.all : 0);
                const unsigned o = ordersOf(forced_) | (ordersAgainst ? g.evidence.orders.all : 0);
                Conventions times = kAllConventions;  // marks in doubt: how times are written too
                if (!marksAgainst) {
                    times = 0;
                    for (const bool point : {false, true})
                        if (forced_ & withTimePoint(point)) times |= withTimePoint(point);
                }
                g.inQuestion = withMarks(m) & withOrders(o) & times;
            }
            continue;
        }
        // The nearest votes along each axis (the column's, its table's, the
        // page's), narrowed by the wider ones where they leave a choice: a
        // column of "07/12/2026" on a page that writes "25/12/2026" is read
        // with the page's order in question.
        auto nearest = [&](Votes Evidence::*axis) {
            const Votes& table = tables_[g.table].*axis;
            const Votes& page = page_.*axis;
            Votes v = (g.evidence.*axis).voted ? g.evidence.*axis : table.voted && !table.conflict() ? table : page;
            if (!v.conflict())
                for (const Votes* wider : {&table, &page})
                    if (wider->voted && !wider->conflict() && (v.all & wider->all)) v.all &= wider->all;
            return v;
        };
        const Votes marks = nearest(&Evidence::marks);
        const Votes orders = nearest(&Evidence::orders);
        // The column's own texts alone go against these conventions.
        auto ownAgainst = [&](Votes Evidence::*axis, unsigned base) {
            const Votes& own = g.evidence.*axis;
            return own.voted && !own.conflict() && !(base & own.all);
        };
        const unsigned marksAllowed = marks.voted && !marks.conflict() ? marks.all : kAllMarks;
        const unsigned ordersAllowed = orders.voted && !orders.conflict() ? orders.all : kAllOrders;
        const Conventions shapes = withMarks(marksAllowed) & withOrders(ordersAllowed);
        Conventions in = g.base & shapes;
        if (in) {
            // Each axis on its own: the marks a page's numbers show say
            // nothing of the order of its dates' parts, nor its dates of its
            // marks. Where the declared or the user's conventions are more
            // than one, a shape that rules some out along one axis leaves
            // the others' ways along the other axis in question ("1,234.56"
            // on a page of en-US or fr-FR does not say that its dates put
            // the month first).
            Conventions times = 0;
            for (const bool point : {false, true})
                if (in & withTimePoint(point)) times |= withTimePoint(point);
            in = withMarks(marksOf(g.base) & marksAllowed) & withOrders(ordersOf(g.base) & ordersAllowed) & times;
        } else {
            // The shapes go against the declared (or the user's) conventions.
            const unsigned baseMarks = marksOf(g.base), baseOrders = ordersOf(g.base);
            const bool marksAgainst = marks.voted && !marks.conflict() && !(baseMarks & marksAllowed);
            const bool ordersAgainst = orders.voted && !orders.conflict() && !(baseOrders & ordersAllowed);
            if ((marksAgainst && ownAgainst(&Evidence::marks, baseMarks)) ||
                (ordersAgainst && ownAgainst(&Evidence::orders, baseOrders))) {
                // A column's own shapes outrank them: theirs alone are in question.
                in = shapes & withTimePoint(false);
            } else {
                // Shapes elsewhere in its table or page leave both in
                // question, along the axis they disagree on; and once the
                // marks are in doubt, so is how its times are written.
                // An axis nothing on the page speaks of is in doubt too.
                auto axis = [&](const Votes& v, unsigned base, unsigned allowed, bool against) {
                    if (!v.voted || v.conflict()) return marksAgainst || ordersAgainst ? allowed : base;
                    return against ? base | allowed : base & allowed;
                };
                const unsigned m = axis(marks, baseMarks, marksAllowed, marksAgainst);
                const unsigned o = axis(orders, baseOrders, ordersAllowed, ordersAgainst);
                Conventions times = kAllConventions;
                if (!marksAgainst) {
                    times = 0;
                    for (const bool point : {false, true})
                        if (g.base & withTimePoint(point)) times |= withTimePoint(point);
                }
                in = withMarks(m) & withOrders(o) & times;
            }
        }
        // A page in another calendar than the Gregorian writes its numeric
        // dates in it, whatever their shapes.
        const Conventions otherCalendar = withOrders(1u << unsigned(DateOrder::OtherCalendar));
        if (g.base & otherCalendar) in |= otherCalendar & withMarks(marksOf(in));
        // Texts of the column disagree: what each of them reads in is in question too.
        if (marks.conflict() || orders.conflict()) {
            const unsigned m = marks.conflict() ? marks.any | marksOf(in) : marksOf(in);
            const unsigned o = orders.conflict() ? orders.any | ordersOf(in) : ordersOf(in);
            in |= withMarks(m) & withOrders(o) & withTimePoint(false);
        }
        g.inQuestion = in;
    }
}

CellValue PageValues::waiting(std::size_t index, std::string_view text) {
    Waiting& w = waiting_[index];
    const Group& g = groups_[w.group];
    // In the languages the page turned out to use; a text they answer no
    // question of otherwise reads as it did.
    if (w.reading.readAgain && wordsAdopted_ &&
        reader_->readsOtherwise(std::string_view(questions_).substr(w.questionsFrom, w.questionsLength)))
        w.reading = reader_->read(text);
    const Reading& r = w.reading;
    if (r.kind == Reading::Kind::Empty) return {};
    const Reading::Alternative* a = valueUnder(r, g.inQuestion);
    if (!a || (r.parenthesised && !(g.amounts & g.inQuestion)) || (r.bareDollar && g.dollarWords))
        return CellValue::makeText(std::string(text));
    return CellValue::makeNumber(a->number, a->format);
}

}  // namespace qf::engine
