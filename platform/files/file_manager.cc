#include "platform/files/file_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files/path.h"
#include "platform/files/posix_io.h"
#include "platform/strings/unicode.h"

namespace fw {
namespace {

FileType typeOf(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFREG: return FileType::Regular;
    case S_IFDIR: return FileType::Directory;
    case S_IFLNK: return FileType::SymbolicLink;
    case S_IFCHR: return FileType::CharacterSpecial;
    case S_IFBLK: return FileType::BlockSpecial;
    case S_IFSOCK: return FileType::Socket;
    case S_IFIFO: return FileType::Fifo;
    default: return FileType::Unknown;
  }
}

std::string failure(const char* what, const std::string& path, int error) {
  std::string text(what);
  text += ' ';
  text += path;
  text += ": ";
  text += std::strerror(error);
  return text;
}

// The directory part of `path` for syncing after the rename: "." for a bare
// name, "/" for a file in the root.
std::string directoryOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The pieces of an atomic write's temporary name: "<dir>/" "." base "."
// and six characters that mkostemp picks from [A-Za-z0-9].
constexpr std::size_t kTemporarySuffix = 6;

std::string temporaryPrefix(const std::string& base) { return "." + base + "."; }

bool isTemporaryName(std::string_view name, std::string_view prefix) {
  if (name.size() != prefix.size() + kTemporarySuffix || name.substr(0, prefix.size()) != prefix) {
    return false;
  }
  for (char c : name.substr(prefix.size())) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum) return false;
  }
  return true;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
  return fw::writeAll(fd, bytes.data(), bytes.size());
}

}  // namespace

FileManager& FileManager::defaultManager() {
  static FileManager manager;
  return manager;
}

bool FileManager::fileExistsAtPath(std::u16string_view path, bool* isDirectory) const {
  const std::optional<std::string> bytes = fileSystemRepresentation(path);
  if (!bytes) {
    if (isDirectory != nullptr) *isDirectory = false;
    return false;
  }
  return fileExistsAtPathUtf8(*bytes, isDirectory);
}

bool FileManager::fileExistsAtPathUtf8(const std::string& path, bool* isDirectory) const {
  struct stat st;
  if (!isFileSystemPath(path) || ::stat(path.c_str(), &st) != 0) {
    if (isDirectory != nullptr) *isDirectory = false;
    return false;
  }
  if (isDirectory != nullptr) *isDirectory = S_ISDIR(st.st_mode);
  return true;
}

std::optional<FileAttributes> FileManager::fileAttributesAtPath(std::u16string_view path,
                                                                bool traverseLink) const {
  const std::optional<std::string> bytes = fileSystemRepresentation(path);
  if (!bytes) return std::nullopt;
  return fileAttributesAtPathUtf8(*bytes, traverseLink);
}

std::optional<FileAttributes> FileManager::fileAttributesAtPathUtf8(const std::string& path,
                                                                    bool traverseLink) const {
  if (!isFileSystemPath(path)) return std::nullopt;
  struct stat st;
  int rc = traverseLink ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  if (rc != 0) return std::nullopt;
  return FileAttributes{typeOf(st.st_mode), static_cast<std::int64_t>(st.st_size)};
}

std::optional<std::vector<std::u16string>> FileManager::directoryContentsAtPath(
    std::u16string_view path) const {
  const std::optional<std::string> bytes = fileSystemRepresentation(path);
  if (!bytes) return std::nullopt;
  DIR* dir = ::opendir(bytes->c_str());
  if (dir == nullptr) return std::nullopt;
  std::vector<std::u16string> names;
  for (;;) {
    errno = 0;
    struct dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    names.push_back(utf8ToUtf16Lossy(name));
  }
  int error = errno;
  ::closedir(dir);
  if (error != 0) return std::nullopt;
  return names;
}

std::optional<std::vector<std::uint8_t>> FileManager::contentsAtPath(
    std::u16string_view path) const {
  const std::optional<std::string> bytes = fileSystemRepresentation(path);
  if (!bytes) return std::nullopt;
  return contentsAtPathUtf8(*bytes);
}

std::optional<std::vector<std::uint8_t>> FileManager::contentsAtPathUtf8(
    const std::string& path) const {
  // Only regular files are read: a FIFO would hold the caller in open or
  // read for as long as no writer comes, and a device such as /dev/zero never
  // ends.
  if (!isFileSystemPath(path)) return std::nullopt;
  std::optional<RegularFile> file = openRegularFile(path);
  if (!file) return std::nullopt;
  return readAll(file->fd.get(), static_cast<std::size_t>(file->size));
}

bool FileManager::createDirectoryAtPath(std::u16string_view path) const {
  const std::optional<std::string> bytes =
      fileSystemRepresentation(path, UnpairedSurrogates::kRefuse);
  if (!bytes || bytes->empty()) return false;
  return ::mkdir(bytes->c_str(), 0777) == 0;
}

