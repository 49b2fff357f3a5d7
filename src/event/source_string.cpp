// Source strings: split and built by the store, plus a readable rendering of our own.
#include <toolkit/event.h>

#include <vector>

namespace toolkit {

namespace {

// The first build attempt's buffer; longer source strings take a second, exact-size call.
constexpr uint32_t kFirstBuildSize = 512;

const char* component_or_null(const std::string& component) {
    return component.empty() ? nullptr : component.c_str();
}

}  // namespace

int CEvent::parse_source_string(const std::string& source, std::string& first, std::string& second,
                                std::string& third) {
    // The store may split the text in place, so it gets a private writable copy; it sees the
    // characters up to the first NUL.
    std::vector<char> text(source.begin(), source.end());
    text.push_back('\0');
    char* places[3] = {nullptr, nullptr, nullptr};
    const int result = qel_parse_source_string(text.data(), &places[0], &places[1], &places[2]);
    if (result != 0) return result;
    std::string* outputs[3] = {&first, &second, &third};
    for (int i = 0; i < 3; ++i) {
        if (places[i] != nullptr)
            outputs[i]->assign(places[i]);
        else
            outputs[i]->clear();
    }
    return 0;
}

int CEvent::format_source_string(std::string& out, const std::string& first,
                                 const std::string& second, const std::string& third) {
    const char* parts[3] = {component_or_null(first), component_or_null(second),
                            component_or_null(third)};
    out.resize(kFirstBuildSize);
    int result = qel_format_source_string(&out[0], kFirstBuildSize, parts[0], parts[1], parts[2]);
    if (result < 0) {
        out.clear();
        return result;
    }
    if (result >= static_cast<int>(kFirstBuildSize)) {
        const uint32_t size = static_cast<uint32_t>(result) + 1;
        out.resize(size);
        result = qel_format_source_string(&out[0], size, parts[0], parts[1], parts[2]);
        if (result < 0) {
            out.clear();
            return result;
        }
    }
    out.resize(static_cast<std::size_t>(result));
    return result;
}

void CEvent::human_source_string(const std::string& source, std::string& out) {
    std::string first, second, third;
    parse_source_string(source, first, second, third);  // on failure all three stay empty
    out.clear();
    if (!second.empty()) out = second;
    if (!third.empty()) {
        if (!out.empty()) out += '@';
        out += third;
    }
    if (!first.empty()) {
        if (out.empty()) {
            out = first;
        } else {
            out += " (";
            out += first;
            out += ')';
        }
    }
}

}  // namespace toolkit
