// How the platform reports a failed call, for every call the tests fail: the value the call returns
// and the code it leaves for GetLastError. The fake platform table (PlatformFakes) and the failure
// sweeps (FileCallFaults) both fail a call through its row here, so that a failure value or an
// error code is written once.
#pragma once

#include <windows.h>

// One call's failure: what it returns and what GetLastError says afterwards.
template <class Result>
struct PlatformFailure {
    Result value;
    DWORD error;

    // Leaves the error code for GetLastError and answers the failure value.
    Result fail() const {
        SetLastError(error);
        return value;
    }
};

namespace platformFailures {

// A refused open: a file another process holds.
inline const PlatformFailure<HANDLE> createFile{INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION};
// A failed read: the network share went away in the middle (no bytes are reported read).
inline const PlatformFailure<BOOL> readFile{FALSE, ERROR_NETWORK_BUSY};
// A failed write: the disk is full (no bytes are reported written).
inline const PlatformFailure<BOOL> writeFile{FALSE, ERROR_DISK_FULL};
// A failed seek: the value that is also the low half of a valid position, with an error code.
inline const PlatformFailure<DWORD> setFilePointer{INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK};
// A failed size query: the value that is also the low half of a valid size, with an error code.
inline const PlatformFailure<DWORD> getFileSize{INVALID_FILE_SIZE, ERROR_ACCESS_DENIED};
// A directory listing that breaks off.
inline const PlatformFailure<BOOL> findNextFile{FALSE, ERROR_NETWORK_BUSY};

} // namespace platformFailures
