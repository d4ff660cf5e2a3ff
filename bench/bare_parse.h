#pragma once
// The HTML parser's bare parse, the floor any page layout stands on.

#include <gumbo.h>

#include <string>
#include <vector>

// The parse the source itself makes (parse errors not collected), then a walk
// over every node, as the least any layout must do.
inline std::size_t bareParse(const std::string& html) {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput* out = gumbo_parse_with_options(&options, html.data(), html.size());
    std::size_t nodes = 0;
    std::vector<const GumboNode*> stack{out->document};
    while (!stack.empty()) {
        const GumboNode* n = stack.back();
        stack.pop_back();
        ++nodes;
        if (n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_DOCUMENT || n->type == GUMBO_NODE_TEMPLATE) {
            const GumboVector& kids = n->type == GUMBO_NODE_DOCUMENT ? n->v.document.children : n->v.element.children;
            for (unsigned i = 0; i < kids.length; ++i) stack.push_back(static_cast<const GumboNode*>(kids.data[i]));
        }
    }
    gumbo_destroy_output(&options, out);
    return nodes;
}
