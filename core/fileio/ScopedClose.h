// ScopedClose: closes a file object on every way out of the scope that opened it, for callers
// that use a File they do not own (the file's destructor closes it too, but only when it dies).
#pragma once

#include "core/fileio/File.h"

class ScopedClose {
public:
    explicit ScopedClose(File& opened) : file(opened) {}
    ~ScopedClose() {
        if (file.state != FileState::Closed) {
            file.Close();
        }
    }
    ScopedClose(const ScopedClose&) = delete;
    ScopedClose& operator=(const ScopedClose&) = delete;

private:
    File& file;
};
