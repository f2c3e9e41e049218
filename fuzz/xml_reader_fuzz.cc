// Any byte string is read or refused; a value that is read writes back as
// XML that reads again to an equal value.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/plist/xml/expat_reader.h"
#include "platform/plist/xml/writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string reason;
  const auto value =
      fw::plist::readXmlPropertyList(std::span<const std::uint8_t>(data, size), &reason);
  if (!value) {
    if (reason.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  // XML the reader accepted holds nothing the writer must refuse.
  const auto xml = fw::plist::writeXmlPropertyList(*value);
  if (!xml) std::abort();
  const auto again = fw::plist::readXmlPropertyList(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(xml->data()), xml->size()));
  if (!again) std::abort();
  return 0;
}
