// The dedicated XML reader and expat must agree on any byte string: both
// read it to equal values (compared deeply, reals by their bits, dates
// exactly), or both refuse it with a reason. The dedicated reader on its
// own either agrees as well or hands the document over.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/plist/tree_builder.h"
#include "platform/plist/xml/expat_reader.h"
#include "platform/plist/xml/fast_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  std::string expatWhy;
  const auto expat = fw::plist::readXmlPropertyListWithExpat(bytes, &expatWhy);
  if (!expat && expatWhy.empty()) std::abort();

  fw::plist::TreeBuilder tree;
  std::string fastWhy;
  switch (fw::plist::readXmlEventsFast(bytes, tree, &fastWhy)) {
    case fw::plist::FastXmlResult::Read: {
      const auto fast = tree.take();
      if (!fast || !expat || !(*fast == *expat)) std::abort();
      break;
    }
    case fw::plist::FastXmlResult::Refused:
      if (expat || fastWhy.empty()) std::abort();
      break;
    case fw::plist::FastXmlResult::HandedOver:
      if (fastWhy.empty()) std::abort();
      break;
  }

  // And the combined reader gives expat's answer.
  std::string why;
  const auto combined = fw::plist::readXmlPropertyList(bytes, &why);
  if (combined.has_value() != expat.has_value()) std::abort();
  if (combined && !(*combined == *expat)) std::abort();
  return 0;
}
