#pragma once
// The control channel of korven-sim: a program that cannot hold a KorvenSim in
// its own process (a Windows test under Wine) drives one through it. korven-sim
// --control PORT connects to 127.0.0.1:PORT and answers one request line with one
// answer line ("\n" ends both) until the client sends QUIT or closes the
// connection; then it ends, and its link goes with it.
//
// A line is words separated by single spaces. Every word is escaped, so that any
// bytes (frames, a version text with blanks) survive: bytes from '!' to '~' stand
// for themselves except '%' and '~', every other byte is %XX, and the empty word
// is "~". An answer is "OK" with the result's words, or "ERR" and a message.
//
//   PATH                  OK <device>           the pty's slave device
//   OPTIONS               OK <flag>...          the fault modes as korven-sim's flags
//   SET-OPTIONS <flag>... OK                    replaces the fault modes
//   FRAMES                OK <frame>...         the received frames, STX to ETX
//   CLEAR                 OK                    forgets them
//   WAIT <count> <ms>     OK 1 | OK 0           whether count frames came in time
//   PARAMS                OK <key>=<value>...   the parameter memory, every key
//   SET-PARAMS <k>=<v>... OK                    replaces it (every key needed)
//   PRESET <file bytes>   OK                    presets it from a parameter file
//   BLOCKS                OK <address>=<bytes>... the stored firmware blocks
//   UPDATE-MODE           OK 1 | OK 0
//   RESTARTS              OK <count>
//   INJECT <bytes>        OK                    puts the bytes on the line
//   UNPLUG                OK                    closes the pty and removes the link
//   PLUG                  OK                    a new pty behind the same link
//   SER2NET               OK <rfc2217 url> <tcp url>  ser2net in front of the relay,
//                                               started at the first request; ERR
//                                               kNoDeviceServer where not installed
//   QUIT                  OK                    ends korven-sim

#include "sim/relay.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class KorvenSim;

// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigit(char c);

// A whole text as a plain decimal number: optional sign, digits, optional
// fraction, '.' whatever the locale; no exponent, "inf" or "nan".
std::optional<double> ParseDecimal(std::string_view text);

std::string EscapeWord(std::string_view bytes);
std::optional<std::string> UnescapeWord(std::string_view word);

// A line of words, escaped and joined; and back (nullopt on a bad escape).
std::string JoinWords(const std::vector<std::string>& words);
std::optional<std::vector<std::string>> SplitWords(std::string_view line);

// The parameter memory as KEY=value words, numbers in their shortest exact form;
// and back: false (params unchanged) unless every key is there with a valid value.
std::vector<std::string> ParameterWords(const RelayParameters& params);
bool ReadParameterWords(const std::vector<std::string>& words, RelayParameters& params);

// The answer line (without "\n") to one request line; quit is set by QUIT.
std::string AnswerControl(KorvenSim& sim, std::string_view line, bool& quit);

// Connects to the control client at 127.0.0.1:port; a descriptor, or -1 and why.
int ConnectControl(int port, std::string* error);
// Answers requests on the connection until QUIT or its end. Leaves fd open.
// plugged, where given, runs after each PLUG that gave the relay a new device.
void ServeControl(KorvenSim& sim, int fd, const std::function<void()>& plugged = {});
