// Network port addresses as [PORTS] and --port name them.

#include "port/net_address.h"

#include <gtest/gtest.h>

namespace {

TEST(NetAddressTest, Table)
{
    struct Row {
        const char* text;
        bool network;          // IsNetworkPath
        const char* formatted; // nullptr: refused
        const char* problem;   // part of the reason when refused
    };
    const Row rows[] = {
        {"rfc2217://umspannwerk-sued.example:4001", true, "rfc2217://umspannwerk-sued.example:4001", ""},
        {"TCP://10.0.0.17:04001", true, "tcp://10.0.0.17:4001", ""},
        {"rfc2217://[::1]:65535", true, "rfc2217://[::1]:65535", ""},
        {"rfc2217://[fe80::1%25eth0]:4001", true, "rfc2217://[fe80::1%eth0]:4001", ""},
        {"rfc2217://host", true, nullptr, "Portnummer fehlt"},
        {"rfc2217://host:", true, nullptr, "Portnummer fehlt"},
        {"rfc2217://[::1]", true, nullptr, "Portnummer fehlt"},
        {"tcp://host:0", true, nullptr, "zwischen 1 und 65535"},
        {"tcp://host:65536", true, nullptr, "zwischen 1 und 65535"},
        {"tcp://host:99999999999999999999", true, nullptr, "zwischen 1 und 65535"},
        {"tcp://host:40a", true, nullptr, "keine Zahl"},
        {"tcp://host:4001/", true, nullptr, "„/“"},
        {"telnet://host:23", true, nullptr, "Unbekannte Art"},
        {"rfc2217://umspann werk:4001", true, nullptr, "Leerzeichen"},
        {"rfc2217://:4001", true, nullptr, "Rechnername fehlt"},
        {"rfc2217://::1:4001", true, nullptr, "eckige Klammern"},
        {"rfc2217://[nohost]:4001", true, nullptr, "keine IPv6-Adresse"},
        {"rfc2217://[::1:4001", true, nullptr, "nicht geschlossen"},
        {"/dev/ttyUSB0", false, nullptr, "rfc2217://"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(IsNetworkPath(row.text), row.network);
        std::string problem;
        const auto address = ParseNetAddress(row.text, &problem);
        ASSERT_EQ(address.has_value(), row.formatted != nullptr) << problem;
        if (address)
            EXPECT_EQ(FormatNetAddress(*address), row.formatted);
        else
            EXPECT_NE(problem.find(row.problem), std::string::npos) << problem;
    }
}

} // namespace
