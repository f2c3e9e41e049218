#include "platform/plist/xml/expat_reader.h"

#include <expat.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/plist/tree_builder.h"
#include "platform/plist/xml/fast_reader.h"

namespace fw::plist {
namespace {

// Blocks handed to expat when streaming a file.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;

// expat's tokens become grammar calls; expat checks the XML, the grammar
// the property list.
class ExpatReader {
 public:
  explicit ExpatReader(PropertyListEvents& events)
      : grammar_(events), parser_(XML_ParserCreate(nullptr)) {
    if (!parser_) return;
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &ExpatReader::onStart, &ExpatReader::onEnd);
    XML_SetCharacterDataHandler(parser_, &ExpatReader::onText);
    XML_SetEntityDeclHandler(parser_, &ExpatReader::onEntityDecl);
    XML_SetSkippedEntityHandler(parser_, &ExpatReader::onSkippedEntity);
  }
  ~ExpatReader() {
    if (parser_) XML_ParserFree(parser_);
  }
  ExpatReader(const ExpatReader&) = delete;
  ExpatReader& operator=(const ExpatReader&) = delete;

  // Feeds one piece of the document; `last` marks the end. False once the
  // document is refused.
  bool feed(const char* bytes, std::size_t size, bool last) {
    if (!parser_) return fail("out of memory");
    if (XML_Parse(parser_, bytes, static_cast<int>(size), last) != XML_STATUS_OK) {
      return noteExpatError();
    }
    return !failed_;
  }

  // Reads into expat's own buffer, so no byte is copied twice.
  bool feedFromFd(int fd) {
    if (!parser_) return fail("out of memory");
    for (;;) {
      void* buffer = XML_GetBuffer(parser_, static_cast<int>(kBlockSize));
      if (!buffer) return fail("out of memory");
      ssize_t n;
      do {
        n = ::read(fd, buffer, kBlockSize);
      } while (n < 0 && errno == EINTR);
      if (n < 0) return fail(std::string("read failed: ") + std::strerror(errno));
      if (XML_ParseBuffer(parser_, static_cast<int>(n), n == 0) != XML_STATUS_OK) {
        return noteExpatError();
      }
      if (failed_) return false;
      if (n == 0) return true;
    }
  }

  bool finish(std::string* reason) {
    if (!failed_ && !grammar_.finish()) fail(grammar_.failure());
    if (failed_ && reason) *reason = error_;
    return !failed_;
  }

 private:
  static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char**) {
    auto* r = static_cast<ExpatReader*>(self);
    const std::string_view n(name);
    const std::optional<xml::Element> e = xml::elementNamed(n);
    if (!(e ? r->grammar_.open(*e) : r->grammar_.openUnknown(n))) r->stop();
  }
  static void XMLCALL onEnd(void* self, const XML_Char*) {
    auto* r = static_cast<ExpatReader*>(self);
    if (!r->grammar_.close()) r->stop();
  }
  static void XMLCALL onText(void* self, const XML_Char* s, int len) {
    auto* r = static_cast<ExpatReader*>(self);
    if (!r->grammar_.text(std::string_view(s, static_cast<std::size_t>(len)), false)) r->stop();
  }
  static void XMLCALL onEntityDecl(void* self, const XML_Char*, int, const XML_Char*, int,
                                   const XML_Char*, const XML_Char*, const XML_Char*,
                                   const XML_Char*) {
    // Entity declarations serve no property list and open the door to
    // expansion attacks, so a document that declares one is refused.
    static_cast<ExpatReader*>(self)->fail("entity declarations are not allowed");
  }
  static void XMLCALL onSkippedEntity(void* self, const XML_Char* name, int) {
    static_cast<ExpatReader*>(self)->fail(std::string("undefined entity &") + name + ";");
  }

  std::string where() const {
    return " (line " + std::to_string(XML_GetCurrentLineNumber(parser_)) + ", byte " +
           std::to_string(XML_GetCurrentByteIndex(parser_)) + ")";
  }

