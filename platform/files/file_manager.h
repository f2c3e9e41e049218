#pragma once

// The file manager: the few file-system questions the rest of the system
// asks, answered from POSIX calls. Paths are our UTF-16 strings, converted to
// the file system's bytes at this edge (an unpaired surrogate becomes
// U+FFFD); the UTF-8 overloads take the bytes as they are, for callers that
// hold names the file system gave them. Names read back from a listing that
// are not valid UTF-8 have each invalid sequence replaced by U+FFFD.
//
// No file name holds U+0000 (a NUL byte in the UTF-8 forms), so a path that
// does names no file: every question about it answers false or nullopt and
// nothing is created, rather than asking about the path cut at the NUL.
//
// Nothing here throws; a question the file system cannot answer gives false
// or nullopt.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/byte_sink.h"

namespace fw {

enum class FileType : std::uint8_t {
  Regular,
  Directory,
  SymbolicLink,
  CharacterSpecial,
  BlockSpecial,
  Socket,
  Fifo,
  Unknown,
};

struct FileAttributes {
  FileType type = FileType::Unknown;
  std::int64_t size = 0;  // bytes; a link's own size is its target's length
  friend bool operator==(const FileAttributes&, const FileAttributes&) = default;
};

class FileManager {
 public:
  // The one shared instance; it holds no state.
  [[nodiscard]] static FileManager& defaultManager();

  // Whether something exists at `path`, following symbolic links, so a
  // dangling link does not exist. `isDirectory` (when given) is set to
  // whether it is a directory or a link to one.
  [[nodiscard]] bool fileExistsAtPath(std::u16string_view path, bool* isDirectory = nullptr) const;
  [[nodiscard]] bool fileExistsAtPathUtf8(const std::string& path,
                                          bool* isDirectory = nullptr) const;

  // Type and size; with traverseLink false a final symbolic link is
  // described itself, not its target.
  [[nodiscard]] std::optional<FileAttributes> fileAttributesAtPath(std::u16string_view path,
                                                                   bool traverseLink) const;
  [[nodiscard]] std::optional<FileAttributes> fileAttributesAtPathUtf8(const std::string& path,
                                                                       bool traverseLink) const;

  // Entry names in the order the operating system lists them, without "."
  // and ".."; nullopt when the directory cannot be opened or read.
  [[nodiscard]] std::optional<std::vector<std::u16string>> directoryContentsAtPath(
      std::u16string_view path) const;

  // The whole file; nullopt when it cannot be read or is not a regular file
  // (a directory, a FIFO, a device).
  [[nodiscard]] std::optional<std::vector<std::uint8_t>> contentsAtPath(
      std::u16string_view path) const;
  [[nodiscard]] std::optional<std::vector<std::uint8_t>> contentsAtPathUtf8(
      const std::string& path) const;

  // Creates one directory, whose parent must exist, with the default mode
  // (0777 less the umask). False when it cannot, for instance when anything
  // already exists at `path`, or when `path` holds an unpaired surrogate
  // (a name never made up with U+FFFD in its place).
  [[nodiscard]] bool createDirectoryAtPath(std::u16string_view path) const;
  // Creates a new file, whose parent must exist, with the default mode (0666
  // less the umask) and `contents`. The creation is exclusive: an entry that
  // already exists at `path`, or appears there first, is never truncated or
  // written, and the answer is false. A partly written file is removed.
  [[nodiscard]] bool createFileAtPath(std::u16string_view path,
                                      std::span<const std::uint8_t> contents = {}) const;

  // Replaces the file at `path` atomically: the bytes go to a new file beside
  // it, created exclusively with mode 0600 and locked (flock) while it is
  // written, written whole and synced, which
  // is then renamed over `path`, and the directory is synced. A symbolic link
  // at `path` is replaced itself, never written through. On failure `path`
  // is untouched, no temporary file remains, and `reason` (when given) says
  // what failed, e.g. "open /ro/.FwLibraryCore.plist.Xa3f9Q: Permission denied".
  [[nodiscard]] bool writeAtomically(std::u16string_view path, std::span<const std::uint8_t> bytes,
                                     std::string* reason = nullptr) const;
  [[nodiscard]] bool writeAtomicallyUtf8(const std::string& path,
                                         std::span<const std::uint8_t> bytes,
                                         std::string* reason = nullptr) const;
  // The same, with the bytes made while they are written: `produce` hands
  // them to the sink it is given, in order, and answers whether it made
  // them all. When it answers false nothing is replaced; `reason` says
  // "write <temporary>: <error>" when the sink could not write a piece, and
  // is otherwise left as `produce` set it.
  using Producer = std::function<bool(const ByteSink&)>;
  [[nodiscard]] bool writeAtomicallyFrom(std::u16string_view path, const Producer& produce,
                                         std::string* reason = nullptr) const;
  [[nodiscard]] bool writeAtomicallyFromUtf8(const std::string& path, const Producer& produce,
                                             std::string* reason = nullptr) const;

  // Removes the temporary files that atomic writes of `path` left behind
  // when their process was killed, so that they do not pile up: entries
  // beside `path` named exactly as writeAtomically names its temporaries
  // (".FwLibraryCore.plist.Xa3f9Q" for "FwLibraryCore.plist"), regular files
  // of this user, that no live write holds (a write keeps its temporary
  // locked until it is renamed into place). Nothing else is touched, links
  // included. Returns how many were removed.
  std::size_t removeAbandonedTemporaries(std::u16string_view path) const;
};

}  // namespace fw
