#include "collect/apple_mail_folder.h"

#include "base/paths.h"
#include "base/wildcard.h"

namespace qp {
namespace {

bool is_mailbox_name(std::string_view name) {
  return name.size() > 5 && ends_with_ignoring_case(name, ".mbox");
}

// The id folder of newer versions: hexadecimal digits and dashes, as a
// UUID is written.
bool is_id_name(std::string_view name) {
  if (name.size() < 8) {
    return false;
  }
  for (char c : name) {
    const char lower = ascii_lower(c);
    if (!(c >= '0' && c <= '9') && !(lower >= 'a' && lower <= 'f') &&
        c != '-') {
      return false;
    }
  }
  return true;
}

bool has_folder(const std::vector<listing_entry>& entries,
                bool (*named)(std::string_view)) {
  for (const listing_entry& entry : entries) {
    if (entry.directory && entry.name != "." && entry.name != ".." &&
        named(entry.name)) {
      return true;
    }
  }
  return false;
}

bool is_messages(std::string_view name) {
  return name == "Messages";
}

bool is_attachments(std::string_view name) {
  return name == "Attachments";
}

extern const folder_kind mailbox_part_folder;
extern const folder_kind messages_folder;
extern const folder_kind plain_beside_attachments;

// ---- The mailbox and the folders below it ----

const folder_kind& mailbox_subfolder(const std::string& name,
                                     const std::vector<listing_entry>& entries);

const folder_kind& part_subfolder(const std::string& name,
                                  const std::vector<listing_entry>&) {
  return is_messages(name) ? messages_folder : mailbox_part_folder;
}

const folder_kind& mailbox_subfolder(
    const std::string& name, const std::vector<listing_entry>& entries) {
  if (is_mailbox_name(name)) {
    return apple_mail_kind(name, entries, plain_folder);
  }
  return part_subfolder(name, entries);
}

// Every file is collected: the messages to be tried, the rest to be
// counted as the store's own.
bool takes_any_file(const std::string&, const listing_entry&) {
  return true;
}

subfolder_role mailbox_role(const listing_entry& subfolder) {
  if (is_attachments(subfolder.name)) {
    return SUBFOLDER_SKIPPED;
  }
  return is_mailbox_name(subfolder.name) ? SUBFOLDER_OWN : SUBFOLDER_PART;
}

subfolder_role part_role(const listing_entry& subfolder) {
  if (is_attachments(subfolder.name) || is_mailbox_name(subfolder.name)) {
    return SUBFOLDER_SKIPPED;
  }
  return SUBFOLDER_PART;
}

subfolder_role no_subfolders(const listing_entry&) {
  return SUBFOLDER_SKIPPED;
}

void mailbox_group_name(const std::string& name, const folder_kind& kind,
                        std::string& group_name) {
  group_name.append(apple_mail_group_name(name, kind))
      .append(1, native_style.separator);
}

// A message is a ".emlx" file of a "Messages" folder.
bool is_mailbox_store_file(std::string_view name) {
  const size_t separator = name.rfind(native_style.separator);
  if (separator == std::string_view::npos) {
    return true;
  }
  const std::string_view folder = name.substr(0, separator);
  const size_t above = folder.rfind(native_style.separator);
  const std::string_view last =
      above == std::string_view::npos ? folder : folder.substr(above + 1);
  return !is_messages(last) || !ends_with_ignoring_case(name, ".emlx");
}

// ---- A plain folder with "Attachments" beside its messages ----

subfolder_role beside_role(const listing_entry& subfolder) {
  return is_attachments(subfolder.name)
             ? SUBFOLDER_SKIPPED
             : plain_folder.role_of_subfolder(subfolder);
}

bool beside_takes_file(const std::string& pattern, const listing_entry& file) {
  return plain_folder.takes_file(pattern, file);
}

void beside_group_name(const std::string& name, const folder_kind& kind,
                       std::string& group_name) {
  plain_folder.name_subfolder_group(name, kind, group_name);
}

const folder_kind& beside_subfolder(const std::string& name,
                                    const std::vector<listing_entry>& entries) {
  return plain_folder.kind_of_subfolder(name, entries);
}

// The groups are the mailbox's: its folders below need no order or rule
// of their own.
const folder_kind mailbox_part_folder = {part_subfolder, takes_any_file,
                                         part_role,      mailbox_group_name,
                                         nullptr,        nullptr};
const folder_kind messages_folder = {part_subfolder, takes_any_file,
                                     no_subfolders,  mailbox_group_name,
                                     nullptr,        nullptr};
const folder_kind plain_beside_attachments = {
    beside_subfolder,  beside_takes_file, beside_role,
    beside_group_name, nullptr,           nullptr};

}  // namespace

const folder_kind apple_mailbox_folder = {
    mailbox_subfolder,  takes_any_file,       mailbox_role,
    mailbox_group_name, apple_message_before, is_mailbox_store_file};

const folder_kind& apple_mail_kind(const std::string& name,
                                   const std::vector<listing_entry>& entries,
                                   const folder_kind& plain) {
  if (is_mailbox_name(name) &&
      (has_folder(entries, is_messages) || has_folder(entries, is_id_name) ||
       has_folder(entries, is_mailbox_name))) {
    return apple_mailbox_folder;
  }
  if (&plain == &plain_folder && has_folder(entries, is_messages) &&
      has_folder(entries, is_attachments)) {
    return plain_beside_attachments;
  }
  return plain;
}

std::string apple_mail_group_name(const std::string& name,
                                  const folder_kind& kind) {
  if (&kind == &apple_mailbox_folder) {
    return name.substr(0, name.size() - 5);
  }
  return name;
}

bool apple_message_before(std::string_view a, std::string_view b) {
  const std::string_view name_a = a.substr(a.rfind(native_style.separator) + 1);
  const std::string_view name_b = b.substr(b.rfind(native_style.separator) + 1);
  const std::string_view digits = "0123456789";
  std::string_view number_a =
      name_a.substr(0, name_a.find_first_not_of(digits));
  std::string_view number_b =
      name_b.substr(0, name_b.find_first_not_of(digits));
  while (number_a.size() > 1 && number_a[0] == '0') {
    number_a.remove_prefix(1);
  }
  while (number_b.size() > 1 && number_b[0] == '0') {
    number_b.remove_prefix(1);
  }
  if (number_a.size() != number_b.size()) {
    return number_a.size() < number_b.size();
  }
  if (number_a != number_b) {
    return number_a < number_b;
  }
  return a < b;
}

}  // namespace qp
