// Maildir folders in the collection walk, and the names of their Maildir++
// subfolders.
#include "collect/maildir_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/listings.h"
#include "tests/support/scratch.h"
#include "window/events.h"

namespace qp {
namespace {

using testing_support::describe;
using testing_support::scratch_dir;
using testing_support::with_slashes;

struct name_case {
  const char* folder;
  const char* group;   // below the Maildir
  const char* source;  // as the source itself
};

const name_case name_cases[] = {
    {".Sent", "Sent/", "Sent"},
    {".Work.Projects.2024", "Work/Projects/2024/", "Work.Projects.2024"},
    {".&AMQ-rger", "\xc3\x84rger/", "\xc3\x84rger"},
    {".&ZeVnLA-.a&-b", "\xe6\x97\xa5\xe6\x9c\xac/a&b/",
     "\xe6\x97\xa5\xe6\x9c\xac.a&b"},
    {".&2D3eAA-", "\xf0\x9f\x98\x80/", "\xf0\x9f\x98\x80"},
    // What is not modified UTF-7 keeps its letters: an open shift, bits
    // left over, a lone surrogate, a byte outside ASCII.
    {".&AMQrger", "&AMQrger/", "&AMQrger"},
    {".&AMR-", "&AMR-/", "&AMR-"},
    {".&2D0-", "&2D0-/", "&2D0-"},
    {".\xc3\x84", "\xc3\x84/", "\xc3\x84"},
    // A decoded name never climbs or splits into levels of its own.
    {".&AC8-", "&AC8-/", "&AC8-"},
    {".&AC4ALg-", "&AC4ALg-/", "&AC4ALg-"},
    // An empty level: the name is one level, its further dots kept.
    {".a..b", "a..b/", "a..b"},
    {".a.", "a./", "a."},
    {"...", ".../", "..."},
};

TEST(maildir_folder, maildir_plus_names) {
  for (const name_case& c : name_cases) {
    EXPECT_EQ(with_slashes(maildir_plus_group_name(c.folder)), c.group)
        << c.folder;
    EXPECT_EQ(maildir_source_name(c.folder), c.source) << c.folder;
  }
  EXPECT_EQ(maildir_source_name("Maildir"), "Maildir");
}

TEST(maildir_folder, messages_parts_and_subfolders) {
  scratch_dir dir;
  for (const char* file : {"mail/Maildir/cur/2.M2.h!2,S",
                           "mail/Maildir/cur/1.M1.h!2,",
                           "mail/Maildir/new/3.M3.h",
                           "mail/Maildir/new/4.eml",
                           "mail/Maildir/tmp/5.M5.h",
                           "mail/Maildir/cur/in/6.M6.h",
                           "mail/Maildir/dovecot-uidlist",
                           "mail/Maildir/courierimapkeywords/k",
                           "mail/Maildir/.Sent/cur/s.M.h!2,S",
                           "mail/Maildir/.Sent/maildirfolder",
                           "mail/Maildir/.Work.Projects/cur/p.M.h!2,",
                           "mail/Maildir/.Work/new/w.M.h",
                           "mail/Maildir/.Work/tmp/",
                           "mail/Maildir/.Work/cur/",
                           "mail/Maildir/.Sent/new/",
                           "mail/Maildir/.Work.Projects/new/",
                           "mail/Maildir/Sent/new/o.M.h",
                           "mail/Maildir/Sent/cur/",
                           "mail/Maildir/notes/n.eml",
                           "mail/m.eml",
                           "mail/cur/c.eml"}) {
    dir.write(file, "x");
  }
  struct row {
    std::string source;
    std::string pattern;
    bool recursive;
    std::string groups;
  };
  const std::string maildir =
      ": dovecot-uidlist cur/1.M1.h!2, cur/2.M2.h!2,S new/3.M3.h new/4.eml\n";
  const std::vector<row> rows = {
      // Parts without /s too; the Maildir's own files before them.
      {"mail/Maildir", "*.*", false, "|" + maildir},
      {"mail", "*.*", true,
       "|: m.eml\n"
       "cur/|cur/: c.eml\n"
       "Maildir/|Maildir/" +
           maildir +
           "Maildir/.Sent/|Maildir/Sent/: maildirfolder cur/s.M.h!2,S\n"
           "Maildir/.Work/|Maildir/Work/: new/w.M.h\n"
           "Maildir/.Work.Projects/|Maildir/Work/Projects/: cur/p.M.h!2,\n"
           "Maildir/notes/|Maildir/notes/: n.eml\n"
           "Maildir/Sent/|Maildir/Sent/: new/o.M.h\n"},
      // A pattern without a dot matches no message name.
      {"mail/Maildir", "*", false, "|: dovecot-uidlist\n"},
      {"mail/Maildir", "*.eml", false, "|: new/4.eml\n"},
      {"mail/Maildir/.Work.Projects", "*.*", true,
       "source Work.Projects\n|: cur/p.M.h!2,\n"},
      // A lone cur/ is a plain folder.
      {"mail/Maildir/cur", "*.*", true,
       "|: 1.M1.h!2, 2.M2.h!2,S\nin/|in/: 6.M6.h\n"},
  };
  for (const row& r : rows) {
    keep_running = true;
    std::string source = r.source;
    for (char& c : source) {
      c = c == '/' ? native_style.separator : c;
    }
    const collection_list list =
        collect_sources(dir.path() + source, r.pattern, r.recursive);
    EXPECT_EQ(describe(list), r.groups) << r.source << " " << r.pattern;
  }
}

}  // namespace
}  // namespace qp
