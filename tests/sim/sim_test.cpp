// korven-sim: the relay model directly, and the simulator on its pty through a
// client that writes its request bytes by hand (no frame code of ours).

#include "link/frame.h"
#include "sim/control.h"
#include "sim/relay.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

const std::string kAck = "\x06";
const std::string kNak = "\x15";

// The default parameter memory as the relay reports it.
const std::string kDefaultGpar =
    "\x02GPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ1.0;KAL1.000;VERV2.1 13.06.7;K0V51.2;7E\x03";

std::string Frame(std::string_view text)
{
    return BuildFrame(text);
}

std::string BlockText(char kind, const std::string& address, char fill)
{
    return kind + address + std::string(192, fill);
}

// ---------------------------------------------------------------- the model

TEST(RelayModelTest, GparCarriesAllKeysPassesTheCheckAndFitsOneRead)
{
    RelayModel relay;
    std::vector<RelayParameters> sets(2);
    // The widest values the relay stores, and a version text of the wrong length.
    auto& wide = sets[1];
    wide.HYS = wide.SWB = wide.UPL = wide.UPP = wide.UMI = wide.UMM = wide.SVZ = -RelayModel::kValueLimit;
    wide.INV = -RelayModel::kInvLimit;
    wide.VER = "a version text far longer than twelve";
    wide.KAL = 9.999;
    wide.K0V = -999.9;
    for (const auto& params : sets) {
        relay.SetParameters(params);
        const RelayReply reply = relay.Handle(Frame("GPAR:"), {});
        SCOPED_TRACE(Printable(reply.bytes));
        EXPECT_EQ(CheckReply(reply.bytes), 0);
        EXPECT_LE(reply.bytes.size(), RelayModel::kMaxReply);
        std::size_t at = 0;
        for (const char* key : {"GPAR:", "HYS", "SWB", "UPL", "UPP", "UMI", "UMM", "INV", "SVZ", "KAL", "VER", "K0V"}) {
            at = reply.bytes.find(key, at);
            ASSERT_NE(at, std::string::npos) << key;
        }
        const std::size_t ver = reply.bytes.find("VER");
        EXPECT_EQ(reply.bytes.substr(ver + 3 + RelayModel::kVersionLength, 4), ";K0V");
    }
}

