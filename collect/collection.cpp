// The collection walk and the naming of the groups' targets.
#include "collect/collection.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/paths.h"
#include "base/tree_walk.h"
#include "base/wildcard.h"
#include "report/report.h"
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

// A folder of the walk: its subfolders' names, held one after another in
// the walk's name buffer, and the next of them to visit.
struct walk_frame {
  size_t names_begin;
  size_t next;
};

// The state of one collect_sources call. The walk keeps its own stack of
// folders, so a tree of any depth costs memory in step with it and never
// the machine's stack.
struct walk_state {
  std::string pattern;
  bool recursive = false;
  collection_list list;
  tree_cursor cursor;
  size_t root_size = 0;
  std::vector<walk_frame> frames;  // the folders from the root down
  std::string names;               // their subfolders' names, each ended by 0
  identity_set folders;            // every folder walked
  std::vector<listing_entry> entries;
};

std::string_view relative_directory(const walk_state& walk) {
  return std::string_view(walk.cursor.path).substr(walk.root_size);
}

// A file that more than one name may reach is noted, so that the packing
// takes it once, under the first.
void note_if_shared(walk_state& walk, const listing_entry& entry) {
  node_identity id;
  if (may_be_reached_twice(walk.cursor, entry, id)) {
    walk.list.shared_files.push_back(id);
  }
}

// Files of the listing that match go into a new group of the list, started
// at the first; directories other than "." and ".." go into the names of
// the folder's subfolders when the walk is recursive.
void split_listing(walk_state& walk) {
  bool started = false;
  for (const listing_entry& entry : walk.entries) {
    if (entry.directory) {
      if (walk.recursive && entry.name != "." && entry.name != "..") {
        walk.names.append(entry.name).append(1, '\0');
      }
    } else if (match_file_name(walk.pattern, entry.name)) {
      if (!started) {
        start_group(walk.list, relative_directory(walk));
        started = true;
      }
      add_source_file(walk.list, entry.name, entry.size);
      note_if_shared(walk, entry);
    }
  }
}

// A folder that cannot be read for any reason but a lack of permission is
// reported: whole-drive runs meet system folders that nobody may read, but
// a name too long or a failing disk would otherwise lose messages unseen.
void report_unreadable(walk_state& walk, const std::string& folder) {
  ++walk.list.unreadable_folders;
  if (ask_proceed(format_message("Error reading directory '%s'.", folder))) {
    keep_running = false;
  }
}

// Lists the cursor's folder, once per identity, and starts its frame;
// false when it adds nothing (walked before, unreadable, or a stop).
bool visit_folder(walk_state& walk, int status) {
  if (status == FOLDER_OPEN) {
    if (!walk.folders.insert(walk.cursor.levels.back().id)) {
      return false;  // reached again through a link: walked already
    }
    status = list_folder(walk.cursor, walk.entries);
  }
  if (status == FOLDER_FAILED) {
    report_unreadable(walk, walk.cursor.path);
  }
  if (status != FOLDER_OPEN) {
    return false;
  }
  do_events();
  if (!keep_running) {
    return false;
  }
  const size_t names_begin = walk.names.size();
  split_listing(walk);
  walk.entries.clear();
  walk.frames.push_back(walk_frame{names_begin, names_begin});
  return true;
}

// The next subfolder of the deepest frame entered, or the frame left when
// it has none left: depth first, pre-order, in listing order.
void step(walk_state& walk) {
  walk_frame& frame = walk.frames.back();
  if (frame.next == walk.names.size() || !keep_running) {
    walk.names.resize(frame.names_begin);
    walk.frames.pop_back();
    if (!walk.frames.empty()) {
      leave_folder(walk.cursor);
    }
    return;
  }
  const size_t end = walk.names.find('\0', frame.next);
  const std::string name = walk.names.substr(frame.next, end - frame.next);
  frame.next = end + 1;
  const int status = enter_folder(walk.cursor, name);
  if (status != FOLDER_OPEN) {
    if (status == FOLDER_FAILED) {
      report_unreadable(walk, walk.cursor.path + name + native_style.separator);
    }
    return;
  }
  if (!visit_folder(walk, FOLDER_OPEN)) {
    leave_folder(walk.cursor);
  }
}

}  // namespace

collection_list collect_sources(const std::string& source_directory,
                                const std::string& name_pattern,
                                bool recursive) {
  walk_state walk;
  std::string root =
      source_directory.empty() ? current_directory() : source_directory;
  if (root.back() != native_style.separator) {
    root += native_style.separator;
  }
  walk.pattern = name_pattern;
  walk.recursive = recursive;
  walk.list.root = root;
  walk.root_size = root.size();
  if (visit_folder(walk, open_tree(walk.cursor, root))) {
    while (!walk.frames.empty()) {
      step(walk);
    }
  }
  close_tree(walk.cursor);
  std::vector<node_identity>& shared = walk.list.shared_files;
  std::sort(shared.begin(), shared.end());
  shared.erase(std::unique(shared.begin(), shared.end()), shared.end());
  shared.shrink_to_fit();
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
