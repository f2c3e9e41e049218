#pragma once

// The version number of the running interface toolkit, a double, as code
// that adapts to older toolkits asks for it. No toolkit reports one here, so
// the value is a platform setting: a modern number unless an application or
// a test sets another.
//
//   fw::setToolkitVersionNumber(824.9);   // behave as on an older toolkit

namespace fw {

inline constexpr double kDefaultToolkitVersionNumber = 2299.0;

// Read anew at every call; safe from any thread.
[[nodiscard]] double toolkitVersionNumber();
void setToolkitVersionNumber(double version);

}  // namespace fw
