#include "html_layout.h"

#include <gumbo.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/text.h"

#include "html_parse_budget.h"
#include "layout_grid.h"
#include "parse_arena.h"
#include "table_placement.h"

namespace qf::engine {

namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

constexpr u32 kMaxColspan = 1000;
constexpr u32 kMaxRowspan = 65534;

// The child elements of a document or an element that have the tag.
std::vector<const GumboNode*> childElements(const GumboNode* node, GumboTag tag) {
    const GumboVector& v = node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
    std::vector<const GumboNode*> out;
    for (unsigned i = 0; i < v.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(v.data[i]);
        if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == tag) out.push_back(child);
    }
    return out;
}

// Only spaces and non-breaking spaces: what a browser shows as an empty line.
bool isBlank(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (isHtmlSpace(s[i])) continue;
        if (s[i] == '\xC2' && i + 1 < s.size() && s[i + 1] == '\xA0') {
            ++i;
            continue;
        }
        return false;
    }
    return true;
}

// A span attribute: digits after optional spaces; anything else gives `fallback`.
u32 spanAttribute(const GumboElement& e, const char* name, u32 fallback, u32 zeroMeans, u32 max) {
    const GumboAttribute* a = gumbo_get_attribute(&e.attributes, name);
    if (!a) return fallback;
    const char* p = a->value;
    while (isHtmlSpace(*p)) ++p;
    if (*p < '0' || *p > '9') return fallback;
    u64 v = 0;
    while (*p >= '0' && *p <= '9' && v <= max) v = v * 10 + static_cast<u64>(*p++ - '0');
    if (v == 0) return zeroMeans;
    return static_cast<u32>(std::min<u64>(v, max));
}

enum class Role : std::uint8_t { Skip, Inline, Block, Break, Pre, Table, Row, Cell, Caption, Section };

Role roleOf(const GumboNode* node) {
    if (node->type != GUMBO_NODE_ELEMENT) return Role::Skip;  // templates
    const GumboElement& e = node->v.element;
    if (e.tag_namespace == GUMBO_NAMESPACE_SVG) return Role::Skip;
    switch (e.tag) {
        case GUMBO_TAG_HEAD:
        case GUMBO_TAG_TITLE:
        case GUMBO_TAG_BASE:
        case GUMBO_TAG_LINK:
        case GUMBO_TAG_META:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_IMAGE:
        case GUMBO_TAG_IMG:
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_EMBED:
        case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_PARAM:
        case GUMBO_TAG_VIDEO:
        case GUMBO_TAG_AUDIO:
        case GUMBO_TAG_SOURCE:
        case GUMBO_TAG_TRACK:
        case GUMBO_TAG_CANVAS:
        case GUMBO_TAG_AREA:
        case GUMBO_TAG_SVG:
        case GUMBO_TAG_COLGROUP:
        case GUMBO_TAG_COL:
        case GUMBO_TAG_INPUT:
        case GUMBO_TAG_BUTTON:
        case GUMBO_TAG_SELECT:
        case GUMBO_TAG_DATALIST:
        case GUMBO_TAG_OPTGROUP:
        case GUMBO_TAG_OPTION:
        case GUMBO_TAG_TEXTAREA:
        case GUMBO_TAG_KEYGEN:
        case GUMBO_TAG_OUTPUT:
        case GUMBO_TAG_PROGRESS:
        case GUMBO_TAG_METER:
        case GUMBO_TAG_APPLET:
        case GUMBO_TAG_BGSOUND:
        case GUMBO_TAG_FRAMESET:
        case GUMBO_TAG_FRAME:
        case GUMBO_TAG_NOFRAMES:
        case GUMBO_TAG_NOEMBED:
        case GUMBO_TAG_MENUITEM: return Role::Skip;
        case GUMBO_TAG_HTML:
        case GUMBO_TAG_BODY:
        case GUMBO_TAG_ARTICLE:
        case GUMBO_TAG_SECTION:
        case GUMBO_TAG_NAV:
        case GUMBO_TAG_ASIDE:
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
        case GUMBO_TAG_HGROUP:
        case GUMBO_TAG_HEADER:
        case GUMBO_TAG_FOOTER:
        case GUMBO_TAG_ADDRESS:
        case GUMBO_TAG_P:
        case GUMBO_TAG_HR:
        case GUMBO_TAG_BLOCKQUOTE:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_UL:
        case GUMBO_TAG_LI:
        case GUMBO_TAG_DL:
        case GUMBO_TAG_DT:
        case GUMBO_TAG_DD:
        case GUMBO_TAG_FIGURE:
        case GUMBO_TAG_FIGCAPTION:
        case GUMBO_TAG_MAIN:
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_FORM:
        case GUMBO_TAG_FIELDSET:
        case GUMBO_TAG_LEGEND:
        case GUMBO_TAG_DETAILS:
        case GUMBO_TAG_SUMMARY:
        case GUMBO_TAG_MENU:
        case GUMBO_TAG_DIR:
        case GUMBO_TAG_CENTER:
        case GUMBO_TAG_MAP:
        case GUMBO_TAG_MATH: return Role::Block;
        case GUMBO_TAG_BR: return Role::Break;
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_LISTING:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_PLAINTEXT: return Role::Pre;
        case GUMBO_TAG_TABLE: return Role::Table;
        case GUMBO_TAG_TR: return Role::Row;
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH: return Role::Cell;
        case GUMBO_TAG_CAPTION: return Role::Caption;
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_TFOOT: return Role::Section;
        default: return Role::Inline;
    }
}

