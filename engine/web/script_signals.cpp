#include "script_signals.h"

#include <curl/curl.h>
#include <gumbo.h>

#include <algorithm>
#include <array>
#include <functional>

#include "base/text.h"

namespace qf::engine {

namespace {

const char* attribute(const GumboNode* node, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&node->v.element.attributes, name);
    return a ? a->value : nullptr;
}

const GumboVector& childrenOf(const GumboNode* node) {
    return node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
}

// The ids (and a few attributes) that single-page applications mount into.
constexpr std::array<std::string_view, 9> kMountIds = {"root",   "app",      "__next",     "__nuxt",     "___gatsby",
                                                       "svelte", "main-app", "react-root", "application"};

bool isMountPoint(const GumboNode* element) {
    if (attribute(element, "data-reactroot") || attribute(element, "ng-app") || attribute(element, "data-v-app"))
        return true;
    const char* id = attribute(element, "id");
    if (!id) return false;
    const std::string_view name = trimHtmlSpace(id);
    return std::any_of(kMountIds.begin(), kMountIds.end(),
                       [&](std::string_view m) { return sameIgnoringAsciiCase(m, name); });
}

// Nothing in it but white space and comments.
bool isEmpty(const GumboNode* element) {
    const GumboVector& children = element->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (child->type == GUMBO_NODE_ELEMENT) return false;
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA) return false;
    }
    return true;
}

// A script a browser runs (no type, a JavaScript type or a module; not JSON,
// templates or data blocks) that may write the page: one loaded from
// elsewhere, a module, or inline code that reaches the document or the
// network. `var x = 1;` writes nothing.
bool mayBuildPage(const GumboNode* script, std::string_view code) {
    const char* type = attribute(script, "type");
    if (type) {
        const std::string_view t = trimHtmlSpace(type);
        std::string lower(t);
        std::transform(lower.begin(), lower.end(), lower.begin(), asciiLower);
        const bool module = lower == "module";
        if (!t.empty() && !module && lower.find("javascript") == std::string::npos &&
            lower.find("ecmascript") == std::string::npos)
            return false;
        if (module) return true;
    }
    if (attribute(script, "src")) return true;
    constexpr std::array<std::string_view, 8> kWrites = {"document", "innerHTML", "fetch(",  "XMLHttpRequest",
                                                         "location", "jQuery",    "render(", "$("};
    return std::any_of(kWrites.begin(), kWrites.end(),
                       [&](std::string_view w) { return code.find(w) != std::string_view::npos; });
}

std::string_view inlineText(const GumboNode* element) {
    const GumboVector& children = element->v.element.children;
    if (children.length == 0) return {};
    const auto* child = static_cast<const GumboNode*>(children.data[0]);
    return child->type == GUMBO_NODE_TEXT ? std::string_view(child->v.text.text) : std::string_view();
}

bool sendsElsewhere(std::string_view script) {
    constexpr std::array<std::string_view, 6> kRedirects = {
        "location.replace(", "location.assign(", "location.href=", "location.href =", "location=", "location = "};
    return std::any_of(kRedirects.begin(), kRedirects.end(),
                       [&](std::string_view r) { return script.find(r) != std::string_view::npos; });
}

void readBody(const GumboNode* node, ScriptSignals& facts) {
    const GumboVector& children = childrenOf(node);
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (child->type != GUMBO_NODE_ELEMENT) continue;
        switch (child->v.element.tag) {
            case GUMBO_TAG_SCRIPT:
                if (const std::string_view code = inlineText(child); mayBuildPage(child, code)) {
                    ++facts.scripts;
                    if (sendsElsewhere(code)) facts.scriptRedirect = true;
                }
                continue;
            case GUMBO_TAG_NOSCRIPT:
                // Parsed as text where scripting is on; as elements here.
                if (!isEmpty(child)) facts.noscriptNotice = true;
                continue;
            case GUMBO_TAG_TEMPLATE:
            case GUMBO_TAG_STYLE: continue;
            default: break;
        }
        if (isMountPoint(child) && isEmpty(child)) facts.emptyMountPoint = true;
        readBody(child, facts);
    }
}

const GumboNode* childElement(const GumboNode* node, GumboTag tag) {
    const GumboVector& children = childrenOf(node);
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == tag) return child;
    }
    return nullptr;
}

struct Reason {
    std::string_view why;
    std::function<bool(const ScriptSignals&)> holds;
};

// What makes a page "built by scripts", strongest first. Each needs the
// page's own text to be little: a page that reads well as served is read so.
const std::array<Reason, 4>& reasons() {
    static const std::array<Reason, 4> table = {{
        {"an empty mount element beside its scripts",
         [](const ScriptSignals& s) { return s.emptyMountPoint && s.scripts > 0; }},
        {"a notice that it needs scripts", [](const ScriptSignals& s) { return s.noscriptNotice && s.scripts > 0; }},
        {"a script that sends the reader to another page", [](const ScriptSignals& s) { return s.scriptRedirect; }},
        {"little text beside its scripts", [](const ScriptSignals& s) { return s.scripts > 0; }},
    }};
    return table;
}

}  // namespace

