#pragma once

// A fresh directory for a test that touches the disk: `home()` and `tmp()`
// inside it stand for the user's home and temporary directory. Everything
// is removed when the fixture goes, trees deeper than PATH_MAX included.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace fw::test_support {

namespace fs = std::filesystem;

#ifdef FW_BUNDLE_IDENTIFIER
inline constexpr const char* kPreferencesPath =
    "Library/Preferences/" FW_BUNDLE_IDENTIFIER ".plist";
#endif
inline constexpr const char* kLibraryPath = "Music/iTunes/iTunes Music Library.xml";

// A whole XML property list around a dictionary body, and the pieces of one.
inline std::string xmlPlist(const std::string& dictBody) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" +
         dictBody + "</dict>\n</plist>\n";
}
inline std::string key(const std::string& k, const std::string& valueXml) {
  return "<key>" + k + "</key>" + valueXml + "\n";
}
inline std::string str(const std::string& s) { return "<string>" + s + "</string>"; }
inline std::string strings(const std::vector<std::string>& items) {
  std::string out = "<array>";
  for (const auto& s : items) out += str(s);
  return out + "</array>";
}

// A media library of `count` tracks with long names and paths, so that its
// snapshot runs to megabytes; `tag` makes one library's snapshot differ
// from another's.
inline std::string trackLibrary(int count, const std::string& tag) {
  std::string body;
  const std::string padding(200, 'x');
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    body += key(n, "<dict>" + key("Name", str(tag + " track " + n + padding)) +
                       key("Location", str("file:///music/" + tag + "/" + padding + "/" + n)) +
                       "</dict>");
  }
  return xmlPlist(key("Tracks", "<dict>\n" + body + "</dict>"));
}

inline void removeTree(const fs::path& dir) {
  if (dir.empty()) return;
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  // Trees deeper than PATH_MAX defeat remove_all; rm walks by descriptor.
  if (fs::exists(fs::symlink_status(dir, ignored))) {
    const std::string command =
        "chmod -R u+rwx '" + dir.string() + "' 2>/dev/null; rm -rf '" + dir.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
}

inline std::string readBytes(const fs::path& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

inline void writeFile(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// A file of `size` bytes, sparse, so large ones cost no disk.
inline void sizedFile(const fs::path& path, std::int64_t size) {
  writeFile(path, "");
  ASSERT_EQ(::truncate(path.c_str(), size), 0) << path;
}

inline void symlinkAt(const fs::path& target, const fs::path& at) {
  fs::create_directories(at.parent_path());
  fs::create_symlink(target, at);
}

// Log lines as our programs write them, without their timestamp and prefix.
inline std::vector<std::string> logMessages(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::size_t at = line.find("] ");
    lines.push_back(at == std::string::npos ? line : line.substr(at + 2));
  }
  return lines;
}

class TempHome {
 public:
  // `inMemory` puts the directory under /dev/shm where there is one, for
  // tests that make and remove many thousands of entries.
  explicit TempHome(std::string_view tag = "fwkit", bool inMemory = false) {
    std::string base = "/tmp";
    std::error_code ignored;
    if (inMemory && fs::is_directory("/dev/shm", ignored)) base = "/dev/shm";
    std::string pattern = base + "/" + std::string(tag) + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp " << pattern;
      return;
    }
    root_ = pattern;
    fs::create_directories(home() / "Library/Preferences");
    fs::create_directories(tmp());
  }
  ~TempHome() { removeTree(root_); }
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const fs::path& root() const { return root_; }
  fs::path home() const { return root_ / "home"; }
  fs::path tmp() const { return root_ / "tmp"; }
  fs::path snapshotPath() const { return tmp() / "FwLibraryCore.plist"; }

#ifdef FW_BUNDLE_IDENTIFIER
  // The main application's preference file, as XML around `dictBody`.
  void preferences(const std::string& dictBody) const {
    writeFile(home() / kPreferencesPath, xmlPlist(dictBody));
  }
#endif
  void library(std::string_view text) const { writeFile(home() / kLibraryPath, text); }

  std::vector<std::string> tmpListing() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(tmp())) out.push_back(e.path().filename());
    return out;
  }

 private:
  fs::path root_;
};

}  // namespace fw::test_support
