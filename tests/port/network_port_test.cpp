// Network ports end to end: CSerialPort and the exchange through Debian's
// ser2net in front of korven-sim, over RFC 2217 and raw TCP, directly and
// through a relay that delays, splits and cuts what passes.

#include "link/exchange.h"
#include "link/frame.h"
#include "port/net_device.h"
#include "port/serial_port.h"
#include "sim/device_server.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const std::string kFrameOfGmwt = "\x02GMWT:230.418\x03";

class NetworkPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Ser2net::Available())
            GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it)";
        std::string error;
        ASSERT_TRUE(m_sim.Start(&error)) << error;
        m_sim.Update([](SimOptions& o) { o.value = "230.4"; });
        ASSERT_TRUE(m_server.Start(m_sim.DevicePath(), &error)) << error;
        m_ini = fs::temp_directory_path() / ("korven-network-" + std::to_string(::getpid()) + ".ini");
        CSerialPort::SetHooks(
            {[this](const std::string& text, const std::string&) { m_messages.push_back(text); }, m_ini.string()});
        CSerialPort::SetClock([this] { return m_now; }); // pauses pass only where a test says so
    }

    void TearDown() override
    {
        m_port.Close();
        CSerialPort::SetHooks({});
        CSerialPort::SetClock({});
        fs::remove(m_ini);
    }

    void MapCom5(const std::string& url, const std::string& more = "") const
    {
        std::ofstream(m_ini, std::ios::binary) << "[PORTS]\nCOM5=" << url << "\n" << more;
    }

    // The reason line of the only box shown.
    std::string OnlyReason() const
    {
        EXPECT_EQ(m_messages.size(), 1u);
        if (m_messages.empty())
            return "";
        const std::string& text = m_messages.front();
        EXPECT_EQ(text.substr(0, text.find("\r\n")), "Kann Schnittstelle COM5 nicht öffnen");
        const auto end = text.find("\r\n");
        return end == std::string::npos ? "(no reason line)" : text.substr(end + 2);
    }

    KorvenSim m_sim;
    Ser2net m_server;
    CSerialPort m_port;
    fs::path m_ini;
    std::vector<std::string> m_messages;
    Clock::time_point m_now = Clock::now();
};

TEST_F(NetworkPortTest, EveryReplyFormOverEveryKindOfPath)
{
    DelayingRelay relay;
    std::string error;
    ASSERT_TRUE(relay.Start(m_server.Rfc2217Port(), &error)) << error;
    struct Row {
        const char* name;
        std::string url;
        DelayingRelay::Shape shape;
    };
    const std::string relayed = "rfc2217://127.0.0.1:" + std::to_string(relay.Port());
    const Row rows[] = {
        {"RFC 2217", m_server.Rfc2217Url(), {}},
        {"raw TCP", m_server.RawUrl(), {}},
        // 60 ms each way: a reply read once after the pause would hold nothing yet.
        {"RFC 2217, 60 ms each way, replies a byte at a time", relayed, {60ms, 1, 2ms}},
    };
    const std::string spar = "SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ1.0;";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        relay.SetShape(row.shape);
        MapCom5(row.url);
        ASSERT_EQ(m_port.Open(5, 19200), 0) << (m_messages.empty() ? "" : m_messages.back());
        EXPECT_TRUE(m_port.ReadsWhole());
        m_sim.ClearReceivedFrames();

        const ExchangeResult live = RunExchange(m_port, "GMWT:", true, kPause, ReplyForm::Framed);
        EXPECT_EQ(live.outcome, ExchangeOutcome::Accepted);
        EXPECT_EQ(live.reply, kFrameOfGmwt);
        const ExchangeResult set = RunExchange(m_port, "GPAR:", true, kPause, ReplyForm::Framed);
        EXPECT_EQ(set.outcome, ExchangeOutcome::Accepted);
        EXPECT_EQ(set.reply.size(), 104u);
        EXPECT_EQ(RunExchange(m_port, spar, false, kPause, ReplyForm::Acknowledgement).outcome,
                  ExchangeOutcome::Accepted);
        m_sim.Update([](SimOptions& o) { o.nak = {"KAL0"}; });
        EXPECT_EQ(RunExchange(m_port, "KAL0:", false, kPause, ReplyForm::Acknowledgement).outcome,
                  ExchangeOutcome::Refused);
        m_sim.Update([](SimOptions& o) { o.nak.clear(); });
        EXPECT_EQ(RunExchange(m_port, "FWUP:", false, kPause, ReplyForm::Ignored).reply, "\x06");
        // The relay saw exactly the frames, once each, as a serial line carries them.
        const std::vector<std::string> expected = {BuildFrame("GMWT:"), BuildFrame("GPAR:"), BuildFrame(spar),
                                                   BuildFrame("KAL0:"), BuildFrame("FWUP:")};
        EXPECT_EQ(m_sim.ReceivedFrames(), expected);
        EXPECT_TRUE(m_messages.empty());
        m_port.Close();
    }
}

