#include "platform/files/temporary_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/files/path.h"
#include "platform/strings/unicode.h"

namespace fw {
namespace {

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool isDirectory(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool isPrivateDirectory(const char* path) {
  struct stat st;
  return ::lstat(path, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 0777) == 0700;
}

}  // namespace

std::optional<std::string> perUserDirectoryIn(std::string_view parent, std::string* reason) {
  if (!isFileSystemPath(parent)) {
    if (reason != nullptr) *reason = "parent path holds NUL";
    return std::nullopt;
  }
  std::string path = withoutTrailingSlashes(std::string(parent));
  if (path != "/") path += '/';
  path += "fwkit-" + std::to_string(::geteuid());
  auto refuse = [&](std::string text) -> std::optional<std::string> {
    if (reason != nullptr) *reason = path + ": " + text;
    return std::nullopt;
  };
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return refuse(std::strerror(errno));
  // Whatever already stood there must be ours alone: someone else's
  // directory, or a link planted to redirect the snapshot, is refused.
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return refuse(std::strerror(errno));
  if (!S_ISDIR(st.st_mode)) return refuse("not a directory");
  if (st.st_uid != ::geteuid()) return refuse("owned by another user");
  if ((st.st_mode & 077) != 0) return refuse("open to other users");
  return path;
}

std::optional<std::u16string> temporaryDirectory(std::string* reason, std::u16string* candidate) {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && *tmpdir != 0 && isDirectory(tmpdir)) {
    return utf8ToUtf16Lossy(withoutTrailingSlashes(tmpdir));
  }
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != 0 && isPrivateDirectory(runtime)) {
    return utf8ToUtf16Lossy(withoutTrailingSlashes(runtime));
  }
  std::optional<std::string> fallback = perUserDirectoryIn("/tmp", reason);
  if (!fallback) {
    if (candidate != nullptr) {
      *candidate = utf8ToUtf16Lossy("/tmp/fwkit-" + std::to_string(::geteuid()));
    }
    return std::nullopt;
  }
  return utf8ToUtf16Lossy(*fallback);
}

}  // namespace fw
