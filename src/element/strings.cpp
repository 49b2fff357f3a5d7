// CElement string utilities: splitting at a separator, joining with ";", XML escaping.
#include <toolkit/element.h>

namespace toolkit {

void CElement::split_string(std::vector<std::string>& out, const std::string& text,
                            char separator) {
    out.clear();
    if (text.empty()) return;
    std::string::size_type pos = 0;
    while (pos < text.size()) {
        const std::string::size_type found = text.find(separator, pos);
        if (found == std::string::npos) break;
        out.emplace_back(text, pos, found - pos);
        pos = found + 1;
    }
    // The last piece is empty when the text ends with the separator.
    out.emplace_back(text, pos);
}

void CElement::merge_strings(std::string& out, const std::vector<std::string>& parts) {
    out.clear();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += ';';
        out += parts[i];
    }
}

namespace {

const char* entity_for(char special) {
    switch (special) {
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '&':
            return "&amp;";
        case '\'':
            return "&apos;";
        default:
            return "&quot;";
    }
}

}  // namespace

void CElement::xml_escape(std::string& text) {
    static const std::string specials("<>&'\"");
    std::string::size_type pos = text.find_first_of(specials);
    if (pos == std::string::npos) return;
    // Build the escaped text in one pass; the scan never looks at an inserted entity again.
    std::string escaped;
    escaped.reserve(text.size() + text.size() / 4 + 8);
    std::string::size_type done = 0;
    while (pos != std::string::npos) {
        escaped.append(text, done, pos - done);
        escaped.append(entity_for(text[pos]));
        done = pos + 1;
        pos = text.find_first_of(specials, done);
    }
    escaped.append(text, done, std::string::npos);
    text.swap(escaped);
}

}  // namespace toolkit
