// The kinds of folder the collection walk meets. A folder's kind decides
// which of its files are collected, which of its subfolders are walked and
// how, and what the groups of its subfolders are named; the walk knows none
// of it. A plain folder's matching files form one group named after its
// path below the source folder, and each subfolder is a folder of its own
// when the walk is recursive. A mail store's folder (messages spread over
// subfolders, system files beside them) is another kind, with its own
// answers to the same questions: Apple Mail's mailboxes
// (apple_mail_folder.h) so far.
#ifndef QUILLPACK_COLLECT_FOLDER_KIND_H_
#define QUILLPACK_COLLECT_FOLDER_KIND_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/paths.h"
#include "collect/collection.h"

namespace qp {

enum subfolder_role {
  SUBFOLDER_SKIPPED = 0,  // never walked
  SUBFOLDER_OWN = 1,      // walked when recursive, as a folder of its own
  // Walked always, before the other subfolders: its files are collected
  // into the group of the folder above, their names led by the path below
  // that folder ("cur/1234:2,S").
  SUBFOLDER_PART = 2,
};

struct folder_kind {
  // The kind of a subfolder, told by its name and its listing. The source
  // folder is told by the plain kind, as though it were its subfolder.
  const folder_kind& (*kind_of_subfolder)(
      const std::string& name, const std::vector<listing_entry>& entries);
  // Whether a listed file of a folder of this kind is collected.
  bool (*takes_file)(const std::string& pattern, const listing_entry& file);
  subfolder_role (*role_of_subfolder)(const listing_entry& subfolder);
  // Appends the group name of an own subfolder, of the given kind, to the
  // name of this folder's group (empty for the source folder, else ending
  // in a separator), which it leaves as it is; what it appends ends in a
  // separator.
  void (*name_subfolder_group)(const std::string& name, const folder_kind& kind,
                               std::string& group_name);
  // The order of the files of its group, by their names below the group's
  // directory; null keeps the order of the walk.
  bool (*file_before)(std::string_view a, std::string_view b);
  // Whether a collected file (its name below the group's directory) is one
  // the store keeps for itself, passed over as a system file; null when
  // every file is tried.
  bool (*is_store_file)(std::string_view name);
};

extern const folder_kind plain_folder;

// The name the source folder, of the given kind, gives its targets: a
// Maildir++ folder's without its leading dot; most keep their own.
std::string source_name_of_kind(const std::string& name,
                                const folder_kind& kind);

// collect_sources with the kinds that outer tells for the source folder.
collection_list collect_folders(const std::string& source_directory,
                                const std::string& name_pattern, bool recursive,
                                const folder_kind& outer);

}  // namespace qp

#endif  // QUILLPACK_COLLECT_FOLDER_KIND_H_
