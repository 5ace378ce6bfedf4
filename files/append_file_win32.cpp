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
        // NTFS journals a new file's name itself: there is no folder to sync.
        return Sync(SyncOf::File, [this] { return FlushFileBuffers(m_file) != FALSE; });
    }

private:
    HANDLE m_file;
};

// Why the file at path could not be opened, from CreateFileW's error.
AppendProblem CannotOpenProblem(DWORD error, const std::string& path)
{
    switch (error) {
    case ERROR_PATH_NOT_FOUND:
        return AppendProblem::NoFolder;
    case ERROR_WRITE_PROTECT:
        return AppendProblem::ReadOnly;
    case ERROR_ACCESS_DENIED: {
        // A folder in the file's place is refused the same way.
        const DWORD attributes = GetFileAttributesW(PathFromUtf8(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                   ? AppendProblem::CannotOpen
                   : AppendProblem::NotPermitted;
    }
    default:
        return AppendProblem::CannotOpen;
    }
}

} // namespace

std::unique_ptr<LockedAppendFile> LockedAppendFile::Open(const std::string& path, AppendProblem* problem)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD openError = ERROR_SUCCESS;
    const Try got = KeepTrying([&] {
        if (file == INVALID_HANDLE_VALUE) {
            // Others may read and append while we wait for the lock; the lock keeps their appends apart from ours.
            file =
                CreateFileW(PathFromUtf8(path).c_str(), GENERIC_READ | FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                // A spreadsheet keeps a file it shows open against writers; a virus
                // scanner only for a moment.
                const DWORD error = openError = GetLastError();
                return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? Try::Again : Try::Failed;
            }
        }
        // A lock that cannot be had at once fails with ERROR_LOCK_VIOLATION: tried again shortly.
        OVERLAPPED whole{};
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole))
            return Try::Done;
        return GetLastError() == ERROR_LOCK_VIOLATION ? Try::Again : Try::Failed;
    });
    if (got == Try::Done) {
        if (problem != nullptr)
            *problem = AppendProblem::None;
        return std::make_unique<Win32AppendFile>(file);
    }
    const bool opened = file != INVALID_HANDLE_VALUE;
    if (opened)
        CloseHandle(file);
    if (problem != nullptr) {
        *problem = got == Try::Failed ? CannotOpenProblem(opened ? ERROR_SUCCESS : openError, path)
                   : opened           ? AppendProblem::Busy
                                      : AppendProblem::HeldOpen;
    }
    return nullptr;
}

} // namespace files
