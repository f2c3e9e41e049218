#pragma once

// A JSON view of a property list, for inspection and for comparing our
// readers with other implementations. Kinds JSON has map to themselves;
// the others become one-key objects:
//
//   integer  -> 42 (all 64-bit values exact)   real -> 1.5, 2.0
//   real nan/inf -> {"$real": "nan"} / "inf" / "-inf"
//   date -> {"$date": seconds since 2001-01-01 UTC}
//   data -> {"$data": "<base64>"}              UID -> {"$uid": 7}
//
// A finite real always has a fraction or exponent, so it never reads back
// as an integer. Text is UTF-8, and nothing is lost: control characters
// are written as \u001b and the like, an unpaired surrogate as \ud800.

#include <string>

#include "platform/plist/text_sink.h"
#include "platform/plist/value.h"

namespace fw::plist {

[[nodiscard]] std::string writeJson(const Value& root);

// The same text handed to `sink` as it is made, so that only a piece of it
// is ever held. False when the sink stopped the writer.
[[nodiscard]] bool writeJson(const Value& root, const TextSink& sink);

}  // namespace fw::plist
