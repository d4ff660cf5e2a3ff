#pragma once
// Reads a text as a number, a percentage or an amount of money, under every
// convention of marks at once, and gives each reading the format code that
// shows it as the page wrote it; "15.20" is also a time where times are
// written with a point. A date or a time of another form is the date and time
// reader's (date_time_reader.h).
//
// Threads: one per reader, on its thread.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "conventions.h"
#include "format_codes.h"
#include "lexicon.h"

namespace qf::engine {

struct NumberShape;

class NumberReader {
public:
    NumberReader(const Lexicon& lexicon, FormatCodes& codes) : lexicon_(lexicon), codes_(codes) {}

    // The text (made plain) as a number: its alternatives, votes and kind in
    // out; false when it is none.
    bool read(std::string_view text, Reading& out);
    // The last text read had a sign before or after its number that none of
    // the page's languages has.
    bool unknownSign() const { return unknownSign_; }

private:
    bool readSigns(std::string_view& t, NumberShape& s);
    bool readDigits(std::string_view t, std::size_t& i, NumberShape& s) const;
    bool readAfter(std::string_view rest, bool spaced, NumberShape& s);
    std::size_t addNumbers(const NumberShape& s, Reading& r, unsigned& readers);
    void addTimeWithPoint(const NumberShape& s, Reading& r);

    // The format of a number's shape by a key made from it; code() makes the
    // code when the key is new.
    template <class Code>
    FormatId formatOf(std::uint64_t key, Code&& code) {
        auto& recent = recentFormats_[(key * 0x9E3779B97F4A7C15u) >> 60];
        if (recent.first == key + 1) return recent.second;
        FormatId id;
        if (const auto it = shapeFormats_.find(key); it != shapeFormats_.end()) {
            id = it->second;
        } else {
            id = codes_.format(code());
            shapeFormats_.emplace(key, id);
        }
        recent = {key + 1, id};
        return id;
    }
    std::uint64_t signIndex(std::string_view sign);

    const Lexicon& lexicon_;
    FormatCodes& codes_;
    bool unknownSign_ = false;
    std::unordered_map<std::uint64_t, FormatId> shapeFormats_;
    std::array<std::pair<std::uint64_t, FormatId>, 16> recentFormats_{};  // key + 1, by a hash of the key
    std::vector<std::string> signs_;  // the currency signs seen, by their index in shape keys
};

}  // namespace qf::engine
