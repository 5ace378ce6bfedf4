// The exchange routine, judged on its own and run through a real CSerialPort
// against korven-sim on a pseudo-terminal.

#include "link/exchange.h"
#include "link/frame.h"
#include "port/serial_port.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

TEST(JudgeReplyTest, Table)
{
    struct Row {
        const char* name;
        std::string reply;
        ReplyForm form;
        ExchangeOutcome expected;
    };
    const Row rows[] = {
        {"single ACK", "\x06", ReplyForm::Acknowledgement, ExchangeOutcome::Accepted},
        {"two ACKs", "\x06\x06", ReplyForm::Acknowledgement, ExchangeOutcome::BadReply},
        {"ACK and a NUL", "\x06\x00"s, ReplyForm::Acknowledgement, ExchangeOutcome::BadReply},
        {"stale byte before ACK", "x\x06", ReplyForm::Acknowledgement, ExchangeOutcome::BadReply},
        {"single NAK", "\x15", ReplyForm::Acknowledgement, ExchangeOutcome::Refused},
        {"other byte", "A", ReplyForm::Acknowledgement, ExchangeOutcome::BadReply},
        {"nothing to an ACK request", "", ReplyForm::Acknowledgement, ExchangeOutcome::NoAnswer},
        {"good frame", "\x02GMWT:230.418\x03", ReplyForm::Framed, ExchangeOutcome::Accepted},
        {"frame with wrong digits", "\x02GMWT:230.419\x03", ReplyForm::Framed, ExchangeOutcome::BadReply},
        // A frame is judged as a terminated string: what follows a NUL is not part of it.
        {"frame and a break", "\x02GPAR:3E\x03\x00"s, ReplyForm::Framed, ExchangeOutcome::Accepted},
        {"NUL inside a frame", "\x02GMWT:2\x0030.418\x03"s, ReplyForm::Framed, ExchangeOutcome::BadReply},
        {"ACK where a frame belongs", "\x06", ReplyForm::Framed, ExchangeOutcome::BadReply},
        {"nothing to a frame request", "", ReplyForm::Framed, ExchangeOutcome::NoAnswer},
        {"ignored", "\x02GMWT:230.419\x03", ReplyForm::Ignored, ExchangeOutcome::NotJudged},
        {"ignored nothing", "", ReplyForm::Ignored, ExchangeOutcome::NotJudged},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(JudgeReply(row.reply, row.form), row.expected);
    }
}

class ExchangeOnSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(m_sim.Start(&error)) << error;
        m_ini = std::filesystem::temp_directory_path() / ("korven-exchange-" + std::to_string(getpid()) + ".ini");
        std::ofstream(m_ini, std::ios::binary) << "[PORTS]\nCOM1=" << m_sim.DevicePath() << "\n";
        CSerialPort::SetHooks({[this](const std::string& text, const std::string&) { m_messages.push_back(text); },
                               m_ini.string()});
        ASSERT_EQ(m_port.Open(1, 19200), 0);
    }

    void TearDown() override
    {
        m_port.Close();
        CSerialPort::SetHooks({});
        std::filesystem::remove(m_ini);
        EXPECT_TRUE(m_messages.empty());
    }

    // Fault modes of one case, on top of the relay's plain behaviour.
    void Behave(const std::function<void(SimOptions&)>& change)
    {
        m_sim.Update([&](SimOptions& options) {
            options = SimOptions{};
            options.value = "230.4";
            if (change)
                change(options);
        });
    }

    KorvenSim m_sim;
    CSerialPort m_port;
    std::filesystem::path m_ini;
    std::vector<std::string> m_messages;
};