// A reply that comes after its exchange gave up is thrown away before the next
// request: the next exchange gets its own reply, never the late one.
TEST_F(NetworkPortTest, LateReplyIsNeverTakenForTheNextOne)
{
    DelayingRelay relay;
    std::string error;
    ASSERT_TRUE(relay.Start(m_server.Rfc2217Port(), &error)) << error;
    MapCom5("rfc2217://127.0.0.1:" + std::to_string(relay.Port()), "COM5_ZUSCHLAG=200\n");
    ASSERT_EQ(m_port.Open(5, 19200), 0);
    EXPECT_EQ(m_port.LinkAllowance(), 200ms);

    relay.SetShape({400ms});
    const auto start = Clock::now();
    EXPECT_EQ(RunExchange(m_port, "GMWT:", false, kPause, ReplyForm::Framed).outcome, ExchangeOutcome::NoAnswer);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 700ms); // the pause and the allowance, not the reply's 800 ms
    relay.SetShape({});
    std::this_thread::sleep_for(800ms); // the late reply is in by now
    m_sim.Update([](SimOptions& o) { o.value = "111.1"; });
    const ExchangeResult next = RunExchange(m_port, "GMWT:", false, kPause, ReplyForm::Framed);
    EXPECT_EQ(next.outcome, ExchangeOutcome::Accepted);
    EXPECT_EQ(next.reply, BuildFrame("GMWT:111.1"));
}

// A session the server ends marks the port gone; Reopen takes it up again.
TEST_F(NetworkPortTest, DroppedSessionMarksThePortGoneAndReopens)
{
    DelayingRelay relay;
    std::string error;
    ASSERT_TRUE(relay.Start(m_server.Rfc2217Port(), &error)) << error;
    MapCom5("rfc2217://127.0.0.1:" + std::to_string(relay.Port()));
    ASSERT_EQ(m_port.Open(5, 19200), 0);

    // Closed in the middle of a reply.
    relay.SetShape({0ms, 0, 0ms, 20});
    EXPECT_EQ(RunExchange(m_port, "GPAR:", true, kPause, ReplyForm::Framed).outcome, ExchangeOutcome::BadReply);
    EXPECT_FALSE(m_port.IsOpen());
    m_now += kLongestReconnectPause;
    ASSERT_TRUE(m_port.Reopen());
    EXPECT_TRUE(RunExchange(m_port, "GMWT:", true, kPause, ReplyForm::Framed).ok());

    // Closed before a parameter write's acknowledgement: the write fails, and is not sent again.
    relay.SetShape({0ms, 0, 0ms, 0});
    m_sim.ClearReceivedFrames();
    const std::string write = "SPAR:HYS2.0;SWB110.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ0.5;";
    EXPECT_FALSE(RunExchange(m_port, write, true, kPause, ReplyForm::Acknowledgement).ok());
    EXPECT_FALSE(m_port.IsOpen());
    relay.SetShape({});
    m_now += kLongestReconnectPause;
    ASSERT_TRUE(m_port.Reopen());
    EXPECT_TRUE(RunExchange(m_port, "GMWT:", true, kPause, ReplyForm::Framed).ok());
    EXPECT_EQ(m_sim.ReceivedFrames(), (std::vector<std::string>{BuildFrame(write), BuildFrame("GMWT:")}));

    // The server itself goes away: a silent tick's check finds it, and it comes back.
    m_server.Stop();
    EXPECT_FALSE(RunExchange(m_port, "GMWT:", true, kPause, ReplyForm::Framed).ok());
    EXPECT_FALSE(m_port.CheckDevice());
    m_now += kLongestReconnectPause;
    EXPECT_FALSE(m_port.Reopen());
    ASSERT_TRUE(m_server.Start(m_sim.DevicePath(), &error)) << error;
    const auto until = Clock::now() + 5s;
    while (!m_port.Reopen() && Clock::now() < until)
        std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(RunExchange(m_port, "GMWT:", true, kPause, ReplyForm::Framed).ok());
    EXPECT_TRUE(m_messages.empty());
}

