#pragma once
// The simulated relay's behaviour as a pure model: one complete request frame
// in, the reply bytes out. No I/O, no clock, no threads: the serving side
// (sim.h) feeds it frames and puts its replies on the line.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

// A reading that swings as a sine around a centre, so that a demo can show it
// crossing the relay's switching levels. The model has no clock: one period
// takes a number of readings.
struct SimWander {
    double centre = 0;     // volts
    double amplitude = 0;  // volts, not negative
    unsigned readings = 2; // per full period, at least 2
    bool operator==(const SimWander&) const = default;
};

// Why a test relay has no device server in front of it: the tests that need one skip then.
inline constexpr char kNoDeviceServer[] = "ser2net is not installed (scripts/install-deps installs it)";

// How the simulated relay behaves, including its fault modes. Changeable while
// it runs (KorvenSim::Update).
struct SimOptions {
    bool silent = false;      // never answers (frames are still received and logged)
    bool echo = false;        // repeats every received byte, like a loop-back plug, and nothing else
    bool badChecksum = false; // framed replies (GMWT, GPAR) carry wrong checksum digits
    // Requests refused with NAK, or not answered and not carried out. Each entry is
    // a command word (GMWT, GPAR, SPAR, KAL0, K100, TCM3, FWUP) or a firmware block
    // P<n> / V<n> (n = 0..239, word address 64 * n); P* and V* mean every block.
    std::set<std::string> nak;
    std::set<std::string> drop;
    bool extraByte = false;              // a stray byte after every ACK
    unsigned char extraByteValue = 0x00; // the stray byte
    bool chatter = false;                // sends bytes without pause (about one every 0.5 ms), besides answering
    std::optional<std::string> value;    // the GMWT value text instead of the drifting reading
    std::optional<SimWander> wander;     // the GMWT reading as a sine instead; value wins over it
    bool lineSpeed = false;              // paces both directions at 19200 baud, 10 bits a byte
};

// What the relay keeps in its parameter memory.
struct RelayParameters {
    double HYS = 2.0;
    double SWB = 100.0; // within the program's 50 ... 150 V, so a demo set can be written back as read
    double UPL = 10.0;
    double UPP = 15.0;
    double UMI = -10.0;
    double UMM = -15.0;
    int INV = 0;
    double SVZ = 1.0;
    std::string VER = "V2.1 13.06.7"; // always sent as exactly 12 characters
    double KAL = 1.0;
    double K0V = 51.2;

    bool operator==(const RelayParameters&) const = default;
};

struct RelayReply {
    std::string bytes; // what goes on the line; empty: no answer
    std::string note;  // why, for the log: "ACK", "NAK: bad checksum", "dropped" ...
};

class RelayModel {
public:
    static constexpr unsigned kBlockCount = 240;         // firmware blocks 0..239
    static constexpr unsigned kWordsPerBlock = 32;       // program words per block
    static constexpr unsigned kAddressStep = 64;         // word addresses per block
    static constexpr unsigned kBlockDataBytes = 96;      // 3 bytes a word
    static constexpr std::size_t kBlockTextLength = 197; // 'P'/'V', 4 address digits, 192 data digits
    static constexpr std::size_t kVersionLength = 12;
    static constexpr std::size_t kMaxReply = 128; // a framed reply must fit one read
    // Stored values are limited so that the GPAR reply always fits one read.
    static constexpr double kValueLimit = 9999.9;
    static constexpr int kInvLimit = 9;

    // Answers one complete frame (STX ... ETX as received).
    RelayReply Handle(std::string_view frame, const SimOptions& options);

    const RelayParameters& Parameters() const { return m_params; }
    void SetParameters(const RelayParameters& params) { m_params = params; }

    // Presets the parameter memory from the bytes of a parameter file: STX (may be
    // missing) + "SPAR:" + items, without checksum; a trailing line end is
    // tolerated. False (and nothing changed) if the text is not such a record.
    bool PresetFromFile(std::string_view bytes, std::string* error = nullptr);

    // Firmware blocks stored by P frames: word address -> 96 data bytes.
    const std::map<unsigned, std::string>& Blocks() const { return m_blocks; }
    bool InUpdateMode() const { return m_updateMode; }
    // How often a GMWT ended the update mode (the restart after a verify pass).
    int Restarts() const { return m_restarts; }

    // The reply texts (without frame) as they would be sent now.
    std::string GparText() const;
    // The next reading: within about a volt of 230 V, or the wandering one.
    std::string NextReadingText(const std::optional<SimWander>& wander = std::nullopt);

private:
    RelayReply Ack(const SimOptions& options, std::string note) const;
    RelayReply Framed(std::string_view text, const SimOptions& options) const;
    RelayReply HandleBlock(std::string_view text, const SimOptions& options);

    RelayParameters m_params;
    std::map<unsigned, std::string> m_blocks;
    bool m_updateMode = false;
    int m_restarts = 0;
    unsigned m_readings = 0;
};

// The identifier of a request for SimOptions::nak and drop: "GMWT", "SPAR", "P5",
// "V239"; "P" or "V" alone for a malformed block; empty for a text the relay
// does not know.
std::string RequestKey(std::string_view text);

// Parses "KEYvalue;" items of an SPAR text (after "SPAR:") into params. Keys
// HYS SWB UPL UPP UMI UMM INV SVZ; values plain decimal numbers (INV an integer)
// within the relay's limits. False, with params unchanged, on anything else or
// when there is no item at all.
bool ParseSparItems(std::string_view items, RelayParameters& params);

// Bytes made printable for a log: printable ASCII as is, others as <02>.
std::string Printable(std::string_view bytes);
