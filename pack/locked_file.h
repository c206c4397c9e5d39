// The target's file: a whole-file lock held while it is open, buffered
// writing with CR LF produced by the writer, and the raw access the target
// checks need. Platform code sits in raw_file_posix.cpp and
// raw_file_win32.cpp behind the raw_* functions of raw_file.h.
#ifndef QUILLPACK_PACK_LOCKED_FILE_H_
#define QUILLPACK_PACK_LOCKED_FILE_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace qp {

enum lock_mode { LOCKED_READ, LOCKED_APPEND, LOCKED_CREATE };

class locked_file;

// Opens path and takes the whole-file lock; a refused lock fails the open.
// LOCKED_CREATE empties an existing file only once the lock is held.
locked_file* open_locked(const std::string& path, lock_mode mode);
// Flushes, unlocks and closes; false when a buffered write or the close
// failed.
bool close_locked(locked_file* file);

// Buffered writes; the writer produces the line ends itself, CR LF unless
// set to a bare LF.
void write_bytes(locked_file* file, std::string_view bytes);
// Bytes that need no change: a long span goes to the file from where it
// lies, not through the buffer.
void write_span(locked_file* file, std::string_view bytes);
// The bytes followed by the line end.
void write_line(locked_file* file, std::string_view bytes);
void write_line_end(locked_file* file);
// Whole lines ended by a bare LF, each given the file's line end; the
// number of bytes they make.
size_t write_lf_lines(locked_file* file, std::string_view bytes);
void set_lf_line_ends(locked_file* file, bool lf);
// 2 for CR LF, 1 for LF.
int line_end_size(const locked_file* file);
// The last bytes of a file opened for appending, read through its own
// descriptor (a second one would drop the lock on POSIX): up to wanted
// bytes into out, the number read, or -1 when they cannot be read.
int read_tail(locked_file* file, char* out, int wanted);
// Flushes and gives the number of bytes the file really holds up to the
// write position; bytes that could not be written are not counted.
int64_t file_position(locked_file* file);
// The size up to which the file holds whole messages, on disk: a crash
// cuts it back there. Forgotten when the file is closed.
void note_whole_messages(locked_file* file, int64_t size);
// Cuts the file back to size; false when that fails.
bool truncate_locked(locked_file* file, int64_t size);
// Takes back everything written since file_position gave mark: bytes still
// in the buffer are dropped, bytes already in the file are cut off.
bool take_back_to(locked_file* file, int64_t mark);
// A stream for reading the locked file (LOCKED_READ); owned by the file.
std::FILE* locked_stream(locked_file* file);

// What makes a file the same file under any name: device and inode on
// POSIX, volume serial number and file index on Windows.
struct file_identity {
  uint64_t volume = 0;
  uint64_t index = 0;
};
// The identity of the open file; false when the system cannot tell.
bool locked_identity(locked_file* file, file_identity& id);
// The identity of the file that path names, links followed; false when
// there is none or the system cannot tell. Opens no second descriptor of
// a locked file, so its lock stays.
bool path_identity(const std::string& path, file_identity& id);

}  // namespace qp

#endif  // QUILLPACK_PACK_LOCKED_FILE_H_
