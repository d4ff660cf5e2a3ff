// The user's locale as the engine gets it: a language tag, or nothing.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace qf::platform {
namespace {

TEST(UserLocale, PosixNamesBecomeLanguageTags) {
    const std::pair<const char*, const char*> cases[] = {{"de_DE.UTF-8", "de-DE"},
                                                         {"fr_CA", "fr-CA"},
                                                         {"sr_RS@latin", "sr-Latn-RS"},
                                                         {"pt_BR.utf8@euro", "pt-BR"},
                                                         {"en", "en"},
                                                         {"C", ""},
                                                         {"C.UTF-8", ""},
                                                         {"POSIX", ""},
                                                         {"", ""},
                                                         {"de_DE;rm -rf", ""},
                                                         {"toolong_XX", ""},
                                                         {"e1_US", ""}};
    for (const auto& [name, tag] : cases) EXPECT_EQ(localeNameToTag(name), tag) << name;
}

#ifndef _WIN32
TEST(UserLocale, TheFirstOfLcAllLcNumericAndLangThatIsSetNamesIt) {
    const char* names[] = {"LC_ALL", "LC_NUMERIC", "LANG"};
    std::optional<std::string> saved[3];
    for (int i = 0; i < 3; ++i)
        if (const char* v = std::getenv(names[i])) saved[i] = v;
    ::setenv("LANG", "fr_FR.UTF-8", 1);
    ::setenv("LC_NUMERIC", "de_CH.UTF-8", 1);
    ::setenv("LC_ALL", "", 1);
    EXPECT_EQ(userLocale(), "de-CH");
    ::unsetenv("LC_NUMERIC");
    EXPECT_EQ(userLocale(), "fr-FR");
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EQ(userLocale(), "");
    for (int i = 0; i < 3; ++i) {
        if (saved[i])
            ::setenv(names[i], saved[i]->c_str(), 1);
        else
            ::unsetenv(names[i]);
    }
}
#endif

}  // namespace
}  // namespace qf::platform
