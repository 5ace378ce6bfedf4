// Win32 part of the append file: FILE_APPEND_DATA, LockFileEx, FlushFileBuffers.

#include "files/append_file.h"
#include "files/utf8_path.h"

#include <windows.h>

namespace files {

namespace {

class Win32AppendFile final : public LockedAppendFile {
public:
    explicit Win32AppendFile(HANDLE file) : m_file(file) {}
    ~Win32AppendFile() override
    {
        OVERLAPPED whole{};
        UnlockFileEx(m_file, 0, MAXDWORD, MAXDWORD, &whole);
        CloseHandle(m_file);
    }
    Win32AppendFile(const Win32AppendFile&) = delete;
    Win32AppendFile& operator=(const Win32AppendFile&) = delete;

    std::optional<std::uint64_t> Size() override
    {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(m_file, &size))
            return std::nullopt;
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    std::optional<std::string> ReadAt(std::uint64_t offset, std::size_t count) override
    {
        std::string bytes(count, '\0');
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(m_file, bytes.data(), static_cast<DWORD>(count), &got, &at) && GetLastError() != ERROR_HANDLE_EOF)
            return std::nullopt;
        bytes.resize(got);
        return bytes;
    }

    bool AppendSynced(std::string_view bytes) override
    {
        // Opened with FILE_APPEND_DATA only for writing: every write goes to the end.
        DWORD written = 0;
        if (!WriteFile(m_file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size())
            return false;
        return FlushFileBuffers(m_file) != FALSE;
    }

private:
    HANDLE m_file;
};

} // namespace

std::unique_ptr<LockedAppendFile> LockedAppendFile::Open(const std::string& path)
{
    // Others may read and append while we wait for the lock; the lock keeps their appends apart from ours.
    const HANDLE file =
        CreateFileW(PathFromUtf8(path).c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        CloseHandle(file);
        return nullptr;
    }
    return std::make_unique<Win32AppendFile>(file);
}

} // namespace files
