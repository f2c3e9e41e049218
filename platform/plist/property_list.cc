#include "platform/plist/property_list.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/plist/binary_reader.h"
#include "platform/plist/xml_reader.h"
#include "platform/posix_io.h"

namespace fw::plist {
namespace {

std::optional<Value> refuse(std::string* reason, std::string text) {
  if (reason) *reason = std::move(text);
  return std::nullopt;
}

}  // namespace

std::optional<Value> readPropertyList(std::span<const std::uint8_t> bytes, std::string* reason) {
  if (looksLikeBinaryPropertyList(bytes)) return readBinaryPropertyList(bytes, reason);
  return readXmlPropertyList(bytes, reason);
}

std::optional<Value> readPropertyListFile(const std::string& utf8Path, std::string* reason) {
  std::string why;
  std::optional<RegularFile> file = openRegularFile(utf8Path, &why);
  if (!file) return refuse(reason, utf8Path + ": " + why);
  const int fd = file->fd.get();
  std::uint8_t head[bplist::kHeaderSize];
  const std::optional<std::size_t> got = readUpTo(fd, head, sizeof head);
  if (!got || ::lseek(fd, 0, SEEK_SET) != 0) return refuse(reason, utf8Path + ": " + std::strerror(errno));
  if (looksLikeBinaryPropertyList({head, *got})) {
    // Read whole: the offset table is at the end.
    const std::optional<std::vector<std::uint8_t>> bytes = readAll(fd, static_cast<std::size_t>(file->size));
    if (!bytes) return refuse(reason, utf8Path + ": " + std::strerror(errno));
    return readBinaryPropertyList(*bytes, reason);
  }
  auto value = readXmlPropertyListFromFd(fd, reason);
  if (!value && reason) *reason = utf8Path + ": " + *reason;
  return value;
}

}  // namespace fw::plist
