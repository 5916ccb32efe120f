// The game screen with the real interpreter and our own story.
#include "gui/gui.h"

#include "app/mywin.h"
#include "game/session_ui.h"

#include <wx/button.h>
#include <wx/textctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace guitest;

namespace {

const std::filesystem::path story = TALLOWICK_BINARY_DIR "/stories/lantern.z5";

class Game : public testing::Test {
  protected:
    void SetUp() override {
        tw::savepath = dir.path;
        win = new tw::Mywin(nullptr, "Tallowick, by Brennholt.");
        ASSERT_TRUE(win->launch_game(story));
        ASSERT_TRUE(shows("Hobb the caretaker nods."));
        clear_spoken();
    }
    void TearDown() override {
        win->Destroy();
        settle();
    }

    std::string output() const { return win->t2 ? win->t2->GetValue().utf8_string() : ""; }
    bool shows(const std::string& text) {
        return pump_until([&] { return output().find(text) != std::string::npos; });
    }
    bool heard(const std::string& text) {
        return pump_until([&] {
            auto s = spoken();
            return std::find(s.begin(), s.end(), text) != s.end();
        });
    }
    void enter(const std::string& command) {
        win->t1->SetFocus();
        settle();
        type(command);
        press(WXK_RETURN);
    }
    bool first_screen_back() {
        return pump_until([&] {
            auto* f = wxWindow::FindFocus();
            return !win->t1 && f && f->GetLabel() == "Open a game.";
        });
    }

    temp_dir dir;
    tw::Mywin* win = nullptr;
};

} // namespace

TEST_F(Game, ScreenIsMaximisedWithFocusInTheInput) {
    // Maximising is the window manager's business; Xvfb runs none.
    EXPECT_TRUE(pump_until([&] { return wxWindow::FindFocus() == win->t1; }));
    EXPECT_EQ(win->t1->GetName(), "Input.");
    EXPECT_EQ(win->t2->GetName(), "Output.");
    EXPECT_FALSE(win->t2->IsEditable());
    EXPECT_TRUE(win->t2->AcceptsFocusFromKeyboard());
}

TEST_F(Game, ATurnIsShownAndSpokenInSegments) {
    // The opening was cut after "Mr." and shown line by line.
    EXPECT_NE(output().find("Mr.\nHobb"), std::string::npos);
    enter("take key");
    EXPECT_TRUE(shows("Taken."));
    EXPECT_TRUE(heard("Taken.\n"));
    EXPECT_TRUE(heard("[The score has just gone up by five points.]\n"));
    EXPECT_EQ(win->last_input, "take key");
    EXPECT_EQ(win->t1->GetValue(), "");
}

TEST_F(Game, CtrlDigitReplaysTheHistory) {
    enter("take key");
    ASSERT_TRUE(shows("Taken."));
    enter("inventory");
    ASSERT_TRUE(shows("brass key"));
    // The turn before "inventory" was the answer to "take key".
    const std::string newest = win->history().replay(0);
    EXPECT_NE(newest.find("Taken."), std::string::npos);
    clear_spoken();
    win->t1->SetFocus();
    press('0', wxMOD_CONTROL);
    EXPECT_TRUE(heard(newest));
    press('1', wxMOD_CONTROL);
    EXPECT_TRUE(heard(win->history().replay(1)));
    EXPECT_EQ(win->t1->GetValue(), "");
}

TEST_F(Game, UpRecallsTheLastCommand) {
    enter("look");
    win->t1->SetFocus();
    type("xyz");
    press(WXK_UP);
    EXPECT_EQ(win->t1->GetValue(), "look");
    EXPECT_EQ(win->t1->GetInsertionPoint(), win->t1->GetLastPosition());
    win->t1->Clear();
    press(WXK_UP, wxMOD_CONTROL);
    EXPECT_EQ(win->t1->GetValue(), "look");
    EXPECT_EQ(wxWindow::FindFocus(), win->t1);
}

