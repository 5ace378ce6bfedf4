#include "link/serial_port.h"

#include "link/serial_device.h"

#include <cstdio>
#include <utility>

CSerialPort* g_pPort = nullptr;

namespace {

CSerialPort::Hooks& HookStore()
{
    static CSerialPort::Hooks hooks;
    return hooks;
}

// The port's own message when a device cannot be had: missing, busy or not a port.
void ReportOpenFailure(const std::string& name)
{
    const std::string text = "Kann Schnittstelle " + name + " nicht öffnen";
    const std::string caption = "ERROR";
    const auto& hooks = CSerialPort::GetHooks();
    if (hooks.reportError)
        hooks.reportError(text, caption);
    else
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

} // namespace

void CSerialPort::SetHooks(Hooks hooks)
{
    HookStore() = std::move(hooks);
}

const CSerialPort::Hooks& CSerialPort::GetHooks()
{
    return HookStore();
}

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort()
{
    Close();
}

int CSerialPort::Open(int port, int baudRate)
{
    return OpenAt(SerialDevicePath(port), "COM" + std::to_string(port), baudRate);
}

int CSerialPort::OpenPath(const std::string& path, int baudRate)
{
    return OpenAt(path, path, baudRate);
}

int CSerialPort::OpenAt(const std::string& path, const std::string& name, int baudRate)
{
    Close();
    m_device = OpenSerialDevice(path);
    if (!m_device) {
        ReportOpenFailure(name);
        return -1;
    }
    // Settings the device refuses give -1 without a message; the device stays open.
    return m_device->Configure(LineBaudRate(baudRate)) ? 0 : -1;
}

int CSerialPort::Read(unsigned char* buffer, unsigned& count)
{
    count = 0;
    if (!m_device || !buffer)
        return -1;
    if (!m_device->Read(buffer, kReadSize, count)) {
        count = 0;
        return -1;
    }
    return 0;
}

int CSerialPort::Write(const void* data, int length)
{
    if (!m_device || length < 0 || (!data && length > 0))
        return -1;
    return m_device->Write(static_cast<const unsigned char*>(data), static_cast<std::size_t>(length)) ? 0 : -1;
}

void CSerialPort::Close()
{
    m_device.reset();
}
