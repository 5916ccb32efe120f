// The names a screen reader hears on Windows, read through MSAA from real
// windows: the same as the black-box tests hear over AT-SPI on Linux.
#include "support.h"
#include "ui/dialogs/download_dialog.h"
#include "ui/dialogs/list_chooser.h"
#include "ui/dialogs/text_prompt.h"
#include "ui/main_frame.h"
#include "unit/http_server.h" // Winsock before windows.h

#include <wx/app.h>
#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/textctrl.h>

#include <oleacc.h>

namespace tw {
namespace {

using namespace test;

// The name MSAA gives a window's client area (what wxAccessible answers for);
// "" when it has none.
std::string heard(wxWindow* window) {
    IAccessible* acc = nullptr;
    BSTR name = nullptr;
    VARIANT self{};
    self.vt = VT_I4; // and CHILDID_SELF, 0
    if (FAILED(AccessibleObjectFromWindow(static_cast<HWND>(window->GetHWND()), OBJID_CLIENT,
                                          IID_IAccessible, reinterpret_cast<void**>(&acc))))
        return "<no accessible object>";
    acc->get_accName(self, &name);
    std::string s = name ? wxString(name).utf8_string() : "";
    SysFreeString(name);
    acc->Release();
    return s;
}

// A top-level window's title, which a screen reader reads from its title bar.
std::string title_of(wxWindow* window) {
    wchar_t text[512] = {};
    GetWindowTextW(static_cast<HWND>(window->GetHWND()), text, 512);
    return wxString(text).utf8_string();
}

template <class T> void find(wxWindow* window, std::vector<T*>& found) {
    if (auto* t = dynamic_cast<T*>(window))
        found.push_back(t);
    for (auto* child : window->GetChildren())
        find(child, found);
}

struct dialog_names {
    std::string window;  // the client area's name
    std::string title;   // its title bar's
    std::string control; // the first T's in it
};

// What the dialog that `open` shows, and the first T in it, are heard as.
template <class T> dialog_names heard_in_dialog(const std::function<void()>& open) {
    dialog_names names{"<no such window>", "<no such window>", "<no such window>"};
    wxTheApp->CallAfter([&] {
        auto* dialog = wxTopLevelWindows.GetLast()->GetData();
        names.window = heard(dialog);
        names.title = title_of(dialog);
        std::vector<T*> found;
        find(dialog, found);
        names.control = found.empty() ? "<no such control>" : heard(found[0]);
        dialog->Close();
    });
    open();
    return names;
}

TEST(Names, TheFrameAndTheGameScreen) {
    temp_dir saves;
    auto* frame = new main_frame(saves.path());
    const std::string title = "Tallowick, by Brennholt.";
    EXPECT_EQ(heard(frame), title);
    ASSERT_TRUE(frame->launch_game(binary_dir / "stories/lantern.z5", {}));
    std::vector<wxTextCtrl*> fields;
    find(frame, fields);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(heard(fields[0]), "Input.");
    EXPECT_EQ(heard(fields[1]), "Output.");
    // The frame's name is said once: no screen inside it repeats it.
    std::vector<wxPanel*> panels;
    find(frame, panels);
    ASSERT_FALSE(panels.empty());
    for (auto* panel : panels)
        EXPECT_NE(heard(panel), title);
    // Ends the game first: Wine's X11 driver fails when a maximized frame
    // goes with the game screen in it. (Close() would end the program.)
    frame->show_first_screen();
    delete frame;
}

// Each dialog is named by its title, in the title bar and to the screen
// reader alike; the one control of a dialog named by its question or its
// list's header carries no name of its own, so that it is heard once.
TEST(Names, TheDialogsAndWhatTheyHold) {
    const std::string title = "Please choose a game you wish to play.";
    auto chooser = heard_in_dialog<wxListView>([&] { choose_from_list(title, {"A", "B"}, "A"); });
    EXPECT_EQ(chooser.window, title);
    EXPECT_EQ(chooser.title, title);
    EXPECT_EQ(chooser.control, "");

    const std::string question = "What would you like to name your game?";
    auto prompt = heard_in_dialog<wxTextCtrl>([&] { ask(nullptr, question); });
    EXPECT_EQ(prompt.window, question);
    EXPECT_EQ(prompt.title, question);
    EXPECT_EQ(prompt.control, "");

    http_server server;
    server.stall("/slow.z5", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nsome");
    temp_dir dir;
    auto progress = heard_in_dialog<wxGauge>(
        [&] { download(dir / "slow.z5", server.url("/slow.z5"), "Slow Game"); });
    EXPECT_EQ(progress.window, "Downloading Slow Game.");
    EXPECT_EQ(progress.title, "Downloading Slow Game.");
    EXPECT_EQ(progress.control, "Download Progress.");
}

} // namespace
} // namespace tw

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    int wx_argc = 1;
    // Listing the tests (at build time) needs no windows.
    if (!GTEST_FLAG_GET(list_tests)) {
        wxApp::SetInstance(new wxApp);
        if (!wxEntryStart(wx_argc, argv) || !wxTheApp->CallOnInit())
            return 2;
    }
    return RUN_ALL_TESTS();
}
