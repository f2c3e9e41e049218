#pragma once

// Path strings, as the rest of the system sees them:
//
//   stringByAppendingPathComponent("/tmp", "a")  == "/tmp/a"   ("/tmp/", "/" and "" too:
//                                                  "/tmp/a", "/a", "a")
//   lastPathComponent("/tmp/a.txt") == "a.txt"    ("/tmp/" gives "tmp", "a///" gives "a",
//                                                  "/" gives "/")
//   stringByExpandingTildeInPath("~/x")           == home + "/x"; "~user/x" uses that
//                                                  user's home; other paths are unchanged
//   stringByAbbreviatingWithTildeInPath(home+"/x") == "~/x"; trailing slashes go first
//                                                  ("/" stays "/"), home itself is "~"
//   pathComponents("/a//b/") == {"/", "a", "b"};  pathComponents("a/b") == {"a", "b"}
//
// The home directory is $HOME when it is set and not empty, otherwise the
// password database's entry, without trailing slashes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

// What becomes of an unpaired surrogate on the way to the file system.
enum class UnpairedSurrogates : std::uint8_t {
  kReplace,  // U+FFFD stands in for it: right for looking a name up
  kRefuse,   // no bytes at all: right for making a name, never made up
};

// The bytes the operating system is given for `path`: its UTF-8. nullopt
// when the path holds U+0000, since the system would end the path there and
// answer for another file ("/etc/passwd\0zzz" is not "/etc/passwd"), and,
// with kRefuse, when it holds an unpaired surrogate. Every call that hands a
// path to the system goes through here or through isFileSystemPath.
//   fileSystemRepresentation(u"/tmp/a")             == "/tmp/a"
//   fileSystemRepresentation(u"/tmp/cut\0.txt"sv)   == nullopt
[[nodiscard]] std::optional<std::string> fileSystemRepresentation(
    std::u16string_view path, UnpairedSurrogates surrogates = UnpairedSurrogates::kReplace);
// Whether bytes already in the file system's form can name a file: they
// hold no NUL.
[[nodiscard]] bool isFileSystemPath(std::string_view bytes);

[[nodiscard]] std::u16string homeDirectory();
[[nodiscard]] std::string homeDirectoryUtf8();

[[nodiscard]] std::u16string stringByExpandingTildeInPath(std::u16string_view path);
[[nodiscard]] std::u16string stringByAbbreviatingWithTildeInPath(std::u16string_view path);
// The same rule against a given home directory (already without trailing
// slashes), for callers that abbreviate many paths.
[[nodiscard]] std::u16string stringByAbbreviatingWithTildeInPath(std::u16string_view path,
                                                                 std::u16string_view home);
[[nodiscard]] std::u16string stringByAppendingPathComponent(std::u16string_view path,
                                                            std::u16string_view component);
[[nodiscard]] std::u16string lastPathComponent(std::u16string_view path);
[[nodiscard]] std::vector<std::u16string> pathComponents(std::u16string_view path);

}  // namespace fw
