#include "extensions/objects/file_manager_extensions.h"

#include <string>
#include <vector>

#include "extensions/objects/array_misc.h"
#include "platform/path.h"
#include "platform/unicode.h"

namespace fw {

namespace {

// A path worth walking: present, and convertible to file-system bytes as a
// whole (so no prefix is ever made up with U+FFFD in place of a surrogate).
bool walkable(const std::optional<std::u16string_view>& path) {
  return path && utf16ToUtf8(*path).has_value();
}

// The components joined, which is the last prefix the walk would build.
std::u16string joined(const std::vector<std::u16string>& components) {
  std::u16string built;
  for (const std::u16string& c : components) built = stringByAppendingPathComponent(built, c);
  return built;
}

// When the whole path exists, so does every prefix of it (the system
// resolves each of them on the way), and the walk would find nothing to
// create. One check then answers for all of them.
bool everyPrefixExists(const FileManager& manager, const std::vector<std::u16string>& components) {
  return !components.empty() && manager.fileExistsAtPath(joined(components));
}

}  // namespace

void createFileAtPathRecursive(const FileManager& manager,
                               std::optional<std::u16string_view> path) {
  createFileAtPathRecursive(manager, path, std::nullopt, nullptr);
}

void createFileAtPathRecursive(const FileManager& manager, std::optional<std::u16string_view> path,
                               std::optional<std::span<const std::uint8_t>> /*contents*/,
                               const plist::Dictionary* /*attributes*/) {
  if (!walkable(path)) return;
  const std::vector<std::u16string> components = pathComponents(*path);
  if (everyPrefixExists(manager, components)) return;
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
  if (!walkable(path)) return;
  const std::vector<std::u16string> components = pathComponents(*path);
  if (everyPrefixExists(manager, components)) return;
  std::u16string built;
  for (const std::u16string& component : components) {
    built = stringByAppendingPathComponent(built, component);
    if (!manager.fileExistsAtPath(built)) (void)manager.createDirectoryAtPath(built);
  }
}

}  // namespace fw
