// A walk down a folder tree, one level at a time: the cursor enters a
// subfolder of the folder it is in and leaves it again, so that each step
// costs the same at any depth. On POSIX it holds one descriptor, of the
// folder it is in, and reaches the next folder from it; on Windows, where
// the services take whole paths, it keeps the path and adds or drops one
// name per step. Implemented in paths_posix.cpp and paths_win32.cpp.
#ifndef QUILLPACK_BASE_TREE_WALK_H_
#define QUILLPACK_BASE_TREE_WALK_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/paths.h"

namespace qp {

// What a file system says makes two names one file: device and inode on
// POSIX, volume serial number and file index on Windows.
struct node_identity {
  uint64_t volume = 0;
  uint64_t index = 0;
};

inline bool operator==(const node_identity& a, const node_identity& b) {
  return a.volume == b.volume && a.index == b.index;
}
inline bool operator<(const node_identity& a, const node_identity& b) {
  return a.volume != b.volume ? a.volume < b.volume : a.index < b.index;
}

// A one-byte digest of an identity, 0 for an unknown one: a file whose tag
// is none of the run's targets' tags is none of them, known without asking
// the system again; one whose tag matches is checked in full.
inline uint8_t identity_tag(uint64_t volume, uint64_t index) {
  if (volume == 0 && index == 0) {
    return 0;
  }
  uint64_t mixed =
      (index ^ (volume * 0x9E3779B97F4A7C15ULL)) * 0xBF58476D1CE4E5B9ULL;
  return static_cast<uint8_t>(1 + (mixed >> 56) % 255);
}

struct tree_level {
  size_t path_size;  // the length of the cursor's path at this level
  node_identity id;
};

struct tree_cursor {
  std::string path;  // the folder the cursor is in; ends in a separator
  std::vector<tree_level> levels;  // from the root down to that folder
  intptr_t handle = -1;            // POSIX: a descriptor of that folder
};

enum folder_status {
  FOLDER_OPEN = 0,
  FOLDER_DENIED = 1,  // no permission: passed over without a word
  FOLDER_FAILED = 2,  // any other reason (a name too long, an I/O error)
};

// Puts the cursor in root (a folder path ending in a separator).
int open_tree(tree_cursor& cursor, const std::string& root);
// Moves the cursor into the subfolder name of its folder; it stays where it
// was when that fails.
int enter_folder(tree_cursor& cursor, const std::string& name);
// Back to the folder the last enter_folder came from.
void leave_folder(tree_cursor& cursor);
void close_tree(tree_cursor& cursor);

// The entries of the cursor's folder, "." and ".." included, in the one
// listing order (as list_directory gives them).
int list_folder(const tree_cursor& cursor, std::vector<listing_entry>& entries);

// Whether the listed file may be reached under another name as well (a
// link to it, or one of several hard links); then id is its identity.
bool may_be_reached_twice(const tree_cursor& cursor, const listing_entry& entry,
                          node_identity& id);

// A set of identities, compact at any size: a table of 16-byte slots.
class identity_set {
 public:
  // False when id was in the set already; {0, 0} is an unknown identity,
  // never recorded.
  bool insert(const node_identity& id);

 private:
  std::vector<node_identity> slots_;  // {0, 0} is a free slot
  size_t used_ = 0;
};

}  // namespace qp

#endif  // QUILLPACK_BASE_TREE_WALK_H_
