// The collection walk and the naming of the groups' targets.
#include "collect/collection.h"

#include <utility>

#include "base/paths.h"
#include "base/wildcard.h"
#include "window/events.h"

namespace qp {
namespace {

struct directory_id {
  uint64_t device;
  uint64_t inode;
};

// The state of one collect_sources call.
struct walk_state {
  std::string root;
  std::string pattern;
  bool recursive = false;
  collection_list list;
  std::vector<directory_id> inside;  // the directories on the current path
};

// Whether the directory is one the walk is already inside, as a link back
// into its own tree would make it; a directory of unknown identity is not.
bool already_inside(const walk_state& walk, const directory_id& id) {
  for (const directory_id& open : walk.inside) {
    if (open.device == id.device && open.inode == id.inode) {
      return true;
    }
  }
  return false;
}

// Files of the listing that match go into group; directories other than
// "." and ".." go into subdirectories when the walk is recursive.
void split_listing(const walk_state& walk, std::vector<listing_entry>& entries,
                   source_group& group,
                   std::vector<std::string>& subdirectories) {
  for (listing_entry& entry : entries) {
    if (entry.attributes.find('d') != std::string::npos) {
      if (walk.recursive && entry.name != "." && entry.name != "..") {
        subdirectories.push_back(std::move(entry.name));
      }
    } else if (match_file_name(walk.pattern, entry.name)) {
      group.bytes += entry.size;
      group.entries.push_back(source_entry{
          std::move(entry.name), std::move(entry.attributes), entry.size});
    }
  }
}

// Depth-first, pre-order: the directory's own group, then its subtrees in
// listing order. A directory that cannot be listed adds nothing.
void visit_directory(walk_state& walk, const std::string& relative) {
  const std::string directory = walk.root + relative;
  directory_id id{0, 0};
  const bool known = directory_identity(directory, id.device, id.inode);
  if (known && already_inside(walk, id)) {
    return;
  }
  std::vector<listing_entry> entries;
  if (!list_directory(directory + "*.*", entries)) {
    return;
  }
  do_events();
  if (!keep_running) {
    return;
  }
  source_group group;
  group.relative_directory = relative;
  std::vector<std::string> subdirectories;
  split_listing(walk, entries, group, subdirectories);
  entries.clear();
  entries.shrink_to_fit();  // only names are kept while the subtrees run
  if (!group.entries.empty()) {
    group.entries.shrink_to_fit();  // the list lives for the whole run
    walk.list.total_bytes += group.bytes;
    walk.list.groups.push_back(std::move(group));
  }
  if (known) {
    walk.inside.push_back(id);
  }
  for (const std::string& name : subdirectories) {
    visit_directory(walk, relative + name + native_style.separator);
  }
  if (known) {
    walk.inside.pop_back();
  }
}

}  // namespace

collection_list collect_sources(const std::string& source_directory,
                                const std::string& name_pattern,
                                bool recursive) {
  walk_state walk;
  walk.root = source_directory.empty() ? current_directory() : source_directory;
  if (walk.root.back() != native_style.separator) {
    walk.root += native_style.separator;
  }
  walk.pattern = name_pattern;
  walk.recursive = recursive;
  walk.list.root = walk.root;
  visit_directory(walk, "");
  return std::move(walk.list);
}

source_parts derive_source_parts(const std::string& source_spec) {
  source_parts parts;
  parts.source_directory = path_lower(long_path(directory_part(source_spec)));
  // The last component as it stands: the directory is absolute, so it holds
  // no "." or "..", and a folder named ".inbox" keeps its name. A drive
  // root c:\ gives "c"; where there are no drives a colon is a character.
  std::string strip(1, native_style.separator);
  if (native_style.drive_colon) {
    strip += ':';
  }
  const std::string trimmed = trim_right(parts.source_directory, strip);
  parts.source_folder_name = file_name(trimmed);
  // The POSIX root "/" has no name of its own; its targets need one.
  if (parts.source_folder_name.empty()) {
    parts.source_folder_name = "root";
  }
  parts.name_pattern = name_part(source_spec);
  return parts;
}

std::string group_target_path(const std::string& output_dir,
                              const std::string& source_folder_name,
                              const std::string& relative_directory,
                              const target_extensions& extensions) {
  const char separator = native_style.separator;
  // folder + separator + relative ends in a separator, which is dropped;
  // every other separator gets the folder extension in front.
  const std::string joined =
      source_folder_name + separator + relative_directory;
  std::string folders;
  for (size_t i = 0; i + 1 < joined.size(); ++i) {
    if (joined[i] == separator) {
      folders += extensions.folder;
    }
    folders += joined[i];
  }
  return output_dir + folders + extensions.mbox;
}

std::string single_target_path(const std::string& output_dir,
                               const std::string& source_folder_name,
                               const target_extensions& extensions) {
  return output_dir + source_folder_name + extensions.mbox;
}

}  // namespace qp
