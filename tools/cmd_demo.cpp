// zorvtool demo DIR [--users N] [--seed S] [--force]: a deterministic demo
// user file, DIR/zorvuser.dat, and its resume conference, DIR/resume.hdr/.txt.

#include "command.h"

#include "democonference.h"
#include "demodata.h"
#include "os/file.h"
#include "userfile/errors.h"
#include "userfile/numtext.h"
#include "userfile/replacement.h"
#include "userfile/userfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <vector>

namespace zorvtool {
namespace {

bool parseSeed(const std::string& s, std::uint64_t& out) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtoull(s.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

// Makes dir and its missing parents; `made` lists the folders made, outermost first.
bool makeDirs(const std::string& dir, std::vector<std::string>& made) {
    for (std::size_t at = dir.find('/', 1);; at = dir.find('/', at + 1)) {
        const std::string part = dir.substr(0, at);
        if (!part.empty() && part.back() != '/') {
            if (zorv::os::makeSharedFolder(part))
                made.push_back(part);
            else if (errno != EEXIST)
                return false;
        }
        if (at == std::string::npos)
            return true;
    }
}

// What a failed run made goes again (a folder some other program filled stays).
void removeDirs(const std::vector<std::string>& made) {
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        zorv::os::removeFolder(*it);
}

struct DemoArgs {
    std::string dir, users, seed;
    bool usersGiven = false, seedGiven = false, force = false;
};

void declareDemo(CommandLine& line, DemoArgs& a) {
    line.word("DIR", a.dir, "the folder for the three files (made when missing)");
    line.option("--users", "N",
                "how many users: 0 to 10000000 (default " + std::to_string(kDefaultDemoUsers) +
                    "); the same seed gives the same first users at every size",
                a.users, &a.usersGiven);
    line.option("--seed", "S",
                "the seed of the made-up users: 0 to 18446744073709551615 (default " +
                    std::to_string(kDefaultDemoSeed) + ")",
                a.seed, &a.seedGiven);
    line.flag("--force", "replace the three files where they exist", a.force);
}

int runDemo(const DemoArgs& a, std::ostream& out, std::ostream& err) {
    const std::string& dir = a.dir;
    const bool force = a.force;
    int users = kDefaultDemoUsers;
    std::uint64_t seed = kDefaultDemoSeed;
    std::int32_t n = 0;
    if (a.usersGiven && (!zorv::tryParseInteger(a.users, n) || n < 0 || n > 10'000'000))
        throw UsageError("--users takes 0 to 10000000, not '" + a.users + "'");
    if (a.usersGiven)
        users = n;
    if (a.seedGiven && !parseSeed(a.seed, seed))
        throw UsageError("--seed takes an unsigned 64-bit number, not '" + a.seed + "'");
    // A real user file must never be overwritten by demo data by accident.
    const std::string target = dir + "/zorvuser.dat";
    if (!force && zorv::os::exists(target)) {
        err << "zorvtool demo: " << target << " exists; add --force to replace it\n";
        return 2;
    }
    // Nor a real resume conference.
    for (const char* ext : {".hdr", ".txt"}) {
        const std::string conf = dir + "/resume" + ext;
        if (!force && zorv::os::exists(conf)) {
            err << "zorvtool demo: " << conf << " exists; add --force to replace it\n";
            return 2;
        }
    }

    // All three files go to temporaries and take their names only once all
    // three are whole on disk: a failure changes none of them.
    std::vector<std::string> madeDirs;
    if (!makeDirs(dir, madeDirs)) {
        err << "zorvtool demo: " << dir << ": " << zorv::ioErrorFromErrno(errno).what() << '\n';
        removeDirs(madeDirs);
        return 2;
    }
    struct ConferenceFailed {
        std::string what;
    };
    const std::string base = dir + "/resume";
    std::size_t resumes = 0;
    try {
        zorv::AtomicFileWriter userFile(target);
        std::unique_ptr<zorv::ReplacementFile> hdr, txt;
        // The conference first: the users' resume numbers are its message numbers.
        streamDemoUsers(
            users, seed,
            [&](int count) {
                try {
                    DemoConference conf = makeDemoConference(seed, count);
                    hdr = std::make_unique<zorv::ReplacementFile>(base + ".hdr");
                    hdr->append(conf.files.headerBytes());
                    txt = std::make_unique<zorv::ReplacementFile>(base + ".txt");
                    txt->append(conf.files.textBytes());
                    resumes = conf.numbers.size();
                    return conf.numbers;
                } catch (const zorv::IoError& e) {
                    throw ConferenceFailed{e.what()};
                }
            },
            [&](const zorv::Record& r) {
                userFile.write(std::string_view(reinterpret_cast<const char*>(r.data()), r.size()));
            });
        userFile.sync();
        for (const auto* f : {hdr.get(), txt.get()})
            if (!zorv::os::flush(f->fd()))
                throw ConferenceFailed{std::string(zorv::ioErrorFromErrno(errno).what()) +
                                       " writing " + f->tempPath()};
        try {
            hdr->commit();
            txt->commit();
        } catch (const zorv::IoError& e) {
            throw ConferenceFailed{e.what()};
        }
        userFile.commit();
    } catch (const ConferenceFailed& e) {
        removeDirs(madeDirs);
        err << "zorvtool demo: " << base << ": " << e.what << '\n';
        return 2;
    } catch (const zorv::IoError& e) {
        removeDirs(madeDirs);
        err << "zorvtool demo: " << target << ": " << e.what() << '\n';
        return 2;
    }
    out << "wrote " << target << " (" << users << " users, seed " << seed << ")\n";
    out << "wrote " << dir << "/resume.hdr and .txt (" << resumes << " resumes)\n";
    return 0;
}

const Register reg{command<DemoArgs>(
    "demo", "demo user file DIR/zorvuser.dat + resume conference DIR/resume.hdr, .txt", declareDemo,
    runDemo)};

} // namespace
} // namespace zorvtool
