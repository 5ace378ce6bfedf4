// korven-sim's side of the control channel.

#include "sim/arguments.h"
#include "sim/control.h"
#include "sim/sim.h"

#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string Ok(const std::vector<std::string>& words = {})
{
    return words.empty() ? "OK" : "OK " + JoinWords(words);
}

std::string Error(const std::string& message)
{
    return "ERR " + EscapeWord(message);
}

bool ReadCount(const std::string& word, long long& value)
{
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    return ec == std::errc() && end == word.data() + word.size() && value >= 0;
}

bool SendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) // a signal came in between: just go on
            continue;
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

} // namespace

std::string AnswerControl(KorvenSim& sim, std::string_view line, bool& quit)
{
    auto words = SplitWords(line);
    if (!words || words->empty())
        return Error("not a request: " + std::string(line));
    const std::string request = words->front();
    words->erase(words->begin());
    const std::size_t count = words->size();

    if (request == "PATH" && count == 0)
        return Ok({sim.DevicePath()});
    if (request == "OPTIONS" && count == 0)
        return Ok(SimFlags(sim.Options()));
    if (request == "SET-OPTIONS") {
        SimArguments args;
        if (const auto problem = ParseSimArguments(*words, args))
            return Error(*problem);
        if (args.help || args.controlPort || !args.paramsFile.empty() || !args.logFile.empty() ||
            !args.linkPath.empty())
            return Error("only fault modes can be set");
        // The stray byte's value has no flag: it stays as it is.
        sim.Update([&args](SimOptions& options) {
            args.options.extraByteValue = options.extraByteValue;
            options = args.options;
        });
        return Ok();
    }
    if (request == "FRAMES" && count == 0)
        return Ok(sim.ReceivedFrames());
    if (request == "CLEAR" && count == 0) {
        sim.ClearReceivedFrames();
        return Ok();
    }
    long long frames = 0;
    long long milliseconds = 0;
    if (request == "WAIT" && count == 2 && ReadCount((*words)[0], frames) && ReadCount((*words)[1], milliseconds))
        return Ok(
            {sim.WaitForFrames(static_cast<std::size_t>(frames), std::chrono::milliseconds(milliseconds)) ? "1" : "0"});
    if (request == "PARAMS" && count == 0)
        return Ok(ParameterWords(sim.Parameters()));
    if (request == "SET-PARAMS") {
        RelayParameters params;
        if (!ReadParameterWords(*words, params))
            return Error("a parameter memory needs every key with a valid value");
        sim.SetParameters(params);
        return Ok();
    }
    if (request == "PRESET" && count == 1) {
        std::string error;
        return sim.PresetParameters((*words)[0], &error) ? Ok() : Error(error);
    }
    if (request == "BLOCKS" && count == 0) {
        std::vector<std::string> blocks;
        for (const auto& [address, data] : sim.FirmwareBlocks())
            blocks.push_back(std::to_string(address) + "=" + data);
        return Ok(blocks);
    }
    if (request == "UPDATE-MODE" && count == 0)
        return Ok({sim.InUpdateMode() ? "1" : "0"});
    if (request == "RESTARTS" && count == 0)
        return Ok({std::to_string(sim.RestartCount())});
    if (request == "INJECT" && count == 1) {
        sim.Inject((*words)[0]);
        return Ok();
    }
    if (request == "UNPLUG" && count == 0) {
        sim.Unplug();
        return Ok();
    }
    if (request == "PLUG" && count == 0) {
        std::string error;
        return sim.Plug(&error) ? Ok() : Error(error);
    }
    if (request == "SER2NET" && count == 0) {
        std::string error;
        const std::string rfc2217 = sim.DeviceServerUrl(true, &error);
        return rfc2217.empty() ? Error(error) : Ok({rfc2217, sim.DeviceServerUrl(false)});
    }
    if (request == "QUIT" && count == 0) {
        quit = true;
        return Ok();
    }
    return Error("unknown request or wrong number of words: " + request);
}

int ConnectControl(int port, std::string* error)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never anything but this machine
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        const int noDelay = 1; // one short line each way: no waiting for more
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        return fd;
    }
    if (error)
        *error = "cannot connect to the control port " + std::to_string(port) + ": " + std::strerror(errno);
    if (fd >= 0)
        close(fd);
    return -1;
}

void ServeControl(KorvenSim& sim, int fd, const std::function<void()>& plugged)
{
    std::string pending;
    bool quit = false;
    while (!quit) {
        const std::size_t end = pending.find('\n');
        if (end == std::string::npos) {
            char buffer[4096];
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got < 0 && errno == EINTR) // a signal came in between: read again
                continue;
            if (got <= 0) // the client went away (or the owner shut the socket)
                return;
            pending.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') // tolerated from a client that ends lines so
            line.pop_back();
        const std::string answer = AnswerControl(sim, line, quit);
        // Before the client hears of the new device, whatever the owner does with it is done.
        if (line == "PLUG" && answer == "OK" && plugged)
            plugged();
        if (!SendAll(fd, answer + "\n"))
            return;
    }
}
