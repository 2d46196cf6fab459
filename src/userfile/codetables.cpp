#include "userfile/codetables.h"

#include <stdexcept>

namespace zorv {

namespace {

const std::array<CodeList, kCodeListCount>& allLists() {
    static const std::array<CodeList, kCodeListCount> lists{{
        {CodeListId::ttype, "ttype", {"TTY", "ANSI", "VT320", "RIP"}},
        {CodeListId::charset,
         "charset",
         {"IBM", "SF7", "ISO", "IBN", "US7", "GE7", "NO7", "FR7", "IT7", "SP7", "MAC"}},
        {CodeListId::editor, "editor", {"Line editor", "Full screen", "MG", "Script"}},
        {CodeListId::menulev, "menulev", {"Expert", "Novice"}},
        {CodeListId::lang, "lang", {"English", "Suomi", "Svenska", "Norsk"}},
        {CodeListId::readmode, "readmode", {"Marked", "Reference", "Forward"}},
        {CodeListId::grab,
         "grab",
         {"Text", "Hippo1", "Hippo2", "OMEN", "QWK", "BlueWave", "QWKREP"}},
        {CodeListId::prot,
         "prot",
         {"Zmodem", "Ymodem", "Xmodem", "SHYDRA", "XModem CRC", "Ymodem Batch", "SZmodem", "HYDRA",
          "ZedZap"}},
        {CodeListId::packing, "packing", {"Text", "ARC", "ZIP", "LZH", "ARJ", "ZOO", "HPK", "RAR"}},
        {CodeListId::access, "access", {"None", "Download", "Upload", "Up & Down"}},
        {CodeListId::status, "status", {"Active", "Getlost", "Killed", "Kill+Boot"}},
        {CodeListId::statcb, "statcb", {"Don't care", "Active", "Getlost", "Killed", "Kill+Boot"}},
    }};
    return lists;
}

std::size_t indexOf(CodeListId id) {
    const auto i = static_cast<std::size_t>(id);
    if (i >= kCodeListCount)
        throw std::out_of_range("unknown code list");
    return i;
}

} // namespace

const std::array<CodeListId, kCodeListCount>& codeListFillOrder() {
    static const std::array<CodeListId, kCodeListCount> order{
        CodeListId::ttype,   CodeListId::charset,  CodeListId::editor, CodeListId::menulev,
        CodeListId::lang,    CodeListId::readmode, CodeListId::grab,   CodeListId::prot,
        CodeListId::packing, CodeListId::access,   CodeListId::status, CodeListId::statcb,
    };
    return order;
}

const CodeList& codeList(CodeListId id) {
    return allLists()[indexOf(id)];
}

int codeToItem(CodeListId id, unsigned code) {
    const auto size = static_cast<unsigned>(codeList(id).items.size());
    switch (id) {
    case CodeListId::ttype:
        // Terminal code 2 was never given a name; the codes above it move down one item.
        if (code < 2)
            return static_cast<int>(code);
        if (code == 3 || code == 4)
            return static_cast<int>(code - 1);
        return -1;
    case CodeListId::menulev:
        return code != 0 ? 0 : 1;
    case CodeListId::statcb:
        return code + 1 < size ? static_cast<int>(code + 1) : -1;
    default:
        return code < size ? static_cast<int>(code) : -1;
    }
}

unsigned itemToCode(CodeListId id, int item) {
    const int size = static_cast<int>(codeList(id).items.size());
    if (item < 0 || item >= size)
        return kNoCode;
    const auto u = static_cast<unsigned>(item);
    switch (id) {
    case CodeListId::ttype:
        return u < 2 ? u : u + 1;
    case CodeListId::menulev:
        return u == 0 ? 1u : 0u;
    case CodeListId::statcb:
        return u == 0 ? kNoCode : u - 1;
    default:
        return u;
    }
}

const CodeField* codeFieldOf(CodeListId id) {
    switch (id) {
    case CodeListId::ttype:
        return &kTtype;
    case CodeListId::charset:
        return &kCharset;
    case CodeListId::editor:
        return &kEditor;
    case CodeListId::lang:
        return &kLang;
    case CodeListId::readmode:
        return &kReadmode;
    case CodeListId::grab:
        return &kGrab;
    case CodeListId::prot:
        return &kProt;
    case CodeListId::packing:
        return &kPacking;
    case CodeListId::status:
        return &kStatus;
    case CodeListId::menulev:
    case CodeListId::access:
    case CodeListId::statcb:
        break;
    }
    return nullptr;
}

} // namespace zorv
