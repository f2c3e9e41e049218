#include "platform/plist/property_list.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <span>
#include <vector>

#include "platform/files/posix_io.h"
#include "platform/plist/binary/format.h"
#include "platform/plist/binary/reader.h"
#include "platform/plist/plist_events.h"
#include "platform/plist/xml/expat_reader.h"

namespace fw::plist {
namespace {

// Opens `utf8Path` for reading and hands the descriptor to `xml` or the
// whole file to `binary`, whichever its first bytes call for. A FIFO or a
// device standing at the path is refused instead of holding the caller.
template <class Result, class Xml, class Binary>
Result readFile(const std::string& utf8Path, std::string* reason, Result refused, Xml xml,
                Binary binary) {
  auto refuse = [&](std::string text) {
    if (reason) *reason = std::move(text);
    return refused;
  };
  std::string why;
  std::optional<RegularFile> file = openRegularFile(utf8Path, &why);
  if (!file) return refuse(utf8Path + ": " + why);
  const int fd = file->fd.get();
  std::uint8_t head[bplist::kHeaderSize];
  const std::optional<std::size_t> got = readUpTo(fd, head, sizeof head);
  if (!got || ::lseek(fd, 0, SEEK_SET) != 0) return refuse(utf8Path + ": " + std::strerror(errno));
  if (looksLikeBinaryPropertyList({head, *got})) {
    // Read whole: the offset table is at the end.
    const std::optional<std::vector<std::uint8_t>> bytes =
        readAll(fd, static_cast<std::size_t>(file->size));
    if (!bytes) return refuse(utf8Path + ": " + std::strerror(errno));
    return binary(std::span<const std::uint8_t>(*bytes));
  }
  Result result = xml(fd);
  if (!result && reason) *reason = utf8Path + ": " + *reason;
  return result;
}

}  // namespace

std::optional<Value> readPropertyList(std::span<const std::uint8_t> bytes, std::string* reason) {
  if (looksLikeBinaryPropertyList(bytes)) return readBinaryPropertyList(bytes, reason);
  return readXmlPropertyList(bytes, reason);
}

std::optional<Value> readPropertyListFile(const std::string& utf8Path, std::string* reason) {
  return readFile<std::optional<Value>>(
      utf8Path, reason, std::nullopt, [&](int fd) { return readXmlPropertyListFromFd(fd, reason); },
      [&](std::span<const std::uint8_t> bytes) { return readBinaryPropertyList(bytes, reason); });
}

bool readPropertyListFileEvents(const std::string& utf8Path, PropertyListEvents& events,
                                std::string* reason) {
  return readFile<bool>(
      utf8Path, reason, false, [&](int fd) { return readXmlEventsFromFd(fd, events, reason); },
      [&](std::span<const std::uint8_t> bytes) {
        const std::optional<Value> tree = readBinaryPropertyList(bytes, reason);
        if (!tree) return false;
        replayEvents(*tree, events);
        return true;
      });
}

}  // namespace fw::plist
