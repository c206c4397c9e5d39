// The Mbox section read from whole INI files: its keys in any letter case,
// the fault texts, and where its check stands among the others.
#include "config/mbox_format.h"

#include <gtest/gtest.h>

#include <string>

#include "config/settings.h"
#include "tests/support/scratch.h"

namespace qp {
namespace {

struct mbox_case {
  const char* title;
  std::string text;
  std::string detail;  // the fault's line, "" for a valid file
  mbox_format expected;
};

mbox_format format(line_end_style ends, bool empty_line,
                   separator_date_style date, body_quoting quoting) {
  mbox_format f;
  f.line_ends = ends;
  f.empty_line_between = empty_line;
  f.separator_date = date;
  f.quoting = quoting;
  return f;
}

mbox_format format(marks_style marks) {
  mbox_format f;
  f.marks = marks;
  return f;
}

const mbox_format defaults;
const mbox_format all_set =
    format(LINE_ENDS_LF, true, SEPARATOR_HEADER, QUOTING_MBOXRD);

mbox_format sorted_and_sifted() {
  mbox_format f;
  f.order = ORDER_DATE;
  f.duplicates = DUPLICATES_SKIP;
  return f;
}

const mbox_case mbox_cases[] = {
    {"no section", "[Names]\n", "", defaults},
    {"an empty section", "[Mbox]\n", "", defaults},
    {"every default written out",
     "[Mbox]\nLineEnds=CRLF\nEmptyLineBetween=false\nSeparatorDate=fixed\n"
     "Quoting=space\n",
     "", defaults},
    {"every other value",
     "[Mbox]\nLineEnds=LF\nEmptyLineBetween=true\nSeparatorDate=header\n"
     "Quoting=mboxrd\n",
     "", all_set},
    {"names and values in any letter case",
     "[mBOX]\nlineends = lf\nEMPTYLINEBETWEEN=True\nseparatorDate=HEADER\n"
     "QUOTING=MboxRD\n",
     "", all_set},
    {"comments and lines without = are skipped",
     "[Mbox]\n; LineEnds=cr\nLineEnds\nLineEnds=lf\n", "",
     format(LINE_ENDS_LF, false, SEPARATOR_FIXED, QUOTING_SPACE)},
    {"a value not in the table", "[Mbox]\nLineEnds=cr\n",
     "Section 'Mbox': Key 'LineEnds' cannot take value 'cr'.", defaults},
    {"the value as written", "[mbox]\nemptylinebetween=Yes\n",
     "Section 'Mbox': Key 'EmptyLineBetween' cannot take value 'Yes'.",
     defaults},
    {"an empty value", "[Mbox]\nSeparatorDate=\n",
     "Section 'Mbox': Key 'SeparatorDate' cannot take value ''.", defaults},
    {"order and duplicates", "[Mbox]\norder=Date\nDUPLICATES=skip\n", "",
     sorted_and_sifted()},
    {"their defaults written out", "[Mbox]\nOrder=name\nDuplicates=keep\n", "",
     defaults},
    {"an order not offered", "[Mbox]\nOrder=size\n",
     "Section 'Mbox': Key 'Order' cannot take value 'size'.", defaults},
    {"duplicates dropped is no value", "[Mbox]\nDuplicates=drop\n",
     "Section 'Mbox': Key 'Duplicates' cannot take value 'drop'.", defaults},
    {"mboxo is not offered", "[Mbox]\nQuoting=mboxo\n",
     "Section 'Mbox': Key 'Quoting' cannot take value 'mboxo'.", defaults},
    {"an unknown key as written", "[Mbox]\nLineEnds=lf\nColour=red\n",
     "Section 'Mbox': Unknown key 'Colour'.", defaults},
    {"a control character in a key is shown escaped",
     "[Mbox]\nBad\x1b[31mKey=lf\n",
     "Section 'Mbox': Unknown key 'Bad\\x1B[31mKey'.", defaults},
    {"and in a value", "[Mbox]\nQuoting=x\x1b[2Jy\n",
     "Section 'Mbox': Key 'Quoting' cannot take value 'x\\x1B[2Jy'.", defaults},
    {"the first fault in file order", "[Mbox]\nQuoting=x\nLineEnds=y\n",
     "Section 'Mbox': Key 'Quoting' cannot take value 'x'.", defaults},
    {"an unknown section comes first", "[Mbox]\nLineEnds=cr\n[Box]\n",
     "Unknown section 'Box'.", defaults},
    {"FromLines before Mbox", "[Mbox]\nLineEnds=cr\n[FromLines]\nX=1\n",
     "Section 'FromLines': Unknown key 'X'.", defaults},
    {"Names before Mbox", "[Mbox]\nLineEnds=cr\n[Names]\nMboxExtension=a?\n",
     "Key 'MboxExtension': Character(s) '?' not allowed in file names on "
     "Windows.",
     defaults},
    {"Mbox before the equal extensions",
     "[Names]\nFolderExtension=.mbx\n[Mbox]\nLineEnds=cr\n",
     "Section 'Mbox': Key 'LineEnds' cannot take value 'cr'.", defaults},
    {"a valid Mbox section and equal extensions",
     "[Names]\nFolderExtension=.mbx\n[Mbox]\nLineEnds=lf\n",
     "Values of 'MboxExtension' and 'FolderExtension' must not be equal.",
     defaults},
    {"marks are kept by default, left out when asked", "[Mbox]\nmarks=NONE\n",
     "", format(MARKS_NONE)},
    {"Marks takes only its two words", "[Mbox]\nMarks=off\n",
     "Section 'Mbox': Key 'Marks' cannot take value 'off'.", defaults},
    {"the section only once", "[Mbox]\nLineEnds=lf\n[MBOX]\n",
     "Duplicate name on line 3.", defaults},
};

TEST(mbox_section, values_and_faults) {
  for (const mbox_case& c : mbox_cases) {
    testing_support::scratch_dir dir;
    std::string path = dir.write("quillpack.ini", c.text);
    pack_settings out;
    std::string message = read_settings(path, out);
    std::string expected_message = c.detail.empty()
                                       ? std::string()
                                       : "Error in file '" + path + "'.\n" +
                                             c.detail + "\nProgram aborted.";
    EXPECT_EQ(message, expected_message) << c.title;
    EXPECT_EQ(out.mbox.line_ends, c.expected.line_ends) << c.title;
    EXPECT_EQ(out.mbox.empty_line_between, c.expected.empty_line_between)
        << c.title;
    EXPECT_EQ(out.mbox.separator_date, c.expected.separator_date) << c.title;
    EXPECT_EQ(out.mbox.quoting, c.expected.quoting) << c.title;
    EXPECT_EQ(out.mbox.order, c.expected.order) << c.title;
    EXPECT_EQ(out.mbox.duplicates, c.expected.duplicates) << c.title;
    EXPECT_EQ(out.mbox.marks, c.expected.marks) << c.title;
  }
}

}  // namespace
}  // namespace qp
