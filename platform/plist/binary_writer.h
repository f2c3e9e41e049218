#pragma once

// Writer for binary property lists ("bplist00").
//
// The output is as small as the format allows without reordering anything,
// and the same value always gives the same bytes:
//   - equal strings, integers, reals, dates, UIDs and data are stored once;
//   - offset and reference widths are the smallest that hold the largest
//     offset and reference;
//   - strings are ASCII when every unit is below 0x80, UTF-16BE otherwise;
//   - non-negative integers take 1, 2, 4 or 8 bytes, negative ones 8 bytes,
//     values above INT64_MAX the 16-byte form;
//   - reals are 8-byte doubles; dictionaries keep their order.
//
//   writeBinaryPropertyList(Value::integer(1))
//     -> "bplist00" 10 01 08 00..00 (trailer: widths 1 1, 1 object, top 0, table at 10)
//
// Objects are numbered depth first, the root first and a dictionary's keys
// before its values, so a reader meets them in file order.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/plist/value.h"

namespace fw::plist {

// The file's bytes, or nullopt with the reason in `*reason` for a value the
// format cannot hold: nesting deeper than 512 containers (which no reader of
// ours would accept back).
[[nodiscard]] std::optional<std::vector<std::uint8_t>> writeBinaryPropertyList(
    const Value& root, std::string* reason = nullptr);

}  // namespace fw::plist
