#pragma once
// The drop-down lists of the main window and the codes their items stand for.
// Item texts are cp1252 (the window's code page inside the core).

#include "userfile/record.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace zorv {

// In the order the lists are filled at activation.
enum class CodeListId {
    ttype,
    charset,
    editor,
    menulev,
    lang,
    readmode,
    grab,
    prot,
    packing,
    access,
    status,
    statcb,
};
inline constexpr std::size_t kCodeListCount = 12;

struct CodeList {
    CodeListId id;
    const char* control; // objectName of the drop-down
    std::vector<std::string> items;
};

// ttype, charset, editor, menulev, lang, readmode, grab, prot, packing, access,
// status, statcb.
const std::array<CodeListId, kCodeListCount>& codeListFillOrder();
const CodeList& codeList(CodeListId id);

// Returned where an item or code has no counterpart.
inline constexpr unsigned kNoCode = ~0u;

// The item that shows a stored code, or -1 (the list then shows no selection).
// ttype skips code 2; menulev takes the Expert bit (non-zero = set, item 0
// "Expert"); statcb takes a status code (code k -> item k + 1).
int codeToItem(CodeListId id, unsigned code);

// The code an item stands for: for menulev 1 (Expert, bit set) or 0, for
// statcb the status code (item 0 "Don't care" has none). kNoCode for an item
// outside the list, -1 (no selection) included.
unsigned itemToCode(CodeListId id, int item);

// The record field behind a list, or nullptr for those stored elsewhere:
// menulev (bit kExpertMenus of userflags), access (bits 30-31 of security) and
// statcb (no field).
const CodeField* codeFieldOf(CodeListId id);

} // namespace zorv
