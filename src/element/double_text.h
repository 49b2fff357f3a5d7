// The text of a double by the double rule; shared by the element's text forms.
#ifndef TOOLKIT_SRC_ELEMENT_DOUBLE_TEXT_H
#define TOOLKIT_SRC_ELEMENT_DOUBLE_TEXT_H

#include <cstddef>

namespace toolkit {
namespace element_text {

// Room for the longest double text: a sign and the 309 digits of DBL_MAX. A decimal point, which
// some locales write with several bytes, only appears in texts of at most a dozen characters.
constexpr std::size_t kDoubleTextSize = 320;

// Writes the text of `v` into `buf`, which has room for kDoubleTextSize characters: at least six
// significant digits, and as many as the integer part has when that is more, laid out as
// printf's "%.*G" does with the numeric locale's decimal point; "NaN" for every NaN, "INF" and
// "-INF". Writes no NUL; returns the number of characters.
std::size_t format_double(char* buf, double v);

}  // namespace element_text
}  // namespace toolkit

#endif  // TOOLKIT_SRC_ELEMENT_DOUBLE_TEXT_H