std::optional<ScriptsMode> scriptsModeNamed(std::string_view name) {
    const std::string_view n = trimHtmlSpace(name);
    if (sameIgnoringAsciiCase(n, "auto")) return ScriptsMode::Auto;
    if (sameIgnoringAsciiCase(n, "always")) return ScriptsMode::Always;
    if (sameIgnoringAsciiCase(n, "never")) return ScriptsMode::Never;
    return std::nullopt;
}

std::string_view scriptsModeName(ScriptsMode mode) {
    switch (mode) {
        case ScriptsMode::Always: return "always";
        case ScriptsMode::Never: return "never";
        case ScriptsMode::Auto: break;
    }
    return "auto";
}

std::optional<MetaRefresh> parseRefresh(std::string_view content) {
    std::string_view s = trimHtmlSpace(content);
    std::size_t i = 0;
    while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || s[i] == '.')) ++i;
    if (i == 0) return std::nullopt;  // a browser follows none without a delay
    MetaRefresh refresh;
    s.remove_prefix(i);
    s = trimHtmlSpace(s);
    if (!s.empty() && (s.front() == ';' || s.front() == ',')) s.remove_prefix(1);
    s = trimHtmlSpace(s);
    if (s.size() >= 3 && sameIgnoringAsciiCase(s.substr(0, 3), "url")) {
        std::string_view rest = trimHtmlSpace(s.substr(3));
        if (!rest.empty() && rest.front() == '=') s = trimHtmlSpace(rest.substr(1));
    }
    if (s.size() >= 2 && (s.front() == '\'' || s.front() == '"')) {
        const std::size_t close = s.find(s.front(), 1);
        s = s.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    }
    refresh.target = std::string(trimHtmlSpace(s));
    return refresh;
}

ScriptSignals readScriptSignals(const GumboInternalNode* documentNode, std::size_t textBytes) {
    const GumboNode* document = documentNode;
    ScriptSignals facts;
    facts.textBytes = textBytes;
    const GumboNode* html = childElement(document, GUMBO_TAG_HTML);
    if (!html) return facts;
    if (const GumboNode* head = childElement(html, GUMBO_TAG_HEAD)) {
        const GumboVector& children = head->v.element.children;
        for (unsigned i = 0; i < children.length; ++i) {
            const auto* meta = static_cast<const GumboNode*>(children.data[i]);
            if (meta->type != GUMBO_NODE_ELEMENT || meta->v.element.tag != GUMBO_TAG_META) continue;
            const char* equiv = attribute(meta, "http-equiv");
            const char* content = attribute(meta, "content");
            if (equiv && content && sameIgnoringAsciiCase(trimHtmlSpace(equiv), "refresh") && !facts.refresh)
                facts.refresh = parseRefresh(content);
        }
    }
    if (textBytes >= kLittleTextBytes) return facts;
    readBody(html, facts);  // the head's scripts count as well
    return facts;
}

std::optional<std::string_view> scriptBuiltReason(const ScriptSignals& facts) {
    if (facts.textBytes >= kLittleTextBytes) return std::nullopt;  // its body was not read
    for (const Reason& reason : reasons())
        if (reason.holds(facts)) return reason.why;
    return std::nullopt;
}

std::optional<std::string> refreshTarget(const std::string& address, const MetaRefresh& refresh) {
    if (refresh.target.empty()) return std::nullopt;
    // A scheme of its own ("javascript:", "ftp:") that is not the web's is not followed.
    const std::size_t colon = refresh.target.find(':');
    const std::string_view written(refresh.target.data(), colon == std::string::npos ? 0 : colon);
    const bool schemeLike = !written.empty() && std::all_of(written.begin(), written.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
               c == '.';
    });
    if (schemeLike && !sameIgnoringAsciiCase(written, "http") && !sameIgnoringAsciiCase(written, "https"))
        return std::nullopt;
    std::optional<std::string> target;
    if (CURLU* url = curl_url()) {
        char* full = nullptr;
        char* scheme = nullptr;
        if (curl_url_set(url, CURLUPART_URL, address.c_str(), 0) == CURLUE_OK &&
            curl_url_set(url, CURLUPART_URL, refresh.target.c_str(), CURLU_GUESS_SCHEME) == CURLUE_OK &&
            curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(url, CURLUPART_URL, &full, 0) == CURLUE_OK) {
            const std::string s = scheme;
            if (s == "http" || s == "https") target = full;
        }
        curl_free(full);
        curl_free(scheme);
        curl_url_cleanup(url);
    }
    // The page itself (but for its fragment) is no other address.
    const auto withoutFragment = [](const std::string& a) { return a.substr(0, a.find('#')); };
    if (target && withoutFragment(*target) == withoutFragment(address)) return std::nullopt;
    return target;
}

}  // namespace qf::engine
