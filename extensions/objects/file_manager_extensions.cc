#include "extensions/objects/file_manager_extensions.h"

#include <string>
#include <vector>

#include "extensions/objects/array_misc.h"
#include "platform/files/path.h"
#include "platform/strings/unicode.h"

namespace fw {

namespace {

// The path's file-system bytes, when it is worth walking: present,
// convertible as a whole (so no prefix is ever made up with U+FFFD in place
// of a surrogate), and free of U+0000, which would make every prefix from
// the NUL on name the same entry as the one before it.
std::optional<std::string> walkable(const std::optional<std::u16string_view>& path) {
  if (!path) return std::nullopt;
  return fileSystemRepresentation(*path, UnpairedSurrogates::kRefuse);
}

// When the path as given exists, so does every prefix that the walk would
// build (the system resolves each of them on the way there; the built ones
// differ only by repeated and trailing separators), and the walk would find
// nothing to create. One check then answers for all of them.
bool everyPrefixExists(const FileManager& manager, const std::string& bytes) {
  return !bytes.empty() && manager.fileExistsAtPathUtf8(bytes);
}

}  // namespace

void createFileAtPathRecursive(const FileManager& manager,
                               std::optional<std::u16string_view> path) {
  createFileAtPathRecursive(manager, path, std::nullopt, nullptr);
}

void createFileAtPathRecursive(const FileManager& manager, std::optional<std::u16string_view> path,
                               std::optional<std::span<const std::uint8_t>> /*contents*/,
                               const plist::Dictionary* /*attributes*/) {
  const std::optional<std::string> bytes = walkable(path);
  if (!bytes || everyPrefixExists(manager, *bytes)) return;
  const std::vector<std::u16string> components = pathComponents(*path);
  const auto count = static_cast<std::int32_t>(components.size());
  std::u16string built;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::optional<std::u16string> component = objectAtIndexA(&components, i);
    if (!component) break;
    built = stringByAppendingPathComponent(built, *component);
    if (manager.fileExistsAtPath(built)) continue;
    // Outcomes are not examined: a failed creation leaves the ones below it
    // to fail in turn, and the caller checks the path afterwards.
    if (i == count - 1) {
      (void)manager.createFileAtPath(built);
    } else {
      (void)manager.createDirectoryAtPath(built);
    }
  }
}

void createDirectoryAtPathRecursive(const FileManager& manager,
                                    std::optional<std::u16string_view> path) {
  const std::optional<std::string> bytes = walkable(path);
  if (!bytes || everyPrefixExists(manager, *bytes)) return;
  std::u16string built;
  for (const std::u16string& component : pathComponents(*path)) {
    built = stringByAppendingPathComponent(built, component);
    if (!manager.fileExistsAtPath(built)) (void)manager.createDirectoryAtPath(built);
  }
}

}  // namespace fw
