// The platform's side of the files: the target opened with a whole-file
// lock, raw writes, size, truncation; the sources opened for reading.
// Implemented in raw_file_posix.cpp and raw_file_win32.cpp.
#ifndef QUILLPACK_PACK_RAW_FILE_H_
#define QUILLPACK_PACK_RAW_FILE_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "pack/locked_file.h"

namespace qp {

struct raw_file {
  intptr_t handle = -1;
  std::FILE* stream = nullptr;  // LOCKED_READ only
};

// Opens and locks; a file opened for LOCKED_CREATE is emptied only once the
// lock is held. False when the open or the lock fails.
bool raw_open_locked(const std::string& path, lock_mode mode, raw_file& file);
// The file's size in bytes, -1 when unknown.
int64_t raw_size(const raw_file& file);
// Writes all bytes or as many as the system takes; the number written.
size_t raw_write(const raw_file& file, const char* bytes, size_t size);
bool raw_truncate(const raw_file& file, int64_t size);
// Releases the lock and closes; false when the close reports an error.
bool raw_close(raw_file& file);
// Up to wanted bytes from the end of a file open for appending, through
// its own handle; the number read, or -1.
int raw_read_tail(const raw_file& file, char* out, int wanted);

// Opens a source for reading raw bytes; null unless it is a regular file.
std::FILE* raw_open_source(const std::string& path);

// A source message opened by its own handle, without a stream: one open
// and one look at the file (that it is a regular file, its size and its
// identity, how many hard links it has) before the reads. -1 when it
// cannot be opened or is no regular file.
intptr_t raw_open_source_handle(const std::string& path, int64_t& size,
                                file_identity& id, uint32_t& links);
// Whether a source may be opened before it is known not to be a target of
// this run. Not on POSIX, where closing any descriptor of a file drops the
// process's fcntl lock on it; on Windows a target's lock is its handle's
// share mode, which another handle's close leaves alone, so a source is
// opened once and its identity taken from that open.
extern const bool source_open_spares_lock;
// Up to size bytes at the handle's position: the number read, 0 at the
// end, -1 on an error.
int64_t raw_read_handle(intptr_t handle, char* out, size_t size);
bool raw_seek_handle(intptr_t handle, int64_t offset);
void raw_close_handle(intptr_t handle);
// The size of an open source, -1 when unknown.
int64_t raw_stream_size(std::FILE* stream);
// Moves an open source to a byte offset from its start; false on failure.
bool raw_stream_seek(std::FILE* stream, int64_t offset);
// A new file for reading and writing raw bytes, in the temporary
// directory, gone once it is closed; null on failure.
std::FILE* raw_temporary_file();

// The identity of an open target; false when the system cannot tell.
bool raw_identity(const raw_file& file, file_identity& id);
// The identity of the file a path names, links followed, found without
// opening a second descriptor of a file this process holds locked.
bool raw_path_identity(const std::string& path, file_identity& id);

}  // namespace qp

#endif  // QUILLPACK_PACK_RAW_FILE_H_
