#include "userfile/savedecision.h"

#include <utility>

namespace zorv {

namespace {

// A record the board changed too is merged field by field: nothing to write
// when the board already holds the result; disputed when a field clashes.
void decide(int index, const Record& base, const Record& ours, const Record& now,
            const Record& mine, Decision& d) {
    FieldMerge m = mergeFields(base, ours, now);
    if (!m.conflicts.empty())
        d.disputed.push_back({index, now, mine, std::move(m)});
    else if (m.keepingMine != now)
        d.plan.push_back({index, now, m.keepingMine});
}

} // namespace

Decision decideChanges(const std::vector<Change>& changes, const std::vector<Record>& board) {
    Decision d;
    for (std::size_t i = 0; i < changes.size() && i < board.size(); ++i) {
        const Change& c = changes[i];
        const Record& cur = board[i];
        if (cur == c.mine)
            continue;
        if (cur == c.loaded)
            d.plan.push_back({c.index, cur, c.mine});
        else
            decide(c.index, c.loaded, c.mine, cur, c.mine, d);
    }
    return d;
}

Decision decideMoved(const std::vector<RecordWrite>& moved, const std::map<int, Record>& decidedOn,
                     const std::map<int, const Change*>& changeAt) {
    Decision d;
    for (const RecordWrite& e : moved)
        decide(e.index, decidedOn.at(e.index), e.now, e.old, changeAt.at(e.index)->mine, d);
    return d;
}

std::vector<RecordWrite> settle(const std::vector<Disputed>& disputed, bool keepMine) {
    std::vector<RecordWrite> writes;
    for (const Disputed& d : disputed) {
        const Record& r = keepMine ? d.merge.keepingMine : d.merge.keepingBoards;
        if (r != d.board)
            writes.push_back({d.index, d.board, r});
    }
    return writes;
}

} // namespace zorv
