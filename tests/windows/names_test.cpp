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
#include <wx/textctrl.h>

#include <oleacc.h>

namespace tw {
namespace {

using namespace test;

std::string heard(wxWindow* window) {
    IAccessible* acc = nullptr;
    BSTR name = nullptr;
    VARIANT self{};
    self.vt = VT_I4; // and CHILDID_SELF, 0
    if (SUCCEEDED(AccessibleObjectFromWindow(static_cast<HWND>(window->GetHWND()), OBJID_CLIENT,
                                             IID_IAccessible, reinterpret_cast<void**>(&acc))))
        acc->get_accName(self, &name);
    std::string s = name ? wxString(name).utf8_string() : "<nothing>";
    SysFreeString(name);
    if (acc)
        acc->Release();
    return s;
}

template <class T> void find(wxWindow* window, std::vector<T*>& found) {
    if (auto* t = dynamic_cast<T*>(window))
        found.push_back(t);
    for (auto* child : window->GetChildren())
        find(child, found);
}

// What the first T in the dialog that `open` shows is heard as.
template <class T> std::string heard_in_dialog(const std::function<void()>& open) {
    std::string name = "<no such window>";
    wxTheApp->CallAfter([&] {
        auto* dialog = wxTopLevelWindows.GetLast()->GetData();
        std::vector<T*> found;
        find(dialog, found);
        if (!found.empty())
            name = heard(found[0]);
        dialog->Close();
    });
    open();
    return name;
}

TEST(Names, TheFrameAndTheGameScreen) {
    temp_dir saves;
    auto* frame = new main_frame(saves.path());
    EXPECT_EQ(heard(frame), "Tallowick, by Brennholt.");
    ASSERT_TRUE(frame->launch_game(binary_dir / "stories/lantern.z5"));
    std::vector<wxTextCtrl*> fields;
    find(frame, fields);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(heard(fields[0]), "Input.");
    EXPECT_EQ(heard(fields[1]), "Output.");
    // Ends the game first: Wine's X11 driver fails when a maximized frame
    // goes with the game screen in it. (Close() would end the program.)
    frame->show_first_screen();
    delete frame;
}

TEST(Names, TheDialogsFieldsListAndGauge) {
    const wxString title = "Please choose a game you wish to play.";
    EXPECT_EQ(heard_in_dialog<wxListView>([&] {
                  choose_from_list(title, {"A", "B"}, "A");
              }),
              title);
    const wxString question = "What would you like to name your game?";
    EXPECT_EQ(heard_in_dialog<wxTextCtrl>([&] { ask(nullptr, question); }), question);
    http_server server;
    server.stall("/slow.z5", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nsome");
    temp_dir dir;
    EXPECT_EQ(heard_in_dialog<wxGauge>([&] { download(dir / "slow.z5", server.url("/slow.z5")); }),
              "Download Progress.");
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