bool FileManager::createFileAtPath(std::u16string_view path,
                                   std::span<const std::uint8_t> contents) const {
  const std::optional<std::string> bytes =
      fileSystemRepresentation(path, UnpairedSurrogates::kRefuse);
  if (!bytes || bytes->empty()) return false;
  const int fd = ::open(bytes->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool written = writeAll(fd, contents);
  if (::close(fd) != 0 || !written) {
    ::unlink(bytes->c_str());
    return false;
  }
  return true;
}

bool FileManager::writeAtomically(std::u16string_view path, std::span<const std::uint8_t> bytes,
                                  std::string* reason) const {
  return writeAtomicallyFrom(
      path, [bytes](const ByteSink& sink) { return bytes.empty() || sink(bytes); }, reason);
}

bool FileManager::writeAtomicallyUtf8(const std::string& path, std::span<const std::uint8_t> bytes,
                                      std::string* reason) const {
  return writeAtomicallyFromUtf8(
      path, [bytes](const ByteSink& sink) { return bytes.empty() || sink(bytes); }, reason);
}

bool FileManager::writeAtomicallyFrom(std::u16string_view path, const Producer& produce,
                                      std::string* reason) const {
  const std::optional<std::string> utf8 = fileSystemRepresentation(path);
  if (!utf8) {
    if (reason != nullptr) *reason = "not a file path: holds U+0000";
    return false;
  }
  return writeAtomicallyFromUtf8(*utf8, produce, reason);
}

bool FileManager::writeAtomicallyFromUtf8(const std::string& path, const Producer& produce,
                                          std::string* reason) const {
  auto fail = [&](std::string text) {
    if (reason != nullptr) *reason = std::move(text);
    return false;
  };
  if (path.empty() || path.back() == '/') return fail("not a file path: " + path);
  if (!isFileSystemPath(path)) return fail("not a file path: holds NUL");
  std::string directory = directoryOf(path);
  std::size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string pattern =
      (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
      temporaryPrefix(base) + std::string(kTemporarySuffix, 'X');

  // mkostemp creates the file exclusively (O_EXCL) with mode 0600. The lock
  // tells removeAbandonedTemporaries, in another run, that this one is
  // alive; the kernel drops it when the process dies, however it dies. A
  // cleanup may take the new file in the moment before it is locked, so
  // the name is checked to still be this file once the lock is held.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp = pattern;
    fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return fail(failure("create", temp, errno));
    struct stat held, named;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
        ::lstat(temp.c_str(), &named) == 0 && sameFile(held, named)) {
      break;
    }
    ::close(fd);
    fd = -1;
    if (attempt == 3) return fail(failure("lock", temp, EAGAIN));
  }
  auto discard = [&](const char* what, int error) {
    ::close(fd);
    ::unlink(temp.c_str());
    return fail(failure(what, temp, error));
  };
  if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0) return discard("chmod", errno);
  int writeError = 0;
  const ByteSink sink = [&](std::span<const std::uint8_t> piece) {
    if (writeAll(fd, piece)) return true;
    writeError = errno;
    return false;
  };
  if (!produce(sink)) {
    if (writeError != 0) return discard("write", writeError);
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  if (::fsync(fd) != 0) return discard("fsync", errno);
  // Renamed while still open and locked, so no cleanup takes it before it is
  // in place; the bytes are synced, so closing it afterwards cannot lose them.
  // rename replaces a symbolic link at `path` itself; it never follows it.
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int error = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return fail(failure("rename to", path, error));
  }
  ::close(fd);
  // The new name is in place; a failed directory sync cannot undo that, so it
  // only makes the write less durable, not wrong.
  int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

std::size_t FileManager::removeAbandonedTemporaries(std::u16string_view path) const {
  const std::optional<std::string> bytes = fileSystemRepresentation(path);
  if (!bytes || bytes->empty() || bytes->back() == '/') return 0;
  const std::size_t slash = bytes->find_last_of('/');
  const std::string prefix =
      temporaryPrefix(slash == std::string::npos ? *bytes : bytes->substr(slash + 1));
  const int dirFd = ::open(directoryOf(*bytes).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return 0;
  DIR* dir = ::fdopendir(dirFd);
  if (dir == nullptr) {
    ::close(dirFd);
    return 0;
  }
  std::vector<std::string> candidates;
  while (struct dirent* entry = ::readdir(dir)) {
    if (isTemporaryName(entry->d_name, prefix)) candidates.emplace_back(entry->d_name);
  }
  std::size_t removed = 0;
  for (const std::string& name : candidates) {
    const int fd =
        ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat held, named;
    // Removed only while locked here, so no live write can hold it, and only
    // when the name still leads to the file that was locked.
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(held, named) &&
        ::unlinkat(dirFd, name.c_str(), 0) == 0) {
      ++removed;
    }
    ::close(fd);
  }
  ::closedir(dir);
  return removed;
}

}  // namespace fw
