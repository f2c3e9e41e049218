#include "platform/graphics/desktop/appearance.h"

#include <mutex>
#include <optional>

namespace fw {
namespace {

std::mutex& appearanceMutex() {
  static std::mutex m;
  return m;
}

// Absent until set, so that the defaults are made only when asked for.
std::optional<Appearance>& currentAppearance() {
  static std::optional<Appearance> appearance;
  return appearance;
}

}  // namespace

Appearance defaultAppearance() {
  Appearance a;
  a.alternateSelectedControlColor = Color::colorWithDeviceRed(0.22f, 0.46f, 0.84f, 1.0f);
  a.secondarySelectedControlColor = Color::colorWithDeviceRed(0.83f, 0.83f, 0.83f, 1.0f);
  a.controlTint = kBlueControlTint;
  return a;
}

Appearance systemAppearance() {
  std::lock_guard lock(appearanceMutex());
  std::optional<Appearance>& current = currentAppearance();
  if (!current) current = defaultAppearance();
  return *current;
}

void setSystemAppearance(Appearance appearance) {
  std::lock_guard lock(appearanceMutex());
  currentAppearance() = std::move(appearance);
}

}  // namespace fw
