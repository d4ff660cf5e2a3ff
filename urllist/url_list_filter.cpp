#include "url_list_filter.h"

#include <QElapsedTimer>
#include <QString>
#include <cstring>
#include <string>
#include <vector>

namespace qf {

namespace {

// How often the scan lets the window run its events, and how many entries it
// examines between looks at the clock.
constexpr qint64 kYieldEveryMs = 5;
constexpr int kEntriesPerClockLook = 64;

bool isAscii(std::string_view text) {
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (word & 0x8080808080808080ULL) return false;
    }
    for (; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    return true;
}

// The search text, lower-cased once. Texts of plain ASCII, by far the most
// common, are lower-cased and searched as bytes; lower-casing an ASCII text
// gives the same characters as lower-casing it as Unicode.
class LowerNeedle {
public:
    explicit LowerNeedle(std::string_view needle)
        : lower_(utf8ToQString(needle).toLower()), lowerUtf8_(lower_.toStdString()), ascii_(isAscii(lowerUtf8_)) {}

    bool foundIn(std::string_view haystack) {
        if (isAscii(haystack)) {
            // Lower-casing ASCII gives ASCII, which cannot hold a non-ASCII text.
            if (!ascii_) return false;
            buffer_.resize(haystack.size());
            for (std::size_t i = 0; i < haystack.size(); ++i) {
                const char c = haystack[i];
                buffer_[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
            }
            return std::string_view(buffer_).find(lowerUtf8_) != std::string_view::npos;
        }
        return utf8ToQString(haystack).toLower().contains(lower_);
    }

private:
    QString lower_;
    std::string lowerUtf8_;
    bool ascii_;
    std::string buffer_;
};

}  // namespace

bool containsIgnoringCase(std::string_view haystack, std::string_view needle) {
    return LowerNeedle(needle).foundIn(haystack);
}

void filterEntries(UrlListModel& list, std::string_view text, FilterKind kind, WindowServices& ui) {
    std::vector<int> matches;
    LowerNeedle needle(text);
    const bool removeFound = kind == FilterKind::Containing;
    const int n = list.count();
    QElapsedTimer sinceEvents;
    for (int i = 1; i <= n; ++i) {
        if (i == 1 || (i % kEntriesPerClockLook == 0 && sinceEvents.elapsed() >= kYieldEveryMs)) {
            ui.processPendingEvents();
            // A command that ran meanwhile may have ended a busy state of its
            // own (an import run started during the scan sets the default
            // pointer when it is done). The positions this scan holds stay
            // valid only while Clear List, moving and removal keep out.
            if (!ui.busy()) ui.setBusy(true);
            sinceEvents.start();
        }
        if (needle.foundIn(list.utf8(i)) == removeFound) matches.push_back(i);
    }
    list.removePositions(matches);
}

}  // namespace qf