  // The grammar refused: its reason, and stop.
  void stop() { fail(grammar_.failure()); }

  bool fail(std::string message) {
    if (failed_) return false;
    failed_ = true;
    error_ = std::move(message);
    if (parser_) {
      error_ += where();
      XML_StopParser(parser_, XML_FALSE);
    }
    return false;
  }

  bool noteExpatError() {
    if (failed_) return false;  // our own refusal stopped the parser
    failed_ = true;
    error_ = std::string("malformed XML: ") + XML_ErrorString(XML_GetErrorCode(parser_)) + where();
    return false;
  }

  xml::Grammar grammar_;
  XML_Parser parser_;
  std::string error_;
  bool failed_ = false;
};

template <class Read>
std::optional<Value> buildTree(Read read) {
  TreeBuilder tree;
  if (!read(tree)) return std::nullopt;
  return tree.take();
}

}  // namespace

bool readXmlEventsWithExpat(std::span<const std::uint8_t> bytes, PropertyListEvents& events,
                            std::string* reason) {
  ExpatReader reader(events);
  const char* p = reinterpret_cast<const char*>(bytes.data());
  std::size_t left = bytes.size();
  // expat takes an int length, so a huge buffer goes in pieces.
  constexpr std::size_t kPiece = std::size_t{1} << 28;
  do {
    const std::size_t n = left < kPiece ? left : kPiece;
    left -= n;
    if (!reader.feed(p, n, left == 0)) break;
    p += n;
  } while (left > 0);
  return reader.finish(reason);
}

bool readXmlEventsWithExpatFromFd(int fd, PropertyListEvents& events, std::string* reason) {
  ExpatReader reader(events);
  (void)reader.feedFromFd(fd);
  return reader.finish(reason);
}

bool readXmlEvents(std::span<const std::uint8_t> bytes, PropertyListEvents& events,
                   std::string* reason, XmlReaderUsed* used) {
  if (used) *used = XmlReaderUsed::Dedicated;
  switch (readXmlEventsFast(bytes, events, reason)) {
    case FastXmlResult::Read: return true;
    case FastXmlResult::Refused: return false;
    case FastXmlResult::HandedOver: break;
  }
  if (used) *used = XmlReaderUsed::Expat;
  events.restart();
  return readXmlEventsWithExpat(bytes, events, reason);
}

bool readXmlEventsFromFd(int fd, PropertyListEvents& events, std::string* reason,
                         XmlReaderUsed* used) {
  if (used) *used = XmlReaderUsed::Dedicated;
  const off_t start = ::lseek(fd, 0, SEEK_CUR);
  switch (readXmlEventsFastFromFd(fd, events, reason)) {
    case FastXmlResult::Read: return true;
    case FastXmlResult::Refused: return false;
    case FastXmlResult::HandedOver: break;
  }
  if (used) *used = XmlReaderUsed::Expat;
  if (start < 0 || ::lseek(fd, start, SEEK_SET) != start) {
    if (reason) *reason = std::string("cannot read the document again: ") + std::strerror(errno);
    return false;
  }
  events.restart();
  return readXmlEventsWithExpatFromFd(fd, events, reason);
}

std::optional<Value> readXmlPropertyList(std::span<const std::uint8_t> bytes, std::string* reason,
                                         XmlReaderUsed* used) {
  return buildTree([&](TreeBuilder& tree) { return readXmlEvents(bytes, tree, reason, used); });
}

std::optional<Value> readXmlPropertyListWithExpat(std::span<const std::uint8_t> bytes,
                                                  std::string* reason) {
  return buildTree([&](TreeBuilder& tree) { return readXmlEventsWithExpat(bytes, tree, reason); });
}

std::optional<Value> readXmlPropertyListFromFd(int fd, std::string* reason) {
  return buildTree([&](TreeBuilder& tree) { return readXmlEventsFromFd(fd, tree, reason); });
}

}  // namespace fw::plist
