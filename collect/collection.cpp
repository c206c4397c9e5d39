// The collection walk and the naming of the groups' targets.
#include "collect/collection.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/paths.h"
#include "base/wildcard.h"
#include "window/events.h"

namespace qp {
namespace {

// ---- The arena ----
//
// A group's directory is stored once, as its bytes; its files follow as
// records: the name's length plus one as a variable-length number, the
// name, the size as a variable-length number. Where a block is full, a 0
// byte and the address of the next block's first byte take the reader on.

constexpr size_t block_size = 64 * 1024;
constexpr size_t jump_size = 1 + sizeof(const char*);
constexpr size_t number_size = 10;  // the longest 64-bit number

// Room for bytes at the cursor, with room for a jump after them; a new
// block, reached by a jump from the old one, when the last is too full.
char* reserve(name_arena& arena, size_t bytes) {
  if (arena.cursor != nullptr &&
      static_cast<size_t>(arena.limit - arena.cursor) >= bytes + jump_size) {
    return arena.cursor;
  }
  const size_t size = std::max(block_size, bytes + jump_size);
  arena.blocks.emplace_back(new char[size]);
  char* block = arena.blocks.back().get();
  if (arena.cursor != nullptr) {
    *arena.cursor = 0;
    std::memcpy(arena.cursor + 1, &block, sizeof block);
  }
  arena.cursor = block;
  arena.limit = block + size;
  return block;
}

char* put_number(char* at, uint64_t value) {
  while (value >= 0x80) {
    *at++ = static_cast<char>((value & 0x7f) | 0x80);
    value >>= 7;
  }
  *at++ = static_cast<char>(value);
  return at;
}

const char* get_number(const char* at, uint64_t& value) {
  value = 0;
  for (int shift = 0;; shift += 7) {
    const unsigned char byte = static_cast<unsigned char>(*at++);
    value |= static_cast<uint64_t>(byte & 0x7f) << shift;
    if ((byte & 0x80) == 0) {
      return at;
    }
  }
}

}  // namespace

source_files::iterator::iterator(const char* at, size_t left)
    : at_(at), left_(left) {
  if (left_ > 0) {
    read();
  }
}

source_files::iterator& source_files::iterator::operator++() {
  if (--left_ > 0) {
    read();
  }
  return *this;
}

void source_files::iterator::read() {
  uint64_t length = 0;
  at_ = get_number(at_, length);
  if (length == 0) {  // the end of a block
    std::memcpy(&at_, at_, sizeof at_);
    at_ = get_number(at_, length);
  }
  --length;
  entry_.name = std::string_view(at_, static_cast<size_t>(length));
  at_ = get_number(at_ + length, entry_.size);
}

void start_group(collection_list& list, std::string_view relative_directory) {
  char* at = reserve(list.names, relative_directory.size());
  if (!relative_directory.empty()) {
    std::memcpy(at, relative_directory.data(), relative_directory.size());
  }
  source_group group;
  group.relative_directory = std::string_view(at, relative_directory.size());
  list.names.cursor = at + relative_directory.size();
  group.files = source_files(list.names.cursor, 0);
  list.groups.push_back(group);
}

void add_source_file(collection_list& list, std::string_view name,
                     uint64_t size) {
  char* at = reserve(list.names, name.size() + 2 * number_size);
  at = put_number(at, name.size() + 1);
  std::memcpy(at, name.data(), name.size());
  list.names.cursor = put_number(at + name.size(), size);
  source_group& group = list.groups.back();
  group.files = source_files(group.files.first(), group.files.size() + 1);
  group.bytes += size;
  list.total_bytes += size;
}

source_files add_group(collection_list& list,
                       std::string_view relative_directory,
                       const std::vector<source_entry>& files) {
  start_group(list, relative_directory);
  for (const source_entry& file : files) {
    add_source_file(list, file.name, file.size);
  }
  return list.groups.back().files;
}

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

// Files of the listing that match go into a new group of the list, started
// at the first; directories other than "." and ".." go into subdirectories
// when the walk is recursive.
void split_listing(walk_state& walk, const std::string& relative,
                   std::vector<listing_entry>& entries,
                   std::vector<std::string>& subdirectories) {
  bool started = false;
  for (listing_entry& entry : entries) {
    if (entry.attributes.find('d') != std::string::npos) {
      if (walk.recursive && entry.name != "." && entry.name != "..") {
        subdirectories.push_back(std::move(entry.name));
      }
    } else if (match_file_name(walk.pattern, entry.name)) {
      if (!started) {
        start_group(walk.list, relative);
        started = true;
      }
      add_source_file(walk.list, entry.name, entry.size);
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
  std::vector<std::string> subdirectories;
  split_listing(walk, relative, entries, subdirectories);
  entries.clear();
  entries.shrink_to_fit();  // only names are kept while the subtrees run
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
