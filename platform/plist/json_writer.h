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
// as an integer. Text is UTF-8; an unpaired surrogate is written as \uXXXX.

#include <string>

#include "platform/plist/value.h"

namespace fw::plist {

[[nodiscard]] std::string writeJson(const Value& root);

}  // namespace fw::plist
