#include "tests/support/remote_sim.h"

#include "sim/arguments.h"
#include "sim/control.h"

// winsock2.h before windows.h, which would otherwise bring the old winsock.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// Generous, for a loaded machine: starting a Linux program through Wine, a request.
constexpr milliseconds kStartTimeout = 30s;
constexpr milliseconds kAnswerTimeout = 30s;
// korven-sim closes the connection once its link is gone.
constexpr milliseconds kEndTimeout = 10s;

std::mutex g_portsMutex;
std::set<int> g_portsTaken;

int TakePort(int requested)
{
    std::lock_guard lock(g_portsMutex);
    int port = requested;
    for (int free = 1; port == 0; ++free)
        port = g_portsTaken.count(free) ? 0 : free;
    g_portsTaken.insert(port);
    return port;
}

void ReleasePort(int port)
{
    std::lock_guard lock(g_portsMutex);
    g_portsTaken.erase(port);
}

std::wstring Environment(const wchar_t* name)
{
    std::wstring value(32768, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    value.resize(length < value.size() ? length : 0);
    return value;
}

std::string Utf8(const std::wstring& text)
{
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

// The DOS form of a Linux path, by Wine's own mapping; Z: is the root otherwise.
std::wstring DosPath(const std::wstring& unixPath)
{
    using ToDos = WCHAR*(CDECL*)(LPCSTR);
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name");
    if (found) {
        const auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void (*)()>(found));
        if (WCHAR* dos = toDos(Utf8(unixPath).c_str())) {
            std::wstring path = dos;
            HeapFree(GetProcessHeap(), 0, dos);
            return path;
        }
    }
    std::wstring path = L"Z:" + unixPath;
    for (wchar_t& c : path)
        c = c == L'/' ? L'\\' : c;
    return path;
}

// One argument of a command line, quoted so that it reaches argv as it is.
std::wstring Quoted(const std::wstring& argument)
{
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

bool WaitReadable(SOCKET socket, milliseconds timeout)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval limit{static_cast<long>(timeout.count() / 1000), static_cast<long>(timeout.count() % 1000 * 1000)};
    return select(0, &readable, nullptr, nullptr, &limit) == 1;
}

// Sockets need winsock started once per process; it stays up until the end.
bool StartWinsock()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// The listening socket that korven-sim connects to, on 127.0.0.1 and a port of
// the system's choice; INVALID_SOCKET on failure.
SOCKET Listen(int& port)
{
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (listener != INVALID_SOCKET)
            closesocket(listener);
        return INVALID_SOCKET;
    }
    port = ntohs(address.sin_port);
    return listener;
}

} // namespace

KorvenSim::KorvenSim(SimOptions options, int comPort)
    : m_options(std::move(options)), m_requestedPort(comPort), m_socket(INVALID_SOCKET)
{
}

KorvenSim::~KorvenSim()
{
    Stop();
}

bool KorvenSim::Start(std::string* error)
{
    if (IsRunning())
        return true;
    const std::wstring program = Environment(L"KORVEN_SIM");
    const std::wstring prefix = Environment(L"WINEPREFIX");
    const auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (program.empty() || prefix.empty())
        return fail("KORVEN_SIM (the Linux path of korven-sim) and WINEPREFIX must be set");
    int controlPort = 0;
    const SOCKET listener = StartWinsock() ? Listen(controlPort) : INVALID_SOCKET;
    if (listener == INVALID_SOCKET)
        return fail("no control port to listen on: " + std::to_string(WSAGetLastError()));

    // Wine looks COMn up in dosdevices at every open, so the link works at once.
    const int comPort = TakePort(m_requestedPort);
    const std::wstring application = DosPath(program);
    std::wstring commandLine = Quoted(application) + L" --control " + std::to_wstring(controlPort) + L" --link " +
                               Quoted(prefix + L"/dosdevices/com" + std::to_wstring(comPort));
    // Its first line, the device, would only clutter the test output; its errors are kept.
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    SOCKET connection = INVALID_SOCKET;
    if (CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        // Wine hands out no handles for a Linux program; the connection stands for it.
        if (process.hProcess)
            CloseHandle(process.hProcess);
        if (process.hThread)
            CloseHandle(process.hThread);
        if (WaitReadable(listener, kStartTimeout))
            connection = accept(listener, nullptr, nullptr);
    }
    const DWORD startError = GetLastError();
    closesocket(listener);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (connection == INVALID_SOCKET) {
        ReleasePort(comPort);
        return fail("korven-sim (" + Utf8(application) + ") did not connect to its control port; error " +
                    std::to_string(startError));
    }
    const BOOL noDelay = TRUE; // one short line each way: no waiting for more
    setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    {
        std::lock_guard lock(m_mutex);
        m_socket = connection;
        m_comPort = comPort;
    }

    std::vector<std::string> setOptions = SimFlags(Options());
    setOptions.insert(setOptions.begin(), "SET-OPTIONS");
    std::string why;
    if (!Ask({"PATH"}, {}, &why).ok || !Ask(setOptions, {}, &why).ok) {
        Stop();
        return fail("korven-sim does not answer: " + why);
    }
    return true;
}

void KorvenSim::Stop()
{
    if (IsRunning()) {
        std::string ignored; // unanswered, the closed connection ends korven-sim all the same
        Ask({"QUIT"}, {}, &ignored);
        std::lock_guard lock(m_mutex);
        while (m_socket != INVALID_SOCKET && ReadLine(kEndTimeout)) {
        }
        CloseConnection();
    }
    std::lock_guard lock(m_mutex);
    if (m_comPort != 0)
        ReleasePort(m_comPort);
    m_comPort = 0;
}

