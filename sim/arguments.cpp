#include "sim/arguments.h"

#include "sim/control.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

const char kSimUsage[] = "Usage: korven-sim [options]\n"
                         "A simulated KORVEN relay on a pseudo-terminal. Prints the device path, then\n"
                         "answers until interrupted (SIGINT or SIGTERM).\n"
                         "\n"
                         "  --link PATH      also make a symbolic link to the device at PATH (replaces an\n"
                         "                   existing link; removed again at the end)\n"
                         "  --params FILE    preset the parameter memory from a parameter file (.par)\n"
                         "  --log FILE       log every received frame and the answer given\n"
                         "  --control PORT   connect to 127.0.0.1:PORT and take commands from there, one\n"
                         "                   a line; ends when that connection closes\n"
                         "  --silent         never answer\n"
                         "  --echo           repeat every received byte, like a loop-back plug\n"
                         "  --bad-checksum   framed replies carry wrong checksum digits\n"
                         "  --nak X          answer request X with NAK (repeatable)\n"
                         "  --drop X         do not answer request X (repeatable)\n"
                         "                   X: GMWT GPAR SPAR KAL0 K100 TCM3 FWUP, or a firmware block\n"
                         "                   P<n> / V<n> (n = 0..239), P* / V* for every block\n"
                         "  --extra-byte     a stray byte after every ACK\n"
                         "  --chatter        send bytes without pause, besides answering\n"
                         "  --value TEXT     the measured value text of the GMWT reply\n"
                         "  --wander C,A,N   the reading as a sine around C volts, A volts either side,\n"
                         "                   one period every N readings (N >= 2); --value wins over it\n"
                         "  --line-speed     pace both directions as a 19200-baud line would\n"
                         "  --ser2net        also serve the relay through Debian's ser2net on 127.0.0.1:\n"
                         "                   prints an rfc2217:// and a tcp:// address on lines 2 and 3\n"
                         "  --net-delay MS   with --ser2net: MS milliseconds added each way\n"
                         "  --help           show this text\n";

namespace {

bool IsRequestName(const std::string& name)
{
    for (const char* word : {"GMWT", "GPAR", "SPAR", "KAL0", "K100", "TCM3", "FWUP", "P*", "V*"}) {
        if (name == word)
            return true;
    }
    if (name.size() < 2 || name.size() > 4 || (name[0] != 'P' && name[0] != 'V'))
        return false;
    if (!std::all_of(name.begin() + 1, name.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    return std::stoi(name.substr(1)) < static_cast<int>(RelayModel::kBlockCount);
}

struct Flag {
    const char* name;
    bool SimOptions::*member;
};

const Flag kFlags[] = {
    {"--silent", &SimOptions::silent},
    {"--echo", &SimOptions::echo},
    {"--bad-checksum", &SimOptions::badChecksum},
    {"--extra-byte", &SimOptions::extraByte},
    {"--chatter", &SimOptions::chatter},
    {"--line-speed", &SimOptions::lineSpeed},
};

// "CENTRE,AMPLITUDE,READINGS" as --wander takes it.
std::optional<SimWander> ParseWander(const std::string& text)
{
    const auto first = text.find(',');
    const auto second = first == std::string::npos ? first : text.find(',', first + 1);
    if (second == std::string::npos)
        return std::nullopt;
    const auto centre = ParseDecimal(std::string_view(text).substr(0, first));
    const auto amplitude = ParseDecimal(std::string_view(text).substr(first + 1, second - first - 1));
    unsigned readings = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data() + second + 1, end, readings);
    // The reading stays within what the relay could send, so that a reply always fits one read.
    if (!centre || !amplitude || ec != std::errc() || stop != end || readings < 2 || !(*amplitude >= 0) ||
        std::abs(*centre) + *amplitude > RelayModel::kValueLimit)
        return std::nullopt;
    return SimWander{*centre, *amplitude, readings};
}

// The shortest text that ParseDecimal reads back as the same number.
std::string ExactDecimal(double value)
{
    std::array<char, 400> buffer{}; // room for the longest fixed form of a double below 10000
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed);
    return std::string(buffer.data(), result.ptr);
}

} // namespace

std::optional<std::string> ParseSimArguments(const std::vector<std::string>& words, SimArguments& args)
{
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string name = words[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.erase(eq);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < words.size())
                return words[++i];
            return std::nullopt;
        };

        const auto flag =
            std::find_if(std::begin(kFlags), std::end(kFlags), [&](const Flag& f) { return name == f.name; });
        if (flag != std::end(kFlags) || name == "--help" || name == "-h") {
            if (inlineValue)
                return name + " takes no value";
            (flag != std::end(kFlags) ? args.options.*(flag->member) : args.help) = true;
        } else if (name == "--nak" || name == "--drop") {
            auto request = value();
            if (!request)
                return name + " needs a request name";
            std::transform(request->begin(), request->end(), request->begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            if (!IsRequestName(*request))
                return "unknown request for " + name + ": " + *request;
            (name == "--nak" ? args.options.nak : args.options.drop).insert(*request);
        } else if (name == "--wander") {
            const auto text = value();
            if (!text)
                return name + " needs CENTRE,AMPLITUDE,READINGS";
            args.options.wander = ParseWander(*text);
            if (!args.options.wander)
                return "--wander needs CENTRE,AMPLITUDE,READINGS (plain numbers, AMPLITUDE >= 0, READINGS a whole "
                       "number >= 2, the reading within +-9999.9 V): " +
                       *text;
        } else if (name == "--ser2net") {
            if (inlineValue)
                return name + " takes no value";
            args.ser2net = true;
        } else if (name == "--net-delay") {
            const auto text = value();
            int ms = -1;
            const auto [end, ec] = text ? std::from_chars(text->data(), text->data() + text->size(), ms)
                                        : std::from_chars_result{nullptr, std::errc::invalid_argument};
            if (!text || ec != std::errc() || end != text->data() + text->size() || ms < 0 || ms > 10000)
                return "--net-delay needs milliseconds from 0 to 10000";
            args.netDelayMs = ms;
        } else if (name == "--value" || name == "--params" || name == "--log" || name == "--link" ||
                   name == "--control") {
            const auto text = value();
            if (!text)
                return name + " needs a value";
            if (name == "--value") {
                args.options.value = *text;
            } else if (name == "--params") {
                args.paramsFile = *text;
            } else if (name == "--log") {
                args.logFile = *text;
            } else if (name == "--link") {
                args.linkPath = *text;
            } else {
                int port = 0;
                const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), port);
                if (ec != std::errc() || end != text->data() + text->size() || port < 1 || port > 65535)
                    return "--control needs a port number: " + *text;
                args.controlPort = port;
            }
        } else {
            return "unknown option: " + name;
        }
    }
    if (args.netDelayMs > 0 && !args.ser2net)
        return "--net-delay needs --ser2net";
    return std::nullopt;
}

std::vector<std::string> SimFlags(const SimOptions& options)
{
    std::vector<std::string> words;
    for (const Flag& flag : kFlags) {
        if (options.*(flag.member))
            words.emplace_back(flag.name);
    }
    for (const std::string& request : options.nak)
        words.push_back("--nak=" + request);
    for (const std::string& request : options.drop)
        words.push_back("--drop=" + request);
    if (options.value)
        words.push_back("--value=" + *options.value);
    if (options.wander)
        words.push_back("--wander=" + ExactDecimal(options.wander->centre) + "," +
                        ExactDecimal(options.wander->amplitude) + "," + std::to_string(options.wander->readings));
    return words;
}
