// The NEW file of scripts/bench/diff.sh: OLD with one user in every STEP
// changed (a letter of the name, the limit, a reserved byte), as a night's
// logins or a script would leave it.
//   zorvdiffdata OLD NEW STEP

#include "userfile/record.h"
#include "userfile/userfile.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 4 || std::atoi(argv[3]) < 1) {
        std::fprintf(stderr, "usage: zorvdiffdata OLD NEW STEP\n");
        return 2;
    }
    try {
        auto users = zorv::readAllRecords(argv[1]);
        const auto step = static_cast<std::size_t>(std::atoi(argv[3]));
        for (std::size_t i = 0; i < users.size(); i += step) {
            zorv::Record& r = users[i];
            r[0] = r[0] == 'Z' ? 'A' : 'Z';
            zorv::writeNumber(r, zorv::kLimit, zorv::readNumber(r, zorv::kLimit) + 1);
            r[40] ^= 0x5A; // reserved
        }
        zorv::writeUserFile(argv[2], users);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvdiffdata: %s\n", e.what());
        return 2;
    }
    return 0;
}
