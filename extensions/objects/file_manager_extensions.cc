#include "extensions/objects/file_manager_extensions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "extensions/objects/array_misc.h"
#include "platform/path.h"
#include "platform/unicode.h"

namespace fw {

namespace {

// Existence with the final symbolic link followed; an unconvertible path
// counts as existing so that nothing is attempted for it.
bool fileExistsAtPath(const std::u16string& path) {
  const std::optional<std::string> native = utf16ToUtf8(path);
  if (!native) return true;
  struct stat st;
  return ::stat(native->c_str(), &st) == 0;
}

void createDirectory(const std::u16string& path) {
  const std::optional<std::string> native = utf16ToUtf8(path);
  if (native) (void)::mkdir(native->c_str(), 0777);
}

void createEmptyFile(const std::u16string& path) {
  const std::optional<std::string> native = utf16ToUtf8(path);
  if (!native) return;
  const int fd = ::open(native->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) ::close(fd);
}

}  // namespace

void createFileAtPathRecursive(std::u16string_view path) {
  createFileAtPathRecursive(path, nullptr, nullptr);
}

void createFileAtPathRecursive(std::u16string_view path,
                               const std::span<const std::uint8_t>* /*contents*/,
                               const plist::Dictionary* /*attributes*/) {
  if (!utf16ToUtf8(path)) return;
  const std::vector<std::u16string> components = pathComponents(path);
  const auto count = static_cast<std::int32_t>(components.size());
  std::u16string built;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::optional<std::u16string> component = objectAtIndexA(&components, i);
    if (!component) break;
    built = stringByAppendingPathComponent(built, *component);
    if (fileExistsAtPath(built)) continue;
    if (i == count - 1) {
      createEmptyFile(built);
    } else {
      createDirectory(built);
    }
  }
}

void createDirectoryAtPathRecursive(std::u16string_view path) {
  if (!utf16ToUtf8(path)) return;
  std::u16string built;
  for (const std::u16string& component : pathComponents(path)) {
    built = stringByAppendingPathComponent(built, component);
    if (!fileExistsAtPath(built)) createDirectory(built);
  }
}

}  // namespace fw
