#include "collect/folder_kind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/wildcard.h"
#include "tests/support/listings.h"
#include "tests/support/scratch.h"
#include "window/events.h"

namespace qp {
namespace {

using testing_support::describe;
using testing_support::scratch_dir;

// A store made of kinds as a mail store would be: a folder with "cur" and
// "new" subfolders holds its messages there, never in "tmp", and names its
// subfolders without their leading dot. Its "cur" keeps a subfolder of its
// own, so that a group is broken by another and goes on after it.
bool has_folder(const std::vector<listing_entry>& entries, const char* name) {
  for (const listing_entry& entry : entries) {
    if (entry.directory && entry.name == name) {
      return true;
    }
  }
  return false;
}

extern const folder_kind store_plain, store, store_messages;

const folder_kind& plain_or_store(const std::string&,
                                  const std::vector<listing_entry>& entries) {
  return has_folder(entries, "cur") && has_folder(entries, "new") ? store
                                                                  : store_plain;
}

const folder_kind& store_subfolder(const std::string& name,
                                   const std::vector<listing_entry>& entries) {
  return name == "cur" || name == "new" ? store_messages
                                        : plain_or_store(name, entries);
}

bool matching(const std::string& pattern, const listing_entry& file) {
  return match_file_name(pattern, file.name);
}

bool none(const std::string&, const listing_entry&) {
  return false;
}

subfolder_role own(const listing_entry&) {
  return SUBFOLDER_OWN;
}

subfolder_role store_role(const listing_entry& subfolder) {
  if (subfolder.name == "cur" || subfolder.name == "new") {
    return SUBFOLDER_PART;
  }
  return subfolder.name == "tmp" ? SUBFOLDER_SKIPPED : SUBFOLDER_OWN;
}

void as_named(const std::string& name, const folder_kind&,
              std::string& group_name) {
  group_name.append(name).append(1, native_style.separator);
}

void without_dot(const std::string& name, const folder_kind&,
                 std::string& group_name) {
  group_name.append(name, name[0] == '.' ? 1 : 0, std::string::npos);
  group_name.append(1, native_style.separator);
}

const folder_kind store_plain = {plain_or_store, matching, own,
                                 as_named,       nullptr,  nullptr};
const folder_kind store = {store_subfolder, none,    store_role,
                           without_dot,     nullptr, nullptr};
const folder_kind store_messages = {plain_or_store, matching, own,
                                    as_named,       nullptr,  nullptr};

TEST(folder_kind, KindsDecideGroupsNamesAndSkips) {
  scratch_dir dir;
  for (const char* file :
       {"a.eml", "mail/dovecot.index", "mail/cur/c2.eml", "mail/cur/c1.eml",
        "mail/cur/inner/i.eml", "mail/new/n1.eml", "mail/tmp/t1.eml",
        "mail/.Sent/cur/s1.eml", "mail/.Sent/new/x.txt", "mail/plain/p.eml"}) {
    dir.write(file, "x");
  }
  struct row {
    std::string source;
    bool recursive;
    std::string groups;
  };
  const std::vector<row> rows = {
      // The parts first, whatever the listing order; the group of "mail/"
      // goes on after the one that broke it.
      {"", true,
       "|: a.eml\n"
       "mail/|mail/: cur/c1.eml cur/c2.eml\n"
       "mail/cur/inner/|mail/inner/: i.eml\n"
       "mail/|mail/: new/n1.eml\n"
       "mail/.Sent/|mail/Sent/: cur/s1.eml\n"
       "mail/plain/|mail/plain/: p.eml\n"},
      // Parts are walked without /s too; the source folder is a store.
      {"mail", false, "|: cur/c1.eml cur/c2.eml new/n1.eml\n"},
  };
  for (const row& r : rows) {
    keep_running = true;
    const collection_list list = collect_folders(dir.path() + r.source, "*.eml",
                                                 r.recursive, store_plain);
    EXPECT_EQ(describe(list), r.groups) << r.source;
  }
}

}  // namespace
}  // namespace qp
