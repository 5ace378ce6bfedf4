#pragma once
// korven-sim: a simulated relay on a pseudo-terminal. It opens a pty, serves
// it on a thread of its own and answers every request frame as the relay does
// (RelayModel), with the fault modes of SimOptions. The program korven-sim and
// the tests use it alike. Start, Stop, MakeLink, OpenLog, Unplug, Plug and
// DeviceServerUrl belong to the owner; everything else is safe to call from any
// thread while the relay serves.

#include "sim/relay.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class Ser2net;

class KorvenSim {
public:
    // One byte on a 19200-baud line with 10 bits a byte (start, 8 data, stop).
    static constexpr std::chrono::nanoseconds kByteTime{520833};
    static constexpr std::chrono::microseconds kChatterInterval{500};
    static constexpr unsigned char kChatterByte = 0x55;
    // A request longer than this without its ETX is dropped as noise.
    static constexpr std::size_t kMaxFrame = 512;

    explicit KorvenSim(SimOptions options = {});
    ~KorvenSim(); // stops and removes the link
    KorvenSim(const KorvenSim&) = delete;
    KorvenSim& operator=(const KorvenSim&) = delete;

    // Opens the pty and starts serving. False with a reason on failure.
    bool Start(std::string* error = nullptr);
    // Stops serving, closes the pty and removes the link. Harmless when not running.
    void Stop();
    bool IsRunning() const;

    // The slave device a client opens, e.g. /dev/pts/5 (empty before Start).
    std::string DevicePath() const;

    // Makes a symbolic link to the device at path (after Start), replacing an
    // existing symbolic link there but never another kind of file. Removed by Stop.
    bool MakeLink(const std::string& path, std::string* error = nullptr);

    // Pulls the relay's line out, as an adapter pulled from its socket: the pty
    // closes, so a client's descriptor hangs up, and the link goes. Plug gives the
    // relay a new pty behind the same link (when it had one); its memory, fault
    // modes and received frames stay as they were.
    void Unplug();
    bool Plug(std::string* error = nullptr);

    // A device server (Debian's ser2net) in front of the relay's pty, for tests
    // that reach the relay over a network port: its RFC 2217 URL, or the raw TCP
    // one. Started at the first call after Start, stopped (by its PID) with the
    // relay; the same URLs until then. Empty with the reason on failure, which is
    // kNoDeviceServer where ser2net is not installed.
    std::string DeviceServerUrl(bool rfc2217, std::string* error = nullptr);

    // Logs every received frame with a timestamp and the answer given, one line each.
    bool OpenLog(const std::string& path, std::string* error = nullptr);

    // Fault modes, changeable while running.
    void Update(const std::function<void(SimOptions&)>& change);
    SimOptions Options() const;

    // Every request frame received (STX ... ETX, raw bytes), in order.
    std::vector<std::string> ReceivedFrames() const;
    void ClearReceivedFrames();
    // Waits until at least count frames have been received; false on time-out.
    bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;

    // The relay's parameter memory.
    RelayParameters Parameters() const;
    void SetParameters(const RelayParameters& params);
    // Presets it from the bytes of a parameter file, or from the file itself.
    bool PresetParameters(std::string_view fileBytes, std::string* error = nullptr);
    bool LoadParameterFile(const std::string& path, std::string* error = nullptr);

    // Firmware stored by P blocks: word address -> 96 data bytes.
    std::map<unsigned, std::string> FirmwareBlocks() const;
    bool InUpdateMode() const;
    int RestartCount() const;

    // Puts bytes on the line towards the client, as if the relay had sent them
    // (a late reply, noise). They go out before anything answered afterwards.
    void Inject(std::string_view bytes);

private:
    void Serve();
    void Wake();
    std::string OnFrame(const std::string& frame); // returns the reply bytes
    void RemoveLink();

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_frameArrived;
    SimOptions m_options;
    RelayModel m_relay;
    std::vector<std::string> m_frames;
    std::string m_injected;
    std::ofstream m_log;
    bool m_stop = false;

    std::string m_devicePath;
    std::string m_linkPath;
    std::string m_unpluggedLink; // the link to make again at Plug
    int m_master = -1;
    int m_slave = -1; // kept open so the master never sees a hang-up when clients come and go
    int m_wakePipe[2] = {-1, -1};
    int m_closeWatch = -1; // inotify descriptor watching for closes of the device
    std::unique_ptr<Ser2net> m_deviceServer;
    std::thread m_thread;
};
