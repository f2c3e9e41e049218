#pragma once

#include "platform/plist/value.h"

namespace fw {

// A property-list value's truth reading, shared by the preference flags and
// the library's playlist flags: a true boolean, a nonzero number, or a
// string whose boolValue is nonzero ("YES", "1", "256" is false). An absent
// value, and a date, data, array or dictionary, read as false.
[[nodiscard]] bool valueIsTrue(const plist::Value* value);

}  // namespace fw
