// The entry sequence behind the list, against a plain vector.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "urllist/store/gap_vector.h"

namespace qf {
namespace {

std::vector<int> contents(const GapVector<int>& g) {
    std::vector<int> out;
    for (std::size_t i = 0; i < g.size(); ++i) out.push_back(g[i]);
    return out;
}

TEST(GapVector, AgreesWithAVectorUnderRandomChanges) {
    std::mt19937 random(3);
    for (int round = 0; round < 200; ++round) {
        GapVector<int> gap;
        std::vector<int> plain;
        int next = 0;
        for (int step = 0; step < 60; ++step) {
            const auto at = [&](std::size_t extra) { return random() % (plain.size() + extra); };
            switch (random() % 5) {
                case 0:
                case 1: {
                    const std::size_t p = at(1);
                    gap.insert(p, next);
                    plain.insert(plain.begin() + static_cast<std::ptrdiff_t>(p), next++);
                    break;
                }
                case 2:
                    if (!plain.empty()) {
                        const std::size_t p = at(0);
                        gap.erase(p);
                        plain.erase(plain.begin() + static_cast<std::ptrdiff_t>(p));
                    }
                    break;
                case 3: {
                    std::vector<int> more(random() % 5);
                    for (int& v : more) v = next++;
                    more.reserve(more.size() + random() % 4);
                    plain.insert(plain.end(), more.begin(), more.end());
                    gap.append(std::move(more));
                    break;
                }
                case 4: {
                    const int modulus = 2 + static_cast<int>(random() % 3);
                    gap.keepIf([&](int v, std::size_t) { return v % modulus != 0; });
                    std::erase_if(plain, [&](int v) { return v % modulus == 0; });
                    break;
                }
            }
            ASSERT_EQ(contents(gap), plain) << "round " << round << " step " << step;
        }
    }
}

TEST(GapVector, KeepIfSeesPositionsInOrderAndClearEmpties) {
    GapVector<int> gap;
    gap.append({10, 11, 12, 13});
    gap.insert(1, 99);  // the gap now sits inside
    std::vector<std::size_t> seen;
    gap.keepIf([&](int, std::size_t i) {
        seen.push_back(i);
        return i != 1;
    });
    EXPECT_EQ(seen, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(contents(gap), (std::vector<int>{10, 11, 12, 13}));
    gap.clear();
    EXPECT_TRUE(gap.empty());
    gap.insert(0, 1);
    EXPECT_EQ(contents(gap), std::vector<int>{1});
}

}  // namespace
}  // namespace qf
