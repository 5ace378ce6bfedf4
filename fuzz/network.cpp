// Any bytes as a device server's side of a Telnet session, whole and cut in
// two at a place the input chooses, and as a network port's address.

#include "fuzz/support.h"
#include "port/net_address.h"
#include "port/telnet.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

struct Fed {
    std::string data;
    std::string reply;
    bool ready = false;
    bool refused = false;
};

Fed Feed(std::string_view first, std::string_view second)
{
    ComPortSession session(19200);
    session.Start();
    Fed fed;
    session.Receive(first, fed.data, fed.reply);
    session.Receive(second, fed.data, fed.reply);
    fed.ready = session.Ready();
    fed.refused = session.Refused();
    return fed;
}

void AsServerBytes(std::string_view bytes)
{
    const Fed whole = Feed(bytes, {});
    // Where a segment ends changes nothing.
    const std::size_t cut = bytes.empty() ? 0 : static_cast<unsigned char>(bytes[0]) % (bytes.size() + 1);
    const Fed split = Feed(bytes.substr(0, cut), bytes.substr(cut));
    FUZZ_REQUIRE_SAYING(whole.data == split.data && whole.reply == split.reply && whole.ready == split.ready &&
                            whole.refused == split.refused,
                        Escaped(bytes));
    // Never more data than came, and data escaped by the server comes back as it was.
    FUZZ_REQUIRE(whole.data.size() <= bytes.size());
    FUZZ_REQUIRE(Feed(ComPortSession::Escape(bytes), {}).data == bytes);
}

void AsAddress(std::string_view text)
{
    std::string problem;
    const auto address = ParseNetAddress(text, &problem);
    FUZZ_REQUIRE(address.has_value() == problem.empty());
    if (!address)
        return;
    FUZZ_REQUIRE(IsNetworkPath(text));
    FUZZ_REQUIRE(address->port >= 1 && address->port <= 65535 && !address->host.empty());
    // Written out and read again, the same address.
    const auto again = ParseNetAddress(FormatNetAddress(*address));
    FUZZ_REQUIRE_SAYING(again && again->host == address->host && again->port == address->port &&
                            again->scheme == address->scheme,
                        Escaped(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    AsServerBytes(bytes);
    AsAddress(bytes);
    return 0;
}
