// Base64 (RFC 4648, standard alphabet, with padding) for byte-array values.
#ifndef NYR_TOOL_BASE64_H
#define NYR_TOOL_BASE64_H

#include <string>
#include <vector>

namespace nyr_tool {

// Appends the Base64 text of `size` bytes to `out`.
void base64_encode(const char* data, std::size_t size, std::string& out);
// Decodes a padded Base64 text; false (and `out` unspecified) for any character outside the
// alphabet, a length that is not a multiple of four, misplaced padding or non-zero spare bits, so
// that each byte array has exactly one text.
bool base64_decode(const std::string& text, std::vector<char>& out);

}  // namespace nyr_tool

#endif  // NYR_TOOL_BASE64_H
