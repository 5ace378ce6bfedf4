// The Win32 network port (Winsock) against Debian's ser2net in front of a
// korven-sim, both on the Linux side: scripts/test-windows starts
// "korven-sim --ser2net --value 230.4" and passes its addresses in
// KORVEN_RFC2217_URL and KORVEN_RAW_URL. A [PORTS] entry that names a network
// port takes the place of \\.\COMn.

#include "link/exchange.h"
#include "link/frame.h"
#include "port/serial_port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

class WineNetwork : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_ini = std::filesystem::temp_directory_path() / "korven-network-wine.ini";
        CSerialPort::SetHooks(
            {[this](const std::string& text, const std::string&) { m_messages.push_back(text); }, m_ini.string()});
    }
    void TearDown() override
    {
        CSerialPort::SetHooks({});
        std::filesystem::remove(m_ini);
    }
    void MapCom5(const std::string& url) const { std::ofstream(m_ini) << "[PORTS]\nCOM5=" << url << "\n"; }

    std::filesystem::path m_ini;
    std::vector<std::string> m_messages;
};

TEST_F(WineNetwork, ExchangesThroughSer2netOverRfc2217AndRawTcp)
{
    for (const char* variable : {"KORVEN_RFC2217_URL", "KORVEN_RAW_URL"}) {
        const char* url = std::getenv(variable);
        if (url == nullptr)
            GTEST_SKIP() << variable << " is not set: scripts/test-windows starts the device server";
        SCOPED_TRACE(url);
        MapCom5(url);
        EXPECT_EQ(SerialDevicePath(5), url);
        CSerialPort port;
        ASSERT_EQ(port.Open(5, 19200), 0) << (m_messages.empty() ? "" : m_messages.back());
        EXPECT_TRUE(port.ReadsWhole());
        const ExchangeResult live = RunExchange(port, "GMWT:", true, kPause, ReplyForm::Framed);
        EXPECT_EQ(live.outcome, ExchangeOutcome::Accepted);
        EXPECT_EQ(live.reply, BuildFrame("GMWT:230.4"));
        EXPECT_EQ(RunExchange(port, "GPAR:", true, kPause, ReplyForm::Framed).reply.size(), 104u);
        EXPECT_TRUE(RunExchange(port, "TCM3:", false, kPause, ReplyForm::Acknowledgement).ok());
        // A block is taken in update mode.
        EXPECT_EQ(RunExchange(port, "FWUP:", false, kPause, ReplyForm::Ignored).reply, "\x06");
        EXPECT_TRUE(
            RunExchange(port, "P0000" + std::string(192, 'F'), false, kBlockPause, ReplyForm::Acknowledgement).ok());
        port.Close();
    }
    EXPECT_TRUE(m_messages.empty());
}

} // namespace
