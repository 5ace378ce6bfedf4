#pragma once
// KorvenSim for the Windows tests, which run under Wine: the same public face as
// the in-process simulator of sim/sim.h, served by a korven-sim program on the
// Linux side. Start launches the program named by the environment variable
// KORVEN_SIM (a Linux path) with --control and --link
// $WINEPREFIX/dosdevices/comN, so that the Windows program reaches the relay by
// opening COMN; every other call is one request over the control channel.
//
// A call that cannot reach the relay fails the running test and returns an
// empty result. Safe to call from any thread, like the in-process simulator.

#include "sim/relay.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class KorvenSim {
public:
    // comPort 0: the lowest COM number that no other running relay of this
    // process holds (COM1 for a test's first relay, COM2 for its second).
    explicit KorvenSim(SimOptions options = {}, int comPort = 0);
    ~KorvenSim(); // stops it; its link goes with it
    KorvenSim(const KorvenSim&) = delete;
    KorvenSim& operator=(const KorvenSim&) = delete;

    bool Start(std::string* error = nullptr);
    void Stop();
    bool IsRunning() const;

    // The port the Windows program opens: "COM1" (empty before Start).
    std::string DevicePath() const;
    int ComPort() const;

    void Update(const std::function<void(SimOptions&)>& change);
    SimOptions Options() const;

    std::vector<std::string> ReceivedFrames() const;
    void ClearReceivedFrames();
    bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;

    RelayParameters Parameters() const;
    void SetParameters(const RelayParameters& params);
    bool PresetParameters(std::string_view fileBytes, std::string* error = nullptr);

    std::map<unsigned, std::string> FirmwareBlocks() const;
    bool InUpdateMode() const;
    int RestartCount() const;

    void Inject(std::string_view bytes);

    // ser2net in front of the relay, on the Linux side: its RFC 2217 URL or the
    // raw TCP one, for the Windows program to connect to. korven-sim starts it at
    // the first request and stops it with the relay. Empty with the reason on
    // failure, which is kNoDeviceServer where ser2net is not installed.
    std::string DeviceServerUrl(bool rfc2217, std::string* error = nullptr);

    // The relay's line pulled out and plugged in again behind the same COM port.
    void Unplug();
    bool Plug(std::string* error = nullptr);

private:
    struct Answer {
        bool ok = false;
        std::vector<std::string> words; // after OK
        std::string error;              // after ERR, or why there was no answer
    };
    // One request and its answer; anything but an answer fails the test unless
    // quietError is given, which then receives the message.
    Answer Ask(const std::vector<std::string>& request, std::chrono::milliseconds extraTime = {},
               std::string* quietError = nullptr) const;
    // With m_mutex held: the next answer line; nullopt on time-out or a closed connection.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout) const;
    void CloseConnection() const;

    mutable std::mutex m_optionsMutex; // taken before m_mutex where both are
    SimOptions m_options;
    mutable std::mutex m_mutex; // the connection and the COM number
    int m_requestedPort;
    int m_comPort = 0;
    mutable std::uintptr_t m_socket; // a SOCKET; INVALID_SOCKET when not connected
    mutable std::string m_pending;   // received bytes after the last line
};
