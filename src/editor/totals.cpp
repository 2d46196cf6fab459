#include "totals.h"

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

void addToTotals(Totals& t, const Record& r) {
    addWrapping(t.tuser, 1);
    addWrapping(t.tlogins, readNumber(r, kLogins));
    if (readNumber(r, kResume) != 0)
        addWrapping(t.tres, 1);
    addWrapping(t.twmsg, readNumber(r, kMsgleft));
    addWrapping(t.trmsg, readNumber(r, kMsgread));
    addWrapping(t.tdmsg, readNumber(r, kMsgdumped));
    addWrapping(t.tfup, readNumber(r, kUpf));
    addWrapping(t.tfdown, readNumber(r, kDownf));
    addWrapping(t.tbup, readNumber(r, kKbup));
    addWrapping(t.tbdown, readNumber(r, kKbdown));
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