TEST_F(Game, ChordsForGameCommandsAreConsumed) {
    win->t1->SetFocus();
    press('h', wxMOD_CONTROL);
    press('z', wxMOD_CONTROL);
    EXPECT_EQ(win->t1->GetValue(), "");
    EXPECT_EQ(win->last_input, ""); // chords are not typed commands
    // Ctrl+Q asks first; No sends nothing and the game goes on.
    with_modal(
        [](wxDialog& d) {
            EXPECT_EQ(d.GetTitle(), "Confirmation.");
            press(WXK_ESCAPE);
        },
        [&] { press('q', wxMOD_CONTROL); });
    EXPECT_EQ(win->t1->GetValue(), "");
    enter("look");
    EXPECT_TRUE(shows("draughty"));
}

TEST_F(Game, TypingInTheOutputViewGoesToTheInput) {
    win->t1->SetValue("ta");
    win->t2->SetFocus();
    settle();
    // Focus puts the caret at the end, ready to read the newest output.
    EXPECT_EQ(win->t2->GetInsertionPoint(), win->t2->GetLastPosition());
    press('K');
    EXPECT_EQ(win->t1->GetValue(), "tak");
    EXPECT_EQ(wxWindow::FindFocus(), win->t1);
    win->t2->SetFocus();
    settle();
    press('E', wxMOD_SHIFT);
    EXPECT_EQ(win->t1->GetValue(), "takE");
    // Keys without a character stay in the view, for reading.
    win->t2->SetFocus();
    settle();
    win->t2->SetInsertionPoint(0);
    press(WXK_DOWN);
    EXPECT_EQ(wxWindow::FindFocus(), win->t2);
    EXPECT_GT(win->t2->GetInsertionPoint(), 0);
}

TEST_F(Game, SaveAndRestoreByName) {
    enter("take key");
    ASSERT_TRUE(shows("Taken."));
    with_modal(
        [](wxDialog&) {
            type("castle");
            press(WXK_RETURN);
        },
        [&] {
            win->t1->SetFocus();
            press('s', wxMOD_CONTROL);
        });
    const auto save = std::filesystem::path(dir.path) / "castle.sav";
    EXPECT_TRUE(pump_until([&] { return std::filesystem::exists(save); }));
    enter("drop key");
    ASSERT_TRUE(shows("Dropped."));
    with_modal([](wxDialog&) { press(WXK_RETURN); }, [&] { enter("restore"); });
    enter("inventory");
    EXPECT_TRUE(shows("You're carrying:\na brass key")) << output();
}

TEST_F(Game, CancelledPromptAndDismissedChooserSendNothing) {
    with_modal([](wxDialog&) { press(WXK_ESCAPE); }, [&] { enter("save"); });
    std::ofstream(std::filesystem::path(dir.path) / "old.sav") << "x";
    with_modal([](wxDialog&) { press(WXK_ESCAPE); }, [&] { enter("restore"); });
    EXPECT_EQ(win->history().lastoutput().find("Please enter a filename"), std::string::npos);
    enter("look");
    EXPECT_TRUE(shows("draughty"));
}

TEST_F(Game, LongTextDoesNotSwallowTheNextCommand) {
    enter("read ledger");
    ASSERT_TRUE(shows("Entry 150: the end of the ledger."));
    enter("inventory");
    EXPECT_TRUE(shows("You're carrying nothing."));
}

TEST_F(Game, QuitConfirmedReturnsToTheFirstScreen) {
    with_modal([](wxDialog&) { press(WXK_RETURN); }, [&] { enter("quit"); });
    EXPECT_TRUE(first_screen_back());
    EXPECT_FALSE(win->timer.IsRunning());
}

TEST_F(Game, WinningEndsTheGame) {
    enter("take key");
    enter("unlock door with key");
    EXPECT_TRUE(heard("[Your map has been updated. Well done.]\n"));
    enter("north");
    EXPECT_TRUE(first_screen_back());
    EXPECT_TRUE(heard("*** You have won ***\n"));
}

TEST_F(Game, InterpreterEndingUnderAnOpenPromptWaitsForIt) {
    // The prompt runs inside the input field's key handler; the screen must
    // not be torn down under it.
    with_modal(
        [&](wxDialog&) {
            win->handle->process->kill();
            pump_until([&] { return win->handle->process->poll().has_value(); });
            settle();
            EXPECT_TRUE(win->t1);
            press(WXK_ESCAPE);
        },
        [&] {
            win->t1->SetFocus();
            press('s', wxMOD_CONTROL);
        });
    EXPECT_TRUE(first_screen_back());
}
