// FileMaker: how the renderer gets more file objects of the kind its caller gave it, one for each
// reader that fetches frames beside it when the storage is slow. The plugin's maker makes its own
// file class in the name encoding of the entry point that was called.
#pragma once

class File;

class FileMaker {
public:
    // A Closed file object that opens names as the caller's object does, from the heap registry;
    // null when there is no memory. The caller destroys it with delete.
    virtual File* MakeFile() = 0;

protected:
    ~FileMaker() = default;
};
