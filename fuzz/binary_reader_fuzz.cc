// Reads any bytes as a binary property list; whatever is accepted must write
// back with our writer and read again to an equal value.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/plist/binary/reader.h"
#include "platform/plist/binary/writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto value = fw::plist::readBinaryPropertyList(std::span<const std::uint8_t>(data, size));
  if (!value) return 0;
  const auto written = fw::plist::writeBinaryPropertyList(*value);
  if (!written) std::abort();
  const auto again = fw::plist::readBinaryPropertyList(*written);
  if (!again || !(*again == *value)) std::abort();
  return 0;
}
