#include "toolbox/address_book/ztm_ab_address_book.h"

#include <gtest/gtest.h>

#include "platform/testing/assertion_capture.h"
#include "platform/testing/test_app.h"
#include "platform/ui/image_file.h"

namespace {

using platform::Value;
using namespace platform::contacts;

class ZTMABAddressBookTest : public ::testing::Test {
 protected:
  platform::testing::TestApp app_;
};

TEST_F(ZTMABAddressBookTest, SettingValuesChecksThePropertyType) {
  auto person = ZSDK_ZTMABPerson::personWithFirstName("Zo\xC3\xAB", std::nullopt);
  ASSERT_TRUE(person);
  EXPECT_FALSE(person->setValue(Value(42), kABPersonFirstNameProperty));  // a number for a text
  EXPECT_FALSE(person->setValue(std::nullopt, kABPersonLastNameProperty));
  EXPECT_FALSE(person->setValue(Value("x"), 99));
  EXPECT_EQ(std::get<Value>(*person->valueForProperty(kABPersonFirstNameProperty)),
            Value("Zo\xC3\xAB"));

  auto integers = ZSDK_ZTMABMutableMultiValue::valueWithPropertyType(kABMultiIntegerPropertyType);
  ASSERT_TRUE(integers);
  EXPECT_FALSE(person->setValue(ZTMABValue(integers), kABPersonPhoneProperty));

  auto phones = ZSDK_ZTMABMutableMultiValue::valueWithPropertyType(kABMultiStringPropertyType);
  EXPECT_EQ(phones->addValue(Value(1), "home"), kABMultiValueInvalidIdentifier);
  EXPECT_EQ(phones->addValue(Value("1"), std::nullopt), kABMultiValueInvalidIdentifier);
  EXPECT_NE(phones->addValue(Value("+1 555"), "home"), kABMultiValueInvalidIdentifier);
  ASSERT_TRUE(person->setValue(ZTMABValue(phones), kABPersonPhoneProperty));
  auto read = person->valueForProperty(kABPersonPhoneProperty);
  ASSERT_TRUE(read);
  auto multi = std::get<std::shared_ptr<ZSDK_ZTMABMultiValue>>(*read);
  EXPECT_TRUE(multi->isEqual(*phones));
  EXPECT_TRUE(person->removeValueForProperty(kABPersonPhoneProperty));
  EXPECT_FALSE(person->removeValueForProperty(kABPersonPhoneProperty));
}

TEST_F(ZTMABAddressBookTest, MultiValuesByIndexAndIdentifier) {
  auto list = ZSDK_ZTMABMutableMultiValue::valueWithPropertyType(kABMultiStringPropertyType);
  EXPECT_EQ(ZSDK_ZTMABMutableMultiValue::valueWithPropertyType(kABInvalidPropertyType), nullptr);
  const ABMultiValueIdentifier a = list->addValue(Value("a"), "one");
  const ABMultiValueIdentifier c = list->insertValue(Value("c"), "three", 1);  // == count appends
  EXPECT_EQ(list->insertValue(Value("x"), "far", 5), kABMultiValueInvalidIdentifier);
  const ABMultiValueIdentifier b = list->insertValue(Value("b"), "two", 1);
  EXPECT_EQ(list->count(), 3u);
  EXPECT_EQ(list->valueAtIndex(1), Value("b"));
  EXPECT_EQ(list->labelAtIndex(2), "three");
  EXPECT_EQ(list->valueAtIndex(3), std::nullopt);
  EXPECT_EQ(list->identifierAtIndex(3), kABMultiValueInvalidIdentifier);
  EXPECT_EQ(list->indexForIdentifier(c), 2);
  EXPECT_EQ(list->indexForIdentifier(99), kZTMABNotFound);
  EXPECT_EQ(list->valueForIdentifier(a), Value("a"));
  EXPECT_EQ(list->labelForIdentifier(99), std::nullopt);
  EXPECT_TRUE(list->replaceLabelAtIndex(1, "deux"));
  EXPECT_FALSE(list->replaceValueAtIndex(1, Value(2)));
  EXPECT_TRUE(list->removeValueAndLabelAtIndex(0));
  EXPECT_FALSE(list->removeValueAndLabelAtIndex(5));
  EXPECT_EQ(list->labelForIdentifier(b), "deux");

  // Copies share the multi-value; a mutable copy has its own, equal until changed.
  auto shared = list->copy();
  auto own = list->mutableCopy();
  EXPECT_EQ(shared->multiValueRef(), list->multiValueRef());
  EXPECT_TRUE(own->isEqual(*list));
  EXPECT_EQ(own->hash(), list->hash());
  own->addValue(Value("d"), "four");
  EXPECT_FALSE(own->isEqual(*list));
  EXPECT_EQ(list->count(), 2u);

  auto emptyA = ZSDK_ZTMABMutableMultiValue::valueWithPropertyType(kABMultiStringPropertyType);
  auto emptyB = ZSDK_ZTMABMutableMultiValue::valueWithPropertyType(kABMultiRealPropertyType);
  EXPECT_TRUE(emptyA->isEqual(*emptyB));
}

TEST_F(ZTMABAddressBookTest, EnumeratorsStopWhenTheMultiValueChanges) {
  auto list = ZSDK_ZTMABMutableMultiValue::valueWithPropertyType(kABMultiStringPropertyType);
  list->addValue(Value("a"), "one");
  list->addValue(Value("b"), "two");
  auto labels = list->labelEnumerator();
  EXPECT_EQ(labels->nextObject(), Value("one"));
  EXPECT_EQ(labels->nextObject(), Value("two"));
  EXPECT_EQ(labels->nextObject(), std::nullopt);

  auto values = list->valueEnumerator();
  EXPECT_EQ(values->nextObject(), Value("a"));
  list->addValue(Value("c"), "three");
  platform::testing::AssertionCapture assertions;
  EXPECT_EQ(values->nextObject(), std::nullopt);
  ASSERT_EQ(assertions.messages().size(), 1u);
  EXPECT_NE(assertions.messages()[0].find("was mutated while being enumerated"), std::string::npos);
}

TEST_F(ZTMABAddressBookTest, PeopleAndGroupsRoundTripThroughTheBook) {
  auto book = ZSDK_ZTMABAddressBook::addressBook();
  ASSERT_TRUE(book);
  auto person = ZSDK_ZTMABPerson::personWithFirstName("\xC3\x89lodie", "Dupr\xC3\xA9");
  platform::ui::Image dot;
  dot.width = dot.height = 1;
  dot.rgba = {1, 2, 3, 255};
  ASSERT_TRUE(person->setImage(dot));
  EXPECT_FALSE(person->setImageData(platform::bytesOf("not an image")));
  auto group = ZSDK_ZTMABGroup::groupNamed("\xC3\x89quipe");
  EXPECT_FALSE(book->addRecord(nullptr));
  ASSERT_TRUE(book->addRecord(person));
  ASSERT_TRUE(book->addRecord(group));
  ASSERT_TRUE(group->addMember(person));
  EXPECT_FALSE(group->addMember(nullptr));
  ASSERT_TRUE(book->save());

  auto again = ZSDK_ZTMABAddressBook::addressBook();
  ASSERT_EQ(again->people().size(), 1u);
  auto read = again->personForId(person->recordID());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->compositeName(), "\xC3\x89lodie Dupr\xC3\xA9");
  EXPECT_EQ(read->image()->rgba, dot.rgba);
  EXPECT_EQ(again->groupForId(person->recordID()), nullptr);
  auto readGroup = again->groupForId(group->recordID());
  ASSERT_TRUE(readGroup);
  ASSERT_EQ(readGroup->members().size(), 1u);
  EXPECT_TRUE(readGroup->members()[0]->isEqual(*read));
  EXPECT_EQ(again->groupsWithCompositeNameWithPrefix("eq").size(), 1u);
  EXPECT_EQ(again->groupsWithCompositeNameWithPrefix("\xC3\xA9QUI").size(), 1u);
  EXPECT_EQ(again->groupsWithCompositeNameWithPrefix("x").size(), 0u);
  EXPECT_EQ(again->peopleWithCompositeNameWithPrefix("dup").size(), 1u);

  ASSERT_TRUE(read->setImage(std::nullopt));
  EXPECT_EQ(read->imageData(), std::nullopt);
  EXPECT_EQ(readGroup->localizedPropertyName(kABGroupNameProperty), "");
  EXPECT_EQ(readGroup->localizedPropertyName(5), "UNKNOWN_PROPERTY");
  EXPECT_EQ(ZSDK_ZTMABAddressBook::localizedLabel("_$!<Work>!$_"), "work");
}

}  // namespace