bool KorvenSim::IsRunning() const
{
    std::lock_guard lock(m_mutex);
    return m_socket != INVALID_SOCKET;
}

std::string KorvenSim::DevicePath() const
{
    const int port = ComPort();
    return port ? "COM" + std::to_string(port) : std::string();
}

int KorvenSim::ComPort() const
{
    std::lock_guard lock(m_mutex);
    return m_comPort;
}

void KorvenSim::Update(const std::function<void(SimOptions&)>& change)
{
    std::lock_guard lock(m_optionsMutex);
    change(m_options);
    if (!IsRunning())
        return;
    std::vector<std::string> request = SimFlags(m_options);
    request.insert(request.begin(), "SET-OPTIONS");
    Ask(request);
}

SimOptions KorvenSim::Options() const
{
    std::lock_guard lock(m_optionsMutex);
    return m_options;
}

std::vector<std::string> KorvenSim::ReceivedFrames() const
{
    return Ask({"FRAMES"}).words;
}

void KorvenSim::ClearReceivedFrames()
{
    Ask({"CLEAR"});
}

bool KorvenSim::WaitForFrames(std::size_t count, milliseconds timeout) const
{
    return Ask({"WAIT", std::to_string(count), std::to_string(timeout.count())}, timeout).words ==
           std::vector<std::string>{"1"};
}

RelayParameters KorvenSim::Parameters() const
{
    const Answer answer = Ask({"PARAMS"});
    RelayParameters params;
    if (answer.ok && !ReadParameterWords(answer.words, params))
        ADD_FAILURE() << "korven-sim sent no parameter memory: " << JoinWords(answer.words);
    return params;
}

void KorvenSim::SetParameters(const RelayParameters& params)
{
    std::vector<std::string> request = ParameterWords(params);
    request.insert(request.begin(), "SET-PARAMS");
    Ask(request);
}

bool KorvenSim::PresetParameters(std::string_view fileBytes, std::string* error)
{
    std::string why;
    const bool ok = Ask({"PRESET", std::string(fileBytes)}, {}, &why).ok;
    if (!ok && error)
        *error = why;
    return ok;
}

std::map<unsigned, std::string> KorvenSim::FirmwareBlocks() const
{
    std::map<unsigned, std::string> blocks;
    for (const std::string& word : Ask({"BLOCKS"}).words) {
        const std::size_t eq = word.find('=');
        blocks[static_cast<unsigned>(std::stoul(word.substr(0, eq)))] = word.substr(eq + 1);
    }
    return blocks;
}

bool KorvenSim::InUpdateMode() const
{
    return Ask({"UPDATE-MODE"}).words == std::vector<std::string>{"1"};
}

int KorvenSim::RestartCount() const
{
    const auto words = Ask({"RESTARTS"}).words;
    return words.size() == 1 ? std::stoi(words[0]) : 0;
}

void KorvenSim::Inject(std::string_view bytes)
{
    Ask({"INJECT", std::string(bytes)});
}

std::string KorvenSim::DeviceServerUrl(bool rfc2217, std::string* error)
{
    std::string why;
    const Answer answer = Ask({"SER2NET"}, kStartTimeout, &why);
    if (answer.ok && answer.words.size() == 2)
        return answer.words[rfc2217 ? 0 : 1];
    if (error)
        *error = answer.ok ? "not two URLs: " + JoinWords(answer.words) : why;
    return {};
}

void KorvenSim::Unplug()
{
    Ask({"UNPLUG"});
}

bool KorvenSim::Plug(std::string* error)
{
    const Answer answer = Ask({"PLUG"});
    if (!answer.ok && error)
        *error = answer.error;
    return answer.ok;
}

KorvenSim::Answer KorvenSim::Ask(const std::vector<std::string>& request, milliseconds extraTime,
                                 std::string* quietError) const
{
    Answer answer;
    {
        std::lock_guard lock(m_mutex);
        std::string line = JoinWords(request) + "\n";
        std::optional<std::string> reply;
        if (m_socket == INVALID_SOCKET) {
            answer.error = "the relay is not running";
        } else {
            std::string_view rest = line;
            while (!rest.empty()) {
                const int sent = send(m_socket, rest.data(), static_cast<int>(rest.size()), 0);
                if (sent <= 0)
                    break;
                rest.remove_prefix(static_cast<std::size_t>(sent));
            }
            reply = rest.empty() ? ReadLine(kAnswerTimeout + extraTime) : std::nullopt;
            if (!reply) {
                answer.error = "the control connection broke";
                CloseConnection();
            }
        }
        const auto words = reply ? SplitWords(*reply) : std::nullopt;
        if (words && !words->empty() && words->front() == "OK") {
            answer.ok = true;
            answer.words.assign(words->begin() + 1, words->end());
        } else if (words && words->size() == 2 && words->front() == "ERR") {
            answer.error = words->back();
        } else if (reply) {
            answer.error = "not an answer: " + *reply;
        }
    }
    if (!answer.ok) {
        if (quietError)
            *quietError = answer.error;
        else
            ADD_FAILURE() << "korven-sim, " << request.front() << ": " << answer.error;
    }
    return answer;
}

std::optional<std::string> KorvenSim::ReadLine(milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const std::size_t end = m_pending.find('\n'); end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitReadable(m_socket, left))
            return std::nullopt;
        char buffer[4096];
        const int got = recv(m_socket, buffer, sizeof buffer, 0);
        if (got <= 0)
            return std::nullopt;
        m_pending.append(buffer, static_cast<std::size_t>(got));
    }
}

void KorvenSim::CloseConnection() const
{
    if (m_socket != INVALID_SOCKET)
        closesocket(m_socket);
    m_socket = INVALID_SOCKET;
    m_pending.clear();
}
