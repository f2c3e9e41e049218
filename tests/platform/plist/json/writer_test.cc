#include "platform/plist/json/writer.h"

#include <gtest/gtest.h>

namespace fw::plist {
namespace {

// Characters XML cannot carry are kept, escaped, and the streamed text is
// the whole text, handed over in bounded pieces.
TEST(JsonWriter, KeepsEveryCharacterAndStreamsTheSameText) {
  Dictionary keys;
  keys.set(u"Quit\x1b@q", Value::string(std::u16string(u"\0\x1f\uFFFE", 3)));
  keys.set(u"lone", Value::string(std::u16string(1, char16_t(0xD800))));
  EXPECT_EQ(writeJson(Value::dictionary(std::move(keys))),
            "{\n  \"Quit\\u001b@q\": \"\\u0000\\u001f\uFFFE\",\n  \"lone\": \"\\ud800\"\n}\n");

  Array items(30000, Value::string(u"text \"quoted\""));
  const Value big = Value::array(std::move(items));
  std::string text;
  int pieces = 0;
  EXPECT_TRUE(writeJson(big, [&](std::string_view piece) {
    EXPECT_LE(piece.size(), kTextSinkPiece + 4096);
    text += piece;
    ++pieces;
    return true;
  }));
  EXPECT_EQ(text, writeJson(big));
  EXPECT_GT(pieces, 5);
  pieces = 0;
  EXPECT_FALSE(writeJson(big, [&](std::string_view) { return ++pieces < 3; }));
  EXPECT_EQ(pieces, 3);
}

}  // namespace
}  // namespace fw::plist
