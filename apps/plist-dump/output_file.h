#pragma once

// A file that appears whole or not at all: the bytes go to a new file beside
// the target, created exclusively, and only commit() renames it over the
// target. Until then the target is untouched, and a file that is dropped
// (destroyed before commit, or after a failure) leaves nothing behind.

#include <string>
#include <string_view>

namespace fw::plist_dump {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file beside `path`; false with the reason.
  [[nodiscard]] bool open(const std::string& path, std::string* reason);
  [[nodiscard]] bool write(std::string_view bytes, std::string* reason);
  // Syncs the file, gives it the default mode (0666 less the umask), as
  // any new file would have, and renames it over the target.
  [[nodiscard]] bool commit(std::string* reason);

 private:
  void drop();

  std::string path_, temp_;
  int fd_ = -1;
};

}  // namespace fw::plist_dump
