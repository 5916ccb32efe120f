#include "gui/gui.h"

#include "app/mywin.h"

#include <wx/button.h>
#include <wx/panel.h>

#include <gtest/gtest.h>

using namespace guitest;

TEST(FirstScreen, ThreeButtonsFullyVisibleAndFocusOnOpen) {
    auto* win = new tw::Mywin(nullptr, "Tallowick, by Brennholt.");
    settle();
    EXPECT_EQ(win->GetName(), "Tallowick, by Brennholt.");
    EXPECT_EQ(win->GetTitle(), "Tallowick, by Brennholt.");
    const wxString labels[] = {"Open a game.", "Choose a game from our database.", "Exit!"};
    std::vector<wxButton*> buttons;
    for (const auto& label : labels) {
        auto found = find_all(win, label);
        ASSERT_EQ(found.size(), 1u) << label;
        buttons.push_back(dynamic_cast<wxButton*>(found[0]));
        ASSERT_TRUE(buttons.back()) << label;
    }
    // The frame's size reaches GTK asynchronously; wait for it to settle.
    auto cut_off = [&] {
        std::string report;
        wxRect client(wxPoint(0, 0), win->GetClientSize());
        for (auto* b : buttons) {
            wxRect r(win->ScreenToClient(b->GetScreenPosition()), b->GetSize());
            if (!client.Contains(r) || r.GetWidth() < b->GetBestSize().GetWidth())
                report += b->GetLabel().utf8_string() + " ";
        }
        return report;
    };
    pump_until([&] { return cut_off().empty(); });
    EXPECT_EQ(cut_off(), "") << "frame " << win->GetSize().x << "x" << win->GetSize().y;
    EXPECT_TRUE(pump_until([] {
        auto* f = wxWindow::FindFocus();
        return f && f->GetLabel() == "Open a game.";
    }));
    win->Destroy();
    settle();
}
