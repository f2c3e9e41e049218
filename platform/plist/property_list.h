#pragma once

// Reads a property list in either format: bytes that start with "bplist00"
// go to the binary reader, anything else to the XML reader.
//
//   readPropertyListFile("/no/such.plist", &why) -> nullopt,
//     why == "/no/such.plist: No such file or directory"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/plist/plist_events.h"
#include "platform/plist/value.h"

namespace fw::plist {

[[nodiscard]] std::optional<Value> readPropertyList(std::span<const std::uint8_t> bytes,
                                                    std::string* reason = nullptr);

// A missing, unreadable or non-regular file (a directory, say) gives
// nullopt and a reason. XML files are streamed, never held whole; binary
// ones are read whole, since their offset table is at the end.
[[nodiscard]] std::optional<Value> readPropertyListFile(const std::string& utf8Path,
                                                        std::string* reason = nullptr);

// The same file as events (plist_events.h): XML is streamed through the
// dedicated reader, so a consumer keeps only what it needs; a binary list
// is read whole and its tree replayed. False, with a reason, when the file
// is refused; the events sent by then are void.
[[nodiscard]] bool readPropertyListFileEvents(const std::string& utf8Path,
                                              PropertyListEvents& events,
                                              std::string* reason = nullptr);

}  // namespace fw::plist
