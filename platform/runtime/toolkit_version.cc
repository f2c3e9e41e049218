#include "platform/runtime/toolkit_version.h"

#include <atomic>

namespace fw {

namespace {

std::atomic<double>& versionNumber() {
  static std::atomic<double> value{kDefaultToolkitVersionNumber};
  return value;
}

}  // namespace

double toolkitVersionNumber() { return versionNumber().load(std::memory_order_relaxed); }

void setToolkitVersionNumber(double version) {
  versionNumber().store(version, std::memory_order_relaxed);
}

}  // namespace fw