TEST_F(ExchangeOnSim, OutcomesOfEveryReplyForm)
{
    struct Row {
        const char* name;
        std::function<void(SimOptions&)> faults;
        std::string text;
        bool drain;
        std::chrono::milliseconds pause;
        ReplyForm form;
        ExchangeOutcome expected;
        std::string reply;
    };
    const Row rows[] = {
        {"ACK passes", nullptr, "KAL0:", false, kPause, ReplyForm::Acknowledgement, ExchangeOutcome::Accepted,
         "\x06"},
        {"ACK and a stray byte fail", [](SimOptions& o) { o.extraByte = true; }, "K100:", false, kPause,
         ReplyForm::Acknowledgement, ExchangeOutcome::BadReply, "\x06\x00"s},
        {"NAK is refused", [](SimOptions& o) { o.nak = {"KAL0"}; }, "KAL0:", false, kPause,
         ReplyForm::Acknowledgement, ExchangeOutcome::Refused, "\x15"},
        {"framed reply passes", nullptr, "GMWT:", true, kPause, ReplyForm::Framed, ExchangeOutcome::Accepted,
         "\x02GMWT:230.418\x03"},
        {"framed reply with wrong checksum fails", [](SimOptions& o) { o.badChecksum = true; }, "GMWT:", true, kPause,
         ReplyForm::Framed, ExchangeOutcome::BadReply, "\x02GMWT:230.410\x03"},
        // A loop-back plug returns the request, whose checksum is right: nobody answered.
        {"own request echoed", [](SimOptions& o) { o.echo = true; }, "GPAR:", true, kPause, ReplyForm::Framed,
         ExchangeOutcome::NoAnswer, "\x02GPAR:3E\x03"},
        {"ignored reply", nullptr, "FWUP:", false, kPause, ReplyForm::Ignored, ExchangeOutcome::NotJudged, "\x06"},
        {"block after a short pause", nullptr, "P0000" + std::string(192, 'F'), false, kBlockPause,
         ReplyForm::Acknowledgement, ExchangeOutcome::Accepted, "\x06"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Behave(row.faults);
        const ExchangeResult result = RunExchange(m_port, row.text, row.drain, row.pause, row.form);
        EXPECT_EQ(result.outcome, row.expected);
        EXPECT_EQ(result.reply, row.reply);
        EXPECT_EQ(result.ok(), row.expected == ExchangeOutcome::Accepted);
    }
    EXPECT_EQ(m_sim.ReceivedFrames().back(), "\x02P0000" + std::string(192, 'F') + "50\x03");
}

TEST_F(ExchangeOnSim, SilenceFailsAfterThePauseAndOneReadTimeOut)
{
    Behave([](SimOptions& o) { o.silent = true; });
    const auto start = Clock::now();
    const ExchangeResult result = RunExchange(m_port, "TCM3:", false, kPause, ReplyForm::Acknowledgement);
    const auto took = Clock::now() - start;
    EXPECT_EQ(result.outcome, ExchangeOutcome::NoAnswer);
    EXPECT_TRUE(result.reply.empty());
    // 100 ms pause + 128 ms read time-out; the bounds only catch a wrong design.
    EXPECT_GT(took, 150ms);
    EXPECT_LT(took, 1s);
}

TEST_F(ExchangeOnSim, StaleBytesDoNotReachTheJudgementOfADrainedExchange)
{
    Behave(nullptr);
    const std::string stale = "\x02GMWT:111.11D\x03";
    ASSERT_EQ(CheckReply(stale), 0); // a stale reply that would pass on its own

    m_sim.Inject(stale);
    std::this_thread::sleep_for(50ms); // let it reach the port's queue
    const ExchangeResult drained = RunExchange(m_port, "GMWT:", true, kPause, ReplyForm::Framed);
    EXPECT_EQ(drained.outcome, ExchangeOutcome::Accepted);
    EXPECT_EQ(drained.reply, "\x02GMWT:230.418\x03");

    // Without the drain the stale bytes come first and spoil the reply.
    m_sim.Inject(stale);
    std::this_thread::sleep_for(50ms);
    const ExchangeResult undrained = RunExchange(m_port, "GMWT:", false, kPause, ReplyForm::Framed);
    EXPECT_EQ(undrained.reply.substr(0, stale.size()), stale);
    EXPECT_EQ(undrained.outcome, ExchangeOutcome::BadReply);
}

TEST_F(ExchangeOnSim, ChatteringLineDoesNotFreezeTheExchange)
{
    Behave([](SimOptions& o) { o.chatter = true; });
    // Should the drain have no bound, the chatter stops after a while so that the
    // test fails on its timing instead of hanging.
    std::atomic<bool> finished = false;
    std::thread stopper([this, &finished] {
        const auto until = Clock::now() + 4s;
        while (!finished && Clock::now() < until)
            std::this_thread::sleep_for(20ms);
        m_sim.Update([](SimOptions& o) { o.chatter = false; });
    });
    const auto start = Clock::now();
    const ExchangeResult result = RunExchange(m_port, "GMWT:", true, kPause, ReplyForm::Framed);
    const auto took = Clock::now() - start;
    finished = true;
    stopper.join();

    // The drain ran into its time bound (a quiet line costs one read time-out, 128 ms)
    // and the exchange went on: bounded drain, pause and one read.
    EXPECT_GT(took, 900ms);
    EXPECT_LT(took, 2s);
    EXPECT_FALSE(result.reply.empty());
}

} // namespace
