#include "port/serial_port.h"

#include "files/settings_file.h"
#include "port/net_device.h"
#include "port/serial_device.h"

#include <algorithm>
#include <cstdio>
#include <utility>

CSerialPort* g_pPort = nullptr;

namespace {

CSerialPort::Hooks& HookStore()
{
    static CSerialPort::Hooks hooks;
    return hooks;
}

std::optional<CSerialPort::Hooks>& ThreadHookStore()
{
    thread_local std::optional<CSerialPort::Hooks> hooks;
    return hooks;
}

std::function<std::chrono::steady_clock::time_point()>& ClockStore()
{
    static std::function<std::chrono::steady_clock::time_point()> clock;
    return clock;
}

std::chrono::steady_clock::time_point Now()
{
    const auto& clock = ClockStore();
    return clock ? clock() : std::chrono::steady_clock::now();
}

void Report(const std::string& text)
{
    const std::string caption = "ERROR";
    const auto& hooks = CSerialPort::GetHooks();
    if (hooks.reportError)
        hooks.reportError(text, caption);
    else
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

// The port's own message when a device cannot be had, with the reason on a line of its own.
void ReportOpenFailure(const std::string& name, OpenFailure failure, const std::string& path, const std::string& detail)
{
    Report("Kann Schnittstelle " + name + " nicht öffnen\r\n" + OpenFailureReason(failure, path, detail));
}

} // namespace

std::string OpenFailureReason(OpenFailure failure, const std::string& path, const std::string& detail)
{
    if (failure == OpenFailure::None)
        return "";
    if (path.empty())
        return "In [PORTS] von KorvenCtrl.ini ist für diese Schnittstelle kein Gerät eingetragen.";
    if (IsNetworkFailure(failure))
        return NetworkFailureReason(failure, path, detail);
    const std::string device = DeviceDisplayName(path);
    switch (failure) {
    case OpenFailure::None:
        break;
    case OpenFailure::Missing:
        return device +
               " ist nicht vorhanden: den Adapter einstecken, oder die Schnittstelle wählen, an der das Gerät hängt.";
    case OpenFailure::Busy:
        return device + " wird von einem anderen Programm benutzt: das andere Programm beenden.";
    case OpenFailure::NotPermitted:
        return NotPermittedReason(device);
    case OpenFailure::NotSerial:
        return device + " ist keine serielle Schnittstelle.";
    case OpenFailure::Other:
    default:
        break;
    }
    return device + " lässt sich nicht öffnen.";
}

void CSerialPort::SetHooks(Hooks hooks)
{
    HookStore() = std::move(hooks);
}

void CSerialPort::SetThreadHooks(std::optional<Hooks> hooks)
{
    ThreadHookStore() = std::move(hooks);
}

const CSerialPort::Hooks& CSerialPort::GetHooks()
{
    const std::optional<Hooks>& own = ThreadHookStore();
    return own ? *own : HookStore();
}

void CSerialPort::SetClock(std::function<std::chrono::steady_clock::time_point()> clock)
{
    ClockStore() = std::move(clock);
}

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort()
{
    Close();
}

int CSerialPort::Open(int port, int baudRate, std::chrono::milliseconds wait)
{
    m_comNumber = port;
    m_path.clear();
    m_baudRate = baudRate;
    m_adapter.reset();
    const int result = OpenQuietly(wait);
    RememberAdapter();
    if (!m_device)
        ReportOpenFailure("COM" + std::to_string(port), m_failure, SerialDevicePath(port), m_failureDetail);
    return result;
}

int CSerialPort::OpenPath(const std::string& path, int baudRate, std::chrono::milliseconds wait)
{
    const int result = TryPath(path, baudRate, wait);
    RememberAdapter();
    if (!m_device)
        ReportOpenFailure(path, m_failure, path, m_failureDetail);
    return result;
}

int CSerialPort::TryPath(const std::string& path, int baudRate, std::chrono::milliseconds wait)
{
    m_comNumber = 0;
    m_path = path;
    m_baudRate = baudRate;
    m_adapter.reset();
    return OpenQuietly(wait);
}

int CSerialPort::OpenQuietly(std::chrono::milliseconds wait)
{
    // A COM number is looked up each time: the settings may name another device by now.
    const std::string path = m_comNumber > 0 ? SerialDevicePath(m_comNumber) : m_path;
    if (IsNetworkPath(path))
        return OpenNetwork(path, wait);
    return OpenDevice(path);
}

int CSerialPort::OpenDevice(const std::string& path)
{
    Close();
    DeviceOpening opening = OpenSerialDevice(path);
    m_device = std::move(opening.device);
    m_failure = opening.failure;
    m_failureDetail = std::move(opening.detail);
    if (!m_device)
        return -1;
    // Settings the device refuses give -1 without a message; the device stays open.
    return m_device->Configure(LineBaudRate(m_baudRate)) ? 0 : -1;
}

int CSerialPort::OpenNetwork(const std::string& path, std::chrono::milliseconds wait)
{
    m_device.reset();
    if (!m_connecting || m_connecting->Path() != path) {
        m_connecting = std::make_unique<NetworkDevice>(path, Allowance(), LineBaudRate(m_baudRate), wait);
    }
    const OpenStep step = m_connecting->Continue(wait);
    m_failure = m_connecting->Failure();
    m_failureDetail = m_connecting->FailureDetail();
    if (step == OpenStep::Pending)
        return -1; // goes on at the next Reopen
    if (step == OpenStep::Failed) {
        m_connecting.reset();
        return -1;
    }
    m_device = std::move(m_connecting);
    if (!m_reconnectPause)
        m_reconnectPause = std::make_unique<ReconnectPause>();
    m_reconnectPause->SessionStarted(Now());
    return m_device->Configure(LineBaudRate(m_baudRate)) ? 0 : -1;
}

std::chrono::milliseconds CSerialPort::Allowance()
{
    // [PORTS] COMn_ZUSCHLAG: the link's allowance for this port, in milliseconds.
    const std::string& settings = GetHooks().settingsPath;
    if (m_comNumber == 0 || settings.empty())
        return kDefaultLinkAllowance;
    const std::string key = LinkAllowanceKey(m_comNumber);
    const std::string value = ReadProfileString("PORTS", key, "", settings);
    if (const auto allowance = ParseLinkAllowance(value))
        return *allowance;
    // Said once, not at every reconnect; the default holds meanwhile.
    if (value != std::exchange(m_badAllowance, value))
        Report(key + "=" + value + " in [PORTS] von " + settings + " ist keine ganze Zahl von 0 bis " +
               std::to_string(kMaxLinkAllowance.count()) + " (Millisekunden): es gilt der Vorgabewert " +
               std::to_string(kDefaultLinkAllowance.count()) + " ms.");
    return kDefaultLinkAllowance;
}

bool CSerialPort::Reopen()
{
    if (m_device)
        return true;
    if (m_comNumber == 0 && m_path.empty())
        return false; // never asked to open anything
    if (m_reconnectPause && !m_reconnectPause->MayTry(Now()))
        return false;
    if (OpenQuietly(kNetworkTickWait) == 0) {
        RememberAdapter();
        return true;
    }
    // A device that opens but refuses its settings is no working port: try again later.
    m_device.reset();
    // The adapter may be back under another name: a node still held when it was
    // pulled out is not given again, and Windows numbers some adapters by their socket.
    const std::string named = m_comNumber > 0 ? SerialDevicePath(m_comNumber) : m_path;
    const std::optional<PortCandidate> moved = m_adapter ? FindAdapter(*m_adapter, named) : std::nullopt;
    if (!moved)
        return false;
    if (OpenDevice(moved->device) != 0) {
        m_device.reset();
        return false;
    }
    if (moved->comNumber > 0) {
        m_comNumber = moved->comNumber;
        m_path.clear();
    }
    m_adapter = moved;
    return true;
}

void CSerialPort::RememberAdapter()
{
    // A port that did not open keeps what it knew of the adapter: it may come back.
    // A network port is no adapter.
    const std::string path = m_comNumber > 0 ? SerialDevicePath(m_comNumber) : m_path;
    if (m_device && !IsNetworkPath(path))
        m_adapter = AdapterAt(path);
}

bool CSerialPort::CheckDevice()
{
    if (m_device && !m_device->StillThere())
        CloseGone();
    return IsOpen();
}

void CSerialPort::ForgetGoneDevice()
{
    if (m_device && m_device->Gone())
        CloseGone();
}

void CSerialPort::CloseGone()
{
    if (m_reconnectPause && m_device && m_device->Replies() != nullptr)
        m_reconnectPause->SessionClosed(Now());
    Close();
}

int CSerialPort::Read(unsigned char* buffer, unsigned& count)
{
    count = 0;
    if (!m_device || !buffer)
        return -1;
    const bool ok = m_device->Read(buffer, kReadSize, count);
    ForgetGoneDevice();
    if (!ok) {
        count = 0;
        return -1;
    }
    return 0;
}

int CSerialPort::Write(const void* data, int length)
{
    if (!m_device || length < 0 || (!data && length > 0))
        return -1;
    const bool ok = m_device->Write(static_cast<const unsigned char*>(data), static_cast<std::size_t>(length));
    ForgetGoneDevice();
    return ok ? 0 : -1;
}

bool CSerialPort::ReadsWhole() const
{
    return m_device && m_device->Replies() != nullptr;
}

std::chrono::milliseconds CSerialPort::LinkAllowance() const
{
    return ReadsWhole() ? m_device->Replies()->LinkAllowance() : std::chrono::milliseconds{0};
}

int CSerialPort::Receive(std::string& into, std::chrono::milliseconds wait)
{
    if (!ReadsWhole())
        return -1;
    const bool ok = m_device->Replies()->Receive(into, wait);
    ForgetGoneDevice();
    return ok ? 0 : -1;
}

std::string CSerialPort::TakeLate()
{
    if (!ReadsWhole())
        return {};
    std::string late = m_device->Replies()->TakeLate();
    ForgetGoneDevice();
    return late;
}

void CSerialPort::Close()
{
    m_device.reset();
    m_connecting.reset();
}
