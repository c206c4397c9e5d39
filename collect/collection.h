// The collection of source files into groups, one group per directory with
// matching files, and the naming of the groups' targets.
#ifndef QUILLPACK_COLLECT_COLLECTION_H_
#define QUILLPACK_COLLECT_COLLECTION_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/tree_walk.h"

namespace qp {

// One collected file as the packing reads it back: its name below its
// group's directory (the name as listed, for a plain folder), and its size.
// The name lives in the list, which holds it in place for its life.
struct source_entry {
  std::string_view name;
  uint64_t size = 0;
  // identity_tag of the file as the walk found it; 0 when unknown.
  uint8_t identity_tag = 0;
};

// The files of one group, in listing order: records held by the list (see
// collection.cpp), read front to back.
class source_files {
 public:
  class iterator {
   public:
    iterator(const char* at, size_t left);
    const source_entry& operator*() const {
      return entry_;
    }
    const source_entry* operator->() const {
      return &entry_;
    }
    iterator& operator++();
    bool operator!=(const iterator& other) const {
      return left_ != other.left_;
    }

   private:
    void read();
    const char* at_;  // the record after entry_
    size_t left_;     // entry_ and the records after it
    source_entry entry_;
  };

  source_files() = default;
  iterator begin() const {
    return iterator(first_, count_);
  }
  iterator end() const {
    return iterator(nullptr, 0);
  }
  size_t size() const {
    return count_;
  }
  bool empty() const {
    return count_ == 0;
  }

 private:
  friend struct group_builder;  // collection.cpp, which fills the list
  source_files(const char* first, size_t count)
      : first_(first), count_(count) {}
  const char* first_ = nullptr;
  size_t count_ = 0;
};

// Where the list keeps its names (collection.cpp).
struct name_arena;
struct name_arena_deleter {
  void operator()(name_arena* arena) const;
};

struct folder_kind;  // folder_kind.h

struct source_group {
  // Where its files are: empty for the root, else ends in a separator.
  std::string_view relative_directory;
  // What its target is named after, in the same form: the relative
  // directory for a plain folder; a folder's kind may name it otherwise.
  std::string_view name;
  uint64_t bytes = 0;  // sum of the files' sizes
  source_files files;  // at least one
  // The kind of the folder it is the group of; null for one added whole.
  const folder_kind* kind = nullptr;
};

struct collection_list {
  std::string root;  // ends in a separator
  // The name the source folder's kind gives its targets where that is not
  // its own ("INBOX.mbox" gives "INBOX", a Maildir++ folder's goes without
  // its dot); else empty.
  std::string source_name;
  uint64_t total_bytes = 0;
  std::vector<source_group> groups;  // in walk order
  std::unique_ptr<name_arena, name_arena_deleter> names;
  int unreadable_folders = 0;  // reported, for the error count
  int denied_folders = 0;      // passed over without a word
  // Sorted: the files that may be collected under more than one name (a
  // link to a file, hard links); the packing takes each once.
  std::vector<node_identity> shared_files;
};

// Adds a group of the given files, named after its directory; its files.
source_files add_group(collection_list& list,
                       std::string_view relative_directory,
                       const std::vector<source_entry>& files);

// Depth-first pre-order walk of source_directory (and, when recursive, of
// every subdirectory), each folder and each file at most once by identity;
// each folder's kind decides what is collected from it (folder_kind.h), and
// no group is empty. Polls keep_running after each listing; a folder that
// cannot be read for any reason but a lack of permission is reported
// through the routine below and counted.
// Told of each folder that cannot be read for any reason but a lack of
// permission (its path); true stops the walk. Without one the walk goes on.
using unreadable_folder_routine = bool (*)(const std::string& folder);
void set_unreadable_folder_routine(unreadable_folder_routine routine);

collection_list collect_sources(const std::string& source_directory,
                                const std::string& name_pattern,
                                bool recursive);

// What the job takes from source_spec.
struct source_parts {
  std::string source_directory;    // long form, path case, ends in a separator
  std::string source_folder_name;  // base name of the targets
  std::string name_pattern;        // as typed
};
source_parts derive_source_parts(const std::string& source_spec);

// The extensions targets are named with (MboxExtension, FolderExtension).
struct target_extensions {
  std::string mbox;
  std::string folder;
};

// output_dir + folder path with the folder extension + the mbox extension.
std::string group_target_path(const std::string& output_dir,
                              const std::string& source_folder_name,
                              const std::string& relative_directory,
                              const target_extensions& extensions);
// The one target of a single-mbox run (also the root group's target).
std::string single_target_path(const std::string& output_dir,
                               const std::string& source_folder_name,
                               const target_extensions& extensions);

}  // namespace qp

#endif  // QUILLPACK_COLLECT_COLLECTION_H_
