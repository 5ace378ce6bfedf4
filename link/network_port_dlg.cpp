#include "link/network_port_dlg.h"

#include "app/main_dlg.h"
#include "port/serial_port.h"
#include "params/parameter_file.h"

using namespace ui;

namespace {

constexpr int kListedPorts = 16;
// Characters of the status field's line.
constexpr std::size_t kStatusWidth = 56;

const DialogTemplate& NetworkPortTemplate()
{
    static const DialogTemplate tpl{
        0,
        "Netzwerk-Schnittstelle",
        250,
        138,
        8,
        SystemMenu,
        {
            {IDC_STATIC, Kind::Label, "Schnittstelle:", 7, 9, 60, 8},
            {IDC_NET_COM,
             Kind::ComboBox,
             "",
             70,
             7,
             48,
             158,
             0,
             0,
             {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "COM10", "COM11", "COM12",
              "COM13", "COM14", "COM15", "COM16"}},
            {IDC_STATIC, Kind::Label, "Verbindung:", 7, 27, 60, 8},
            {IDC_NET_KIND,
             Kind::ComboBox,
             "",
             70,
             25,
             70,
             60,
             0,
             0,
             {kPortKindNames[0], kPortKindNames[1], kPortKindNames[2]}},
            {IDC_NET_HOST_LABEL, Kind::Label, "Rechner:", 7, 45, 60, 8},
            {IDC_NET_HOST, Kind::Edit, "", 70, 43, 173, 14},
            {IDC_NET_PORT_LABEL, Kind::Label, "Port:", 7, 63, 60, 8},
            {IDC_NET_PORT, Kind::Edit, "", 70, 61, 40, 14},
            {IDC_STATIC, Kind::Label, "Zuschlag [ms]:", 125, 63, 55, 8},
            {IDC_NET_ALLOWANCE, Kind::Edit, "", 183, 61, 40, 14},
            // What "Testen" found, two or three lines of it.
            {IDC_NET_STATUS, Kind::Edit, "", 7, 81, 236, 28, MultiLine | ReadOnly},
            {IDC_NET_TEST, Kind::PushButton, "Testen", 7, 117, 50, 14},
            {IDOK, Kind::PushButton, "OK", 137, 117, 50, 14, DefaultButton},
            {IDCANCEL, Kind::PushButton, "Abbrechen", 193, 117, 50, 14},
        },
    };
    return tpl;
}

} // namespace

CNetworkPortDlg::CNetworkPortDlg(int comPort, std::string settings, CDialog* parent)
    : CDialog(NetworkPortTemplate(), parent), m_settings(std::move(settings))
{
    m_setup.comPort = comPort >= 1 && comPort <= kListedPorts ? comPort : 1;
    OnSelChange(IDC_NET_COM, [this] { OnComChanged(); });
    OnSelChange(IDC_NET_KIND, [this] { OnKindChanged(); });
    OnClicked(IDC_NET_TEST, [this] { OnTest(); });
}

bool CNetworkPortDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_setup = ReadPortSetup(m_setup.comPort, m_settings);
    ShowSetup();
    return true;
}

void CNetworkPortDlg::ShowSetup()
{
    SetCurSel(IDC_NET_COM, m_setup.comPort - 1);
    SetCurSel(IDC_NET_KIND, static_cast<int>(m_setup.kind));
    SetItemText(IDC_NET_HOST, m_setup.host);
    SetItemText(IDC_NET_PORT, m_setup.port);
    SetItemText(IDC_NET_ALLOWANCE, m_setup.allowance);
    SetItemText(IDC_NET_STATUS, "");
    OnKindChanged();
}

void CNetworkPortDlg::TakeFields()
{
    m_setup.comPort = GetCurSel(IDC_NET_COM) + 1;
    m_setup.kind = static_cast<PortKind>(GetCurSel(IDC_NET_KIND));
    m_setup.host = GetItemText(IDC_NET_HOST);
    m_setup.port = GetItemText(IDC_NET_PORT);
    m_setup.allowance = GetItemText(IDC_NET_ALLOWANCE);
}

void CNetworkPortDlg::OnComChanged()
{
    m_setup = ReadPortSetup(GetCurSel(IDC_NET_COM) + 1, m_settings);
    ShowSetup();
}

void CNetworkPortDlg::OnKindChanged()
{
    const bool network = static_cast<PortKind>(GetCurSel(IDC_NET_KIND)) != PortKind::Serial;
    const bool wasNetwork = GetItemText(IDC_NET_HOST_LABEL) != "Gerät:";
    // Between a host and a device nothing typed carries over.
    if (network != wasNetwork)
        SetItemText(IDC_NET_HOST, network ? m_setup.host : m_setup.serialDevice);
    SetItemText(IDC_NET_HOST_LABEL, network ? "Rechner:" : "Gerät:");
    ShowItem(IDC_NET_PORT_LABEL, network);
    ShowItem(IDC_NET_PORT, network);
}

void CNetworkPortDlg::OnTest()
{
    TakeFields();
    std::string problem;
    const auto entry = PortEntry(m_setup, &problem);
    SetItemText(IDC_NET_STATUS, WrapLines(entry ? TestPort(*entry) : problem, kStatusWidth));
}

void CNetworkPortDlg::OnOK()
{
    TakeFields();
    std::string problem;
    const auto entry = PortEntry(m_setup, &problem);
    if (!entry) {
        SetItemText(IDC_NET_STATUS, WrapLines(problem, kStatusWidth));
        MessageBox(problem, "Fehler", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!WritePortSetup(m_setup, *entry, m_settings)) {
        MessageBox(CannotWriteMessage(m_settings), "Fehler", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    EndDialog(IDOK);
}

void CMainDlg::OnNetworkPort()
{
    // The test may reach the same device server as the port the window holds:
    // that port rests meanwhile, and no live reading mixes with the test.
    KillTimer(kLiveReadingTimer);
    if (g_pPort != nullptr)
        g_pPort->Close();
    int result = kEndedWithoutResult;
    int comPort = m_nComPort;
    {
        CNetworkPortDlg dialog(m_nComPort, m_szIniPath, this);
        result = dialog.DoModal();
        comPort = dialog.ComPort();
    }
    if (result == kEndedWithoutResult)
        return; // the program is ending: not another frame
    if (result == IDOK) {
        // As if the user had chosen the port in the list.
        SelectPortEntry(comPort);
        OnSelchangePort();
    } else if (g_pPort != nullptr) {
        g_pPort->Reopen();
    }
    SetTimer(kLiveReadingTimer, kLiveReadingPeriodMs);
}
