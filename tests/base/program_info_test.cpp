#include "base/program_info.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

TEST(ApplicationTitle, DropsTheLastWordAndCutsPastFortyCharacters) {
    EXPECT_EQ(applicationTitleFor("Quillfen"), "Quillfen");  // no space: the name itself
    EXPECT_EQ(applicationTitleFor("Quillfen Web Importer"), "Quillfen Web");
    EXPECT_EQ(applicationTitleFor("Two words"), "Two");
    // 46 characters: cut until 40 or fewer remain.
    EXPECT_EQ(applicationTitleFor("Alpha Beta Gamma Delta Epsilon Zeta Eta Theta"),
              "Alpha Beta Gamma Delta Epsilon Zeta Eta");
    EXPECT_EQ(applicationTitleFor("Alpha Beta Gamma Delta Epsilon Zeta Eta Theta Iota"),
              "Alpha Beta Gamma Delta Epsilon Zeta Eta");
    // One long first word is what is left when the spaces run out.
    EXPECT_EQ(applicationTitleFor("Averyveryveryveryveryveryveryverylongword tail more"),
              "Averyveryveryveryveryveryveryverylongword");
    // Exactly 40 characters after one cut stays.
    const std::string forty(40, 'x');
    EXPECT_EQ(applicationTitleFor(forty + " y"), forty);
    // Characters, not bytes, are counted.
    EXPECT_EQ(applicationTitleFor("Ärger Ärger Ärger Ärger Ärger Ärger Ärger end"),
              "Ärger Ärger Ärger Ärger Ärger Ärger");
    EXPECT_EQ(applicationTitle(), "Quillfen");
}

}  // namespace
}  // namespace qf
