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

#include <string>
#include <string_view>
#include <vector>

namespace fw {

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
