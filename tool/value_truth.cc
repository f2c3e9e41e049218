#include "tool/value_truth.h"

#include "extensions/text/string_data.h"

namespace fw {

bool valueIsTrue(const plist::Value* value) {
  if (value == nullptr) return false;
  switch (value->kind()) {
    case plist::Kind::Boolean: return *value->asBoolean();
    case plist::Kind::Integer: return value->isBigUnsigned() || value->asInteger().value_or(0) != 0;
    case plist::Kind::Real: return *value->asReal() != 0.0;
    case plist::Kind::String: return boolValue(*value->asString()) != 0;
    default: return false;
  }
}

}  // namespace fw
