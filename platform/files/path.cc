#include "platform/files/path.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/strings/unicode.h"

namespace fw {
namespace {

std::string_view withoutTrailingSlashes(std::string_view p) {
  while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
  return p;
}

std::u16string_view withoutTrailingSlashes(std::u16string_view p) {
  while (p.size() > 1 && p.back() == u'/') p.remove_suffix(1);
  return p;
}

std::string passwordHome(const char* user) {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  const int rc = user ? getpwnam_r(user, &entry, buffer.data(), buffer.size(), &found)
                      : getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
  if (rc != 0 || found == nullptr || found->pw_dir == nullptr) return {};
  return found->pw_dir;
}

}  // namespace

std::optional<std::string> fileSystemRepresentation(std::u16string_view path,
                                                    UnpairedSurrogates surrogates) {
  if (path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
  if (surrogates == UnpairedSurrogates::kRefuse) return utf16ToUtf8(path);
  return utf16ToUtf8Lossy(path);
}

bool isFileSystemPath(std::string_view bytes) { return bytes.find('\0') == std::string_view::npos; }

std::string homeDirectoryUtf8() {
  const char* env = std::getenv("HOME");
  std::string home = (env && *env) ? std::string(env) : passwordHome(nullptr);
  home.resize(withoutTrailingSlashes(home).size());
  return home;
}

std::u16string homeDirectory() { return utf8ToUtf16Lossy(homeDirectoryUtf8()); }

std::u16string stringByExpandingTildeInPath(std::u16string_view path) {
  if (path.empty() || path[0] != u'~') return std::u16string(path);
  const std::size_t slash = path.find(u'/');
  const std::u16string_view user =
      path.substr(1, slash == std::u16string_view::npos ? path.npos : slash - 1);
  const std::u16string_view rest =
      slash == std::u16string_view::npos ? std::u16string_view() : path.substr(slash);
  std::u16string home;
  if (user.empty()) {
    home = homeDirectory();
  } else {
    // A user name is looked up whole or not at all.
    const std::optional<std::string> name =
        fileSystemRepresentation(user, UnpairedSurrogates::kRefuse);
    if (!name) return std::u16string(path);
    const std::string dir = passwordHome(name->c_str());
    if (dir.empty()) return std::u16string(path);
    home = utf8ToUtf16Lossy(withoutTrailingSlashes(dir));
  }
  if (home == u"/" && !rest.empty()) return std::u16string(rest);
  return home + std::u16string(rest);
}

std::u16string stringByAbbreviatingWithTildeInPath(std::u16string_view path,
                                                   std::u16string_view home) {
  const std::u16string_view p = withoutTrailingSlashes(path);
  if (home.empty()) return std::u16string(p);
  if (p == home) return u"~";
  if (home == u"/") {
    if (p.size() > 1 && p[0] == u'/') return u"~" + std::u16string(p);
    return std::u16string(p);
  }
  if (p.size() > home.size() && p.substr(0, home.size()) == home && p[home.size()] == u'/') {
    return u"~" + std::u16string(p.substr(home.size()));
  }
  return std::u16string(p);
}

std::u16string stringByAbbreviatingWithTildeInPath(std::u16string_view path) {
  return stringByAbbreviatingWithTildeInPath(path, homeDirectory());
}

std::u16string stringByAppendingPathComponent(std::u16string_view path,
                                              std::u16string_view component) {
  if (path.empty()) return std::u16string(component);
  std::u16string out(path);
  if (out.back() != u'/') out.push_back(u'/');
  out.append(component);
  return out;
}

std::u16string lastPathComponent(std::u16string_view path) {
  const std::u16string_view p = withoutTrailingSlashes(path);
  if (p == u"/") return u"/";
  const std::size_t slash = p.rfind(u'/');
  return std::u16string(slash == std::u16string_view::npos ? p : p.substr(slash + 1));
}

std::vector<std::u16string> pathComponents(std::u16string_view path) {
  std::vector<std::u16string> out;
  std::size_t i = 0;
  if (!path.empty() && path[0] == u'/') {
    out.emplace_back(u"/");
    i = 1;
  }
  while (i < path.size()) {
    const std::size_t slash = path.find(u'/', i);
    const std::size_t end = slash == std::u16string_view::npos ? path.size() : slash;
    if (end > i) out.emplace_back(path.substr(i, end - i));
    i = end + 1;
  }
  return out;
}

}  // namespace fw
