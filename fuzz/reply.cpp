// Any bytes as a reply from the line, judged in every form, and any bytes as the
// text of a request, framed and checked again.

#include "fuzz/support.h"
#include "link/exchange.h"
#include "link/frame.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

bool IsUpperHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

void JudgeAsReply(std::string_view bytes)
{
    // A framed reply is judged as the program reads it: up to its first NUL.
    const std::string_view reply = TerminatedReply(bytes);
    const std::size_t length = reply.size();
    const int verdict = CheckReply(reply);
    FUZZ_REQUIRE(verdict == 0 || verdict == -1);
    if (verdict == 0) {
        FUZZ_REQUIRE(length >= 3);
        const std::size_t digitsAt = length <= 4 ? 1 : length - 3;
        FUZZ_REQUIRE(IsUpperHexDigit(reply[digitsAt]) && IsUpperHexDigit(reply[digitsAt + 1]));
        // A reply that passes is the frame the relay would build for its text;
        // only its first and last bytes may differ.
        if (length >= 5) {
            const std::string rebuilt = BuildFrame(reply.substr(1, length - 4));
            FUZZ_REQUIRE(rebuilt.substr(1, length - 2) == reply.substr(1, length - 2));
        }
    }

    const ExchangeOutcome framed = JudgeReply(bytes, ReplyForm::Framed);
    FUZZ_REQUIRE((framed == ExchangeOutcome::Accepted) == (verdict == 0 && !bytes.empty()));
    FUZZ_REQUIRE((framed == ExchangeOutcome::NoAnswer) == bytes.empty());

    // An acknowledgement is judged by its byte count, NUL bytes included.
    const bool lone = bytes.size() == 1;
    const auto first = lone ? static_cast<unsigned char>(bytes[0]) : 0;
    const ExchangeOutcome ack = JudgeReply(bytes, ReplyForm::Acknowledgement);
    FUZZ_REQUIRE((ack == ExchangeOutcome::Accepted) == (lone && first == ACK));
    FUZZ_REQUIRE((ack == ExchangeOutcome::Refused) == (lone && first == NAK));
    FUZZ_REQUIRE((ack == ExchangeOutcome::NoAnswer) == bytes.empty());
    FUZZ_REQUIRE(JudgeReply(bytes, ReplyForm::Ignored) == ExchangeOutcome::NotJudged);
}

void FrameAsRequest(std::string_view text)
{
    std::string frame = BuildFrame(text);
    FUZZ_REQUIRE(frame.size() == text.size() + 4);
    FUZZ_REQUIRE(frame.front() == STX && frame.back() == ETX);
    FUZZ_REQUIRE(frame.substr(1, text.size()) == text);
    FUZZ_REQUIRE(CheckReply(frame) == 0);

    // Any change to one checksum digit is seen, lower case included.
    const std::size_t digit = frame.size() - 3 + (text.size() & 1);
    const char original = frame[digit];
    frame[digit] = original >= 'A' && original <= 'F' ? static_cast<char>(original + ('a' - 'A'))
                                                      : static_cast<char>(original == '0' ? '1' : '0');
    FUZZ_REQUIRE(CheckReply(frame) == -1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    JudgeAsReply(bytes);
    FrameAsRequest(bytes);
    return 0;
}
