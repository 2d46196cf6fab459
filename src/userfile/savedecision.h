#pragma once
// What a save writes, decided from bytes alone: the record as loaded, the
// operator's record and what the user file holds. Reads, locks and questions
// stay with the caller, which calls this for each round of a save.

#include "userfile/fields.h"
#include "userfile/recordwrite.h"

#include <map>
#include <vector>

namespace zorv {

// A record the operator changed: its bytes as loaded and as they are now.
struct Change {
    int index = 0;
    Record loaded{};
    Record mine{};
};

// A user both the operator and the board changed, with at least one field
// they changed to different values.
struct Disputed {
    int index = 0;
    Record board{}; // what the file holds
    Record mine{};  // the operator's record, for its name
    FieldMerge merge;
};

struct Decision {
    std::vector<RecordWrite> plan;  // `old`: what the file holds
    std::vector<Disputed> disputed; // the question to ask, when not empty
};

// The first round: `board[i]` is what the file holds for `changes[i]`. A
// record the board left as loaded takes the operator's; one the board
// changed too is merged field by field.
Decision decideChanges(const std::vector<Change>& changes, const std::vector<Record>& board);

// Again for the records that moved before their write (`old`: what the file
// holds now, `now`: what was decided): the decision goes over the board's
// record by the same rule, as changes from `decidedOn`, what it was made on.
// `changeAt` gives each record's change, for the operator's record.
Decision decideMoved(const std::vector<RecordWrite>& moved, const std::map<int, Record>& decidedOn,
                     const std::map<int, const Change*>& changeAt);

// The writes the operator's answer for disputed users makes: their values in
// the disputed fields (keepMine) or the board's, where the file does not
// already hold the result.
std::vector<RecordWrite> settle(const std::vector<Disputed>& disputed, bool keepMine);

} // namespace zorv
