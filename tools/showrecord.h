#pragma once
// zorvtool show's two forms of a record, for the fuzz target and its smoke test.

#include "userfile/record.h"

#include <ostream>

namespace zorvtool {

void printRecordJson(const zorv::Record& r, std::ostream& out);
void printRecordListing(const zorv::Record& r, int index, std::ostream& out);

} // namespace zorvtool
