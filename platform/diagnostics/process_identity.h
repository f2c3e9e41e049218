#pragma once

// Who is running, for log lines and thread checks: the program's short
// name, the calling thread's id and whether it is the process's main
// thread. The build picks the system's variant (platform/diagnostics/os/); each call is
// async-signal-safe.

namespace fw {

// The program's name without its directory, e.g. "library-snapshot".
[[nodiscard]] const char* programShortName() noexcept;
// A number naming the calling thread while it runs; on Linux the kernel's
// thread id, which equals the process id on the main thread.
[[nodiscard]] long currentThreadId() noexcept;
[[nodiscard]] bool isMainThread() noexcept;

}  // namespace fw
