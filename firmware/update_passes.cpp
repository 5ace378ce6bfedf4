#include "firmware/update_passes.h"

#include "files/utf8_path.h"
#include "firmware/sha256.h"
#include "link/exchange.h"
#include "record/commissioning_record.h"

#include <thread>

std::string ProgramStatus(unsigned block)
{
    return "Programmiere Adresse " + std::to_string(BlockDisplayNumber(block));
}

std::string VerifyStatus(unsigned block)
{
    return "Verify Adresse " + std::to_string(BlockDisplayNumber(block));
}

FirmwareUpdate::FirmwareUpdate(CSerialPort& port, const FirmwareImage& image, UpdateEvents events)
    : m_port(port), m_image(image), m_events(std::move(events))
{
}

PassResult FirmwareUpdate::Program()
{
    // The reply to FWUP says nothing: the block replies tell.
    RunExchange(m_port, kUpdateRequest, false, kPause, ReplyForm::Ignored);
    // A stop asked for during FWUP's pause comes before the first block.
    if (StopRequested())
        return {PassOutcome::Stopped, "", true};
    bool failed = false;
    std::string status;
    for (unsigned block = 0; block < kBlockCount; ++block) {
        const std::string request = BlockRequest(kProgramLetter, m_image, block);
        status = ProgramStatus(block);
        Status(status);
        // A block is never sent again: the verify pass finds what went wrong.
        const bool good = Good(request);
        failed = failed || !good;
        BlockDone(kProgramLetter, block, good);
        if (StopRequested())
            return {PassOutcome::Stopped, status};
    }
    if (failed)
        return {PassOutcome::Failed, status + kBlockFailedSuffix};
    return {PassOutcome::Ok, kProgrammingOk};
}

PassResult FirmwareUpdate::Verify()
{
    RunExchange(m_port, kUpdateRequest, false, kPause, ReplyForm::Ignored);
    // Every block was sent, none verified.
    if (StopRequested())
        return {PassOutcome::Stopped, kProgrammingOk};
    for (unsigned block = 0; block < kBlockCount; ++block) {
        const std::string request = BlockRequest(kVerifyLetter, m_image, block);
        std::string status = VerifyStatus(block);
        Status(status);
        const bool good = Good(request);
        BlockDone(kVerifyLetter, block, good);
        if (!good) {
            status += kBlockFailedSuffix;
            Status(status);
            return {PassOutcome::Failed, status};
        }
        if (StopRequested())
            return {PassOutcome::Stopped, status};
    }
    Status(kVerifyOk);
    Restart();
    return {PassOutcome::Ok, kVerifyOk};
}

void FirmwareUpdate::Restart()
{
    RunExchange(m_port, kRestartRequest, false, kPause, ReplyForm::Ignored);
}

PassResult FirmwareUpdate::Run()
{
    // A stop asked for while the image loaded or the relay was checked comes
    // before FWUP: the relay keeps its firmware.
    if (StopRequested())
        return {PassOutcome::Stopped, ""};
    const PassResult programming = Program();
    if (programming.outcome == PassOutcome::Stopped)
        return programming;
    std::this_thread::sleep_for(kVerifyDelay);
    if (StopRequested())
        return {PassOutcome::Stopped, programming.status};
    return Verify();
}

bool FirmwareUpdate::Good(const std::string& request)
{
    return RunExchange(m_port, request, false, kBlockPause, ReplyForm::Acknowledgement).ok();
}

void FirmwareUpdate::Status(const std::string& text) const
{
    if (m_events.status)
        m_events.status(text);
}

void FirmwareUpdate::BlockDone(char letter, unsigned block, bool good) const
{
    if (m_events.blockDone)
        m_events.blockDone(letter, block, good);
}

bool FirmwareUpdate::StopRequested() const
{
    return m_events.stopRequested && m_events.stopRequested();
}

RecordEntry FirmwareRecordEntry(const std::string& hexPath, const FirmwareImage& image)
{
    RecordEntry entry;
    entry.action = record::kFirmwareUpdate;
    entry.file = PathToUtf8(PathFromUtf8(hexPath).filename());
    std::string blocks;
    // At once at its size: korvenctl makes this entry for many relays at the same moment.
    blocks.reserve(kBlockCount * kBlockTextLength);
    for (unsigned block = 0; block < kBlockCount; ++block)
        blocks += FormatBlock(image, BlockWordAddress(block));
    entry.sha256 = Sha256Hex(blocks);
    return entry;
}

RecordEntry FirmwareRecordEntry(const std::string& hexPath, const FirmwareImage& image, const PassResult& result)
{
    RecordEntry entry = FirmwareRecordEntry(hexPath, image);
    if (result.outcome != PassOutcome::Stopped)
        entry.outcome = result.status;
    else if (result.status.empty())
        entry.outcome = "abgebrochen vor der Programmierung";
    else if (result.status == kProgrammingOk || result.status.starts_with(ProgramStatus(kBlockCount - 1)))
        entry.outcome = "abgebrochen zwischen Programmierung und Verify"; // every block sent, none verified
    else
        entry.outcome = "abgebrochen nach \"" + result.status + "\"";
    return entry;
}
