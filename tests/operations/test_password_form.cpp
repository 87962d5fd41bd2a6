// The password forms: what each box keeps of typed text (by firmware capability), the full form's
// "use the default password" box, and the checks of OK with the box each failure empties.
#include <gtest/gtest.h>

#include "operations/Password.h"

using namespace recdesk;
using namespace recdesk::operations;
using Box = PasswordForm::Box;
using Kind = PasswordForm::Kind;

TEST(PasswordBox, KeepsTheLeadingRunOfAllowedCharactersUpToFour) {
  // Capability 0: a "0" removes itself and everything after it.
  EXPECT_EQ(filterPasswordBox("1203", false), "12");
  EXPECT_EQ(filterPasswordBox("0123", false), "");
  EXPECT_EQ(filterPasswordBox("1203", true), "1203");
  EXPECT_EQ(filterPasswordBox("123456", true), "1234");
  EXPECT_EQ(filterPasswordBox("12 4", true), "12");
  EXPECT_EQ(filterPasswordBox("a123", true), "");
  EXPECT_EQ(passwordCharacters(false), "123456789");
  EXPECT_EQ(passwordCharacters(true), "1234567890");
}

TEST(PasswordForm, NewOnlyFormSendsTheFactoryPasswordAsTheOldOne) {
  PasswordForm f(Kind::NewOnly, true);
  f.setText(Box::New, "1230");
  f.setText(Box::Confirm, "1230");
  ASSERT_TRUE(f.validate().ok);
  EXPECT_EQ(f.changeLine(), "$R5,PWD,6284,1230\r\n");
}

TEST(PasswordForm, EachCheckNamesItsTextAndEmptiesItsBox) {
  for (bool capability : {false, true}) {
    const TextId rule = capability ? TextId::PasswordRuleWithZero : TextId::PasswordRuleWithoutZero;
    PasswordForm f(Kind::Full, capability);
    f.setText(Box::Old, "12");
    f.setText(Box::New, "5678");
    f.setText(Box::Confirm, "5678");
    auto v = f.validate();
    EXPECT_FALSE(v.ok);
    EXPECT_EQ(v.message, rule);
    EXPECT_EQ(v.box, Box::Old);
    EXPECT_EQ(f.text(Box::Old), "");
    EXPECT_EQ(f.text(Box::New), "5678");

    // An empty old password counts as the factory one; a short new password is refused.
    f.setText(Box::New, "567");
    v = f.validate();
    EXPECT_EQ(v.box, Box::New);
    EXPECT_EQ(v.message, rule);
    EXPECT_EQ(f.text(Box::New), "");

    // A confirmation that differs keeps the form open with 57721 and an empty confirmation.
    f.setText(Box::New, "5678");
    f.setText(Box::Confirm, "5679");
    v = f.validate();
    EXPECT_EQ(v.message, TextId::PasswordConfirmationDiffers);
    EXPECT_EQ(v.box, Box::Confirm);
    EXPECT_EQ(f.text(Box::Confirm), "");

    f.setText(Box::Confirm, "5678");
    ASSERT_TRUE(f.validate().ok);
    EXPECT_EQ(f.changeLine(), "$R5,PWD,6284,5678\r\n");
  }
}

TEST(PasswordForm, UseDefaultFillsAndLocksNewAndConfirmation) {
  PasswordForm f(Kind::Full, false);
  EXPECT_EQ(f.okCaption(), TextId::PasswordChangeButton);
  f.setUseDefault(true);
  EXPECT_EQ(f.okCaption(), TextId::PasswordResetButton);
  EXPECT_EQ(f.text(Box::New), "6284");
  EXPECT_EQ(f.text(Box::Confirm), "6284");
  EXPECT_FALSE(f.enabled(Box::New));
  EXPECT_FALSE(f.masked(Box::Confirm));
  f.setText(Box::New, "1111");  // a disabled box takes no typing
  EXPECT_EQ(f.text(Box::New), "6284");
  f.setText(Box::Old, "4321");
  ASSERT_TRUE(f.validate().ok);
  EXPECT_EQ(f.changeLine(), "$R5,PWD,4321,6284\r\n");

  f.setUseDefault(false);
  EXPECT_EQ(f.okCaption(), TextId::PasswordChangeButton);
  EXPECT_EQ(f.text(Box::New), "");
  EXPECT_TRUE(f.enabled(Box::Confirm));
  EXPECT_TRUE(f.masked(Box::New));
}