// The layout of one page: a walk over the parsed tree (with its own stack, so
// deep nesting cannot exhaust the call stack) that places texts into regions.
// A region is either a flow (the page, or a table cell) that grows downwards a
// line at a time, or a table that is collecting its cells.
class Layout {
public:
    explicit Layout(const WebQueryOptions& options) : options_(options) {
        flows_.push_back(Flow{});
        regionIsTable_.push_back(false);
    }

    void run(const GumboNode* document) {
        struct Step {
            const GumboNode* node;
            u32 next;
            Leave leave;
            std::uint16_t language;  // in force outside the node
        };
        std::vector<Step> stack;
        stack.push_back({document, 0, Leave::None, 0});
        while (!stack.empty()) {
            Step& step = stack.back();
            const GumboVector& children =
                step.node->type == GUMBO_NODE_DOCUMENT ? step.node->v.document.children : step.node->v.element.children;
            if (step.next == children.length) {
                const Leave leave = step.leave;
                const std::uint16_t language = step.language;
                stack.pop_back();
                onLeave(leave);
                language_ = language;
                continue;
            }
            const auto* child = static_cast<const GumboNode*>(children.data[step.next++]);
            switch (child->type) {
                case GUMBO_NODE_TEXT:
                case GUMBO_NODE_WHITESPACE:
                case GUMBO_NODE_CDATA: onText(child->v.text.text); break;
                case GUMBO_NODE_ELEMENT: {
                    Role role = roleOf(child);
                    if (role == Role::Skip) break;
                    const std::uint16_t outside = language_;
                    Leave leave = onEnter(role, child->v.element);
                    enterLanguage(child->v.element);
                    stack.push_back({child, 0, leave, outside});
                    break;
                }
                default: break;
            }
        }
        finishFlow(flows_.back());
        assignGroups(0);  // the page's own flow
    }

    // The laid-out page; the layout is spent.
    std::size_t textBytes() const { return texts_.size(); }

    LaidOutPage take() {
        LaidOutPage page;
        page.items = std::move(items_);
        page.texts = texts_;
        page.groupTables = std::move(groupTables_);
        page.languages.tags = std::move(languages_);
        page.usedLanguages = std::move(usedLanguages_);
        return page;
    }

private:
    enum class Leave : std::uint8_t { None, Boundary, Pre, Table, Cell };

    struct Flow {
        u32 row = 0;  // the row that the next line takes
        std::size_t lineStart = 0;
        bool lineHasText = false;
        bool pendingSpace = false;
        u32 preDepth = 0;
    };
    using Cell = TablePlacement::Cell;
    using Table = TablePlacement::Table;

    bool inTable() const { return regionIsTable_.back(); }

