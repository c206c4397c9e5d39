#include "pack/marks_header.h"

#include "base/paths.h"

namespace qp {
namespace {

constexpr std::string_view status_field = "status:";
constexpr std::string_view x_status_field = "x-status:";

// The info of a Maildir name begins after the last of these.
bool is_info_start(std::string_view name, size_t at) {
  const char c = name[at];
  return (c == ':' || c == '!' || c == ';') && name.substr(at + 1, 2) == "2,";
}

}  // namespace

std::vector<std::string> marks_header_lines(const message_marks& marks) {
  std::vector<std::string> lines;
  if (!marks.known) {
    return lines;
  }
  std::string status;
  if (marks.read) {
    status += 'R';
  }
  if (!marks.is_new) {
    status += 'O';
  }
  std::string x_status;
  if (marks.answered) {
    x_status += 'A';
  }
  if (marks.flagged) {
    x_status += 'F';
  }
  if (marks.deleted) {
    x_status += 'D';
  }
  if (marks.draft) {
    x_status += 'T';
  }
  if (!status.empty()) {
    lines.push_back("Status: " + status);
  }
  if (!x_status.empty()) {
    lines.push_back("X-Status: " + x_status);
  }
  return lines;
}

void own_marks_watch::feed(std::string_view piece) {
  const size_t room = x_status_field.size() - start_.size();
  start_.append(piece.substr(0, room));
  if (next_) {
    next_->feed(piece);
  }
}

void own_marks_watch::end_line(const line_facts& facts) {
  if (starts_with_ignoring_case(start_, status_field) ||
      starts_with_ignoring_case(start_, x_status_field)) {
    seen_ = true;
  }
  start_.clear();
  if (next_) {
    next_->end_line(facts);
  }
}

message_marks maildir_name_marks(std::string_view name, bool in_new) {
  message_marks marks;
  marks.known = true;
  marks.is_new = in_new;
  size_t info = std::string_view::npos;
  for (size_t at = name.size(); at-- > 0;) {
    if (is_info_start(name, at)) {
      info = at + 3;
      break;
    }
  }
  if (info == std::string_view::npos) {
    return marks;
  }
  // Lower-case letters are keywords of the mail program: no marks of ours.
  for (char letter : name.substr(info)) {
    switch (letter) {
    case 'S':
      marks.read = true;
      break;
    case 'R':
      marks.answered = true;
      break;
    case 'F':
      marks.flagged = true;
      break;
    case 'T':
      marks.deleted = true;
      break;
    case 'D':
      marks.draft = true;
      break;
    default:
      break;
    }
  }
  return marks;
}

message_marks marks_beside(const std::string& path) {
  const std::string folder = file_directory(path);
  if (folder.size() < 2) {
    return message_marks();
  }
  const std::string folder_name =
      ascii_lower(file_name(folder.substr(0, folder.size() - 1)));
  if (folder_name != "cur" && folder_name != "new") {
    return message_marks();
  }
  // Both folders beside each other make a Maildir; a lone folder named so
  // holds plain files.
  const std::string maildir =
      file_directory(folder.substr(0, folder.size() - 1));
  if (path_kind(maildir + "cur") != KIND_DIRECTORY ||
      path_kind(maildir + "new") != KIND_DIRECTORY) {
    return message_marks();
  }
  return maildir_name_marks(file_name(path), folder_name == "new");
}

}  // namespace qp
