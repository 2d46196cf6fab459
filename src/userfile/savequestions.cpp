#include "userfile/savequestions.h"

#include "userfile/codepage.h"
#include "userfile/fields.h"

#include <cstddef>

namespace zorv {

namespace {

// At most 15 users, so that a question fits on the screen.
template <class Users, class Lines> std::string listOf(const Users& users, Lines lines) {
    std::string list;
    const std::size_t shownMax = 15;
    for (std::size_t i = 0; i < users.size() && i < shownMax; ++i)
        list += lines(users[i]);
    if (users.size() > shownMax)
        list += "  ... and " + std::to_string(users.size() - shownMax) + " more\n";
    return list;
}

} // namespace

std::string userLine(int index, const Record& r) {
    const std::string name = cp865ToUtf8(rawText(r, kName)); // prompts take UTF-8
    return "  " + std::to_string(index) + (name.empty() ? std::string() : "  " + name);
}

std::string userList(const std::vector<RecordWrite>& users) {
    return listOf(users, [](const RecordWrite& e) { return userLine(e.index, e.now) + "\n"; });
}

std::string disputedList(const std::vector<Disputed>& users) {
    return listOf(users, [](const Disputed& d) {
        std::string lines = userLine(d.index, d.mine) + "\n";
        for (const FieldConflict& c : d.merge.conflicts) {
            const char* q = c.field->kind == FieldKind::Text ? "\"" : "";
            lines += std::string("      ") + c.field->caption + " (" + c.field->name + "): yours " +
                     q + c.mine + q + ", the board's " + q + c.board + q + "\n";
        }
        return lines;
    });
}

} // namespace zorv
