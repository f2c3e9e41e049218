#pragma once

// The scans of library-snapshot run in the test's own process: HOME points
// into a TempHome while they run (the tool reads it afresh at every use),
// and what they log to standard error is caught.

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/strings/unicode.h"
#include "tests/support/snapshot.h"
#include "tests/support/temp_home.h"
#include "tool/fw_library_core.h"

namespace fw::test_support {

// HOME set to `home` for as long as this lives.
class HomeOverride {
 public:
  explicit HomeOverride(const fs::path& home) {
    if (const char* old = std::getenv("HOME")) saved_ = old;
    ::setenv("HOME", home.c_str(), 1);
  }
  ~HomeOverride() {
    if (saved_) {
      ::setenv("HOME", saved_->c_str(), 1);
    } else {
      ::unsetenv("HOME");
    }
  }
  HomeOverride(const HomeOverride&) = delete;
  HomeOverride& operator=(const HomeOverride&) = delete;

 private:
  std::optional<std::string> saved_;
};

// The log lines `run` writes, standard error going to a file meanwhile.
inline std::vector<std::string> loggedBy(const std::function<void()>& run) {
  std::fflush(stderr);
  FILE* file = std::tmpfile();
  if (file == nullptr) return {"<no temporary file>"};
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(::fileno(file), STDERR_FILENO);
  run();
  std::fflush(stderr);
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  std::string text;
  std::rewind(file);
  char block[4096];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) text.append(block, n);
  std::fclose(file);
  return logMessages(text);
}

struct Scan {
  Snapshot found;  // the collections the scans filled, as the snapshot holds them
  std::vector<std::string> log;
};

enum ScanParts { kFolders = 1, kLibrary = 2 };

// The folder scan, the media-library scan or both, as traverse() runs them.
// Each set holds as many entries as the dictionary it feeds.
inline Scan scanHome(const TempHome& home, int parts = kFolders | kLibrary) {
  HomeOverride env(home.home());
  FwLibraryCore core;
  Scan s;
  s.log = loggedBy([&] {
    if (parts & kFolders) core.traverseFileSystem();
    if (parts & kLibrary) core.traverseiTunesLibrary();
  });
  auto plain = [](const std::optional<StringDictionary>& from, Map& to) {
    if (!from) return;
    for (const auto& [k, v] : *from) to[utf16ToUtf8Lossy(k.view())] = utf16ToUtf8Lossy(v.view());
  };
  plain(core.namesToParentPaths, s.found.namesToParentPaths);
  plain(core.sizesToNames, s.found.sizesToNames);
  plain(core.tunesToPaths, s.found.tunesToPaths);
  if (core.playlists) {
    for (const auto& name : core.playlists->items()) {
      s.found.playlists.push_back(utf16ToUtf8Lossy(name.view()));
    }
  }
  EXPECT_EQ(core.names ? core.names->count() : 0, s.found.namesToParentPaths.size());
  EXPECT_EQ(core.sizes ? core.sizes->count() : 0, s.found.sizesToNames.size());
  EXPECT_EQ(core.tunes ? core.tunes->count() : 0, s.found.tunesToPaths.size());
  return s;
}

}  // namespace fw::test_support
