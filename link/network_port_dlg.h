#pragma once
// "Netzwerk-Schnittstelle": sets up a COMn as a port of a device server (or as
// a serial device again) and tries it with "Testen", which connects and asks
// the relay for one reading. OK writes the [PORTS] entry; the main window then
// selects that COMn as a choice in the list would.

#include <string>

#include "link/network_setup.h"
#include "ui/dialog.h"

// Control ids of the window.
enum : int {
    IDC_NET_COM = 1401,
    IDC_NET_KIND = 1402,
    IDC_NET_HOST_LABEL = 1403,
    IDC_NET_HOST = 1404,
    IDC_NET_PORT = 1405,
    IDC_NET_ALLOWANCE = 1406,
    IDC_NET_TEST = 1407,
    IDC_NET_STATUS = 1408,
    IDC_NET_PORT_LABEL = 1409,
};

class CNetworkPortDlg : public ui::CDialog {
public:
    // Shows COM<comPort> of the settings file at settings.
    CNetworkPortDlg(int comPort, std::string settings, ui::CDialog* parent);

    // The COMn that OK wrote.
    int ComPort() const { return m_setup.comPort; }

    void OnComChanged();
    void OnKindChanged();
    void OnTest();

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    // The fields into m_setup, and back.
    void TakeFields();
    void ShowSetup();

    std::string m_settings;
    PortSetup m_setup;
};
