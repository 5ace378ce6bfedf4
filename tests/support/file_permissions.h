#pragma once
// File permissions that hold for whoever runs the test, root included: while a
// FilePermissionsApply lives, the calling thread has given up the capabilities
// that let root open any file, so that a device set to mode 0000 is closed to
// it as to anyone (and to its owner).

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class FilePermissionsApply {
public:
    FilePermissionsApply()
    {
        m_kept = ::syscall(SYS_capget, &m_header, m_saved) == 0;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_kept = m_kept && ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~FilePermissionsApply()
    {
        if (m_kept)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    FilePermissionsApply(const FilePermissionsApply&) = delete;
    FilePermissionsApply& operator=(const FilePermissionsApply&) = delete;

    // false where the capabilities could not be read or set: the test cannot prove its point.
    bool Applies() const { return m_kept; }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_kept = false;
};
