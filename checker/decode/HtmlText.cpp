#include "checker/decode/HtmlText.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>

namespace velkora {

namespace {

constexpr std::array<const char*, 4> kHiddenElements = {"title", "script", "style", "template"};
constexpr std::array<const char*, 37> kBlockElements = {
    "address", "article", "aside", "blockquote", "body",     "br",         "caption", "center",
    "dd",      "div",     "dl",    "dt",         "fieldset", "figcaption", "figure",  "footer",
    "form",    "h1",      "h2",    "h3",         "h4",       "h5",         "h6",      "header",
    "hr",      "html",    "li",    "main",       "nav",      "ol",         "p",       "pre",
    "section", "table",   "tbody", "tr",         "ul"};

bool isOneOf(const xmlNode* node, const auto& names) {
    const char* name = reinterpret_cast<const char*>(node->name);
    return std::any_of(names.begin(), names.end(),
                       [&](const char* n) { return std::strcmp(name, n) == 0; });
}

bool isCell(const xmlNode* node) {
    return std::strcmp(reinterpret_cast<const char*>(node->name), "td") == 0 ||
           std::strcmp(reinterpret_cast<const char*>(node->name), "th") == 0;
}

bool isPre(const xmlNode* node) {
    return std::strcmp(reinterpret_cast<const char*>(node->name), "pre") == 0;
}

class LineCollector {
public:
    void text(const char* utf8, bool preformatted) {
        for (const char* p = utf8; *p != '\0'; ++p) {
            const char c = *p;
            if (preformatted && (c == '\n' || c == '\r')) {
                endLine();
            } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                space();
            } else {
                line_ += c;
            }
        }
    }

    void space() {
        if (!line_.empty() && line_.back() != ' ') {
            line_ += ' ';
        }
    }

    void endLine() {
        while (!line_.empty() && line_.back() == ' ') {
            line_.pop_back();
        }
        if (!line_.empty()) {
            out_ += line_;
            out_ += "\r\n";
            line_.clear();
        }
    }

    std::string finish() {
        endLine();
        return std::move(out_);
    }

private:
    std::string line_;  // never begins with a space
    std::string out_;
};

struct DocumentFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

}  // namespace

std::string htmlToText(std::string_view html) {
    const int size = static_cast<int>(std::min<std::size_t>(html.size(), INT_MAX));
    const std::unique_ptr<xmlDoc, DocumentFree> doc(
        htmlReadMemory(html.data(), size, nullptr, "UTF-8",
                       HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                           HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC));
    LineCollector lines;
    if (!doc) {
        return lines.finish();
    }
    // Walked without recursion: the depth of a document is the sender's choice.
    int preDepth = 0;
    xmlNode* node = doc->children;
    while (node != nullptr) {
        bool descend = false;
        if (node->type == XML_ELEMENT_NODE && !isOneOf(node, kHiddenElements)) {
            if (isOneOf(node, kBlockElements)) {
                lines.endLine();
            } else if (isCell(node)) {
                lines.space();
            }
            preDepth += isPre(node) ? 1 : 0;
            descend = node->children != nullptr;
        } else if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            if (node->content != nullptr) {
                lines.text(reinterpret_cast<const char*>(node->content), preDepth > 0);
            }
        }
        if (descend) {
            node = node->children;
            continue;
        }
        // Leave every element that ends here, closing its line, then go on to the next one.
        for (;;) {
            if (node->type == XML_ELEMENT_NODE && !isOneOf(node, kHiddenElements)) {
                preDepth -= isPre(node) ? 1 : 0;
                if (isOneOf(node, kBlockElements)) {
                    lines.endLine();
                }
            }
            if (node->next != nullptr) {
                node = node->next;
                break;
            }
            node = node->parent;
            if (node == nullptr || node->type == XML_DOCUMENT_NODE ||
                node->type == XML_HTML_DOCUMENT_NODE) {
                node = nullptr;
                break;
            }
        }
    }
    return lines.finish();
}

}  // namespace velkora
