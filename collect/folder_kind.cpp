// The plain folder, and the kinds a plain folder's subfolders may be.
#include "collect/folder_kind.h"

#include "base/wildcard.h"
#include "collect/maildir_folder.h"

namespace qp {
namespace {

const folder_kind& plain_subfolder(const std::string&,
                                   const std::vector<listing_entry>& entries) {
  return is_maildir_listing(entries) ? maildir_folder : plain_folder;
}

bool plain_takes_file(const std::string& pattern, const listing_entry& file) {
  return match_file_name(pattern, file.name);
}

subfolder_role plain_role(const listing_entry&) {
  return SUBFOLDER_OWN;
}

void plain_group_name(const std::string& name, const folder_kind&,
                      std::string& group_name) {
  group_name.append(name).append(1, native_style.separator);
}

}  // namespace

const folder_kind plain_folder = {plain_subfolder, plain_takes_file, plain_role,
                                  plain_group_name};

std::string source_name_of_kind(const std::string& name,
                                const folder_kind& kind) {
  return &kind == &maildir_folder ? maildir_source_name(name) : name;
}

}  // namespace qp
