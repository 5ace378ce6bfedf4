// How the Win32 serial device tells a removed adapter from a device that is
// there, through the seam over its calls: drivers of removed USB-serial
// adapters fail reads and writes with their own error codes while ClearCommError
// may still succeed, and ClearCommError of some virtual ports fails although
// they are there. Wine cannot remove an adapter, so the codes come from here.

#include "link/serial_port_win32.h"

#include <gtest/gtest.h>

namespace {

enum class Call { Read, Write, Check };

struct Row {
    Call call;
    DWORD error;        // the call fails with this code
    BOOL clearSucceeds; // what ClearCommError does meanwhile
    DWORD lineErrors;   // and the line errors it reports
    bool gone;
};

TEST(SerialRemoval, GoneIsDecidedByTheErrorCodeOfTheFailedCall)
{
    const Row rows[] = {
        // A removed adapter whose ClearCommError keeps answering.
        {Call::Read, ERROR_DEVICE_REMOVED, TRUE, 0, true},
        {Call::Read, ERROR_GEN_FAILURE, TRUE, 0, true},
        {Call::Read, ERROR_ACCESS_DENIED, TRUE, 0, true},
        {Call::Write, ERROR_BAD_COMMAND, TRUE, 0, true},
        {Call::Write, ERROR_DEVICE_NOT_CONNECTED, TRUE, 0, true},
        {Call::Read, ERROR_OPERATION_ABORTED, TRUE, 0, true},
        // A driver that aborts on a line error: ClearCommError names it, the device is there.
        {Call::Read, ERROR_OPERATION_ABORTED, TRUE, CE_FRAME, false},
        // A failure that says nothing of the device, on a line that is there.
        {Call::Write, ERROR_INVALID_PARAMETER, TRUE, 0, false},
        // The check after a silent tick: a virtual port that is there, and a removed adapter.
        {Call::Check, ERROR_INVALID_PARAMETER, FALSE, 0, false},
        {Call::Check, ERROR_DEVICE_REMOVED, FALSE, 0, true},
    };
    for (const Row& row : rows) {
        const auto fail = [&row] {
            SetLastError(row.error);
            return FALSE;
        };
        SetCommCalls({[&](HANDLE, void*, DWORD, DWORD*) { return fail(); },
                      [&](HANDLE, const void*, DWORD, DWORD*, OVERLAPPED*) { return fail(); },
                      [&](HANDLE, DWORD* errors, COMSTAT*) {
                          *errors = row.lineErrors;
                          return row.clearSucceeds ? TRUE : fail();
                      }});
        // Any handle will do: every call on it goes to the seam, and it is closed at the end.
        const auto device = SerialDeviceOfHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        unsigned char buffer[8];
        unsigned count = 0;
        if (row.call == Call::Read)
            EXPECT_FALSE(device->Read(buffer, sizeof buffer, count));
        else if (row.call == Call::Write)
            EXPECT_FALSE(device->Write(buffer, 1));
        else
            EXPECT_EQ(device->StillThere(), !row.gone);
        EXPECT_EQ(device->Gone(), row.gone) << static_cast<int>(row.call) << " " << row.error;
    }
    SetCommCalls({});
}

} // namespace
