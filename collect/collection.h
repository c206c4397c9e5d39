// The collection of source files into groups, one group per directory with
// matching files, and the naming of the groups' targets.
#ifndef QUILLPACK_COLLECT_COLLECTION_H_
#define QUILLPACK_COLLECT_COLLECTION_H_

#include <cstdint>
#include <string>
#include <vector>

namespace qp {

struct source_entry {
  std::string name;        // as listed, without directory
  std::string attributes;  // never contains "d"
  uint64_t size = 0;
};

struct source_group {
  std::string
      relative_directory;  // empty for the root, else ends in a separator
  uint64_t bytes = 0;      // sum of the entries' sizes
  std::vector<source_entry> entries;  // at least one
};

struct collection_list {
  std::string root;  // ends in a separator
  uint64_t total_bytes = 0;
  std::vector<source_group> groups;  // in walk order
};

// Depth-first pre-order walk of source_directory (and, when recursive, of
// every subdirectory). Polls keep_running after each listing.
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
