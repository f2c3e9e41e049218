#include "extensions/objects/array_misc.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/runtime/object.h"

namespace fw {
namespace {

TEST(ObjectAtIndexA, AnswersAbsentOutsideTheBounds) {
  const std::vector<std::shared_ptr<Object>> three = {
      std::make_shared<Object>(), std::make_shared<Object>(), std::make_shared<Object>()};
  EXPECT_EQ(objectAtIndexA(&three, -1), nullptr);
  EXPECT_EQ(objectAtIndexA(&three, 0), three[0]);
  EXPECT_EQ(objectAtIndexA(&three, 2), three[2]);
  EXPECT_EQ(objectAtIndexA(&three, 3), nullptr);
  EXPECT_EQ(objectAtIndexA(&three, INT32_MIN), nullptr);
  const std::vector<std::shared_ptr<Object>> empty;
  EXPECT_EQ(objectAtIndexA(&empty, 0), nullptr);
  EXPECT_EQ(objectAtIndexA(static_cast<const std::vector<std::shared_ptr<Object>>*>(nullptr), 0),
            nullptr);

  const std::vector<std::u16string> names = {u"/", u"a"};
  EXPECT_EQ(objectAtIndexA(&names, 1), std::optional<std::u16string>(u"a"));
  EXPECT_EQ(objectAtIndexA(&names, 2), std::nullopt);
  EXPECT_EQ(objectAtIndexA(&names, INT32_MIN), std::nullopt);
  EXPECT_EQ(objectAtIndexA(static_cast<const std::vector<std::u16string>*>(nullptr), 0),
            std::nullopt);
}

TEST(ContainsObjectIdenticalTo, ComparesIdentityNotContent) {
  const auto a = std::make_shared<std::u16string>(u"x");
  const auto twin = std::make_shared<std::u16string>(u"x");
  const std::vector<std::shared_ptr<std::u16string>> array = {a};
  EXPECT_TRUE(containsObjectIdenticalTo(&array, a.get()));
  EXPECT_FALSE(containsObjectIdenticalTo(&array, twin.get()));
  EXPECT_FALSE(containsObjectIdenticalTo(&array, static_cast<const std::u16string*>(nullptr)));
  const std::vector<std::shared_ptr<std::u16string>> withNull = {nullptr};
  EXPECT_FALSE(containsObjectIdenticalTo(&withNull, static_cast<const std::u16string*>(nullptr)));
  const std::vector<std::shared_ptr<std::u16string>> empty;
  EXPECT_FALSE(containsObjectIdenticalTo(&empty, a.get()));
  EXPECT_FALSE(containsObjectIdenticalTo(
      static_cast<const std::vector<std::shared_ptr<std::u16string>>*>(nullptr), a.get()));

  const std::vector<std::u16string> names = {u"/", u"x"};
  const std::u16string equal = u"x";
  EXPECT_TRUE(containsObjectIdenticalTo(&names, &names[1]));
  EXPECT_FALSE(containsObjectIdenticalTo(&names, &equal));
  EXPECT_FALSE(containsObjectIdenticalTo(&names, static_cast<const std::u16string*>(nullptr)));
  EXPECT_FALSE(containsObjectIdenticalTo(static_cast<const std::vector<std::u16string>*>(nullptr),
                                         &names[0]));
}

// The Object base sits after Mixin, at a non-zero offset, so the element's
// address and its Object's address differ.
struct Mixin {
  virtual ~Mixin() = default;
  long tag = 7;
};
struct Mixed : Mixin, Object {};

TEST(ContainsObjectIdenticalTo, FindsTheObjectThroughAnyOfItsBases) {
  const auto v = std::make_shared<Mixed>();
  const auto other = std::make_shared<Mixed>();
  const std::vector<std::shared_ptr<Mixed>> mixed = {other, v};
  const Object* asObject = v.get();
  ASSERT_NE(static_cast<const void*>(asObject), static_cast<const void*>(v.get()));
  EXPECT_TRUE(containsObjectIdenticalTo(&mixed, asObject));
  EXPECT_TRUE(containsObjectIdenticalTo(&mixed, static_cast<const Mixin*>(v.get())));
  EXPECT_FALSE(containsObjectIdenticalTo(
      &mixed, static_cast<const Object*>(std::make_shared<Mixed>().get())));
  // Held as Objects, searched for as the derived class.
  const std::vector<std::shared_ptr<Object>> objects = {other, v};
  EXPECT_TRUE(containsObjectIdenticalTo(&objects, v.get()));
}

TEST(Add, SkipsAbsentAndAppendsDuplicates) {
  const auto a = std::make_shared<Object>();
  std::vector<std::shared_ptr<Object>> array = {a};
  add(&array, std::shared_ptr<Object>());
  EXPECT_EQ(array.size(), 1u);
  add(&array, a);
  ASSERT_EQ(array.size(), 2u);
  EXPECT_EQ(array[1], a);
  add(static_cast<std::vector<std::shared_ptr<Object>>*>(nullptr), a);  // no crash

  std::vector<std::u16string> names;
  add(&names, std::optional<std::u16string>());
  add(&names, std::optional<std::u16string>(u"b"));
  EXPECT_EQ(names, std::vector<std::u16string>{u"b"});
}

}  // namespace
}  // namespace fw
