#pragma once
// File permissions that hold for whoever runs the test, root included: without
// the capabilities that let root open any file, a device of mode 0000 is closed
// to the calling thread as to anyone.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Gives up (on = false) or takes back the calling thread's overrides of file
// permissions (and of signal permissions, so that another user's process is
// another's); false where they cannot be set, and the test proves nothing.
inline bool FileOverrides(bool on)
{
    constexpr unsigned kOverrides =
        (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER) | (1u << CAP_KILL);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective = on ? data[0].effective | (data[0].permitted & kOverrides) : data[0].effective & ~kOverrides;
    return ::syscall(SYS_capset, &header, data) == 0;
}
