// The collection walk and the naming of the groups' targets.
#include "collect/collection.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/paths.h"
#include "base/tree_walk.h"
#include "collect/folder_kind.h"
#include "window/events.h"

namespace qp {

// The names of a run: blocks that are filled in turn and never move, so
// that views into them stay valid for the list's life and a million files
// cost their names and a few bytes each, without the doubling of a vector.
struct name_arena {
  std::vector<std::unique_ptr<char[]>> blocks;
  char* cursor = nullptr;  // the next free byte of the last block
  char* limit = nullptr;   // the end of the last block
};

void name_arena_deleter::operator()(name_arena* arena) const {
  delete arena;
}

namespace {

// ---- The arena ----
//
// A group's directory is stored once, as its bytes, and its name after it
// where that differs; its files follow as records: the name's length plus
// one as a variable-length number, the name, the size as a variable-length
// number, the identity tag as one byte. Where a block is full, a 0 byte and the
// address of the next block's first byte take the reader on.

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
  entry_.identity_tag = static_cast<uint8_t>(*at_++);
}

// What the building of a group needs of its files: where they start.
struct group_builder {
  static source_files files(const char* first, size_t count) {
    return source_files(first, count);
  }
  static const char* first(const source_files& files) {
    return files.first_;
  }
};

namespace {

name_arena& arena_of(collection_list& list) {
  if (!list.names) {
    list.names.reset(new name_arena);
  }
  return *list.names;
}

// The text copied to the arena's cursor, which moves past it.
std::string_view put_text(name_arena& arena, std::string_view text) {
  char* at = reserve(arena, text.size());
  if (!text.empty()) {
    std::memcpy(at, text.data(), text.size());
  }
  arena.cursor = at + text.size();
  return std::string_view(at, text.size());
}

// Starts a group at the end of the list; its files follow with
// add_source_file, each into the last group.
void start_group(collection_list& list, std::string_view relative_directory,
                 std::string_view name, const folder_kind* kind) {
  name_arena& arena = arena_of(list);
  source_group group;
  group.kind = kind;
  group.relative_directory = put_text(arena, relative_directory);
  group.name = name == relative_directory ? group.relative_directory
                                          : put_text(arena, name);
  group.files = group_builder::files(arena.cursor, 0);
  list.groups.push_back(group);
}

// The record of a file named folder + name at the arena's cursor.
void put_record(name_arena& arena, std::string_view folder,
                std::string_view name, uint64_t size, uint8_t tag) {
  const size_t length = folder.size() + name.size();
  char* at = reserve(arena, length + 2 * number_size + 1);
  at = put_number(at, length + 1);
  if (!folder.empty()) {
    std::memcpy(at, folder.data(), folder.size());
  }
  std::memcpy(at + folder.size(), name.data(), name.size());
  at = put_number(at + length, size);
  *at++ = static_cast<char>(tag);
  arena.cursor = at;
}

// A file of the last group, named folder + name below its directory.
void add_source_file(collection_list& list, std::string_view folder,
                     std::string_view name, uint64_t size, uint8_t tag) {
  put_record(*list.names, folder, name, size, tag);
  source_group& group = list.groups.back();
  group.files = group_builder::files(group_builder::first(group.files),
                                     group.files.size() + 1);
  group.bytes += size;
  list.total_bytes += size;
}

}  // namespace

source_files add_group(collection_list& list,
                       std::string_view relative_directory,
                       const std::vector<source_entry>& files) {
  start_group(list, relative_directory, relative_directory, nullptr);
  for (const source_entry& file : files) {
    add_source_file(list, std::string_view(), file.name, file.size,
                    file.identity_tag);
  }
  return list.groups.back().files;
}

namespace {

constexpr size_t no_group = static_cast<size_t>(-1);

// A folder of the walk: its kind, the subfolders still to visit (held one
// after another in the walk's name buffer, each a role byte, the name and
// a 0), and the group its collected files go into.
struct walk_frame {
  const folder_kind* kind = nullptr;
  size_t names_begin = 0;
  size_t next = 0;
  size_t path_size = 0;  // the cursor's path at this folder
  // The frame whose group takes its files: itself, or for a part the owner
  // of the frame above.
  size_t owner = 0;
  size_t group = no_group;     // its group in the list, once started
  size_t group_name_size = 0;  // its group name, the start of walk.group_name
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
  std::string names;               // their subfolders still to visit
  // The name of the deepest frame's group; each frame's name begins the
  // name of the frames below it, so a deep tree costs its depth once.
  std::string group_name;
  identity_set folders;  // every folder walked
  std::vector<listing_entry> entries;
};

// A file that more than one name may reach is noted, so that the packing
// takes it once, under the first.
void note_if_shared(walk_state& walk, const listing_entry& entry) {
  node_identity id;
  if (may_be_reached_twice(walk.cursor, entry, id)) {
    walk.list.shared_files.push_back(id);
  }
}

// Adds a listed file of the deepest frame to its owner's group, started at
// the first file; a group that others have followed since is started
// again under the same names, so that every group stays one run of files.
void collect_file(walk_state& walk, const listing_entry& entry) {
  walk_frame& owner = walk.frames[walk.frames.back().owner];
  if (owner.group == no_group || owner.group + 1 != walk.list.groups.size()) {
    const std::string_view path(walk.cursor.path);
    start_group(
        walk.list,
        path.substr(walk.root_size, owner.path_size - walk.root_size),
        std::string_view(walk.group_name).substr(0, owner.group_name_size),
        owner.kind);
    owner.group = walk.list.groups.size() - 1;
  }
  const std::string_view folder =
      std::string_view(walk.cursor.path).substr(owner.path_size);
  add_source_file(walk.list, folder, entry.name, entry.size,
                  identity_tag(entry.volume, entry.index));
  note_if_shared(walk, entry);
}

// Queues the subfolders of the listing that have the given role.
void queue_subfolders(walk_state& walk, subfolder_role role) {
  const folder_kind& kind = *walk.frames.back().kind;
  for (const listing_entry& entry : walk.entries) {
    if (entry.directory && entry.name != "." && entry.name != ".." &&
        kind.role_of_subfolder(entry) == role) {
      walk.names.append(1, static_cast<char>(role))
          .append(entry.name)
          .append(1, '\0');
    }
  }
}

// The files of the listing that the deepest frame's kind takes are
// collected; its subfolders are queued, parts first, the others when the
// walk is recursive.
void split_listing(walk_state& walk) {
  const folder_kind& kind = *walk.frames.back().kind;
  for (const listing_entry& entry : walk.entries) {
    if (!entry.directory && kind.takes_file(walk.pattern, entry)) {
      collect_file(walk, entry);
    }
  }
  queue_subfolders(walk, SUBFOLDER_PART);
  if (walk.recursive) {
    queue_subfolders(walk, SUBFOLDER_OWN);
  }
}

// A folder that cannot be read for any reason but a lack of permission is
// reported: whole-drive runs meet system folders that nobody may read, but
// a name too long or a failing disk would otherwise lose messages unseen.
unreadable_folder_routine unreadable_folder_slot = nullptr;

void report_unreadable(walk_state& walk, const std::string& folder) {
  ++walk.list.unreadable_folders;
  if (unreadable_folder_slot && unreadable_folder_slot(folder)) {
    keep_running = false;
  }
}

// Counts a folder the walk may not read: it is passed over without a word,
// but the tally names it.
void note_unlisted(walk_state& walk, int status) {
  if (status == FOLDER_FAILED) {
    report_unreadable(walk, walk.cursor.path);
  } else if (status == FOLDER_DENIED) {
    ++walk.list.denied_folders;
  }
}

// Lists the cursor's folder, once per identity, and starts its frame as a
// subfolder name of the given role in the deepest frame (of the outer kind
// for the source folder); false when it adds nothing (walked before,
// unreadable, or a stop).
bool visit_folder(walk_state& walk, int status, const folder_kind& outer,
                  const std::string& name, subfolder_role role) {
  if (status == FOLDER_OPEN) {
    if (!walk.folders.insert(walk.cursor.levels.back().id)) {
      return false;  // reached again through a link: walked already
    }
    status = list_folder(walk.cursor, walk.entries);
  }
  note_unlisted(walk, status);
  if (status != FOLDER_OPEN) {
    return false;
  }
  poll_events();
  if (!keep_running) {
    return false;
  }
  const folder_kind& kind = outer.kind_of_subfolder(name, walk.entries);
  if (walk.frames.empty()) {
    const std::string own = source_name_of_kind(name, kind);
    if (own != name) {
      walk.list.source_name = own;
    }
  }
  walk_frame frame;
  frame.kind = &kind;
  frame.names_begin = frame.next = walk.names.size();
  frame.path_size = walk.cursor.path.size();
  frame.owner = walk.frames.size();
  if (!walk.frames.empty()) {
    if (role == SUBFOLDER_PART) {
      frame.owner = walk.frames.back().owner;
    } else {
      outer.name_subfolder_group(name, kind, walk.group_name);
    }
  }
  frame.group_name_size = walk.group_name.size();
  walk.frames.push_back(frame);
  split_listing(walk);
  walk.entries.clear();
  return true;
}

// The next subfolder of the deepest frame entered, or the frame left when
// it has none left: depth first, pre-order, parts first, then in listing
// order.
void step(walk_state& walk) {
  walk_frame& frame = walk.frames.back();
  if (frame.next == walk.names.size() || !keep_running) {
    walk.names.resize(frame.names_begin);
    walk.frames.pop_back();
    if (!walk.frames.empty()) {
      walk.group_name.resize(walk.frames.back().group_name_size);
      leave_folder(walk.cursor);
    }
    return;
  }
  const auto role = static_cast<subfolder_role>(walk.names[frame.next]);
  const size_t end = walk.names.find('\0', frame.next);
  const std::string name =
      walk.names.substr(frame.next + 1, end - frame.next - 1);
  frame.next = end + 1;
  const int status = enter_folder(walk.cursor, name);
  if (status != FOLDER_OPEN) {
    if (status == FOLDER_FAILED) {
      report_unreadable(walk, walk.cursor.path + name + native_style.separator);
    } else if (status == FOLDER_DENIED) {
      ++walk.list.denied_folders;
    }
    return;
  }
  if (!visit_folder(walk, FOLDER_OPEN, *frame.kind, name, role)) {
    leave_folder(walk.cursor);
  }
}

// The files of a group put in its kind's order: written again at the
// arena's end, the old records left unused.
void order_group(name_arena& arena, source_group& group) {
  struct file_record {
    std::string name;
    uint64_t size;
    uint8_t tag;
  };
  std::vector<file_record> files;
  files.reserve(group.files.size());
  for (const source_entry& entry : group.files) {
    files.push_back({std::string(entry.name), entry.size, entry.identity_tag});
  }
  const auto before = group.kind->file_before;
  const auto in_order = [before](const file_record& a, const file_record& b) {
    return before(a.name, b.name);
  };
  if (std::is_sorted(files.begin(), files.end(), in_order)) {
    return;
  }
  std::stable_sort(files.begin(), files.end(), in_order);
  const char* first = reserve(arena, 0);
  for (const file_record& file : files) {
    put_record(arena, std::string_view(), file.name, file.size, file.tag);
  }
  group.files = group_builder::files(first, files.size());
}

void order_groups(collection_list& list) {
  for (source_group& group : list.groups) {
    if (group.kind && group.kind->file_before) {
      order_group(*list.names, group);
    }
  }
}

}  // namespace

collection_list collect_folders(const std::string& source_directory,
                                const std::string& name_pattern, bool recursive,
                                const folder_kind& outer) {
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
  const std::string root_name = file_name(root.substr(0, root.size() - 1));
  if (visit_folder(walk, open_tree(walk.cursor, root), outer, root_name,
                   SUBFOLDER_OWN)) {
    while (!walk.frames.empty()) {
      step(walk);
    }
  }
  close_tree(walk.cursor);
  order_groups(walk.list);
  std::vector<node_identity>& shared = walk.list.shared_files;
  std::sort(shared.begin(), shared.end());
  shared.erase(std::unique(shared.begin(), shared.end()), shared.end());
  shared.shrink_to_fit();
  return std::move(walk.list);
}

void set_unreadable_folder_routine(unreadable_folder_routine routine) {
  unreadable_folder_slot = routine;
}

collection_list collect_sources(const std::string& source_directory,
                                const std::string& name_pattern,
                                bool recursive) {
  return collect_folders(source_directory, name_pattern, recursive,
                         plain_folder);
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
