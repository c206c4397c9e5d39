// The separator line composed from a message's header: "From <address>
// <date>", the address from Return-Path or From, the date from Date or,
// failing that, from the first Received field.
#ifndef QUILLPACK_PACK_SEPARATOR_FIELDS_H_
#define QUILLPACK_PACK_SEPARATOR_FIELDS_H_

#include <string>
#include <string_view>

#include "pack/line_facts.h"
#include "pack/mail_date.h"

namespace qp {

// Gathers the four fields from the header lines fed to it, in order, as an
// observer of the header scan. A line may arrive in pieces; memory stays
// bounded whatever the lines hold.
class separator_fields final : public header_observer {
 public:
  // A piece of the current line, without its line end.
  void feed(std::string_view piece) override;
  // The current line is complete.
  void end_line();
  void end_line(const line_facts&) override {
    end_line();
  }
  // "From <address> <date>\n"; the fixed fallback line when no date can be
  // read.
  std::string compose() const;
  // The date compose writes: Date, else the first Received field's; false
  // when neither can be read.
  bool read_date(utc_time& out) const;

 private:
  enum { RETURN_PATH, FROM, DATE, RECEIVED, FIELD_COUNT };
  struct field {
    bool seen = false;
    bool overlong = false;  // longer than a date or address may be
    std::string value;      // continuation lines included
  };
  void take_value(field& target, std::string_view text);

  field fields_[FIELD_COUNT];
  int current_ = -1;  // the field whose continuation lines may follow
  std::string line_;  // the current line, up to a bound
  bool line_overlong_ = false;
};

// The address part of a field value: inside <...> when there is one, else
// the value without surrounding blanks. "-" when that is unusable.
std::string separator_address(std::string_view value);

}  // namespace qp

#endif  // QUILLPACK_PACK_SEPARATOR_FIELDS_H_
