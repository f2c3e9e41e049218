#include "platform/strings/string_case.h"

#include <unicode/ustring.h>

#include <algorithm>
#include <cstdint>

namespace fw {

std::size_t lowercaseInto(std::u16string_view text, char16_t* out, std::size_t capacity) {
  if (text.empty()) return 0;
  constexpr auto kLargest = static_cast<std::size_t>(INT32_MAX / 3);
  if (text.size() > kLargest) {
    // ICU counts in int32_t; no library file holds a name this long, and a
    // partial mapping would be worse than none.
    if (text.size() <= capacity) std::copy(text.begin(), text.end(), out);
    return text.size();
  }
  UErrorCode status = U_ZERO_ERROR;
  const int32_t needed = u_strToLower(out, static_cast<int32_t>(std::min(capacity, kLargest * 3)),
                                      text.data(), static_cast<int32_t>(text.size()), "", &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) return static_cast<std::size_t>(needed);
  if (U_FAILURE(status)) {
    // Kept as it is, like any text that ICU cannot map.
    if (text.size() <= capacity) std::copy(text.begin(), text.end(), out);
    return text.size();
  }
  return static_cast<std::size_t>(needed);
}

std::u16string lowercaseString(std::u16string_view text) {
  // Most text keeps its length; retry once with the size ICU asks for.
  std::u16string out(text.size(), u'\0');
  std::size_t length = lowercaseInto(text, out.data(), out.size());
  if (length > out.size()) {
    out.assign(length, u'\0');
    length = lowercaseInto(text, out.data(), out.size());
  }
  out.resize(std::min(length, out.size()));
  return out;
}

}  // namespace fw
