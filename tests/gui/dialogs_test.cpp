#include "gui/gui.h"

#include "app/mywin.h"
#include "dialogs/menu.h"

#include <gtest/gtest.h>

using namespace guitest;

namespace {

const std::vector<wxString> three = {"castle.sav", "dungeon.sav", "tower.sav"};

int choose(const std::vector<wxString>& ids, const wxString& value,
           const std::function<void(wxDialog&)>& act) {
    int result = -2;
    with_modal(act, [&] { result = tw::menu("Please choose a save file.", ids, value); });
    return result;
}

} // namespace

TEST(Chooser, EnterAtOnceChoosesThePreselectedRow) {
    EXPECT_EQ(choose(three, three[0], [](wxDialog&) { press(WXK_RETURN); }), 0);
}

TEST(Chooser, ArrowThenEnterChoosesThatRow) {
    EXPECT_EQ(choose(three, three[0],
                     [](wxDialog&) {
                         press(WXK_DOWN);
                         press(WXK_DOWN);
                         press(WXK_RETURN);
                     }),
              2);
}

TEST(Chooser, EscapeIsNotAChoice) {
    EXPECT_EQ(choose(three, three[0], [](wxDialog&) { press(WXK_ESCAPE); }), -1);
}

TEST(Chooser, CloseBoxIsNotAChoice) {
    EXPECT_EQ(choose(three, three[0], [](wxDialog& d) { d.Close(); }), -1);
}

TEST(Chooser, TwoMatchingRowsFocusTheSecond) {
    std::vector<wxString> ids = {"a", "b", "a", "c"};
    EXPECT_EQ(choose(ids, "a", [](wxDialog&) { press(WXK_RETURN); }), 2);
}

TEST(Chooser, HeaderAndNameAreTheTitle) {
    choose(three, three[0], [](wxDialog& d) {
        EXPECT_EQ(find_all(&d, "Please choose a save file.").size(), 1u);
        press(WXK_ESCAPE);
    });
}

TEST(Chooser, EmptyListGivesMinusOne) {
    EXPECT_EQ(choose({}, wxString(),
                     [](wxDialog& d) {
                         press(WXK_RETURN);
                         EXPECT_TRUE(d.IsModal()); // nothing to activate
                         press(WXK_ESCAPE);
                     }),
              -1);
}

TEST(Prompt, OkReturnsTheTypedText) {
    wxString answer = "unset";
    with_modal(
        [](wxDialog&) {
            type("castle");
            press(WXK_RETURN);
        },
        [&] { answer = tw::Mywin::ask(nullptr, "What would you like to name your game?"); });
    EXPECT_EQ(answer, "castle");
}

TEST(Prompt, CancelReturnsNothingEvenAfterTyping) {
    wxString answer = "unset";
    with_modal(
        [](wxDialog&) {
            type("castle");
            press(WXK_ESCAPE);
        },
        [&] { answer = tw::Mywin::ask(nullptr, "What would you like to name your game?"); });
    EXPECT_EQ(answer, "");
}

TEST(Prompt, FieldIsNamedByTheQuestion) {
    with_modal(
        [](wxDialog& d) {
            EXPECT_EQ(d.GetName(), "What would you like to name your game?");
            EXPECT_EQ(wxWindow::FindFocus()->GetName(), "What would you like to name your game?");
            press(WXK_ESCAPE);
        },
        [&] { tw::Mywin::ask(nullptr, "What would you like to name your game?"); });
}
