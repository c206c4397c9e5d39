// The plain folder, and the kinds a plain folder's subfolders may be.
#include "collect/folder_kind.h"

#include "base/wildcard.h"
#include "collect/apple_mail_folder.h"
#include "collect/maildir_folder.h"

namespace qp {
namespace {

const folder_kind& plain_subfolder(const std::string& name,
                                   const std::vector<listing_entry>& entries) {
  if (is_maildir_listing(entries)) {
    return maildir_folder;
  }
  return apple_mail_kind(name, entries, plain_folder);
}

bool plain_takes_file(const std::string& pattern, const listing_entry& file) {
  return match_file_name(pattern, file.name);
}

subfolder_role plain_role(const listing_entry&) {
  return SUBFOLDER_OWN;
}

void plain_group_name(const std::string& name, const folder_kind& kind,
                      std::string& group_name) {
  group_name.append(apple_mail_group_name(name, kind))
      .append(1, native_style.separator);
}

}  // namespace

const folder_kind plain_folder = {plain_subfolder, plain_takes_file,
                                  plain_role,      plain_group_name,
                                  nullptr,         nullptr};

std::string source_name_of_kind(const std::string& name,
                                const folder_kind& kind) {
  return &kind == &maildir_folder ? maildir_source_name(name)
                                  : apple_mail_group_name(name, kind);
}

}  // namespace qp
