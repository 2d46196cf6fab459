#pragma once
// One record to write in place: `now`, only while the file still holds `old`.

#include "userfile/record.h"

namespace zorv {

struct RecordWrite {
    int index = 0;
    Record old{};
    Record now{};
};

} // namespace zorv