    // The lang attribute of an element, in force for the texts inside it. An
    // empty one says the language is unknown.
    void enterLanguage(const GumboElement& e) {
        const GumboAttribute* a = nullptr;
        for (unsigned i = 0; i < e.attributes.length && !a; ++i) {
            const auto* candidate = static_cast<const GumboAttribute*>(e.attributes.data[i]);
            if (candidate->name[0] == 'l' && std::strcmp(candidate->name, "lang") == 0) a = candidate;  // lower case
        }
        if (!a) return;
        std::string_view tag = trimHtmlSpace(a->value);
        if (tag.empty()) tag = "und";
        const auto known = std::find(languages_.begin(), languages_.end(), tag);
        if (known != languages_.end()) {
            language_ = static_cast<std::uint16_t>(known - languages_.begin());
        } else if (languages_.size() < 0xffff) {
            language_ = static_cast<std::uint16_t>(languages_.size());
            languages_.emplace_back(tag);
            usedLanguages_.push_back(false);
        }
    }

    // Gives the texts from firstItem on that have no group yet one per column,
    // as the columns of a table of their own.
    void assignGroups(std::size_t firstItem) {
        const auto table = tableCount_++;
        columnGroups_.clear();
        for (std::size_t k = firstItem; k < items_.size(); ++k) {
            LayoutItem& it = items_[k];
            if (it.group != kNoGroup) continue;
            const u32 col = std::min(it.col, kSheetColumns);
            if (columnGroups_.size() <= col) columnGroups_.resize(col + std::size_t{1}, kNoGroup);
            if (columnGroups_[col] == kNoGroup) {
                columnGroups_[col] = static_cast<u32>(groupTables_.size());
                groupTables_.push_back(table);
            }
            it.group = columnGroups_[col];
        }
    }

    Leave onEnter(Role role, const GumboElement& e) {
        switch (role) {
            case Role::Block: boundary(); return Leave::Boundary;
            case Role::Break: boundary(); return Leave::None;
            case Role::Pre:
                if (inTable()) return Leave::None;
                if (flows_.back().preDepth == 0) flushLine(flows_.back());
                ++flows_.back().preDepth;
                return Leave::Pre;
            case Role::Table: startTable(); return Leave::Table;
            case Role::Row:
                if (!inTable()) break;
                tables_.back().startRow();
                return Leave::None;
            case Role::Cell:
            case Role::Caption:
                if (!inTable()) break;
                if (role == Role::Caption || tables_.back().rows == 0) tables_.back().startRow();
                if (role == Role::Caption)
                    startCell(1, 1);
                else
                    startCell(spanAttribute(e, "rowspan", 1, kMaxRowspan, kMaxRowspan),
                              spanAttribute(e, "colspan", 1, 1, kMaxColspan));
                return Leave::Cell;
            case Role::Section:
                if (inTable()) return Leave::None;
                break;
            default: return Leave::None;
        }
        // Table parts outside a table read as blocks.
        boundary();
        return Leave::Boundary;
    }

    void onLeave(Leave leave) {
        switch (leave) {
            case Leave::Boundary: boundary(); break;
            case Leave::Pre: {
                Flow& f = flows_.back();
                if (--f.preDepth == 0) emitPre(f);
                break;
            }
            case Leave::Table: endTable(); break;
            case Leave::Cell: endCell(); break;
            case Leave::None: break;
        }
    }

    void onText(const char* text) {
        if (inTable()) return;  // white space between rows
        Flow& f = flows_.back();
        if (f.preDepth > 0) {
            pre_ += text;
            return;
        }
        const char* p = text;
        while (*p) {
            if (isHtmlSpace(*p)) {
                if (f.lineHasText) f.pendingSpace = true;
                ++p;
                continue;
            }
            const char* q = p;
            while (*q && !isHtmlSpace(*q)) ++q;
            if (f.pendingSpace) texts_ += ' ';
            texts_.append(p, static_cast<std::size_t>(q - p));
            f.lineHasText = true;
            f.pendingSpace = false;
            p = q;
        }
    }

    // A block edge or a line break: in preformatted text a new line, elsewhere
    // the end of the current line.
    void boundary() {
        if (inTable()) return;
        Flow& f = flows_.back();
        if (f.preDepth > 0)
            pre_ += '\n';
        else
            flushLine(f);
    }

