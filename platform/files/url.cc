#include "platform/files/url.h"

#include <uriparser/Uri.h>

#include "platform/strings/hex_digit.h"
#include "platform/strings/unicode.h"

namespace fw {
namespace {

// The parser has already checked that every '%' starts a two-digit escape.
void appendDecoded(std::string& out, const char* first, const char* afterLast) {
  for (const char* p = first; p < afterLast; ++p) {
    if (*p == '%' && afterLast - p >= 3) {
      const int hi = hexDigitValue(p[1]);
      const int lo = hexDigitValue(p[2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        p += 2;
        continue;
      }
    }
    out.push_back(*p);
  }
}

// Frees the parser's segment lists however parse() leaves.
struct UriHolder {
  UriUriA uri{};
  ~UriHolder() { uriFreeUriMembersA(&uri); }
};

}  // namespace

std::optional<Url> Url::parse(std::u16string_view text) {
  // A URI is ASCII; anything wider is refused here rather than narrowed.
  std::string ascii;
  ascii.reserve(text.size());
  for (char16_t c : text) {
    if (c > 0x7F || c == 0) return std::nullopt;
    ascii.push_back(static_cast<char>(c));
  }

  UriHolder holder;
  const char* errorPos = nullptr;
  if (uriParseSingleUriExA(&holder.uri, ascii.data(), ascii.data() + ascii.size(), &errorPos) !=
      URI_SUCCESS) {
    return std::nullopt;
  }

  Url url;
  const UriUriA& uri = holder.uri;
  // With an authority the path is always absolute ("file:///a"); without one
  // the parser says so itself ("file:/a" against "a").
  const bool hasAuthority = uri.hostText.first != nullptr;
  bool first = true;
  for (const UriPathSegmentA* seg = uri.pathHead; seg != nullptr; seg = seg->next) {
    if (!first || hasAuthority || uri.absolutePath) url.decodedPath_.push_back('/');
    first = false;
    appendDecoded(url.decodedPath_, seg->text.first, seg->text.afterLast);
  }
  if (uri.pathHead == nullptr && uri.absolutePath) url.decodedPath_.push_back('/');
  while (url.decodedPath_.size() > 1 && url.decodedPath_.back() == '/') {
    url.decodedPath_.pop_back();
  }
  return url;
}

std::optional<std::u16string> Url::path() const {
  if (decodedPath_.empty()) return std::nullopt;
  return utf8ToUtf16(decodedPath_);
}

}  // namespace fw
