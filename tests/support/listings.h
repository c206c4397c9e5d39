// Test helpers that print what the readers and the walk found, for
// comparison with a table.
#ifndef QUILLPACK_TESTS_SUPPORT_LISTINGS_H_
#define QUILLPACK_TESTS_SUPPORT_LISTINGS_H_

#include <string>
#include <vector>

#include "collect/collection.h"
#include "pack/source_reader.h"

namespace qp {
namespace testing_support {

// Every line left in source, each as read_line gives it.
std::vector<std::string> all_lines(source_file* source);

// text with "/" for the platform's separator.
std::string with_slashes(std::string text);

// One line per group, "directory|name: file file ...", after a line
// "source <name>" when the walk named the source; "/" for the separator.
std::string describe(const collection_list& list);

}  // namespace testing_support
}  // namespace qp

#endif  // QUILLPACK_TESTS_SUPPORT_LISTINGS_H_
