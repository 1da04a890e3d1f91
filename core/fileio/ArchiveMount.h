// The process-wide mount: the archive that names running through a ".pak" step open their
// entries in. A host reads a run of files from one archive, so the archive stays mounted between
// opens and its directory is read once for the run; a path into another archive replaces it, and
// a path into none drops it. Objects that opened entries hold references of their own, so a mount
// or unmount never changes what they read. All of it runs under fileLock.
#pragma once

#include "core/Utils/String.h"
#include "core/fileio/NameEncoding.h"

class PakArchive;

// Mounts the archive at archivePath as currentArchive, opening its file by a name in encoding
// (kept as the archive's nameEncoding). With one mounted already it refuses and leaves that one
// alone. On false nothing new is mounted and no archive file stays open. Takes fileLock.
bool MountArchive(const char* archivePath, NameEncoding encoding = NameEncoding::Ansi);
// Gives up the mount's reference to currentArchive, which is null afterwards; the archive closes
// its file once no file object holds an entry of it either. False when nothing was mounted.
// Takes fileLock.
bool UnmountArchive();

// The archive at archivePath, with a reference for the caller (PakArchive::Release): the mounted
// one when it was mounted under the same path (compared byte for byte) and encoding, else a new
// mount in place of whatever was mounted. Null, with nothing mounted, when the archive cannot be
// mounted (a folder named x.pak, a damaged file, no memory). The caller holds fileLock.
PakArchive* archiveForPath(const String& archivePath, NameEncoding encoding);
