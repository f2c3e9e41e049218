#include "platform/strings/string_case.h"

#include <unicode/ustring.h>

#include <cstdint>

namespace fw {

std::u16string lowercaseString(std::u16string_view text) {
  if (text.empty()) return {};
  if (text.size() > static_cast<std::size_t>(INT32_MAX / 3)) {
    // ICU counts in int32_t; no library file holds a name this long, and a
    // partial mapping would be worse than none.
    return std::u16string(text);
  }
  const auto length = static_cast<int32_t>(text.size());
  // Most text keeps its length; retry once with the size ICU asks for.
  std::u16string out(text.size(), u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t needed =
      u_strToLower(out.data(), static_cast<int32_t>(out.size()), text.data(), length, "", &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.assign(static_cast<std::size_t>(needed), u'\0');
    status = U_ZERO_ERROR;
    needed = u_strToLower(out.data(), static_cast<int32_t>(out.size()), text.data(), length, "",
                          &status);
  }
  if (U_FAILURE(status)) {
    return std::u16string(text);
  }
  out.resize(static_cast<std::size_t>(needed));
  return out;
}

}  // namespace fw
