// The media-library scan of FwLibraryCore: finds the user's iTunes library
// export, maps each track's normalised name to its file's tilde path, and
// lists the user's ordinary playlists.
//
// The library is read as a stream of property-list events. Of each track
// record only "Name" and "Location" are held, and only until the record
// ends; of each playlist record its name and the flags that exclude it.
// The results are those of looking the same keys up in the whole tree:
// of repeated keys the last value counts, a track ID given twice keeps the
// first one's place with the last one's record, and records of the wrong
// kind are skipped.

#include "tool/media/itunes_library_scan.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "extensions/text/string_extensions.h"
#include "platform/diagnostics/log.h"
#include "platform/files/file_manager.h"
#include "platform/files/path.h"
#include "platform/files/url.h"
#include "platform/plist/plist_events.h"
#include "platform/plist/property_list.h"
#include "platform/strings/string_case.h"
#include "platform/strings/unicode.h"
#include "tool/fw_library_core.h"
#include "tool/value_truth.h"

namespace fw {
namespace {

using plist::EventText;
using plist::SharedString;
using plist::Value;

// The main application's own playlist, never reported back to it.
constexpr std::u16string_view kMainApplicationName = u"Fetchwright";

// Where in the library an event falls.
enum class Where : std::uint8_t { Top, Root, Tracks, Track, Playlists, Playlist };

// The key whose value comes next, where the scan reads it.
enum class Field : std::uint8_t {
  None,
  Tracks,
  Playlists,
  Name,
  Location,
  SmartInfo,
  Master,
  Podcasts,
  Videos,
  Folder,
  PartyShuffle,  // the flags, in this order
};
constexpr std::size_t kFlags = 5;

Field trackField(EventText key) {
  if (key.equalsAscii("Name")) return Field::Name;
  if (key.equalsAscii("Location")) return Field::Location;
  return Field::None;
}

Field playlistField(EventText key) {
  static constexpr std::pair<std::string_view, Field> kFields[] = {
      {"Name", Field::Name},
      {"Smart Info", Field::SmartInfo},
      {"Master", Field::Master},
      {"Podcasts", Field::Podcasts},
      {"Videos", Field::Videos},
      {"Folder", Field::Folder},
      {"Party Shuffle", Field::PartyShuffle}};
  for (const auto& [name, field] : kFields) {
    if (key.equalsAscii(name)) return field;
  }
  return Field::None;
}

// The name as the snapshot keeps it, lower-cased and trimmed like
// FwLibraryCore::normalizedStringForString, made as it is read: a name may
// be as long as the file, so it is built in the one buffer that the set and
// the dictionary then share, from the event's text when that is ASCII, or
// from one UTF-16 copy of it otherwise.
SharedString normalizedTrackName(EventText text) {
  // Trims in place: the kept units move to the front.
  auto trimmed = [](char16_t* units, std::size_t length) {
    const std::u16string_view kept = trimmedView(std::u16string_view(units, length));
    if (kept.data() != units) std::copy(kept.begin(), kept.end(), units);
    return kept.size();
  };
  if (!text.isWide() && isAscii(text.utf8())) {
    const std::string_view ascii = text.utf8();
    // Root-locale lower-casing maps ASCII to ASCII, one unit for one.
    return SharedString::withUnits(ascii.size(), [&](char16_t* units) {
      for (std::size_t i = 0; i < ascii.size(); ++i) {
        const auto c = static_cast<unsigned char>(ascii[i]);
        units[i] = c >= 'A' && c <= 'Z' ? char16_t(c + ('a' - 'A')) : char16_t(c);
      }
      return trimmed(units, ascii.size());
    });
  }
  std::u16string decoded;
  const std::u16string_view wide = text.isWide() ? text.utf16() : (decoded = text.toUtf16());
  std::size_t room = wide.size();
  for (;;) {
    std::size_t length = 0;
    SharedString name = SharedString::withUnits(room, [&](char16_t* units) {
      length = lowercaseInto(wide, units, room);
      return length <= room ? trimmed(units, length) : 0;
    });
    if (length <= room) return name;
    room = length;
  }
}

// Staged tracks by their key in "Tracks", so that a repeated key replaces
// the earlier record in its place, as the dictionary does.
class TrackKeys {
 public:
  // The position of `key`, or `next` once it has been added there.
  std::size_t positionOf(std::string_view key, std::size_t next) {
    if ((offsets_.size() + 1) * 2 > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash(key) & mask;; i = (i + 1) & mask) {
      if (slots_[i] == 0) {
        slots_[i] = static_cast<std::uint32_t>(offsets_.size() + 1);
        offsets_.push_back(bytes_.size());
        bytes_.append(key);
        positions_.push_back(next);
        return next;
      }
      if (keyAt(slots_[i] - 1) == key) return positions_[slots_[i] - 1];
    }
  }
  void clear() {
    bytes_.clear();
    offsets_.clear();
    positions_.clear();
    slots_.clear();
  }

