#include "tool/fw_library_core.h"

#include <cstdlib>
#include <new>

#include "platform/diagnostics/log.h"
#include "platform/files/file_manager.h"
#include "platform/files/path.h"
#include "platform/files/temporary_directory.h"
#include "platform/strings/unicode.h"

namespace fw {

FwLibraryCore::FwLibraryCore() : fm(&FileManager::defaultManager()) {}

void FwLibraryCore::traverse() {
  // The scanner and its collections live until the process ends. They are
  // built in static storage, so they stay reachable while exit runs and are
  // never torn down.
  alignas(FwLibraryCore) static unsigned char storage[sizeof(FwLibraryCore)];
  FwLibraryCore* core = new (storage) FwLibraryCore();
  // The sets are only counted, and the scans log their counts; the snapshot
  // holds the dictionaries. Each set is given up once counted, so that its
  // memory serves what follows instead of new pages.
  core->traverseFileSystem();
  core->names.reset();
  core->sizes.reset();
  core->traverseiTunesLibrary();
  core->tunes.reset();

  std::string reason;
  std::u16string candidate;
  std::optional<std::u16string> directory = temporaryDirectory(&reason, &candidate);
  std::u16string target =
      stringByAppendingPathComponent(directory ? *directory : candidate, u"FwLibraryCore.plist");
  bool written = false;
  if (directory) {
    // Temporaries of earlier runs that were killed mid-write would otherwise
    // pile up beside the snapshot.
    (void)core->fm->removeAbandonedTemporaries(target);
    written = core->writeSnapshot(target, &reason);
  }
  if (!written) {
    logLine("FwLibraryCore: could not write " + utf16ToUtf8Lossy(target) + ": " + reason);
    std::exit(1);
  }
  std::exit(0);
}

}  // namespace fw
