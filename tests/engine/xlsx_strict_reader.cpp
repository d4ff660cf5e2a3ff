#include "xlsx_strict_reader.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <minizip/unzip.h>

#include <cstring>
#include <memory>

#include "engine/workbook/xml_text.h"

namespace qf::engine::testing {

namespace {

using Parts = std::map<std::string, std::string>;

}  // namespace

Parts unpackParts(const std::string& path) {
    std::unique_ptr<void, int (*)(unzFile)> zip(unzOpen64(path.c_str()), unzClose);
    if (!zip) throw RefusedWorkbook(path + ": not a zip package");
    Parts parts;
    for (int rc = unzGoToFirstFile(zip.get()); rc == UNZ_OK; rc = unzGoToNextFile(zip.get())) {
        unz_file_info64 info{};
        char name[1024];
        if (unzGetCurrentFileInfo64(zip.get(), &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK ||
            unzOpenCurrentFile(zip.get()) != UNZ_OK)
            throw RefusedWorkbook(path + ": a part cannot be opened");
        std::string data(static_cast<std::size_t>(info.uncompressed_size), '\0');
        const int read =
            data.empty() ? 0 : unzReadCurrentFile(zip.get(), data.data(), static_cast<unsigned>(data.size()));
        const int closed = unzCloseCurrentFile(zip.get());
        if (read != static_cast<int>(data.size()) || closed != UNZ_OK)
            throw RefusedWorkbook(path + ": the part " + name + " does not unpack");
        parts[name] = std::move(data);
    }
    if (parts.empty()) throw RefusedWorkbook(path + ": an empty package");
    return parts;
}

namespace {

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocFree>;

void collectError(void* context, const char* format, ...) {
    // The message itself comes from xmlGetLastError; this only keeps libxml2 quiet.
    (void)context;
    (void)format;
}

Doc parseStrictly(const std::string& name, const std::string& xml) {
    xmlSetGenericErrorFunc(nullptr, collectError);
    xmlResetLastError();
    Doc doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), name.c_str(), nullptr, XML_PARSE_NONET));
    if (!doc) {
        const xmlError* error = xmlGetLastError();
        std::string message = error && error->message ? error->message : "not well-formed";
        while (!message.empty() && message.back() == '\n') message.pop_back();
        throw RefusedWorkbook(name + ": " + message + (error ? " (line " + std::to_string(error->line) + ")" : ""));
    }
    return doc;
}

bool named(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

std::string attribute(const xmlNode* node, const char* name) {
    for (const xmlAttr* a = node->properties; a; a = a->next) {
        if (std::strcmp(reinterpret_cast<const char*>(a->name), name) != 0) continue;
        xmlChar* value = xmlNodeListGetString(node->doc, a->children, 1);
        std::string out = value ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
        return out;
    }
    return {};
}

// Calls f for every element of that name below node, in document order.
template <class F>
void forEach(const xmlNode* node, const char* name, F&& f) {
    for (const xmlNode* n = node->children; n; n = n->next) {
        if (named(n, name)) f(n);
        forEach(n, name, f);
    }
}

// The texts of all <t> elements below node, as one string.
std::string textOf(const xmlNode* node) {
    std::string out;
    forEach(node, "t", [&](const xmlNode* t) {
        xmlChar* content = xmlNodeGetContent(t);
        if (content) out += reinterpret_cast<const char*>(content);
        xmlFree(content);
    });
    return out;
}

// The cell's own <v> (a number, or the index of a shared string).
std::string valueOf(const xmlNode* cell) {
    std::string out;
    for (const xmlNode* n = cell->children; n; n = n->next) {
        if (!named(n, "v")) continue;
        xmlChar* content = xmlNodeGetContent(n);
        out = content ? reinterpret_cast<const char*>(content) : "";
        xmlFree(content);
    }
    return out;
}

StrictSheet readSheet(const xmlDoc* doc, std::string name, const std::vector<std::string>& shared) {
    StrictSheet sheet{std::move(name), {}};
    forEach(xmlDocGetRootElement(doc), "c", [&](const xmlNode* c) {
        const std::string type = attribute(c, "t");
        std::string value;
        if (type == "inlineStr")
            value = readEscapes(textOf(c));
        else if (type == "s")
            value = shared.at(std::stoul(valueOf(c)));
        else
            value = valueOf(c);
        sheet.cells[attribute(c, "r")] = value;
    });
    return sheet;
}

}  // namespace

std::string readEscapes(std::string_view s) {
    auto hex = [&](std::size_t at, char32_t& out) {
        if (at + 7 > s.size() || s[at] != '_' || s[at + 1] != 'x' || s[at + 6] != '_') return false;
        out = 0;
        for (std::size_t k = at + 2; k < at + 6; ++k) {
            const char c = s[k];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) return false;
            out = out * 16 + static_cast<char32_t>(digit);
        }
        return true;
    };
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        char32_t c = 0, low = 0;
        if (!hex(i, c)) {
            out += s[i++];
            continue;
        }
        i += 7;
        if (c >= 0xD800 && c <= 0xDBFF && hex(i, low) && low >= 0xDC00 && low <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 7;
        }
        appendUtf8(out, c);
    }
    return out;
}

StrictWorkbook readStrictly(const std::string& path) {
    const Parts parts = unpackParts(path);
    std::map<std::string, Doc> docs;
    StrictWorkbook book;
    for (const auto& [name, data] : parts) {
        book.parts.push_back(name);
        const bool xml = name.size() > 4 && (name.ends_with(".xml") || name.ends_with(".rels"));
        if (xml) docs[name] = parseStrictly(name, data);
    }
    auto doc = [&](const std::string& name) -> const xmlDoc* {
        const auto it = docs.find(name);
        if (it == docs.end()) throw RefusedWorkbook(path + ": no part " + name);
        return it->second.get();
    };
    std::map<std::string, std::string> targets;  // relationship id -> part
    forEach(xmlDocGetRootElement(doc("xl/_rels/workbook.xml.rels")), "Relationship",
            [&](const xmlNode* r) { targets[attribute(r, "Id")] = "xl/" + attribute(r, "Target"); });
    std::vector<std::string> shared;
    if (docs.count("xl/sharedStrings.xml"))
        forEach(xmlDocGetRootElement(doc("xl/sharedStrings.xml")), "si",
                [&](const xmlNode* si) { shared.push_back(readEscapes(textOf(si))); });
    forEach(xmlDocGetRootElement(doc("xl/workbook.xml")), "sheet", [&](const xmlNode* s) {
        book.sheets.push_back(readSheet(doc(targets.at(attribute(s, "id"))), attribute(s, "name"), shared));
    });
    return book;
}

}  // namespace qf::engine::testing