 private:
  static std::size_t hash(std::string_view key) { return plist::hashBytes(key.data(), key.size()); }
  std::string_view keyAt(std::size_t k) const {
    const std::size_t end = k + 1 < offsets_.size() ? offsets_[k + 1] : bytes_.size();
    return std::string_view(bytes_).substr(offsets_[k], end - offsets_[k]);
  }
  void grow() {
    std::vector<std::uint32_t> slots(slots_.empty() ? 1024 : slots_.size() * 2);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t k = 0; k < offsets_.size(); ++k) {
      std::size_t i = hash(keyAt(k)) & mask;
      while (slots[i] != 0) i = (i + 1) & mask;
      slots[i] = static_cast<std::uint32_t>(k + 1);
    }
    slots_.swap(slots);
  }

  std::string bytes_;
  std::vector<std::size_t> offsets_;
  std::vector<std::size_t> positions_;
  std::vector<std::uint32_t> slots_;
};

class LibraryEvents final : public plist::PropertyListEvents {
 public:
  explicit LibraryEvents(std::u16string_view home) : home_(home) {}

  MediaLibraryScan take() {
    MediaLibraryScan scan;
    scan.tracks.reserve(staged_.size());
    for (auto& entry : staged_) {
      if (entry) scan.tracks.push_back(std::move(*entry));
    }
    scan.playlists = std::move(playlists_);
    return scan;
  }

  void beginDictionary() override { begin(true); }
  void beginArray() override { begin(false); }
  void endDictionary() override { end(); }
  void endArray() override { end(); }

  void key(EventText text) override {
    if (skip_ > 0) return;
    switch (where_.empty() ? Where::Top : where_.back()) {
      case Where::Root:
        field_ = text.equalsAscii("Tracks")      ? Field::Tracks
                 : text.equalsAscii("Playlists") ? Field::Playlists
                                                 : Field::None;
        break;
      case Where::Tracks: trackKey_.assign(text.bytes()); break;
      case Where::Track: field_ = trackField(text); break;
      case Where::Playlist: field_ = playlistField(text); break;
      default: break;
    }
  }
  void string(EventText text) override { value(&text, nullptr); }
  void scalar(const Value& v) override { value(nullptr, &v); }
  void data(std::span<const std::uint8_t>) override { value(nullptr, nullptr); }

  void restart() override {
    where_.clear();
    skip_ = 0;
    field_ = Field::None;
    staged_.clear();
    keys_.clear();
    playlists_.clear();
  }

 private:
  Field takeField() {
    const Field f = field_;
    field_ = Field::None;
    return f;
  }

  // A value of the innermost container; both null for data or a container.
  void value(const EventText* text, const Value* scalar) {
    const Field f = takeField();
    switch (where_.empty() ? Where::Top : where_.back()) {
      case Where::Top: return;
      case Where::Root:
        // A later "Tracks" or "Playlists" replaces an earlier one.
        if (f == Field::Tracks) clearTracks();
        if (f == Field::Playlists) playlists_.clear();
        return;
      case Where::Tracks: return stage(std::nullopt);  // not a record
      case Where::Track:
        if (f == Field::Name)
          name_ = text ? std::optional(normalizedTrackName(*text)) : std::nullopt;
        if (f == Field::Location) location_ = text ? std::optional(text->toUtf16()) : std::nullopt;
        return;
      case Where::Playlists: return;  // not a record
      case Where::Playlist:
        if (f == Field::Name) {
          playlistName_ = text ? std::optional(text->toUtf16()) : std::nullopt;
        } else if (f == Field::SmartInfo) {
          smart_ = true;
        } else if (f >= Field::Master) {
          bool truth = false;
          if (scalar) truth = valueIsTrue(scalar);
          if (text) {
            const Value s = Value::string(text->toUtf16());
            truth = valueIsTrue(&s);
          }
          flags_[static_cast<std::size_t>(f) - static_cast<std::size_t>(Field::Master)] = truth;
        }
        return;
    }
  }

  void begin(bool dictionary) {
    if (skip_ > 0) {
      ++skip_;
      return;
    }
    const Where at = where_.empty() ? Where::Top : where_.back();
    const Field f = field_;
    if (at == Where::Top && dictionary) return (void)where_.push_back(Where::Root);
    if (at == Where::Root && f == Field::Tracks && dictionary) {
      field_ = Field::None;
      clearTracks();
      return where_.push_back(Where::Tracks);
    }
    if (at == Where::Root && f == Field::Playlists && !dictionary) {
      field_ = Field::None;
      playlists_.clear();
      return where_.push_back(Where::Playlists);
    }
    if (at == Where::Tracks && dictionary) {
      name_.reset();
      location_.reset();
      return where_.push_back(Where::Track);
    }
    if (at == Where::Playlists && dictionary) {
      playlistName_.reset();
      smart_ = false;
      flags_.fill(false);
      return where_.push_back(Where::Playlist);
    }
    // Any other container is a value the scan does not read.
    value(nullptr, nullptr);
    skip_ = 1;
  }

