#pragma once
// Whether a served page is built by scripts in the reader's browser, and so
// must be rendered to be read as its reader sees it; and where a
// <meta http-equiv="refresh"> sends the reader.
//
// The facts are read from the parsed document while it is laid out
// (readScriptSignals); the rule that weighs them is one table of reasons
// (scriptBuiltReason), so that what makes a page "built by scripts" stands in
// one place. A page with plenty of text of its own is never taken for one:
// for such a page only its head is looked at, which costs nothing measurable.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

struct GumboInternalNode;

namespace qf::engine {

// When a page is rendered in a browser before it is laid out.
enum class ScriptsMode {
    Auto,    // when what was served looks built by scripts
    Always,  // every HTML page
    Never,   // no page: every page is read as served
};

// "auto", "always", "never" (any case); no value for anything else.
std::optional<ScriptsMode> scriptsModeNamed(std::string_view name);
std::string_view scriptsModeName(ScriptsMode mode);

// Pages built by scripts, rendered in a browser before they are laid out
// (as the mode says). Rendering reads ahead as fetching does, in the
// order the loads will come, a tab a page.
struct RenderSettings {
    ScriptsMode mode = ScriptsMode::Auto;
    std::chrono::seconds limit{15};  // a page is taken as it stands after this long
    unsigned tabs = 4;               // pages rendered at once
    std::string browser;             // the browser's executable; empty: found
};

struct MetaRefresh {
    std::string target;  // as written; empty: the page itself
};

struct ScriptSignals {
    std::size_t textBytes = 0;           // the text the page lays out, in UTF-8 bytes
    std::size_t scripts = 0;             // scripts the browser would run (not JSON or templates)
    bool emptyMountPoint = false;        // an app's mount element (#root, #app, #__next, ...) with nothing in it
    bool noscriptNotice = false;         // a <noscript> in the body with text
    bool scriptRedirect = false;         // an inline script that sends the reader elsewhere (location.replace, ...)
    std::optional<MetaRefresh> refresh;  // a <meta http-equiv="refresh"> in the head
};

// Below this much laid-out text a page may be a shell that its scripts fill.
inline constexpr std::size_t kLittleTextBytes = 400;

// Reads the facts from a parsed document (a GumboNode of type document);
// textBytes is the text the layout made of it.
ScriptSignals readScriptSignals(const GumboInternalNode* document, std::size_t textBytes);

// Why the page looks built by scripts ("an empty mount element beside its
// scripts"); no value for a page that does not.
std::optional<std::string_view> scriptBuiltReason(const ScriptSignals& facts);

// The content of a refresh meta element ("5; url=next.html"); no value when it
// is not one a browser follows.
std::optional<MetaRefresh> parseRefresh(std::string_view content);

// Where a refresh element sends the reader of the page at address: the
// absolute http(s) address, or none (the page itself, or another scheme).
std::optional<std::string> refreshTarget(const std::string& address, const MetaRefresh& refresh);

}  // namespace qf::engine
