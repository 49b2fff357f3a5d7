// CElement::to_translated_string: the canonical text of a value looked up in a message catalogue.
#include <toolkit/element.h>

#ifdef TOOLKIT_HAVE_LOCALE
#include <boost/locale/message.hpp>
#endif

namespace toolkit {

std::string CElement::to_translated_string(const std::locale& locale, const char* context,
                                           const char* domain) const {
    // Strings are looked up by their text up to the first NUL; every other value by its
    // canonical text, so a boolean is looked up as "true" or "false" and a number by its digits.
    std::string message;
    if (type == DATATYPE_STRING) {
        message.assign(_string_buffer.c_str());
    } else {
        to_string(message);
    }
    if (message.empty()) return message;
#ifdef TOOLKIT_HAVE_LOCALE
    // Boost falls back to the message itself when the catalogue has no entry or the locale has
    // no catalogue facet at all.
    return boost::locale::dpgettext(domain, context, message.c_str(), locale);
#else
    // Built without a catalogue library: every text stays untranslated.
    (void)locale;
    (void)context;
    (void)domain;
    return message;
#endif
}

}  // namespace toolkit
