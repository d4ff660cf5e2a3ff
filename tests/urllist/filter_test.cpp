// "Remove Filenames Containing X" and "Remove Filenames Not Cont. X".

#include <algorithm>
#include <random>

#include "base/program_info.h"
#include "list_fixture.h"
#include "urllist/url_list_filter.h"

namespace qf::testing {
namespace {

using Texts = std::vector<std::string>;

class FilterTest : public ListFixture {
protected:
    Texts containing(const std::string& text) {
        ui.answerInput(text);
        commands->removeContaining();
        return texts();
    }
    Texts notContaining(const std::string& text) {
        ui.answerInput(text);
        commands->removeNotContaining();
        return texts();
    }
};

TEST_F(FilterTest, ContainingIgnoresCaseAndKeepsOrder) {
    fill({"www.news.com", "a", "NEWS today", "b", "FakeNeWs", "", "c"});
    EXPECT_EQ(containing("NEWS"), (Texts{"a", "b", "", "c"}));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Remove entries containing: ");
    EXPECT_EQ(ui.boxes[0].caption, applicationTitle());
    EXPECT_EQ(ui.pointerHistory, (std::vector<Pointer>{Pointer::Hourglass, Pointer::Default}));
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(FilterTest, NotContainingEmptyEntriesDuplicatesAndSpaces) {
    fill({"x.com", "", "y.org", "x.com", "a b"});
    EXPECT_EQ(notContaining("."), (Texts{"x.com", "y.org", "x.com"}));  // empty entries go
    EXPECT_EQ(ui.boxes[0].text, "Remove entries not containing: ");
    EXPECT_EQ(notContaining("X.COM"), (Texts{"x.com", "x.com"}));  // both copies stay
    EXPECT_EQ(notContaining("com"), (Texts{"x.com", "x.com"}));    // every entry holds it

    list().clear();
    fill({"a b", "ab", "", " "});
    EXPECT_EQ(containing(" "), (Texts{"ab", ""}));  // an empty entry never contains
    list().clear();
    fill({"a b", "ab", "", " "});
    EXPECT_EQ(notContaining(" "), (Texts{"a b", " "}));
}

TEST_F(FilterTest, UnicodeCase) {
    fill(
        {"\xC3\x9C"
         "BER.de",
         "uber.de", "kite.com", "\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91.gr"});
    // U+00FC against U+00DC, and Greek capitals against small letters.
    EXPECT_EQ(containing("\xC3\xBC"
                         "ber"),
              (Texts{"uber.de", "kite.com", "\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91.gr"}));
    EXPECT_EQ(containing("\xCF\x83\xCE\xBF\xCF\x86"), (Texts{"uber.de", "kite.com"}));
    // The Kelvin sign lower-cases to a plain k.
    EXPECT_EQ(containing("\xE2\x84\xAA"
                         "ite"),
              (Texts{"uber.de"}));
}

TEST_F(FilterTest, CancelAndEmptyListLeaveThingsAlone) {
    fill({"a"});
    EXPECT_EQ(containing(""), (Texts{"a"}));
    EXPECT_TRUE(ui.pointerHistory.empty());
    list().clear();
    EXPECT_EQ(notContaining("zzz"), Texts{});
    EXPECT_EQ(ui.pointerHistory, (std::vector<Pointer>{Pointer::Hourglass, Pointer::Default}));
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(FilterTest, WhileScanning) {
    fill({"news1", "keep", "news2"});
    ui.answerInput("news");
    ui.onNextEvents([&] {
        // Appended during the scan: beyond the count taken at its start, so kept.
        ui.answerInput("www.news-added.com");
        commands->addUrl();
        // A second filter, Clear List, moves and removal are refused while busy.
        view->selectPosition(2);
        ui.answerInput("keep");
        commands->removeNotContaining();
        commands->clearList();
        commands->moveUp();
        commands->moveDown();
        commands->keyDown(Qt::Key_Delete);
        commands->doubleClick();
    });
    commands->removeContaining();
    EXPECT_EQ(texts(), (Texts{"keep", "www.news-added.com"}));
    EXPECT_EQ(ui.pointerHistory, (std::vector<Pointer>{Pointer::Hourglass, Pointer::Default}));
    // Only the first filter's prompt and the added address's prompt were shown.
    EXPECT_EQ(ui.boxes.size(), 2u);
}

TEST_F(FilterTest, ScanStaysBusyWhenACommandInsideItEndsItsOwnBusyState) {
    // Long entries outside ASCII keep the scan going for several rounds of events.
    const std::string filler(128 * 1024, 'x');
    Texts kept;
    for (int k = 0; k < 256; ++k) {
        const std::string head = (k % 2 ? "keep \xC3\xA9 " : "drop \xC3\xA9 ") + std::to_string(k);
        list().appendUtf8(head + filler);
        if (k % 2) kept.push_back(head);
    }
    auto heads = [&] {
        Texts out;
        for (const std::string& t : texts()) out.push_back(t.substr(0, t.find('x')));
        return out;
    };
    view->selectPosition(2);
    int round = 0;
    ui.everyEvents = [&] {
        if (++round == 1) {
            // An import run started during the scan ends by setting the default pointer.
            ui.setBusy(false);
        } else {
            // The user presses Delete while the scan still holds its positions.
            commands->keyDown(Qt::Key_Delete);
        }
    };
    ui.answerInput("DROP");
    commands->removeContaining();
    EXPECT_EQ(heads(), kept);
    ASSERT_GE(round, 2) << "the scan let the window work only once";
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(ui.pointer(), Pointer::Default);
}

TEST_F(FilterTest, FailureDuringTheScanIsStatement106AndBusyEnds) {
    fill({"a", "b", "c"});
    // Something outside the busy guard empties the list under the scan.
    ui.onNextEvents([&] { list().clear(); });
    EXPECT_EQ(containing("a"), Texts{});
    EXPECT_EQ(ui.messages(),
              (Texts{report("Index out of bounds", "PushButton17_Click", list_statement::kRemoveEntries)}));
    EXPECT_EQ(ui.pointer(), Pointer::Default);
}

TEST_F(FilterTest, YieldsByTimeNotPerEntry) {
    fill(Texts(100000, "www.example.com/path"));
    EXPECT_EQ(containing("example"), Texts{});
    EXPECT_GE(ui.eventRounds, 1);
    EXPECT_LT(ui.eventRounds, 1000);
}

TEST_F(FilterTest, BulkRemovalEqualsHighestFirstAndKeepsSelection) {
    std::mt19937 random(11);
    for (int round = 0; round < 50; ++round) {
        list().clear();
        const int n = 1 + static_cast<int>(random() % 40);
        Texts naive;
        for (int k = 0; k < n; ++k) naive.push_back(std::to_string(k));
        fill(naive);
        std::vector<int> positions;
        for (int p = 1; p <= n; ++p)
            if (random() % 2) positions.push_back(p);
        const int selected = 1 + static_cast<int>(random() % static_cast<unsigned>(n));
        view->selectPosition(selected);
        const bool selectedStays = !std::binary_search(positions.begin(), positions.end(), selected);
        list().removePositions(positions);
        for (auto p = positions.rbegin(); p != positions.rend(); ++p) naive.erase(naive.begin() + (*p - 1));
        ASSERT_EQ(texts(), naive);
        ASSERT_EQ(view->model()->rowCount(), static_cast<int>(naive.size()));
        if (selectedStays)
            ASSERT_EQ(list().utf8(view->selectedPosition()), std::to_string(selected - 1));
        else
            ASSERT_EQ(view->selectedPosition(), 0);
    }
    QApplication::processEvents();
    EXPECT_FALSE(view->grab().isNull());
}

TEST_F(FilterTest, BulkRemovalRejectsBadPositionsBeforeChangingAnything) {
    fill({"a", "b", "c"});
    EXPECT_THROW(list().removePositions({2, 4}), Failure);
    EXPECT_THROW(list().removePositions({0, 1}), Failure);
    EXPECT_THROW(list().removePositions({2, 2}), Failure);
    EXPECT_EQ(texts(), (Texts{"a", "b", "c"}));
}

}  // namespace
}  // namespace qf::testing
