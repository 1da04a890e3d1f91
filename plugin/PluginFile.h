// The plugin's file class: the disk file through which the plugin reads the host's files. It adds
// nothing to DiskFile; it opens names with the process-wide path prefix (empty in this system), as
// the host's paths are meant.
#pragma once

#include "core/fileio/DiskFile.h"

class PluginFile : public DiskFile {
public:
    PluginFile() : DiskFile(false) {}
};