    // Places a text, in as many rows below each other as its pieces need (a
    // cell holds 32,767 characters); returns the rows taken.
    u32 addItem(u32 row, u32 col, std::size_t offset, std::size_t length) {
        u32 rows = 0;
        do {
            const std::size_t piece = cellPiece(std::string_view(texts_).substr(offset, length));
            items_.push_back({saturatingAdd(row, rows), col, static_cast<u32>(offset), static_cast<u32>(piece),
                              kNoGroup, language_});
            usedLanguages_[language_] = true;
            offset += piece;
            length -= piece;
            ++rows;
        } while (length > 0);
        return rows;
    }

    void flushLine(Flow& f) {
        if (f.lineHasText && !isBlank(std::string_view(texts_).substr(f.lineStart))) {
            f.row = saturatingAdd(f.row, addItem(f.row, 0, f.lineStart, texts_.size() - f.lineStart));
        } else {
            texts_.resize(f.lineStart);
        }
        f.lineStart = texts_.size();
        f.lineHasText = false;
        f.pendingSpace = false;
    }

    void finishFlow(Flow& f) {
        flushLine(f);
        if (!pre_.empty()) emitPre(f);
    }

    // Lays out the collected preformatted text of the current flow.
    // (A <pre> block is a table of its own: its columns are read apart.)
    void emitPre(Flow& f) {
        const std::size_t firstItem = items_.size();
        std::string_view all = pre_;
        while (!all.empty()) {
            std::size_t eol = all.find_first_of("\r\n");
            std::string_view line = all.substr(0, eol);
            all = eol == std::string_view::npos ? std::string_view() : all.substr(eol + 1);
            const u32 rows = options_.preFormattedTextToColumns ? emitColumns(f.row, line) : emitWhole(f.row, line);
            f.row = saturatingAdd(f.row, rows);
        }
        pre_.clear();
        f.lineStart = texts_.size();
        if (items_.size() > firstItem) assignGroups(firstItem);
    }

    // Places a field; returns the rows it takes (none when it is blank).
    u32 emitField(u32 row, u32 col, std::string_view field) {
        field = trimHtmlSpace(field);
        if (isBlank(field)) return 0;
        const std::size_t offset = texts_.size();
        texts_ += field;
        return addItem(row, col, offset, field.size());
    }

    u32 emitWhole(u32 row, std::string_view line) { return emitField(row, 0, line); }

    // Splits a line at tabs and at runs of two or more spaces.
    u32 emitColumns(u32 row, std::string_view line) {
        std::size_t i = 0;
        const std::size_t n = line.size();
        while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;  // indentation
        u32 placed = 0;
        u32 col = 0;
        auto delimiterAt = [&](std::size_t k) {
            return line[k] == '\t' || (line[k] == ' ' && k + 1 < n && line[k + 1] == ' ');
        };
        while (i < n) {
            std::size_t start = i;
            while (i < n && !delimiterAt(i)) ++i;
            placed = std::max(placed, emitField(row, col, line.substr(start, i - start)));
            u32 delimiters = 0;
            while (i < n && (line[i] == '\t' || line[i] == ' ')) {
                if (line[i] == '\t') {
                    ++delimiters;
                    ++i;
                } else {
                    std::size_t run = i;
                    while (i < n && line[i] == ' ') ++i;
                    if (i - run >= 2) ++delimiters;
                }
            }
            if (i < n) col = saturatingAdd(col, options_.consecutiveDelimitersAsOne ? 1 : delimiters);
        }
        return placed;
    }

    void startTable() {
        Flow& f = flows_.back();
        if (f.preDepth > 0) emitPre(f);
        flushLine(f);
        Table t;
        t.originRow = f.row;
        t.firstItem = static_cast<u32>(items_.size());
        t.firstCell = cells_.size();
        tables_.push_back(std::move(t));
        regionIsTable_.push_back(true);
    }

    void startCell(u32 rowspan, u32 colspan) {
        cells_.push_back(placement_.placeCell(tables_.back(), rowspan, colspan, static_cast<u32>(items_.size())));
        Flow f;
        f.lineStart = texts_.size();
        flows_.push_back(f);
        regionIsTable_.push_back(false);
    }

    void endCell() {
        Flow& f = flows_.back();
        finishFlow(f);
        Cell& c = cells_.back();
        c.endItem = static_cast<u32>(items_.size());
        c.height = std::max<u32>(f.row, 1);
        for (u32 k = c.firstItem; k < c.endItem; ++k) c.width = std::max(c.width, saturatingAdd(items_[k].col, 1));
        flows_.pop_back();
        regionIsTable_.pop_back();
    }

