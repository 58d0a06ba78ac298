#include "platform/contacts/address_book.h"

#include <gtest/gtest.h>

#include "platform/testing/test_app.h"

namespace platform::contacts {
namespace {

class ABAddressBookTest : public ::testing::Test {
 protected:
  std::shared_ptr<ABAddressBook> open() {
    Result<std::shared_ptr<ABAddressBook>> book = ABAddressBook::create();
    EXPECT_TRUE(book.ok());
    return book.ok() ? *book : nullptr;
  }
  platform::testing::TestApp app_;
};

TEST_F(ABAddressBookTest, PeopleAndGroupsSurviveASaveWithNonASCIINames) {
  auto book = open();
  ASSERT_TRUE(book);
  EXPECT_FALSE(book->hasUnsavedChanges());
  auto person = ABRecord::createPerson();
  ASSERT_TRUE(person->setValue(kABPersonFirstNameProperty, Value("J\xC3\xBCrgen")));
  ASSERT_TRUE(person->setValue(kABPersonLastNameProperty, Value("M\xC3\xBCller; Jr.")));
  ABMultiValue phones(kABMultiStringPropertyType);
  phones.add(Value("+49 30 1234"), "_$!<Mobile>!$_");
  phones.add(Value("+49 30 5678"), "work, main");
  ASSERT_TRUE(person->setValue(kABPersonPhoneProperty, phones));
  ASSERT_TRUE(person->setValue(kABPersonBirthdayProperty, Value(Date{86400 * 365})));
  person->setImageData(bytesOf("\x89PNG data"));
  EXPECT_FALSE(person->setValue(kABPersonFirstNameProperty, Value(3)));
  EXPECT_FALSE(person->setValue(99, Value("x")));
  ASSERT_TRUE(book->addRecord(person));
  EXPECT_FALSE(book->addRecord(person));
  auto group = ABRecord::createGroup();
  ASSERT_TRUE(group->setValue(kABGroupNameProperty, Value("Fr\xC3\xBCnde")));
  ASSERT_TRUE(book->addRecord(group));
  ASSERT_TRUE(group->addMember(*person));
  EXPECT_TRUE(book->hasUnsavedChanges());
  ASSERT_TRUE(book->save());
  EXPECT_FALSE(book->hasUnsavedChanges());

  auto again = open();
  ASSERT_EQ(again->allPeople().size(), 1u);
  auto read = again->personWithRecordID(person->recordID());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->compositeName(), "J\xC3\xBCrgen M\xC3\xBCller; Jr.");
  auto readPhones = read->copyValue(kABPersonPhoneProperty);
  ASSERT_TRUE(readPhones);
  const ABMultiValue& list = std::get<ABMultiValue>(*readPhones);
  ASSERT_EQ(list.count(), 2u);
  EXPECT_EQ(list.labelAt(1), "work, main");
  EXPECT_EQ(list.valueAt(0), Value("+49 30 1234"));
  EXPECT_EQ(std::get<Value>(*read->copyValue(kABPersonBirthdayProperty)), Value(Date{86400 * 365}));
  EXPECT_EQ(read->imageData(), bytesOf("\x89PNG data"));
  auto readGroup = again->groupWithRecordID(group->recordID());
  ASSERT_TRUE(readGroup);
  EXPECT_EQ(readGroup->compositeName(), "Fr\xC3\xBCnde");
  EXPECT_EQ(readGroup->memberIDs(), std::vector<ABRecordID>{person->recordID()});
  EXPECT_EQ(readGroup->members(), std::vector<std::shared_ptr<ABRecord>>{read});
  EXPECT_EQ(again->peopleWithName("j\xC3\xBC").size(), 1u);
  EXPECT_EQ(again->peopleWithName("m").size(), 1u);
  EXPECT_EQ(again->peopleWithName("x").size(), 0u);

  ASSERT_TRUE(again->removeRecord(read));
  EXPECT_TRUE(readGroup->memberIDs().empty());
  ASSERT_TRUE(again->save());
  EXPECT_FALSE(std::filesystem::exists(ABAddressBook::folder() /
                                       (std::to_string(person->recordID()) + ".vcf")));
}

TEST_F(ABAddressBookTest, ForeignCardsAreSkipped) {
  std::filesystem::create_directories(ABAddressBook::folder());
  for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
           {"7.vcf", "BEGIN:VCARD\r\nX-VOKARU-ID:8\r\nFN:Mismatch\r\nEND:VCARD\r\n"},
           {"9.vcf", "garbage"},
           {"notes.txt", "BEGIN:VCARD\r\nX-VOKARU-ID:3\r\nEND:VCARD\r\n"},
       }) {
    std::FILE* file = std::fopen((ABAddressBook::folder() / name).c_str(), "w");
    std::fputs(content.c_str(), file);
    std::fclose(file);
  }
  auto book = open();
  ASSERT_TRUE(book);
  EXPECT_TRUE(book->allPeople().empty());
}

TEST(ABMultiValueTest, IdentifiersStayWithTheirEntries) {
  ABMultiValue list(kABMultiStringPropertyType);
  const ABMultiValueIdentifier a = list.add(Value("a"), "one");
  const ABMultiValueIdentifier b = list.insert(Value("b"), "two", 0);
  EXPECT_EQ(list.indexForIdentifier(a), 1u);
  EXPECT_EQ(list.indexForIdentifier(b), 0u);
  list.removeAt(0);
  EXPECT_EQ(list.indexForIdentifier(a), 0u);
  EXPECT_EQ(list.indexForIdentifier(b), std::nullopt);
  EXPECT_EQ(ABAddressBook::localizedLabel("_$!<Home>!$_"), "home");
  EXPECT_EQ(ABAddressBook::localizedLabel("custom"), "custom");
}

}  // namespace
}  // namespace platform::contacts
