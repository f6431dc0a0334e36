#pragma once
// Whole-file reading and crash-safe replacement of the data files.

#include <cstddef>
#include <cstdint>
#include <string>

// Opens the file at path for reading when it is a regular file, without ever
// blocking on a FIFO or a device. Returns the descriptor (blocking, close on
// exec), or -1 when there is no such file, it cannot be opened, or it is
// anything but a regular file (a directory, FIFO, socket or device).
int openRegularFile(const std::string& path);

// Reads at most capacity bytes from the start of the file at path into
// buffer. Returns the number of bytes read (less than capacity for a shorter
// file), or -1 when the file cannot be opened or read, or is not a regular
// file (see openRegularFile). Never writes past
// buffer + capacity; a longer file's tail is not read.
long readFileBytes(const std::string& path, uint8_t* buffer, size_t capacity);

// Replaces the file at path with exactly size bytes of data: they go into
// path + ".tmp" in the same directory, are flushed to the disk, and only
// then renamed over path. On any failure (directory missing or read-only,
// disk full, a file-size limit, a short write, temporary name taken by
// something that cannot be removed) the temporary file is removed, the old
// file at path is left as it was, and the result is false. A temporary file left by an earlier interrupted write is
// replaced. The new file keeps the permission bits of the one it replaces.
bool writeFileAtomically(const std::string& path, const uint8_t* data, size_t size);