    void endTable() {
        Table& t = tables_.back();
        regionIsTable_.pop_back();
        Flow& outer = flows_.back();
        if (items_.size() > t.firstItem) {
            const auto first = cells_.begin() + static_cast<std::ptrdiff_t>(t.firstCell);
            outer.row = placement_.place(t, std::span<const Cell>(first, cells_.end()), items_);
            assignGroups(t.firstItem);
        }
        outer.lineStart = texts_.size();
        cells_.resize(t.firstCell);
        tables_.pop_back();
    }

    static constexpr u32 kNoGroup = 0xffffffffu;

    const WebQueryOptions& options_;
    std::vector<LayoutItem> items_;
    std::vector<std::string> languages_{""};  // index 0: no lang attribute
    std::vector<bool> usedLanguages_{false};
    std::uint16_t language_ = 0;
    std::vector<u32> groupTables_;
    std::vector<u32> columnGroups_;
    u32 tableCount_ = 0;
    std::string texts_;
    std::string pre_;
    std::vector<Flow> flows_;
    std::vector<Table> tables_;
    std::vector<Cell> cells_;
    std::vector<bool> regionIsTable_;
    TablePlacement placement_;
};

// The content of a <meta http-equiv="Content-Language"> in the page's head.
std::string metaContentLanguage(const GumboNode* document) {
    for (const GumboNode* html : childElements(document, GUMBO_TAG_HTML)) {
        for (const GumboNode* head : childElements(html, GUMBO_TAG_HEAD)) {
            for (const GumboNode* meta : childElements(head, GUMBO_TAG_META)) {
                const GumboAttribute* equiv = gumbo_get_attribute(&meta->v.element.attributes, "http-equiv");
                const GumboAttribute* content = gumbo_get_attribute(&meta->v.element.attributes, "content");
                if (equiv && content && sameIgnoringAsciiCase(trimHtmlSpace(equiv->value), "content-language"))
                    return std::string(trimHtmlSpace(content->value));
            }
        }
    }
    return {};
}

}  // namespace

PageGrid layoutHtml(std::string_view utf8, const WebQueryOptions& options, std::string_view contentLanguage,
                    ScriptSignals* facts) {
    if (!withinParseBudget(utf8)) throw PageRefused("the page's elements are nested too deeply to be read");
    Layout layout(options);
    std::string meta;
    {
        ParseArena arena;  // the parsed tree lives in it and goes with it
        const GumboOutput* out = arena.parse(parserOptions(), utf8);
        layout.run(out->document);
        meta = metaContentLanguage(out->document);
        if (facts) *facts = readScriptSignals(out->document, layout.textBytes());
    }
    LaidOutPage page = layout.take();
    page.languages.meta = std::move(meta);
    page.languages.header = std::string(contentLanguage);
    return toGrid(page, options);
}

PageGrid layoutText(std::string_view utf8, const WebQueryOptions& options, std::string_view contentLanguage) {
    LaidOutPage page;
    page.texts = utf8;
    page.groupTables = {0};
    page.usedLanguages = {true};
    page.languages.header = std::string(contentLanguage);
    u32 row = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t eol = utf8.find_first_of("\r\n", i);
        if (eol == std::string_view::npos) eol = utf8.size();
        std::string_view line = trimHtmlSpace(utf8.substr(i, eol - i));
        auto offset = static_cast<std::size_t>(line.data() - utf8.data());
        while (!line.empty()) {  // a line longer than a cell holds goes on below
            const std::size_t piece = cellPiece(line);
            page.items.push_back({row, 0, static_cast<u32>(offset), static_cast<u32>(piece)});
            line.remove_prefix(piece);
            offset += piece;
            if (!line.empty()) row = saturatingAdd(row, 1);
        }
        if (row >= kSheetRows) break;  // past the sheet: the page is refused, no need to read on
        ++row;
        i = eol + 1;
        if (eol + 1 < utf8.size() && utf8[eol] == '\r' && utf8[eol + 1] == '\n') ++i;
    }
    return toGrid(page, options);
}

}  // namespace qf::engine
