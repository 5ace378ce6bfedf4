#pragma once
// The firmware update without a window: a programming pass (FWUP, then one 'P'
// frame per block), a pause, a verify pass (FWUP, then one 'V' frame per block,
// stopping at the first block the relay does not acknowledge) and, after a clean
// verify, the restart request. Every frame is one exchange on the shared port;
// a block counts as good only when the relay answers with a single ACK.
// Progress, the status texts and each block's outcome go to callbacks, which are
// also asked between blocks whether to stop, so a dialog and a command-line
// front end can drive the same passes.

#include "firmware/block_format.h"

#include <chrono>
#include <functional>
#include <string>

class CSerialPort;
struct RecordEntry;

inline constexpr const char* kUpdateRequest = "FWUP:";
// The relay leaves update mode and starts the new firmware on the next reading request.
inline constexpr const char* kRestartRequest = "GMWT:";
inline constexpr std::chrono::milliseconds kVerifyDelay{1000};

inline constexpr const char* kBlockFailedSuffix = " --> Fehler!";
inline constexpr const char* kProgrammingOk = "Programmierung ok!";
inline constexpr const char* kVerifyOk = "Verify ok!";

// "Programmiere Adresse 32" ... "Programmiere Adresse 7680".
std::string ProgramStatus(unsigned block);
// "Verify Adresse 32" ... "Verify Adresse 7680".
std::string VerifyStatus(unsigned block);

enum class PassOutcome {
    Ok,      // every block acknowledged
    Failed,  // some block was not (the verify pass stops at the first)
    Stopped, // a stop was requested between blocks
};

struct PassResult {
    PassOutcome outcome = PassOutcome::Ok;
    std::string status; // the pass's closing status text
    // Stopped before the first block: whether FWUP had gone out, so that the
    // relay may be waiting for blocks rather than running its firmware.
    bool requested = false;
};

struct UpdateEvents {
    // The status line: each block's text before its frame goes out, a failed
    // verify block's text with " --> Fehler!", and "Verify ok!".
    std::function<void(const std::string& status)> status;
    // A block's reply has been judged. block (0 ... 239) is also the progress
    // position, in a range of kBlockCount.
    std::function<void(char letter, unsigned block, bool good)> blockDone;
    // Asked after each block and after the pause between the passes: true ends
    // the update at once, before any further frame.
    std::function<bool()> stopRequested;
};

class FirmwareUpdate {
public:
    FirmwareUpdate(CSerialPort& port, const FirmwareImage& image, UpdateEvents events);

    // FWUP, then all 240 program blocks, whatever their replies.
    PassResult Program();
    // FWUP, then the verify blocks up to the first failure; after a clean pass
    // "Verify ok!" and the restart request.
    PassResult Verify();
    // The restart request; its reply is thrown away.
    void Restart();
    // Program, the pause, Verify (also after programming errors: only the verify
    // pass tells whether the relay holds the image). A stop is looked at
    // before each frame after FWUP: requested before the start it sends
    // nothing and gives an empty status; during a pass's FWUP, none of that
    // pass's blocks goes out.
    PassResult Run();

private:
    bool Good(const std::string& request);
    void Status(const std::string& text) const;
    void BlockDone(char letter, unsigned block, bool good) const;
    bool StopRequested() const;

    CSerialPort& m_port;
    const FirmwareImage& m_image;
    UpdateEvents m_events;
};

// The commissioning record's entry of an update run with the image of the HEX
// file at hexPath: the file's name, the SHA-256 of the 240 block texts sent, and
// with the result how it ended ("Verify ok!", the failing block's status, where
// it was stopped).
RecordEntry FirmwareRecordEntry(const std::string& hexPath, const FirmwareImage& image);
RecordEntry FirmwareRecordEntry(const std::string& hexPath, const FirmwareImage& image, const PassResult& result);