TEST(RelayModelTest, SparStoresWhatGparReportsAndRefusesWhatItCannotTake)
{
    struct Row {
        const char* name;
        std::string frame;
        std::string reply;
        bool stored;
    };
    const std::string good = "SPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV1;SVZ1.5;";
    const Row rows[] = {
        {"good", Frame(good), kAck, true},
        {"bad checksum", "\x02" + good + "21\x03", kNak, false},
        {"lower-case digits", "\x02" + good + "2a\x03", kNak, false},
        {"unknown key", Frame("SPAR:HYS2.0;XYZ1.0;"), kNak, false},
        {"not a number", Frame("SPAR:HYS2.0;SWBabc;"), kNak, false},
        {"exponent", Frame("SPAR:HYS2e1;"), kNak, false},
        {"infinity", Frame("SPAR:HYSinf;"), kNak, false},
        {"too large for a reply", Frame("SPAR:SWB123456.0;"), kNak, false},
        {"INV not an integer", Frame("SPAR:INV0.5;"), kNak, false},
        {"no items", Frame("SPAR:"), kNak, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RelayModel relay;
        EXPECT_EQ(relay.Handle(row.frame, {}).bytes, row.reply);
        EXPECT_EQ(relay.Parameters() != RelayParameters{}, row.stored);
    }

    RelayModel relay;
    relay.Handle(Frame(good), {});
    EXPECT_EQ(relay.Handle(Frame("GPAR:"), {}).bytes,
              "\x02GPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV1;SVZ1.5;KAL1.000;VERV2.1 13.06.7;"
              "K0V51.2;7A\x03");
}

TEST(RelayModelTest, FirmwareBlocksAreStoredVerifiedAndRestarted)
{
    RelayModel relay;
    // Blocks outside an update are refused.
    EXPECT_EQ(relay.Handle(Frame(BlockText('P', "0000", 'F')), {}).bytes, kNak);
    EXPECT_EQ(relay.Handle(Frame("FWUP:"), {}).bytes, kAck);
    EXPECT_TRUE(relay.InUpdateMode());

    struct Row {
        const char* name;
        std::string text;
        std::string reply;
    };
    const Row rows[] = {
        {"program block 0", BlockText('P', "0000", 'F'), kAck},
        {"program block 1", BlockText('P', "0040", '0'), kAck},
        {"program the last block", BlockText('P', "3BC0", 'A'), kAck},
        {"address beyond the last block", BlockText('P', "3C00", 'A'), kNak},
        {"address between blocks", BlockText('P', "0010", 'A'), kNak},
        {"not hex", BlockText('P', "0080", 'G'), kNak},
        {"short block", "P0080" + std::string(190, 'F'), kNak},
        {"verify the same", BlockText('V', "0000", 'F'), kAck},
        {"verify different data", BlockText('V', "0040", '1'), kNak},
        {"verify a block never programmed", BlockText('V', "0080", 'F'), kNak},
        {"verify the last block", BlockText('V', "3BC0", 'A'), kAck},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(relay.Handle(Frame(row.text), {}).bytes, row.reply);
    }
    const auto& blocks = relay.Blocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks.at(0x0000), std::string(96, '\xFF'));
    EXPECT_EQ(blocks.at(0x0040), std::string(96, '\0'));

    // The GMWT after the passes ends the update and is answered as usual.
    const RelayReply reading = relay.Handle(Frame("GMWT:"), {});
    EXPECT_EQ(reading.bytes.substr(0, 6), "\x02GMWT:");
    EXPECT_EQ(CheckReply(reading.bytes), 0);
    EXPECT_FALSE(relay.InUpdateMode());
    EXPECT_EQ(relay.Restarts(), 1);
}

