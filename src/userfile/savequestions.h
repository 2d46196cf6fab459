#pragma once
// The lists of users a save's questions and closing message name.

#include "userfile/recordwrite.h"
#include "userfile/savedecision.h"

#include <string>
#include <vector>

namespace zorv {

// "  <index>  <name>" (UTF-8), the name left out when empty.
std::string userLine(int index, const Record& r);
// One line per user (the operator's record's name), at most 15.
std::string userList(const std::vector<RecordWrite>& users);
// Each user with every field both changed: the field, yours and the board's.
std::string disputedList(const std::vector<Disputed>& users);

} // namespace zorv
