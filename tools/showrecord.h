#pragma once
// zorvtool show's two forms of a record, for the fuzz target and its smoke
// test, and its form of each field, which diff uses too.

#include "userfile/fields.h"
#include "userfile/record.h"

#include <ostream>
#include <string>

namespace zorvtool {

// A field's label and value as show lists them ("Limits:", "100"; an option
// box "[x]" or "[ ]", a code without an item "(no item; code 9)").
std::string showLabel(const zorv::UserField& f);
std::string showValue(const zorv::Record& r, const zorv::UserField& f);
// "LABEL  VALUE\n", the label padded to show's column.
void appendShowLine(std::string& out, const std::string& label, const std::string& value);

void printRecordJson(const zorv::Record& r, std::ostream& out);
void printRecordListing(const zorv::Record& r, int index, std::ostream& out);

} // namespace zorvtool
