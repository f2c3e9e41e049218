#include "platform/file_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/path.h"
#include "platform/unicode.h"

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

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
  const std::uint8_t* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
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
  // ends. O_NONBLOCK lets open return at once for those so fstat can refuse
  // them; it changes nothing for regular files.
  if (!isFileSystemPath(path)) return std::nullopt;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  std::uint8_t block[65536];
  for (;;) {
    ssize_t n = ::read(fd, block, sizeof block);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), block, block + n);
  }
  ::close(fd);
  return bytes;
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
  const std::optional<std::string> utf8 = fileSystemRepresentation(path);
  if (!utf8) {
    if (reason != nullptr) *reason = "not a file path: holds U+0000";
    return false;
  }
  return writeAtomicallyUtf8(*utf8, bytes, reason);
}

bool FileManager::writeAtomicallyUtf8(const std::string& path,
                                      std::span<const std::uint8_t> bytes,
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
  std::string temp =
      (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "." + base +
      ".XXXXXX";

  // mkostemp creates the file exclusively (O_EXCL) with mode 0600.
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(failure("create", temp, errno));
  auto discard = [&](const char* what, int error) {
    ::close(fd);
    ::unlink(temp.c_str());
    return fail(failure(what, temp, error));
  };
  if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0) return discard("chmod", errno);
  if (!writeAll(fd, bytes)) return discard("write", errno);
  if (::fsync(fd) != 0) return discard("fsync", errno);
  if (::close(fd) != 0) {
    int error = errno;
    ::unlink(temp.c_str());
    return fail(failure("close", temp, error));
  }
  // rename replaces a symbolic link at `path` itself; it never follows it.
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int error = errno;
    ::unlink(temp.c_str());
    return fail(failure("rename to", path, error));
  }
  // The new name is in place; a failed directory sync cannot undo that, so it
  // only makes the write less durable, not wrong.
  int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace fw
