#include "app/PasswordGate.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/MainFormFakes.h"

namespace moonglow {
namespace {

using namespace testing;

struct PasswordGate : ::testing::Test {
  // A gate that has asked the platform its family.
  TPasswordGate& Found() {
    Gate.FindFamily();
    return Gate;
  }
  bool MayClose() { return Gate.MayClose(Host, CursorStart); }

  TLog Log;
  TFakePlatform Platform{Log};
  TFakeHost Host{Log};
  TPasswordGate Gate{Platform};
  TPoint CursorStart{1, 2};
};

TEST_F(PasswordGate, NTFamilyNeverAsksAndTellsTheSystemNothing) {
  Platform.UsePassword = true;
  Platform.Answers = {false};
  Found().SaverRunning(true);
  EXPECT_TRUE(MayClose());
  Gate.SaverRunning(false);
  EXPECT_TRUE(Log.empty());
}

TEST_F(PasswordGate, StandsOpenUntilItKnowsTheFamily) {
  Platform.AskForPassword({false});
  Gate.SaverRunning(true);
  EXPECT_TRUE(MayClose());
  EXPECT_TRUE(Log.empty());
  Found().SaverRunning(true);
  Gate.SaverRunning(false);
  EXPECT_EQ(Log, (TLog{"notice-on", "notice-off"}));
}

TEST_F(PasswordGate, The95FamilyAsksOnlyWithThePasswordSetAndTheCheckThere) {
  Platform.NT = false;
  Platform.Answers = {false};
  EXPECT_TRUE(Found().MayClose(Host, CursorStart));  // no password set
  Platform.UsePassword = true;
  Platform.HasPasswordService = false;
  EXPECT_TRUE(MayClose());
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(CursorStart, (TPoint{1, 2}));
}

TEST_F(PasswordGate, RefusalHidesTheCursorAgainAndMovesTheStartToIt) {
  Platform.AskForPassword({false, true});
  Host.Cursor = {900, 10};
  EXPECT_FALSE(Found().MayClose(Host, CursorStart));
  // The check is unloaded only once the refusal has been dealt with.
  EXPECT_EQ(Log, (TLog{"cursor-show", "verify 77", "cursor-hide", "close-ime", "unload-password"}));
  EXPECT_EQ(CursorStart, (TPoint{900, 10}));
  EXPECT_EQ(Host.CursorCount, 0);

  Log.clear();
  Host.Cursor = {5, 5};
  EXPECT_TRUE(MayClose());
  EXPECT_EQ(Log, (TLog{"cursor-show", "verify 77", "unload-password"}));
  EXPECT_EQ(CursorStart, (TPoint{900, 10}));
  EXPECT_EQ(Host.CursorCount, 1);  // the saver's close hides nothing again
}

TEST_F(PasswordGate, FailingCheckIsUnloadedAndTheFailureGoesOn) {
  Platform.AskForPassword();
  Platform.WhilePromptOpen = [] { throw std::runtime_error("no password service"); };
  EXPECT_THROW(Found().MayClose(Host, CursorStart), std::runtime_error);
  EXPECT_EQ(Log, (TLog{"cursor-show", "verify 77", "unload-password"}));
}

TEST_F(PasswordGate, ChangePasswordGoesToTheSystemsDialogOnAnyFamily) {
  Gate.ChangePassword(4242);
  EXPECT_EQ(Log, (TLog{"change-password 4242"}));
}

}  // namespace
}  // namespace moonglow
