#pragma once

// The per-user temporary directory, where the tool leaves its snapshot. The
// snapshot lists a user's files, so a directory that others could read or
// replace is refused rather than used. In order:
//   1. $TMPDIR, when it is set and names a directory;
//   2. $XDG_RUNTIME_DIR, when it is a directory owned by the user with mode 0700;
//   3. /tmp/fwkit-<uid>, created with mode 0700 when missing, and used only
//      when lstat shows a real directory (not a link) owned by the user with
//      no group or other access.
// The answer has no trailing slash, e.g. "/tmp/fwkit-1000".

#include <optional>
#include <string>
#include <string_view>

namespace fw {

// nullopt when the last candidate is refused; `reason` then says why, and
// `candidate` (when given) receives the refused path, so a caller can name
// the file it could not write.
[[nodiscard]] std::optional<std::u16string> temporaryDirectory(std::string* reason = nullptr,
                                                               std::u16string* candidate = nullptr);

// The third rule alone, with `parent` standing in for "/tmp": creates and
// checks <parent>/fwkit-<uid>. Returns its UTF-8 path, or nullopt with
// `reason`.
[[nodiscard]] std::optional<std::string> perUserDirectoryIn(std::string_view parent,
                                                            std::string* reason = nullptr);

}  // namespace fw
