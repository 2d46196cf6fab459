#include "editor/totals.h"

#include "userfile/blockreader.h"
#include "userfile/workingcopy.h"

namespace zorv {

namespace {

// Two's-complement wrap without signed overflow.
void addWrapping(std::int32_t& sum, std::int64_t value) {
    sum = static_cast<std::int32_t>(static_cast<std::uint32_t>(sum) +
                                    static_cast<std::uint32_t>(value));
}

} // namespace

// The counters are all 32-bit: read in place, with no per-field dispatch, as
// this runs for every record of every pass.
static std::uint32_t counterAt(const Record& r, const NumField& f) {
    const std::uint8_t* p = r.data() + f.offset;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

static_assert(kLogins.type == NumType::I32 && kMsgleft.type == NumType::I32 &&
              kMsgread.type == NumType::I32 && kMsgdumped.type == NumType::I32 &&
              kUpf.type == NumType::I32 && kDownf.type == NumType::I32 &&
              kKbup.type == NumType::I32 && kKbdown.type == NumType::I32 &&
              kResume.type == NumType::I32);

void addToTotals(Totals& t, const Record& r) {
    addWrapping(t.tuser, 1);
    addWrapping(t.tlogins, counterAt(r, kLogins));
    if (counterAt(r, kResume) != 0)
        addWrapping(t.tres, 1);
    addWrapping(t.twmsg, counterAt(r, kMsgleft));
    addWrapping(t.trmsg, counterAt(r, kMsgread));
    addWrapping(t.tdmsg, counterAt(r, kMsgdumped));
    addWrapping(t.tfup, counterAt(r, kUpf));
    addWrapping(t.tfdown, counterAt(r, kDownf));
    addWrapping(t.tbup, counterAt(r, kKbup));
    addWrapping(t.tbdown, counterAt(r, kKbdown));
}

void replaceInTotals(Totals& t, const Record& before, const Record& after) {
    Totals delta;
    addToTotals(delta, after);
    Totals old;
    addToTotals(old, before);
    for (const TotalsEntry& e : totalsEntries())
        addWrapping(t.*(e.value), static_cast<std::int64_t>(delta.*(e.value)) - old.*(e.value));
}

Totals computeTotals(int count, const RecordReader& read) {
    Totals t;
    Record buffer{};
    for (int i = 0; i < count; ++i) {
        read(i, buffer);
        addToTotals(t, buffer);
    }
    return t;
}

Totals computeTotals(BlockReader& reader) {
    Totals t;
    while (const Record* r = reader.next())
        addToTotals(t, *r);
    return t;
}

Totals computeTotals(const WorkingCopy& wc) {
    BlockReader reader(wc);
    return computeTotals(reader);
}

const std::array<TotalsEntry, 10>& totalsEntries() {
    static const std::array<TotalsEntry, 10> entries{{
        {"tuser", &Totals::tuser},
        {"tlogins", &Totals::tlogins},
        {"tres", &Totals::tres},
        {"twmsg", &Totals::twmsg},
        {"trmsg", &Totals::trmsg},
        {"tdmsg", &Totals::tdmsg},
        {"tfup", &Totals::tfup},
        {"tfdown", &Totals::tfdown},
        {"tbup", &Totals::tbup},
        {"tbdown", &Totals::tbdown},
    }};
    return entries;
}

} // namespace zorv
