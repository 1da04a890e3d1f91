// The plugin's file class: the disk file through which the plugin reads the host's files. It adds
// nothing to DiskFile; it opens names with the process-wide path prefix (empty in this system), as
// the host's paths are meant, read in the encoding of the entry point that made it (the 8-bit
// entry points' ANSI names, or the wide ones' names carried as UTF-8). PluginFileMaker makes more
// of them, in one encoding, for the renderer's readers.
#pragma once

#include "core/fileio/DiskFile.h"
#include "core/memory/HeapRegistry.h"
#include "wave/FileMaker.h"

class PluginFile : public DiskFile {
public:
    explicit PluginFile(NameEncoding encoding) : DiskFile(false) { nameEncoding = encoding; }
};

class PluginFileMaker final : public FileMaker {
public:
    explicit PluginFileMaker(NameEncoding nameEncoding) : encoding(nameEncoding) {}
    File* MakeFile() override { return new (HeapCategory::Engine) PluginFile(encoding); }

private:
    NameEncoding encoding;
};
