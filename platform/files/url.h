#pragma once

// URL strings, parsed strictly as RFC 3986 URI references. A string that is
// not one is refused rather than repaired: a bare space, any character above
// U+007F and a '%' not followed by two hex digits all make parsing fail.
//
//   Url::parse(u"file://localhost/a%20b.mp3")->path() == u"/a b.mp3"
//   Url::parse(u"file://localhost/a b.mp3")           == nullopt

#include <optional>
#include <string>
#include <string_view>

namespace fw {

class Url {
 public:
  // nullopt when `text` is not a URI reference.
  [[nodiscard]] static std::optional<Url> parse(std::u16string_view text);

  // The path part with percent escapes decoded, without scheme, host, query
  // or fragment, and without trailing slashes ("/" stays "/"):
  //   "file:///a" -> "/a", "http://host/p/x.mp3" -> "/p/x.mp3", "a/b" -> "a/b".
  // nullopt when the URL has no path ("http://host") or when the decoded
  // bytes are not valid UTF-8 ("file:///%FF").
  [[nodiscard]] std::optional<std::u16string> path() const;

 private:
  Url() = default;
  std::string decodedPath_;  // raw bytes after decoding, possibly not UTF-8
};

}  // namespace fw
