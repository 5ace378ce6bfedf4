#pragma once
// Judging the relay's answer to the live-reading request "GMWT:".

#include <optional>

#include "link/exchange.h"

inline constexpr const char* kLiveRequest = "GMWT:";

// The reading of a framed "GMWT:" exchange, or nothing when the reply is no
// answer: it must pass the frame test, carry the command word, and not be our
// own request coming back (a loop-back plug or an echoing line). The value is
// the text between the command word and the checksum digits.
std::optional<double> LiveReading(const ExchangeResult& result);
