// The Telnet side of a network port, fed as a device server sends it: whole,
// split at every place, and a byte at a time.

#include "port/telnet.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

using namespace telnet;

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (const int v : values)
        bytes += static_cast<char>(v);
    return bytes;
}

std::string Sub(std::initializer_list<int> values)
{
    return Bytes({IAC, SB, kComPortOption}) + Bytes(values) + Bytes({IAC, SE});
}

// What the client sends once the server takes the COM-PORT-OPTION: 19200 8N1, no flow control.
const std::string kLineSettings = Sub({1, 0, 0, 0x4B, 0}) + Sub({2, 8}) + Sub({3, 1}) + Sub({4, 1}) + Sub({5, 1});
// What a server answers to them; the flow control it may leave unanswered.
const std::string kAnswers = Sub({101, 0, 0, 0x4B, 0}) + Sub({102, 8}) + Sub({103, 1}) + Sub({104, 1});

struct Result {
    std::string data;
    std::string reply;
    bool ready = false;
    bool refused = false;
    unsigned baudRate = 0;
};

// The bytes fed in pieces cut at the given places.
Result Feed(const std::string& bytes, const std::vector<std::size_t>& cuts)
{
    ComPortSession session(19200);
    session.Start();
    Result result;
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        session.Receive(std::string_view(bytes).substr(from, cut - from), result.data, result.reply);
        from = cut;
    }
    session.Receive(std::string_view(bytes).substr(from), result.data, result.reply);
    result.ready = session.Ready();
    result.refused = session.Refused();
    result.baudRate = session.ServerBaudRate();
    return result;
}

TEST(ComPortSessionTest, ServerBytesSplitAnywhere)
{
    struct Row {
        const char* name;
        std::string fromServer;
        std::string data;
        std::string reply;
        bool ready;
        bool refused;
        unsigned baudRate;
    };
    const std::string frame = "\x02GMWT:230.418\x03";
    const Row rows[] = {
        {"plain data passes", frame, frame, "", false, false, 0},
        {"a doubled 0xFF is one data byte", std::string("A") + Bytes({IAC, IAC}) + "B",
         "A\xFF"
         "B",
         "", false, false, 0},
        {"the option taken: the line is set", Bytes({IAC, DO, kComPortOption}), "", kLineSettings, false, false, 0},
        {"binary both ways, the option and its answers, flow control unanswered",
         Bytes({IAC, WILL, kBinary, IAC, DO, kBinary, IAC, DO, kComPortOption}) + kAnswers, "", kLineSettings, true,
         false, 19200},
        {"the option refused", Bytes({IAC, DONT, kComPortOption}), "", "", false, true, 0},
        {"notifications inside a frame", "\x02GM" + Sub({107, 0x30}) + "WT:230" + Sub({106, 0x60}) + ".418\x03", frame,
         "", false, false, 0},
        {"options we do not have are refused", Bytes({IAC, DO, 24, IAC, WILL, 1}), "",
         Bytes({IAC, WONT, 24, IAC, DONT, 1}), false, false, 0},
        {"a doubled 0xFF inside an answer", Bytes({IAC, DO, kComPortOption}) + Sub({101, 0, 0, IAC, IAC, IAC, IAC}), "",
         kLineSettings, false, false, 65535},
        {"two-byte commands between data bytes", std::string("A") + Bytes({IAC, NOP}) + "B" + Bytes({IAC, 249}) + "C",
         "ABC", "", false, false, 0},
        {"a server that asks again is not answered again",
         Bytes({IAC, DO, kBinary, IAC, DO, kBinary, IAC, WILL, kBinary, IAC, WILL, kBinary}), "", "", false, false, 0},
        {"binary turned off by the server is acknowledged",
         Bytes({IAC, WILL, kBinary, IAC, WONT, kBinary, IAC, DO, kBinary, IAC, DONT, kBinary}), "",
         Bytes({IAC, DONT, kBinary, IAC, WONT, kBinary}), false, false, 0},
        {"an unasked option the client has is taken", Bytes({IAC, WILL, kSuppressGoAhead, IAC, DO, kSuppressGoAhead}),
         "", Bytes({IAC, DO, kSuppressGoAhead, IAC, WILL, kSuppressGoAhead}), false, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Whole, cut once at every place, and a byte at a time.
        std::vector<std::vector<std::size_t>> ways{{}, {}};
        for (std::size_t cut = 1; cut < row.fromServer.size(); ++cut) {
            ways.push_back({cut});
            ways[1].push_back(cut);
        }
        for (const auto& cuts : ways) {
            SCOPED_TRACE("cut at " + ::testing::PrintToString(cuts));
            const Result result = Feed(row.fromServer, cuts);
            EXPECT_EQ(result.data, row.data);
            EXPECT_EQ(result.reply, row.reply);
            EXPECT_EQ(result.ready, row.ready);
            EXPECT_EQ(result.refused, row.refused);
            EXPECT_EQ(result.baudRate, row.baudRate);
        }
    }
}

TEST(ComPortSessionTest, ClientOffersAndEscapes)
{
    ComPortSession session(19200);
    EXPECT_EQ(session.Start(), Bytes({IAC, WILL, kBinary, IAC, DO, kBinary, IAC, WILL, kComPortOption}));
    EXPECT_EQ(ComPortSession::Escape(Bytes({2, 0xFF, 3})), Bytes({2, 0xFF, 0xFF, 3}));
    EXPECT_EQ(ComPortSession::SetBaudRate(38400), Sub({1, 0, 0, 0x96, 0}));
}

} // namespace
