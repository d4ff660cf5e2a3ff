#include "lexicon.h"

#include <algorithm>
#include <string>

#include "plain_text.h"

namespace qf::engine {

Lexicon::Lexicon(std::vector<const LocaleConventions*> locales) : locales_(std::move(locales)) {
    std::erase(locales_, nullptr);
    for (const LocaleConventions* l : locales_) hourMark_ = hourMark_ || l->timeWithHourMark;
}

bool Lexicon::adoptLanguagesUsed() {
    unsigned most = 0;
    for (const auto& [language, uses] : worldLanguagesUsed_) most = std::max(most, uses);
    std::vector<std::uint16_t> chosen;
    for (const auto& [language, uses] : worldLanguagesUsed_)
        if (uses == most) chosen.push_back(language);
    std::sort(chosen.begin(), chosen.end());
    bool adopted = false;
    const bool hourMark = hourMark_;
    adoptedFrom_ = locales_.size();
    for (std::size_t k = 0; k < chosen.size() && k < 4; ++k) {
        const LocaleConventions* l = worldLanguage(chosen[k]);
        if (!l || std::find(locales_.begin(), locales_.end(), l) != locales_.end()) continue;
        locales_.push_back(l);
        hourMark_ = hourMark_ || l->timeWithHourMark;
        adopted = true;
    }
    worldLanguagesUsed_.clear();
    hourMarkAdopted_ = hourMark_ != hourMark;
    return adopted;
}

// The log: a kind ('w' a word, 's' a sign, 'x' one too long to log, whose
// text is read again whatever was adopted), a length byte, the question.
void Lexicon::note(char kind, std::string_view question) const {
    if (!log_) return;
    if (question.size() > 255) kind = 'x', question = {};
    log_->push_back(kind);
    log_->push_back(static_cast<char>(question.size()));
    log_->append(question);
}

bool Lexicon::answersOtherwise(std::string_view log) const {
    if (hourMarkAdopted_) return true;
    while (log.size() >= 2) {
        const char kind = log[0];
        const std::size_t length = static_cast<unsigned char>(log[1]);
        const std::string_view question = log.substr(2, length);
        log.remove_prefix(std::min(log.size(), 2 + length));
        if (kind == 'x') return true;
        for (std::size_t k = adoptedFrom_; k < locales_.size(); ++k) {
            const LocaleConventions& l = *locales_[k];
            if (kind == 'w'
                    ? l.words.find(question) != nullptr
                    : std::find(l.currencySigns.begin(), l.currencySigns.end(), question) != l.currencySigns.end())
                return true;
        }
    }
    return false;
}

bool Lexicon::isCurrencySign(std::string_view sign) const {
    note('s', sign);
    if (sign == "$") return true;
    // No sign has digits, spaces or these marks, or is long ("/14/2025" is no sign).
    if (sign.empty() || sign.size() > 12 || sign.find_first_of("0123456789 /:%()+-=") != std::string_view::npos)
        return false;
    for (const LocaleConventions* l : locales_)
        for (const std::string& s : l->currencySigns)
            if (s == sign) return true;
    // Signs of letters alone ("kr", "CHF") count only in their locales' pages.
    if (std::all_of(sign.begin(), sign.end(), isAsciiLetter)) return false;
    return worldWords().isCurrencySign(sign);
}

const LocaleConventions* Lexicon::worldLanguage(std::uint16_t index) {
    const auto it = worldLanguages_.find(index);
    if (it != worldLanguages_.end()) return it->second;
    const LocaleConventions* record = resolveLocale(world_->languageTags()[index]).record;
    worldLanguages_.emplace(index, record);
    return record;
}

std::optional<Lexicon::Word> Lexicon::lookUp(std::string_view word, std::vector<const LocaleConventions*>& extra) {
    note('w', word);
    std::optional<Word> found;
    auto take = [&](DateWord meaning, const LocaleConventions* locale) {
        if (locale->dateOrder == DateOrder::OtherCalendar) meaning.month = meaning.weekday = 0;  // not Gregorian
        if (!found) {
            found = Word{meaning, locale, locale && locale->language == "en", false};
            return;
        }
        // Known to two of the page's locales: both meanings count.
        DateWords both;
        both.add(std::string(word), found->meaning);
        both.add(std::string(word), meaning);
        found->meaning = *both.find(word);
    };
    for (const LocaleConventions* l : locales_)
        if (const DateWord* w = l->words.find(word)) take(*w, l);
    for (const LocaleConventions* l : extra)
        if (const DateWord* w = l->words.find(word)) take(*w, l);
    if (found) return found;
    // A name none of the page's locales knows, in the language it is from.
    if (!world_) world_ = &worldWords();
    const WorldWords::Entry* e = world_->find(word);
    if (!e || e->meaning.month == DateWord::kAmbiguous || e->meaning.weekday == DateWord::kAmbiguous ||
        e->meaning.dayPeriod == DateWord::kAmbiguous)
        return std::nullopt;
    Word w{e->meaning, nullptr, false, true};
    for (std::uint16_t language : e->languages) ++worldLanguagesUsed_[language];
    // (Each language's record is made the first time it is needed: only the
    // first two languages of a name are taken in.)
    for (std::uint16_t language : e->languages) {
        const std::string& tag = world_->languageTags()[language];
        if (tag == "en" || tag.starts_with("en-")) w.english = true;
    }
    for (std::size_t k = 0; k < e->languages.size() && k < 2; ++k) {
        const LocaleConventions* l = worldLanguage(e->languages[k]);
        if (!l) continue;
        if (l->dateOrder == DateOrder::OtherCalendar) w.meaning.month = w.meaning.weekday = 0;  // not Gregorian
        if (!w.locale) w.locale = l;
        if (extra.size() < 2 && std::find(extra.begin(), extra.end(), l) == extra.end()) extra.push_back(l);
    }
    return w;
}

}  // namespace qf::engine