  void end() {
    if (skip_ > 0) {
      --skip_;
      return;
    }
    const Where at = where_.back();
    where_.pop_back();
    if (at == Where::Track) finishTrack();
    if (at == Where::Playlist) finishPlaylist();
  }

  void clearTracks() {
    staged_.clear();
    keys_.clear();
  }

  void stage(std::optional<std::pair<SharedString, SharedString>> entry) {
    const std::size_t at = keys_.positionOf(trackKey_, staged_.size());
    if (at == staged_.size()) {
      staged_.push_back(std::move(entry));
    } else {
      staged_[at] = std::move(entry);
    }
  }

  void finishTrack() {
    std::optional<std::pair<SharedString, SharedString>> entry;
    if (name_ && location_) {
      if (const std::optional<Url> url = Url::parse(*location_)) {
        const std::optional<std::u16string> path = url->path();
        // A path holding U+0000 names no file: skipped like an unparsable one.
        if (path && path->find(u'\0') == std::u16string::npos) {
          entry.emplace(std::move(*name_),
                        SharedString(stringByAbbreviatingWithTildeInPath(*path, home_)));
        }
      }
    }
    name_.reset();
    location_.reset();
    stage(std::move(entry));
  }

  // The nine exclusion tests; the first that holds skips the record.
  void finishPlaylist() {
    if (!playlistName_) return;
    const std::u16string_view name = *playlistName_;
    if (smart_ || name == kMainApplicationName) return;
    for (const bool flag : flags_) {
      if (flag) return;
    }
    if (name == u"Podcasts" || name == u"Party Shuffle") return;
    playlists_.emplace_back(name);
  }

  std::u16string home_;
  std::vector<Where> where_;
  std::size_t skip_ = 0;  // depth inside a container the scan does not read
  Field field_ = Field::None;
  std::string trackKey_;
  std::optional<SharedString> name_;  // already normalised
  std::optional<std::u16string> location_;
  std::optional<std::u16string> playlistName_;
  bool smart_ = false;
  std::array<bool, kFlags> flags_{};
  std::vector<std::optional<std::pair<SharedString, SharedString>>> staged_;
  TrackKeys keys_;
  std::vector<SharedString> playlists_;
};

}  // namespace

std::optional<MediaLibraryScan> scanMediaLibrary(const std::string& utf8Path,
                                                 std::u16string_view home) {
  LibraryEvents events(home);
  std::string reason;
  if (!plist::readPropertyListFileEvents(utf8Path, events, &reason)) return std::nullopt;
  return events.take();
}

std::optional<std::u16string> FwLibraryCore::iTunesLibraryPath() {
  const std::array<std::u16string, 3> candidates = {
      stringByExpandingTildeInPath(u"~/Music/iTunes/iTunes Music Library.xml"),
      stringByExpandingTildeInPath(u"~/Documents/iTunes/iTunes Music Library.xml"),
      std::u16string(u"/Users/Shared/Music/iTunes/iTunes Music Library.xml"),
  };
  // Existence follows symbolic links, and a directory counts as existing,
  // so a directory in an earlier place hides the library files further down.
  const FileManager& fm = FileManager::defaultManager();
  for (const auto& candidate : candidates) {
    if (fm.fileExistsAtPath(candidate)) return candidate;
  }
  return std::nullopt;
}

std::optional<std::u16string> FwLibraryCore::normalizedStringForString(
    std::optional<std::u16string_view> string) {
  if (!string) return std::nullopt;
  return fw::trimmedString(lowercaseString(*string));
}

void FwLibraryCore::traverseiTunesLibrary() {
  tunes.emplace();
  playlists.emplace();
  tunesToPaths.emplace();

  const std::optional<std::u16string> libraryPath = iTunesLibraryPath();
  if (!libraryPath) return;
  const std::optional<std::string> utf8Path =
      fileSystemRepresentation(*libraryPath, UnpairedSurrogates::kRefuse);
  if (!utf8Path) return;
  std::optional<MediaLibraryScan> scan = scanMediaLibrary(*utf8Path, homeDirectory());
  if (!scan) return;

  tunes->reserve(scan->tracks.size());
  tunesToPaths->reserve(scan->tracks.size());
  for (auto& [name, path] : scan->tracks) {
    addObjectToCollection(std::optional<SharedString>(name), &*tunes);
    tunesToPaths->insert_or_assign(std::move(name), std::move(path));
  }
  for (auto& name : scan->playlists) {
    addObjectToCollection(std::optional<SharedString>(std::move(name)), &*playlists);
  }
  logLine("FwLibraryController: lb: " + std::to_string(tunes->count()));
}

}  // namespace fw
