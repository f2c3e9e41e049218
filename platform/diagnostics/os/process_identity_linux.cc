#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "platform/diagnostics/process_identity.h"

extern char* program_invocation_short_name;

namespace fw {

const char* programShortName() noexcept { return program_invocation_short_name; }

long currentThreadId() noexcept { return static_cast<long>(::syscall(SYS_gettid)); }

bool isMainThread() noexcept { return currentThreadId() == static_cast<long>(::getpid()); }

}  // namespace fw
