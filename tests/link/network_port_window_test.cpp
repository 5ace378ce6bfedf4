// "Netzwerk-Schnittstelle..." in the main window, on both kit backends: a port
// set up, tested and selected; a network port shown for editing and turned
// back into a serial one; a malformed entry refused.

#include "link/network_port_dlg.h"
#include "tests/support/window_fixture.h"

namespace {

// The status field's text as one line: it is broken at blanks to fit.
std::string OneLine(const std::string& text)
{
    std::string line;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const bool lineEnd = text.compare(at, 2, "\r\n") == 0;
        line += lineEnd ? ' ' : text[at];
        at += lineEnd ? 1 : 0;
    }
    return line;
}

class NetworkPortWindowTest : public WindowTest {
protected:
    // Opens the window from the menu and runs steps on it.
    void WithDialog(const std::function<void(ui::CDialog&)>& steps)
    {
        WhenModalOpens(steps);
        dlg->SendSysCommand(IDM_NETWORK_PORT);
    }

    static void Choose(ui::CDialog& dialog, int id, int index)
    {
        dialog.SetCurSel(id, index);
        dialog.SendCommand(id);
    }
};

TEST_F(NetworkPortWindowTest, ATestedPortIsWrittenAndSelected)
{
    StartSim();
    OpenWindow();
    std::vector<std::string> statuses;
    WithDialog([&](ui::CDialog& dialog) {
        Choose(dialog, IDC_NET_COM, 4);
        Choose(dialog, IDC_NET_KIND, static_cast<int>(PortKind::Rfc2217));
        dialog.SetItemText(IDC_NET_HOST, "127.0.0.1");
        for (const char* port : {"0", "1"}) {
            dialog.SetItemText(IDC_NET_PORT, port);
            dialog.SendCommand(IDC_NET_TEST);
            statuses.push_back(OneLine(dialog.GetItemText(IDC_NET_STATUS)));
        }
        dialog.SetItemText(IDC_NET_PORT, "70000");
        dialog.SendCommand(ui::IDOK); // refused: the window stays
        dialog.SetItemText(IDC_NET_PORT, "1");
        dialog.SendCommand(ui::IDOK);
    });
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_NE(statuses[0].find("zwischen 1 und 65535"), std::string::npos) << statuses[0];
    EXPECT_NE(statuses[1].find("Auf 127.0.0.1:1 nimmt niemand Verbindungen an"), std::string::npos) << statuses[1];
    EXPECT_TRUE(IniHasLine("COM5=rfc2217://127.0.0.1:1"));
    // Selected as a choice in the list would: saved, and opened with its one box.
    EXPECT_EQ(dlg->ComPort(), 5);
    EXPECT_TRUE(IniHasLine("COM=5"));
    const std::vector<std::string> texts = ui.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Die Portnummer muss zwischen 1 und 65535 liegen.");
    EXPECT_EQ(texts[1], "Kann Schnittstelle COM5 nicht öffnen\r\n" + statuses[1].substr(statuses[1].find("Auf ")));
}

TEST_F(NetworkPortWindowTest, ANetworkPortIsShownForEditingAndTurnsBackIntoASerialOne)
{
    extraIni = "COM3=tcp://[::1]:4002\nCOM3_ZUSCHLAG=1500\n";
    StartSim();
    OpenWindow();
    std::string host, port, allowance, label;
    int kind = -1;
    bool portShown = false;
    WithDialog([&](ui::CDialog& dialog) {
        Choose(dialog, IDC_NET_COM, 2);
        kind = dialog.GetCurSel(IDC_NET_KIND);
        host = dialog.GetItemText(IDC_NET_HOST);
        port = dialog.GetItemText(IDC_NET_PORT);
        allowance = dialog.GetItemText(IDC_NET_ALLOWANCE);
        Choose(dialog, IDC_NET_KIND, static_cast<int>(PortKind::Serial));
        label = dialog.GetItemText(IDC_NET_HOST_LABEL);
        portShown = dialog.IsItemVisible(IDC_NET_PORT);
        dialog.SetItemText(IDC_NET_HOST, "/dev/ttyUSB3");
        dialog.SetItemText(IDC_NET_ALLOWANCE, "");
        dialog.SendCommand(ui::IDOK);
    });
    EXPECT_EQ(kind, static_cast<int>(PortKind::Raw));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, "4002");
    EXPECT_EQ(allowance, "1500");
    EXPECT_EQ(label, "Gerät:");
    EXPECT_FALSE(portShown);
    EXPECT_TRUE(IniHasLine("COM3=/dev/ttyUSB3"));
    EXPECT_TRUE(IniHasLine("COM3_ZUSCHLAG="));
    EXPECT_EQ(dlg->ComPort(), 3);
}

} // namespace