// With kickolduser another client takes the port over and the session ends without a word:
// it is taken up again after 1 s, 2 s, 4 s ... in a row, and after 1 s once it has held for a minute.
TEST_F(NetworkPortTest, SessionTakenOverComesBackAfterAPauseThatDoubles)
{
    ASSERT_TRUE(m_server.Start(m_sim.DevicePath(), nullptr, true));
    ASSERT_EQ(m_port.OpenPath(m_server.Rfc2217Url(), 19200), 0);
    CSerialPort flasher;
    for (const auto pause : {1s, 2s, 4s, 1s}) {
        m_now += pause == 1s ? kSessionHeld : 0s;
        ASSERT_EQ(flasher.OpenPath(m_server.Rfc2217Url(), 19200), 0);
        EXPECT_EQ(RunExchange(flasher, "FWUP:", false, kPause, ReplyForm::Ignored).reply, "\x06");
        EXPECT_FALSE(RunExchange(m_port, "GMWT:", true, kPause, ReplyForm::Framed).ok());
        m_now += pause - 10ms;
        EXPECT_FALSE(m_port.Reopen()) << pause.count();
        m_now += 10ms;
        ASSERT_TRUE(m_port.Reopen()) << pause.count();
    }
}

// A socket that takes connections and never says a word. With full, its queue
// is filled at once: it then drops every further connection's first packet, so
// a connect hangs, as with a host that does not answer.
class MuteServer {
public:
    explicit MuteServer(bool full = false)
    {
        m_fds[0] = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fds[0], reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_fds[0], full ? 0 : 8);
        ::getsockname(m_fds[0], reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        for (int i = 1; full && i < 4; ++i) {
            m_fds[i] = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(m_fds[i], reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        std::this_thread::sleep_for(100ms);
    }
    ~MuteServer()
    {
        for (const int fd : m_fds)
            ::close(fd);
    }
    int Port() const { return m_port; }

protected:
    int m_fds[4] = {-1, -1, -1, -1};
    int m_port = 0;
};

// A server that takes one client and plays it a script, each piece after its
// pause, the last byte of an urgent piece as TCP urgent data. It reads nothing.
class ScriptedServer : public MuteServer {
public:
    struct Piece {
        std::chrono::milliseconds pause;
        std::string bytes;
        bool urgent = false;
    };
    explicit ScriptedServer(std::vector<Piece> script)
        : m_thread([this, script = std::move(script)] {
              m_client = ::accept(m_fds[0], nullptr, nullptr);
              for (const Piece& piece : script) {
                  std::this_thread::sleep_for(piece.pause);
                  const std::size_t plain = piece.bytes.size() - (piece.urgent ? 1 : 0);
                  ::send(m_client, piece.bytes.data(), plain, MSG_NOSIGNAL);
                  if (piece.urgent)
                      ::send(m_client, piece.bytes.data() + plain, 1, MSG_OOB | MSG_NOSIGNAL);
              }
          })
    {
    }
    ~ScriptedServer()
    {
        ::shutdown(m_fds[0], SHUT_RDWR); // ends an accept still waiting
        m_thread.join();
        ::close(m_client);
    }
    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(Port()); }

private:
    int m_client = -1;
    std::thread m_thread;
};

// IAC DO COM-PORT-OPTION, then the answers (101 to 104: e to h) to 8N1 at the baud rate given in two bytes.
std::string Negotiation(char baudHigh = 0x4B, char baudLow = 0)
{
    const std::string sb = "\xff\xfa\x2c", se = "\xff\xf0", baud{'\0', '\0', baudHigh, baudLow};
    return "\xff\xfd\x2c" + sb + "e" + baud + se + sb + "f\x08" + se + sb + "g\x01" + se + sb + "h\x01" + se;
}

TEST_F(NetworkPortTest, PortsThatDoNotOpenSayWhyOnceAndNeverHoldATick)
{
    MuteServer mute;
    MuteServer unanswered(true);
    ScriptedServer slowerLine({{0ms, Negotiation(0x25, static_cast<char>(0x80))}});
    CSerialPort holder; // another client at work on the raw port
    ASSERT_EQ(holder.OpenPath(m_server.RawUrl(), 19200), 0);
    const std::string nobody = "127.0.0.1:" + std::to_string(FreeLocalPort());
    struct Row {
        const char* name;
        std::string url;
        const char* reason;
    };
    const Row rows[] = {
        {"nobody listens", "rfc2217://" + nobody, "nimmt niemand Verbindungen an"},
        {"the name does not resolve", "rfc2217://korven-nirgends.invalid:4001", "lässt sich nicht auflösen"},
        {"a server that never negotiates", "rfc2217://127.0.0.1:" + std::to_string(mute.Port()),
         "keine Antwort auf die RFC-2217-Aushandlung nach"},
        {"a server that sets another baud rate", slowerLine.Url(), "stellt 9600 Baud ein statt 19200 Baud"},
        {"a host that does not answer", "tcp://127.0.0.1:" + std::to_string(unanswered.Port()),
         "Keine Antwort von 127.0.0.1"},
        {"no port number", "rfc2217://127.0.0.1", "Portnummer fehlt"},
        {"an unknown scheme", "telnet://127.0.0.1:23", "Unbekannte Art"},
        {"a port another client holds", m_server.RawUrl(), "wird von einem anderen Programm am Geräteserver benutzt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_messages.clear();
        MapCom5(row.url);
        const auto start = Clock::now();
        EXPECT_EQ(m_port.Open(5, 19200), -1);
        EXPECT_LT(Clock::now() - start, 3s);
        EXPECT_NE(OnlyReason().find(row.reason), std::string::npos) << OnlyReason();
        for (int tick = 0; tick < 3; ++tick) {
            const auto tickStart = Clock::now();
            EXPECT_FALSE(m_port.Reopen());
            EXPECT_LT(Clock::now() - tickStart, 400ms); // about 100 ms; the bound only catches a blocking design
        }
        EXPECT_EQ(m_messages.size(), 1u);
    }
    // Raw TCP negotiates nothing: the same mute server is a port that opens; a typo in its allowance is said once.
    m_messages.clear();
    MapCom5("tcp://127.0.0.1:" + std::to_string(mute.Port()), "COM5_ZUSCHLAG=3000x\n");
    EXPECT_EQ(m_port.Open(5, 19200), 0);
    EXPECT_EQ(m_port.LinkAllowance(), kDefaultLinkAllowance);
    m_port.Close();
    m_port.Reopen();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(m_messages[0].find("COM5_ZUSCHLAG=3000x in [PORTS] von " + m_ini.string()), std::string::npos);
}

TEST_F(NetworkPortTest, ServersThatSpeakLateOrOutOfTurn)
{
    struct Row {
        const char* name;
        std::vector<ScriptedServer::Piece> script;
        enum { Opens, Answers, Ends } then;
    };
    const Row rows[] = {
        {"opened once, the option taken after 2.5 s", {{2500ms, Negotiation()}}, Row::Opens},
        {"a Synch (IAC DM, the DM urgent) before a reply",
         {{0ms, Negotiation()}, {300ms, "\xff\xf2", true}, {0ms, kFrameOfGmwt}},
         Row::Answers},
        {"the option taken back once the port is ready", {{0ms, Negotiation()}, {300ms, "\xff\xfe\x2c"}}, Row::Ends},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server(row.script);
        MapCom5(server.Url());
        ASSERT_EQ(m_port.Open(5, 19200, kOneShotOpenWait), 0) << (m_messages.empty() ? "" : m_messages.back());
        std::this_thread::sleep_for(row.then == Row::Opens ? 0ms : 600ms); // the rest of the script is in by now
        EXPECT_EQ(m_port.TakeLate(), row.then == Row::Answers ? kFrameOfGmwt : "");
        EXPECT_EQ(m_port.CheckDevice(), row.then != Row::Ends);
        m_port.Close();
    }
}

// A send cut off at its time limit with part of the bytes out: nothing may follow half a frame.
TEST(NetworkSocketTest, SendCutOffWithPartOutEndsTheSession)
{
    MuteServer deaf;
    OpenFailure failure = OpenFailure::None;
    const auto socket = net::StartConnect(net::Resolve("127.0.0.1", deaf.Port(), true).endpoints.at(0), failure);
    ASSERT_EQ(socket->FinishConnect(2s, failure), net::Progress::Done);
    bool gone = false;
    EXPECT_FALSE(socket->Send(std::string(64 << 20, 'x'), 300ms, gone)); // more than any socket buffer holds
    EXPECT_TRUE(gone);
}

} // namespace