TEST(RelayModelTest, FaultModes)
{
    struct Row {
        const char* name;
        SimOptions options;
        std::string text;
        std::string reply; // exact bytes, or "" for no answer
    };
    SimOptions nakKal0;
    nakKal0.nak = {"KAL0"};
    SimOptions dropGpar;
    dropGpar.drop = {"GPAR"};
    SimOptions extra;
    extra.extraByte = true;
    SimOptions value;
    value.value = "abc";
    SimOptions badSum;
    badSum.badChecksum = true;
    badSum.value = "230.4";
    SimOptions silent;
    silent.silent = true;
    const Row rows[] = {
        {"NAK for the listed word", nakKal0, "KAL0:", kNak},
        {"others still ACK", nakKal0, "K100:", kAck},
        {"dropped", dropGpar, "GPAR:", ""},
        {"stray byte after ACK", extra, "TCM3:", "\x06\x00"s},
        {"value text", value, "GMWT:", "\x02GMWT:abc53\x03"},
        {"wrong digits", badSum, "GMWT:", "\x02GMWT:230.410\x03"},
        {"silent", silent, "GMWT:", ""},
        {"unknown request", {}, "GMWX:", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RelayModel relay;
        EXPECT_EQ(relay.Handle(Frame(row.text), row.options).bytes, row.reply);
    }

    // Blocks by number, and every block of a pass.
    SimOptions blocks;
    blocks.nak = {"V5"};
    blocks.drop = {"P*"};
    RelayModel relay;
    relay.Handle(Frame("FWUP:"), blocks);
    EXPECT_EQ(relay.Handle(Frame(BlockText('P', "0140", 'F')), blocks).bytes, "");
    EXPECT_TRUE(relay.Blocks().empty()); // a dropped block is not carried out
    EXPECT_EQ(RequestKey(BlockText('V', "0140", 'F')), "V5");
    EXPECT_EQ(relay.Handle(Frame(BlockText('V', "0140", 'F')), blocks).bytes, kNak);
}

TEST(RelayModelTest, ReadingWandersSlowlyWithinItsBounds)
{
    struct Row {
        const char* name;
        std::optional<SimWander> wander;
        double low, high; // the bounds, which the readings come within reach of
        double reach;
        double step; // the largest change from one reading to the next
    };
    const Row rows[] = {
        {"about 230 V", std::nullopt, 229.0, 231.0, 1.0, 0.3},
        // Crosses all four levels of the default set (85, 90, 110 and 115 V) within one period.
        {"sine of 18 V around 100 V every 60 readings", SimWander{100.0, 18.0, 60}, 82.0, 118.0, 0.5, 2.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimOptions options;
        options.wander = row.wander;
        RelayModel relay;
        double previous = 0, lowest = 1e9, highest = -1e9;
        for (int i = 0; i < 200; ++i) {
            const std::string reply = relay.Handle(Frame("GMWT:"), options).bytes;
            ASSERT_EQ(CheckReply(reply), 0);
            const std::string text = reply.substr(6, reply.size() - 9);
            ASSERT_EQ(text[text.size() - 2], '.') << text; // one decimal: "230.4"
            const double volts = std::stod(text);
            if (i > 0) {
                EXPECT_LE(std::abs(volts - previous), row.step);
            }
            previous = volts;
            lowest = std::min(lowest, volts);
            highest = std::max(highest, volts);
        }
        EXPECT_TRUE(lowest >= row.low && lowest <= row.low + row.reach) << lowest;
        EXPECT_TRUE(highest <= row.high && highest >= row.high - row.reach) << highest;
    }
}

TEST(RelayModelTest, PresetFromParameterFile)
{
    struct Row {
        const char* name;
        std::string bytes;
        bool accepted;
    };
    const std::string record = "SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;";
    const Row rows[] = {
        {"as saved", "\x02" + record, true},
        {"without STX", record, true},
        {"with a line end", "\x02" + record + "\r\n", true},
        {"not a parameter file", "\x02GPAR:HYS2.0;", false},
        {"garbage items", "\x02SPAR:HYS;;;", false},
        {"empty", "", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RelayModel relay;
        std::string error;
        EXPECT_EQ(relay.PresetFromFile(row.bytes, &error), row.accepted);
        if (row.accepted) {
            const auto& p = relay.Parameters();
            EXPECT_EQ(p.SWB, 100.0);
            EXPECT_EQ(p.UMM, -20.0);
            EXPECT_EQ(p.SVZ, 1.5);
            EXPECT_EQ(p.VER, RelayParameters{}.VER);
        } else {
            EXPECT_EQ(relay.Parameters(), RelayParameters{});
            EXPECT_FALSE(error.empty());
        }
    }
}

// ---------------------------------------------------------------- on the pty

// A client of the simulator that knows nothing of our frame code.
class RawClient {
public:
    explicit RawClient(const std::string& path)
    {
        m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd >= 0) {
            termios settings{};
            tcgetattr(m_fd, &settings);
            cfmakeraw(&settings);
            tcsetattr(m_fd, TCSANOW, &settings);
        }
    }
    ~RawClient()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool IsOpen() const { return m_fd >= 0; }

    void Send(const std::string& bytes) { ASSERT_EQ(write(m_fd, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

    // Collects bytes until wanted have come or the line has been quiet for quiet.
    std::string Receive(std::size_t wanted, std::chrono::milliseconds quiet = 300ms)
    {
        std::string got;
        while (got.size() < wanted) {
            pollfd pfd{m_fd, POLLIN, 0};
            if (poll(&pfd, 1, static_cast<int>(quiet.count())) <= 0)
                break;
            char buffer[512];
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int m_fd = -1;
};

class SimOnPty : public ::testing::Test {
protected:
    void Start(SimOptions options = {})
    {
        m_sim = std::make_unique<KorvenSim>(std::move(options));
        std::string error;
        ASSERT_TRUE(m_sim->Start(&error)) << error;
        m_client = std::make_unique<RawClient>(m_sim->DevicePath());
        ASSERT_TRUE(m_client->IsOpen());
    }

    // Sends request bytes and returns what came back. A request without an answer
    // waits until the simulator has taken the frame, then a little for stray bytes.
    std::string Ask(const std::string& request, std::size_t expectedLength)
    {
        const std::size_t framesBefore = m_sim->ReceivedFrames().size();
        m_client->Send(request);
        if (expectedLength == 0) {
            EXPECT_TRUE(m_sim->WaitForFrames(framesBefore + 1, 2000ms));
            return m_client->Receive(1, 50ms);
        }
        return m_client->Receive(expectedLength, 1000ms);
    }

    std::unique_ptr<KorvenSim> m_sim;
    std::unique_ptr<RawClient> m_client;
};

TEST_F(SimOnPty, IndependentClientGetsByteExactReplies)
{
    SimOptions options;
    options.value = "230.4";
    Start(options);

    struct Row {
        const char* name;
        std::string request;
        std::string reply;
    };
    const std::string ff(192, 'F');
    const Row rows[] = {
        {"live reading", "\x02GMWT:33\x03", "\x02GMWT:230.418\x03"},
        {"parameter read", "\x02GPAR:3E\x03", kDefaultGpar},
        {"parameter write",
         "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;21\x03", kAck},
        {"read back",
         "\x02GPAR:3E\x03",
         "\x02GPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;KAL1.000;VERV2.1 13.06.7;K0V51.2;7B\x03"},
        {"calibrate 0 V", "\x02KAL0:4C\x03", kAck},
        {"calibrate 100 V", "\x02K100:40\x03", kAck},
        {"port test", "\x02TCM3:53\x03", kAck},
        {"update mode", "\x02" "FWUP:2E\x03", kAck},
        {"program block 0", "\x02P0000" + ff + "50\x03", kAck},
        {"verify block 0", "\x02V0000" + ff + "56\x03", kAck},
        {"verify block 1, never programmed", "\x02V0040" + ff + "52\x03", kNak},
        {"restart", "\x02GMWT:33\x03", "\x02GMWT:230.418\x03"},
        {"wrong checksum", "\x02GMWT:34\x03", kNak},
        {"noise before a frame is ignored", "xyz\x03\x02TCM3:53\x03", kAck},
        {"unknown request", "\x02XXXX:3A\x03", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Printable(Ask(row.request, row.reply.size())), Printable(row.reply));
    }
    EXPECT_EQ(m_sim->RestartCount(), 1);
    EXPECT_EQ(m_sim->ReceivedFrames().size(), std::size(rows));
    EXPECT_EQ(m_sim->ReceivedFrames().front(), "\x02GMWT:33\x03");
    EXPECT_EQ(m_sim->FirmwareBlocks().size(), 1u);
}

TEST_F(SimOnPty, RefusedParameterWriteStoresNothingAndChangesCanBeMadeWhileRunning)
{
    Start();
    EXPECT_EQ(Ask("\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;22\x03", 1), kNak);
    EXPECT_EQ(m_sim->Parameters(), RelayParameters{});
    EXPECT_EQ(Ask("\x02GPAR:3E\x03", kDefaultGpar.size()), kDefaultGpar);

    m_sim->Update([](SimOptions& o) { o.nak.insert("TCM3"); });
    EXPECT_EQ(Ask("\x02TCM3:53\x03", 1), kNak);
    m_sim->Update([](SimOptions& o) { o.echo = true; });
    EXPECT_EQ(Ask("\x02GPAR:3E\x03", 9), "\x02GPAR:3E\x03");
    m_sim->Update([](SimOptions& o) {
        o.echo = false;
        o.silent = true;
    });
    EXPECT_EQ(Ask("\x02GPAR:3E\x03", 0), "");
}

TEST_F(SimOnPty, InjectedBytesReachTheClient)
{
    Start();
    m_sim->Inject("\x02GMWT:111.11D\x03");
    EXPECT_EQ(m_client->Receive(14, 1000ms), "\x02GMWT:111.11D\x03");
}

TEST_F(SimOnPty, ControlRequestsAreAnsweredInOrder)
{
    Start();
    m_client->Send("\x02TCM3:53\x03");
    ASSERT_TRUE(m_sim->WaitForFrames(1, 2000ms));
    m_client->Receive(1, 1000ms);

    const std::string set = "HYS=0.1 SWB=110 UPL=5 UPP=10 UMI=-5 UMM=-10 SVZ=1.5 KAL=1 K0V=51.2 INV=1 VER=V2%200%00";
    const std::pair<std::string, std::string> steps[] = {
        {"FRAMES", "OK %02TCM3:53%03"},
        {"WAIT 1 0", "OK 1"},
        {"WAIT 2 10", "OK 0"},
        {"CLEAR", "OK"},
        {"FRAMES", "OK"},
        {"SET-OPTIONS --silent --nak=tcm3 --value=2%2030", "OK"},
        {"OPTIONS", "OK --silent --nak=TCM3 --value=2%2030"},
        {"SET-OPTIONS --wander=-0.5,18.25,60", "OK"},
        {"OPTIONS", "OK --wander=-0.5,18.25,60"},
        {"SET-OPTIONS --link=/tmp/x", "ERR only%20fault%20modes%20can%20be%20set"},
        {"SET-OPTIONS --nak=XYZ", "ERR unknown%20request%20for%20--nak:%20XYZ"},
        {"SET-PARAMS " + set, "OK"},
        {"PARAMS", "OK " + set},
        {"SET-PARAMS HYS=0.1 HYS=0.1 SWB=110 UPL=5 UPP=10 UMI=-5 UMM=-10 SVZ=1.5 KAL=1 K0V=51.2 INV=1",
         "ERR a%20parameter%20memory%20needs%20every%20key%20with%20a%20valid%20value"},
        {"INJECT %06%0A", "OK"},
        {"RESTARTS", "OK 0"},
        {"PATH now", "ERR unknown%20request%20or%20wrong%20number%20of%20words:%20PATH"},
        {"PATH %zz", "ERR not%20a%20request:%20PATH%20%25zz"},
    };
    bool quit = false;
    for (const auto& [request, answer] : steps)
        EXPECT_EQ(AnswerControl(*m_sim, request, quit), answer) << request;
    EXPECT_EQ(m_client->Receive(2, 1000ms), "\x06\n");
    EXPECT_EQ(m_sim->Parameters().VER, "V2 0"s + '\0');
    EXPECT_FALSE(quit);
    EXPECT_EQ(AnswerControl(*m_sim, "QUIT", quit), "OK");
    EXPECT_TRUE(quit);
}

TEST_F(SimOnPty, LineSpeedHoldsTheReplyForTheLineTimeOfTheRequest)
{
    SimOptions options;
    options.lineSpeed = true;
    Start(options);
    ASSERT_EQ(Ask("\x02" "FWUP:2E\x03", 1), kAck);
    const auto start = Clock::now();
    const std::string reply = Ask("\x02P0000" + std::string(192, 'F') + "50\x03", 1);
    const auto took = Clock::now() - start;
    EXPECT_EQ(reply, kAck);
    // 202 bytes on a 19200-baud line take 105 ms; a lower bound is safe on any machine.
    EXPECT_GE(took, 100ms);
}

TEST_F(SimOnPty, LogHasOneLinePerFrameWithItsAnswer)
{
    const auto path = std::filesystem::temp_directory_path() / ("korven-sim-log-" + std::to_string(getpid()));
    m_sim = std::make_unique<KorvenSim>();
    ASSERT_TRUE(m_sim->OpenLog(path.string()));
    ASSERT_TRUE(m_sim->Start());
    m_client = std::make_unique<RawClient>(m_sim->DevicePath());
    Ask("\x02KAL0:4C\x03", 1);
    Ask("\x02XXXX:3A\x03", 0);
    m_sim->Stop();

    std::ifstream log(path);
    std::string first, second, third;
    std::getline(log, first);
    std::getline(log, second);
    EXPECT_FALSE(std::getline(log, third));
    EXPECT_NE(first.find("<02>KAL0:4C<03>  ->  <06>"), std::string::npos) << first;
    EXPECT_NE(second.find("<02>XXXX:3A<03>  ->  (no answer)"), std::string::npos) << second;
    std::filesystem::remove(path);
}

TEST_F(SimOnPty, LinkReplacesAnOldLinkButNoFileAndGoesAway)
{
    Start();
    const auto dir = std::filesystem::temp_directory_path() / ("korven-sim-link-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto link = dir / "ttyKORVEN";
    const auto file = dir / "plain";
    std::filesystem::create_symlink("/nonexistent", link);
    std::ofstream(file) << "keep me";

    EXPECT_TRUE(m_sim->MakeLink(link.string()));
    EXPECT_TRUE(m_sim->MakeLink(link.string())); // again at the same place: still there
    EXPECT_EQ(std::filesystem::read_symlink(link), m_sim->DevicePath());
    EXPECT_FALSE(m_sim->MakeLink(file.string()));
    EXPECT_TRUE(std::filesystem::is_regular_file(file));

    RawClient viaLink(link.string());
    ASSERT_TRUE(viaLink.IsOpen());
    viaLink.Send("\x02TCM3:53\x03");
    EXPECT_EQ(viaLink.Receive(1, 1000ms), kAck);

    m_sim->Stop();
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------- the program

#ifdef KORVEN_SIM_PROGRAM
// Runs korven-sim with arguments; its standard output is readable through out.
struct Program {
    pid_t pid = -1;
    FILE* out = nullptr;

    explicit Program(std::vector<std::string> args, bool quietStderr = false)
    {
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        if (quietStderr)
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        args.insert(args.begin(), KORVEN_SIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, KORVEN_SIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        out = fdopen(pipeFds[0], "r");
    }
    ~Program()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            Wait();
        }
        if (out)
            fclose(out);
    }

    std::string Line()
    {
        char line[512];
        if (!out || !fgets(line, sizeof line, out))
            return {};
        std::string text = line;
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text;
    }

    int Wait()
    {
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST(SimProgramTest, PresetParametersLinkAndCleanEndOnSigterm)
{
    const auto dir = std::filesystem::temp_directory_path() / ("korven-sim-prog-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto params = dir / "set.par";
    std::ofstream(params, std::ios::binary)
        << "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;";
    const auto link = dir / "ttyKORVEN";

    Program program({"--params", params.string(), "--link", link.string()});
    ASSERT_GT(program.pid, 0);
    const std::string device = program.Line();
    ASSERT_EQ(device.rfind("/dev/", 0), 0u) << device;
    EXPECT_EQ(std::filesystem::read_symlink(link), device);

    {
        RawClient client(link.string());
        ASSERT_TRUE(client.IsOpen());
        client.Send("\x02GPAR:3E\x03");
        const std::string reply = client.Receive(104, 2000ms);
        EXPECT_NE(reply.find("HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;"), std::string::npos)
            << Printable(reply);
        EXPECT_EQ(CheckReply(reply), 0);
    }

    kill(program.pid, SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    std::filesystem::remove_all(dir);
}

TEST(SimProgramTest, BadOptionsGiveUsageAndExitCode2)
{
    const std::vector<std::vector<std::string>> badArguments = {
        {"--bogus"},  {"--nak", "XYZ"},   {"--drop", "P240"},      {"--value"},
        {"--echo=1"}, {"--control", "0"}, {"--wander", "100,18,1"}};
    for (const auto& args : badArguments) {
        SCOPED_TRACE(args.front());
        Program program(args, true);
        EXPECT_EQ(program.Line(), "");
        EXPECT_EQ(program.Wait(), 2);
    }
    Program help({"--help"});
    EXPECT_EQ(help.Line().rfind("Usage: korven-sim", 0), 0u);
    EXPECT_EQ(help.Wait(), 0);
}
#endif

} // namespace
