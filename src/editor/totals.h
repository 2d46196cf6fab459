#pragma once
// The ten figures of the "BBS Statistics" tab, over every record whatever its
// status. Sums wrap like the record's 32-bit counters.

#include "userfile/record.h"

#include <array>
#include <cstdint>
#include <functional>

namespace zorv {

class BlockReader;
class WorkingCopy;

struct Totals {
    std::int32_t tuser = 0; // records read
    std::int32_t tlogins = 0;
    std::int32_t tres = 0; // records with a resume number other than 0
    std::int32_t twmsg = 0;
    std::int32_t trmsg = 0;
    std::int32_t tdmsg = 0;
    std::int32_t tfup = 0;
    std::int32_t tfdown = 0;
    std::int32_t tbup = 0;
    std::int32_t tbdown = 0;

    friend bool operator==(const Totals&, const Totals&) = default;
};

// Adds one record to the figures (tuser counts it).
void addToTotals(Totals& t, const Record& r);
// A record rewritten in place: its old figures out, its new ones in. The sums
// wrap, so this gives exactly what a fresh pass over the file would.
void replaceInTotals(Totals& t, const Record& before, const Record& after);

// Reads records 0..count-1 through `read` into a buffer of its own. An
// exception from `read` propagates; nothing is kept between passes.
using RecordReader = std::function<void(int index, Record& buffer)>;
Totals computeTotals(int count, const RecordReader& read);

// The pass over the working copy; its shared record buffer is not touched.
Totals computeTotals(const WorkingCopy& wc);
// The rest of a block reader's pass.
Totals computeTotals(BlockReader& reader);

// The figures in the tab's order, with the edit fields' names.
struct TotalsEntry {
    const char* name; // "tuser", "tlogins", ...
    std::int32_t Totals::*value;
};
const std::array<TotalsEntry, 10>& totalsEntries();

} // namespace zorv
