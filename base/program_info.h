#pragma once
// The program's fixed texts that several folders share.

#include <string>
#include <string_view>

namespace qf {

inline constexpr const char* kProductName = "Quillfen";

// The progress bar's caption while no import runs.
inline constexpr const char* kIdleProgressText = "Progress Bar";

// The configured support address (set at build time).
const std::string& supportEmail();

// The program's version, "1.0.0".
const std::string& programVersion();

// The application title derived from a product name: the text is cut before its
// last space, and cut again while it is longer than 40 characters. A name without
// any space is its own title.
std::string applicationTitleFor(std::string_view productName);

// The application title of this program: the caption of every message box and
// input box that is given none of its own.
const std::string& applicationTitle();

}  // namespace qf
