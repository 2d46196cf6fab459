#pragma once
// The save journal's bytes: which file it was written for and each record's
// old and new bytes, with a checksum that tells a journal cut short.

#include "userfile/fileidentity.h"
#include "userfile/recordwrite.h"

#include <string>
#include <vector>

namespace zorv {

struct Journal {
    FileIdentity file;
    std::string path;
    std::vector<RecordWrite> entries;
};

std::string encodeJournal(const Journal& j);
// False for bytes that are no whole journal (cut short while being written).
bool decodeJournal(const std::string& in, Journal& j);

} // namespace zorv
