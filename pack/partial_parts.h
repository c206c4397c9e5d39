// The parts a partial Apple Mail file left out. A leaf part whose body was
// not kept has an X-Apple-Content-Length field and an empty body; its bytes
// are the one file of ../Attachments/<n>/<section>/ beside the message
// file's folder (<n> the leading number of the file's name, <section> the
// part's IMAP section number), or, where that folder holds several, the
// one named as the part names its file.
#ifndef QUILLPACK_PACK_PARTIAL_PARTS_H_
#define QUILLPACK_PACK_PARTIAL_PARTS_H_

#include <string>
#include <vector>

#include "pack/source_reader.h"

namespace qp {

// The folder the parts of the message file at path are in ("" when its
// name has no leading number), ending in a separator.
std::string attachments_folder(const std::string& path);

// The file of a left-out part among the names listed in its folder: the
// only one, or the one whose name is canonically equal to one of wanted
// (names that would lead out of the folder are refused); "" for none.
std::string choose_part_file(const std::vector<std::string>& listed,
                             const std::vector<std::string>& wanted);

// Rebuilds source's message (its reader over the message's bytes) with
// the left-out bodies put back, encoded as their parts say, into a
// temporary file that becomes its reader; the sections not found are
// noted in missing_parts. A read fault leaves the reader null.
void restore_partial_parts(const std::string& path, message_source& source);

}  // namespace qp

#endif  // QUILLPACK_PACK_PARTIAL_PARTS_H_
