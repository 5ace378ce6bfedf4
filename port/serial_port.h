#pragma once
// The one serial port object through which the program talks to the relay.
// It opens a COM port by number at fixed line settings (8N1, no flow control),
// reads at most 128 bytes under short time-outs, writes whole frames and closes.
// It knows nothing of frames or commands.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "port/net_device.h"
#include "port/port_list.h"
#include "port/serial_device.h" // the platform part: serial_port_posix.cpp or serial_port_win32.cpp

class NetworkDevice;
class ReconnectPause;

class CSerialPort {
public:
    // Every Read asks for this many bytes; callers' buffers must hold at least this.
    static constexpr unsigned kReadSize = 128;

    CSerialPort();
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens "COM<port>". 0 on success, -1 on any failure. A port that cannot be
    // opened reports "Kann Schnittstelle COMn nicht öffnen" (caption "ERROR"),
    // with a second line that says why, through the message hook before
    // returning -1. Baud rates other than 9600, 19200 and 38400 give 9600.
    // A network port (net_address.h) is waited for up to wait (the window's
    // 2 s at start-up and at a change of selection; an open tried once waits
    // longer, kOneShotOpenWait); one not there by then reports why, and Reopen
    // goes on with it. A network port's COMn_ZUSCHLAG that is no allowance
    // (ParseLinkAllowance) says so once in a box of its own; the default holds.
    int Open(int port, int baudRate, std::chrono::milliseconds wait = kNetworkOpenWait);

    // Opens the device at path as it is given (a command line names ports so),
    // with the same settings and the same message, naming the path.
    int OpenPath(const std::string& path, int baudRate, std::chrono::milliseconds wait = kNetworkOpenWait);

    // Opens the device at path as OpenPath does, but shows nothing: for trying
    // ports one after another. LastOpenFailure says why it found no device.
    int TryPath(const std::string& path, int baudRate, std::chrono::milliseconds wait = kNetworkOpenWait);

    // Why the last Open, OpenPath or TryPath found no device (None when it found
    // one), and what a network port's failure knows beyond that (FailureDetail).
    OpenFailure LastOpenFailure() const { return m_failure; }
    const std::string& LastOpenDetail() const { return m_failureDetail; }

    // A device that went away (an adapter pulled out, a hang-up) is closed by the
    // Read or Write that finds it gone. Reopen opens the port of the last Open or
    // OpenPath again, silently, when the object holds no device: true when it
    // holds a working one afterwards. Where that name gives no working port but
    // the USB adapter last held there is listed under another name (a new ttyUSB
    // node, another COM number), that one is opened; where its name is COMn, the
    // port is COMn from then on (ComNumber). The protocol never calls it; the
    // live reading does, at the start of a tick. A network port's connection
    // goes on across calls: each works on it for at most about 100 ms. A network
    // session that the server closed is taken up again only after a pause
    // (ReconnectPause): false until it has passed.
    bool Reopen();

    // n of the COMn last opened (or followed to); 0 for a path given as it is.
    int ComNumber() const { return m_comNumber; }

    // Asks the device whether it is still there, for drivers whose reads of a
    // removed device come back empty without an error; closes it when it is not.
    // Returns IsOpen().
    bool CheckDevice();

    // Reads up to kReadSize bytes into buffer. Returns as soon as 128 bytes are in,
    // when the line has been silent for the inter-byte gap after the first byte,
    // and in any case about 128 ms after the call. 0 if the read succeeded (count
    // may be 0), -1 if it failed (count is then 0: unopened port, vanished device).
    int Read(unsigned char* buffer, unsigned& count);

    // Writes length bytes. 0 on success, -1 on failure.
    int Write(const void* data, int length);

    // Closes the device if one is open; harmless otherwise.
    void Close();

    bool IsOpen() const { return m_device != nullptr; }

    // A network port, whose replies the exchange reads whole (ReplyStream).
    bool ReadsWhole() const;
    // How long past its pause an exchange waits for a whole reply.
    std::chrono::milliseconds LinkAllowance() const;
    // Waits at most wait for bytes and appends what came, as soon as some came.
    // -1 when there is no device or the connection is gone (closed then).
    int Receive(std::string& into, std::chrono::milliseconds wait);
    // Data that came and was not read, taken without waiting; always nothing on a serial device.
    std::string TakeLate();

    // Process-wide hooks, set once by the program (and by tests).
    struct Hooks {
        // Shows the port's own message box: text and caption ("ERROR").
        std::function<void(const std::string& text, const std::string& caption)> reportError;
        // Settings file whose [PORTS] section maps COMn to a device path on POSIX.
        std::string settingsPath;
    };
    static void SetHooks(Hooks hooks);
    // Hooks of the calling thread alone, in place of the process-wide ones until
    // cleared with nothing: korvenctl serves several ports at once, one thread
    // each, and every port's messages go to that port's lines.
    static void SetThreadHooks(std::optional<Hooks> hooks);
    // The calling thread's hooks where it has its own, else the process-wide ones.
    static const Hooks& GetHooks();
    // The clock of the pauses before a network session is taken up again, set by
    // tests before any port is used; steady_clock when empty.
    static void SetClock(std::function<std::chrono::steady_clock::time_point()> clock);

private:
    // The device, or why there is none; reports nothing. A network port is
    // worked on for at most wait.
    int OpenQuietly(std::chrono::milliseconds wait);
    int OpenNetwork(const std::string& path, std::chrono::milliseconds wait);
    // The network port's link allowance from the settings file.
    std::chrono::milliseconds Allowance();
    int OpenDevice(const std::string& path);
    // Notes which USB adapter the device just opened is, to know it again.
    void RememberAdapter();
    void ForgetGoneDevice();
    // Closes the device; a network session the server ended starts the pause before it is taken up again.
    void CloseGone();

    std::unique_ptr<SerialDevice> m_device;
    std::unique_ptr<NetworkDevice> m_connecting; // a network port's open under way
    OpenFailure m_failure = OpenFailure::None;
    std::string m_failureDetail;
    std::string m_badAllowance; // a COMn_ZUSCHLAG value already reported as no allowance
    // What the last Open or OpenPath was asked for, for Reopen.
    int m_comNumber = 0; // 0: a path given as it is
    std::string m_path;  // that path
    int m_baudRate = 19200;
    std::optional<PortCandidate> m_adapter;           // the USB adapter last held, where it can be known again
    std::unique_ptr<ReconnectPause> m_reconnectPause; // for a network port, once it has opened
};

// The current port object. The main window creates it and replaces it when the
// operator picks another port; nothing deletes it at exit.
extern CSerialPort* g_pPort;
