// The Win32 serial backend on real lines: run under Wine by scripts/test-windows,
// with the COM ports mapped to pseudo-terminals of korven-sim (Linux) processes:
//   COM1   korven-sim --value 230.4 --nak KAL0 --drop TCM3
//   COM12  korven-sim --chatter (opened by the \\.\COM12 name)
//   COM7   nothing (not mapped)
//   COM21  a port above the program's sixteen, for the port list (nothing opens it)
// The results must be those of the POSIX backend against the same relay.

#include "link/exchange.h"
#include "link/frame.h"
#include "port/port_list.h"
#include "port/serial_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using Messages = std::vector<std::pair<std::string, std::string>>;

constexpr int kRelay = 1;
constexpr int kChatteringRelay = 12;
constexpr int kNoDevice = 7;

const std::string kNewSet = "HYS3.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV1;SVZ1.0;";

class WineSerial : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_messages.clear();
        CSerialPort::SetHooks(
            {[this](const std::string& text, const std::string& caption) { m_messages.emplace_back(text, caption); },
             {}});
    }
    void TearDown() override { CSerialPort::SetHooks({}); }

    Messages m_messages;
};

// COM1 and the two-digit COM12 open in the exchanges below.
TEST_F(WineSerial, PortWithoutADeviceIsReported)
{
    CSerialPort port;
    EXPECT_EQ(port.Open(kNoDevice, 19200), -1);
    EXPECT_EQ(m_messages, (Messages{{"Kann Schnittstelle COM7 nicht öffnen\r\nCOM7 ist nicht vorhanden: den Adapter "
                                     "einstecken, oder die Schnittstelle wählen, an der das Gerät hängt.",
                                     "ERROR"}}));
}

TEST_F(WineSerial, ExchangesWithTheRelay)
{
    struct Row {
        const char* name;
        int port;
        std::string text;
        bool drain;
        ReplyForm form;
        ExchangeOutcome outcome;
        std::optional<std::string> reply; // none: any bytes
        milliseconds atLeast;
        milliseconds atMost;
    };
    const Row rows[] = {
        {"framed reply", kRelay, "GMWT:", true, ReplyForm::Framed, ExchangeOutcome::Accepted, BuildFrame("GMWT:230.4"),
         0ms, 600ms},
        {"parameter set taken", kRelay, "SPAR:" + kNewSet, false, ReplyForm::Acknowledgement, ExchangeOutcome::Accepted,
         "\x06", 0ms, 600ms},
        {"parameter set read back", kRelay, "GPAR:", true, ReplyForm::Framed, ExchangeOutcome::Accepted,
         BuildFrame("GPAR:" + kNewSet + "KAL1.000;VERV2.1 13.06.7;K0V51.2;"), 0ms, 600ms},
        {"refusal", kRelay, "KAL0:", false, ReplyForm::Acknowledgement, ExchangeOutcome::Refused, "\x15", 0ms, 600ms},
        // The pause, then a read that waits about 128 ms for nothing: a read time-out
        // of a second or more would show here.
        {"silence", kRelay, "TCM3:", false, ReplyForm::Acknowledgement, ExchangeOutcome::NoAnswer, "", 200ms, 600ms},
        // The drain gives up at its byte or time bound; pause and read follow.
        {"chatter", kChatteringRelay, "GMWT:", true, ReplyForm::Framed, ExchangeOutcome::BadReply, std::nullopt, 100ms,
         1500ms},
    };
    for (const Row& row : rows) {
        CSerialPort port;
        ASSERT_EQ(port.Open(row.port, 19200), 0) << row.name;
        const auto start = Clock::now();
        const ExchangeResult result = RunExchange(port, row.text, row.drain, kPause, row.form);
        const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
        EXPECT_EQ(result.outcome, row.outcome) << row.name;
        if (row.reply)
            EXPECT_EQ(result.reply, *row.reply) << row.name;
        else
            EXPECT_FALSE(result.reply.empty()) << row.name;
        EXPECT_GE(took, row.atLeast) << row.name;
        EXPECT_LE(took, row.atMost) << row.name;
    }
    EXPECT_TRUE(m_messages.empty());
}

// The list the search tries: COM1 to COM16, then the ports above them that the
// system lists, each with the system's name for its device.
TEST_F(WineSerial, PortListHoldsTheSixteenAndThePortsTheSystemAdds)
{
    const std::vector<PortCandidate> ports = SystemPorts();
    ASSERT_GE(ports.size(), 17u);
    for (std::size_t i = 0; i < 17; ++i) {
        const int n = i < 16 ? static_cast<int>(i) + 1 : 21;
        EXPECT_EQ(ports[i].device, "\\\\.\\COM" + std::to_string(n));
        // A mapped port is the system's, with its name for the device.
        EXPECT_TRUE((n != kRelay && n != kChatteringRelay && n != 21) ||
                    (!ports[i].assumed && ports[i].target.rfind("\\Device\\", 0) == 0))
            << n;
    }
    EXPECT_TRUE(ports[kNoDevice - 1].assumed);
}

} // namespace
