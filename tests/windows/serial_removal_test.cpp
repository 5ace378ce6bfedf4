// How the Win32 serial device tells a removed adapter from a device that is
// there, through the seam over its calls: drivers of removed USB-serial
// adapters fail reads and writes with their own error codes while ClearCommError
// may still succeed, and ClearCommError of some virtual ports fails although
// they are there. Wine cannot remove an adapter, so the codes come from here.

#include "port/serial_port_win32.h"

#include <gtest/gtest.h>

namespace {

TEST(SerialRemoval, GoneIsDecidedByTheErrorCodeOfTheFailedCall)
{
    enum Call { Read, Write, Check };
    struct Row {
        Call call;
        DWORD error;        // the call fails with this code
        BOOL clearSucceeds; // what ClearCommError does meanwhile, with these line errors
        DWORD lineErrors;
        bool gone;
    } const rows[] = {
        {Read, ERROR_DEVICE_REMOVED, TRUE, 0, true}, // ClearCommError of a removed adapter keeps answering
        {Write, ERROR_ACCESS_DENIED, TRUE, 0, true},
        {Read, ERROR_INVALID_FUNCTION, FALSE, 0, true}, // every call on a terminal that hung up, under Wine
        {Read, ERROR_OPERATION_ABORTED, TRUE, 0, true},
        {Read, ERROR_OPERATION_ABORTED, TRUE, CE_FRAME, false}, // a driver that aborts on line errors
        {Write, ERROR_INVALID_PARAMETER, TRUE, 0, false},       // says nothing of the device
        {Check, ERROR_INVALID_PARAMETER, FALSE, 0, false},      // a virtual port that is there
        {Check, ERROR_DEVICE_REMOVED, FALSE, 0, true},
        {Check, ERROR_NOT_READY, FALSE, 0, true}, // a terminal whose link is gone, under Wine
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
        const bool ok = row.call == Read    ? device->Read(buffer, sizeof buffer, count)
                        : row.call == Write ? device->Write(buffer, 1)
                                            : device->StillThere();
        EXPECT_EQ(ok, row.call == Check && !row.gone);
        EXPECT_EQ(device->Gone(), row.gone) << row.call << " " << row.error;
    }
    SetCommCalls({});
}

} // namespace
