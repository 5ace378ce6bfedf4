#pragma once
// The Win32 calls the serial device makes on its handle, behind a seam: the
// tests put calls of their own in place, to fail them with the error codes that
// drivers give for a removed adapter and for a device that is there.

#include "port/serial_device.h"

#include <functional>
#include <memory>

#include <windows.h>

struct CommCalls {
    std::function<BOOL(HANDLE, void*, DWORD, DWORD*)> readFile;
    std::function<BOOL(HANDLE, const void*, DWORD, DWORD*, OVERLAPPED*)> writeFile;
    std::function<BOOL(HANDLE, DWORD*, COMSTAT*)> clearCommError;
};

// Makes the devices opened from now on use calls (a call left empty is the
// system's); an empty set restores the system's calls.
void SetCommCalls(CommCalls calls);

// The serial device over an open handle, which it closes; for the tests.
std::unique_ptr<SerialDevice> SerialDeviceOfHandle(HANDLE handle);
