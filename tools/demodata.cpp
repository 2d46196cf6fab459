#include "demodata.h"

#include "democonference.h"
#include "os/file.h"
#include "userfile/calltime.h"
#include "userfile/codepage.h"
#include "userfile/errors.h"
#include "userfile/userfile.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace zorvtool {

using namespace zorv;

std::uint64_t DemoRng::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint32_t DemoRng::below(std::uint32_t n) {
    return static_cast<std::uint32_t>(next() % n);
}

namespace {

// UTF-8 here for reading; stored through the editor's own write rules.
constexpr std::string_view kFirst[] = {
    "Ola",   "Kari",   "Bjørn",  "Åse",    "Øystein",  "Sølvi", "Jørgen",  "Mette",
    "Pål",   "Gøril",  "Tor",    "Ingrid", "Knut",     "Siv",   "Håkon",   "Ragnhild",
    "Søren", "Lærke",  "Mikkel", "Åsmund", "Jon",      "Eirik", "Terje",   "Liv",
    "Nils",  "Anette", "Kjell",  "Ærlend", "Torbjørn", "Ståle", "Frøydis", "Morten"};
constexpr std::string_view kLast[] = {
    "Nordmann", "Hansen", "Johansen", "Olsen",  "Larsen",  "Andersen", "Pedersen",
    "Nilsen",   "Jensen", "Karlsen",  "Berg",   "Haugen",  "Hagen",    "Bråten",
    "Sæther",   "Økland", "Løvås",    "Ås",     "Strøm",   "Dæhlie",   "Fjærli",
    "Østby",    "Næss",   "Grønvold", "Håland", "Søreide", "Kværner",  "Bøe"};
constexpr std::string_view kHandles[] = {"The Wizard", "Dark Knight", "Modem Man",   "Nattugla",
                                         "Sjørøver",   "Blåbær",      "ZX Spectrum", "Pixel"};
constexpr std::string_view kStreets[] = {"Storgata",   "Kirkeveien",  "Bøgata",    "Åsveien",
                                         "Fjellvegen", "Sjøgata",     "Skolegata", "Løkkeveien",
                                         "Bakken",     "Strandgaten", "Ørnevegen", "Tårnveien"};
constexpr std::string_view kPlaces[] = {
    "0150 OSLO",        "5003 BERGEN",      "7011 TRONDHEIM",   "9008 TROMSØ",  "4006 STAVANGER",
    "1850 MYSEN",       "2317 HAMAR",       "8006 BODØ",        "6002 ÅLESUND", "3611 KONGSBERG",
    "4876 GRIMSTAD",    "1337 SANDVIKA",    "2100 KØBENHAVN Ø", "8000 ÅRHUS C", "9800 VADSØ",
    "2600 LILLEHAMMER", "1605 FREDRIKSTAD", "Sandnessjøen"};
// Full-width names: exactly 30 bytes in the record, no NUL (cp865 after conversion).
constexpr std::string_view kLongNames[] = {"KRISTOFFER ØVREBØ-GRØNNVOLDSEN",
                                           "ANNE-MARTE ÅSHEIM SKJÆRVERUDAL",
                                           "THE MIGHTY SYSOP OF THE NORTH!"};

template <std::size_t N> std::string_view pick(DemoRng& rng, const std::string_view (&list)[N]) {
    return list[rng.below(N)];
}

std::string cp1252(std::string_view utf8) {
    return utf8ToCp1252(utf8);
}

std::uint32_t randomCallTime(DemoRng& rng, int fromYear, int toYear) {
    // One draw per statement: the order of a call's arguments is the compiler's choice.
    const int y =
        fromYear + static_cast<int>(rng.below(static_cast<std::uint32_t>(toYear - fromYear + 1)));
    const int mo = 1 + static_cast<int>(rng.below(12));
    const int d = 1 + static_cast<int>(rng.below(28));
    const int h = static_cast<int>(rng.below(24));
    const int mi = static_cast<int>(rng.below(60));
    const int s = static_cast<int>(rng.below(60));
    return packDosDateTime(y, mo, d, h, mi, s);
}

// A code from the list most of the time, now and then one without an item.
unsigned code(DemoRng& rng, unsigned items, unsigned max) {
    return rng.chance(4) ? items + rng.below(max - items + 1) : rng.below(items);
}

void fillReserved(DemoRng& rng, Record& r) {
    static constexpr std::pair<std::size_t, std::size_t> kRanges[] = {
        {30, 16}, {155, 2}, {165, 4}, {173, 4}, {181, 4}, {189, 4},
        {197, 4}, {205, 4}, {213, 4}, {221, 4}, {237, 4}, {249, 24}};
    for (auto [from, width] : kRanges)
        for (std::size_t i = from; i < from + width; ++i)
            r[i] = static_cast<std::uint8_t>(rng.next());
}

} // namespace

Record makeDemoUser(int index, std::uint64_t seed, bool& hasResume) {
    DemoRng rng(seed * 0x100000001B3ull ^
                static_cast<std::uint64_t>(index) * 0x9E3779B97F4A7C15ull);
    Record r{};
    if (rng.chance(50))
        fillReserved(rng, r);

    // Texts. Some were longer once: a shorter text leaves the old tail after its NUL.
    if (index % 40 == 17) {
        const std::string raw = ansiToDos(cp1252(kLongNames[rng.below(3)]));
        for (std::size_t i = 0; i < 30 && i < raw.size(); ++i)
            r[i] = static_cast<std::uint8_t>(raw[i]);
    } else {
        std::string name;
        if (rng.chance(8)) {
            name = pick(rng, kHandles);
        } else {
            name = pick(rng, kFirst);
            name += " ";
            name += pick(rng, kLast);
        }
        if (rng.chance(10))
            writeText(r, kName, cp1252(name + " " + std::string(pick(rng, kLast))));
        writeText(r, kName, cp1252(name));
    }
    if (!rng.chance(5)) {
        std::string street(pick(rng, kStreets));
        street += " " + std::to_string(1 + rng.below(120));
        if (rng.chance(15))
            street += static_cast<char>('A' + rng.below(4));
        writeText(r, kAddress, cp1252(street));
        writeText(r, kPostnr, cp1252(pick(rng, kPlaces)));
    }
    if (rng.chance(85)) {
        const unsigned n = 20000000 + rng.below(80000000);
        std::string tlf = std::to_string(n).substr(0, 8);
        tlf = tlf.substr(0, 2) + " " + tlf.substr(2, 2) + " " + tlf.substr(4, 2) + " " +
              tlf.substr(6);
        writeText(r, kTlf, cp1252(rng.chance(30) ? "+47 " + tlf : tlf));
    }
    if (rng.chance(80)) {
        const int y = 1930 + static_cast<int>(rng.below(70));
        const int m = 1 + static_cast<int>(rng.below(12));
        const int d = 1 + static_cast<int>(rng.below(28));
        char buf[64];
        if (rng.chance(70))
            std::snprintf(buf, sizeof buf, "%02d.%02d.%d", d, m, y);
        else if (rng.chance(50))
            std::snprintf(buf, sizeof buf, "%d", y);
        else
            std::snprintf(buf, sizeof buf, "%02d/%02d-%02d", d, m, y % 100);
        writeText(r, kBirth, buf);
    }

    // Codes.
    const unsigned s = rng.below(100);
    writeCode(r, kStatus, s < 80 ? 0 : s < 88 ? 1 : s < 95 ? 2 : s < 98 ? 3 : 4 + rng.below(4));
    if (index >= 1 && index <= 3)
        writeCode(r, kStatus, static_cast<unsigned>(index)); // every status early on
    const unsigned t = rng.below(100);
    writeCode(r, kTtype,
              t < 10   ? 0
              : t < 80 ? 1
              : t < 90 ? 3
              : t < 96 ? 4
              : t < 98 ? 2
                       : 5 + rng.below(11));
    writeCode(r, kEditor, code(rng, 4, 15));
    writeNumber(r, kPagel, rng.chance(70) ? 24 : static_cast<std::int32_t>(rng.below(80)));
    writeCode(r, kCharset, code(rng, 11, 20));
    writeCode(r, kLang, rng.chance(70) ? 3 : code(rng, 4, 9));
    writeCode(r, kReadmode, code(rng, 3, 15));
    writeCode(r, kGrab, code(rng, 7, 15));
    writeCode(r, kPacking, code(rng, 8, 12));
    writeCode(r, kProt, code(rng, 9, 12));
    writeNumber(r, kNodeflt, static_cast<std::int32_t>(rng.chance(80) ? 0 : rng.below(256)));

    // Counters.
    const auto limit = static_cast<std::int32_t>(30 + 15 * rng.below(7));
    writeNumber(r, kTimelimit, limit);
    writeNumber(r, kTleft,
                rng.chance(3)
                    ? -static_cast<std::int32_t>(rng.below(30))
                    : static_cast<std::int32_t>(rng.below(static_cast<std::uint32_t>(limit) + 1)));
    writeNumber(r, kTimebank, static_cast<std::int32_t>(rng.chance(60) ? 0 : rng.below(600)));
    writeNumber(r, kLimit,
                static_cast<std::int32_t>(rng.chance(50) ? 0 : 1000 * (1 + rng.below(20))));
    const auto logins = static_cast<std::int32_t>(rng.below(rng.chance(20) ? 5000 : 300));
    writeNumber(r, kLogins, logins);
    writeNumber(r, kMsgleft,
                static_cast<std::int32_t>(rng.below(static_cast<std::uint32_t>(logins) + 1)));
    writeNumber(r, kMsgread,
                static_cast<std::int32_t>(rng.below(20 * static_cast<std::uint32_t>(logins) + 1)));
    writeNumber(r, kMsgdumped,
                static_cast<std::int32_t>(rng.below(static_cast<std::uint32_t>(logins) / 4 + 1)));
    writeNumber(r, kUpf,
                static_cast<std::int32_t>(rng.below(static_cast<std::uint32_t>(logins) / 3 + 1)));
    writeNumber(r, kDownf,
                static_cast<std::int32_t>(rng.below(2 * static_cast<std::uint32_t>(logins) + 1)));
    writeNumber(r, kKbup, static_cast<std::int32_t>(readNumber(r, kUpf) * (50 + rng.below(900))));
    writeNumber(r, kKbdown,
                static_cast<std::int32_t>(readNumber(r, kDownf) * (50 + rng.below(900))));
    hasResume = rng.chance(25);

    // Security and options; some records carry bits the editor does not know.
    unsigned level = rng.chance(70) ? 10 : rng.chance(60) ? 20 : rng.chance(70) ? 50 : 100;
    unsigned access = rng.below(4);
    if (index == 0)
        level = 255, access = 3;
    std::uint32_t security = level | access << 30;
    if (rng.chance(10))
        security |= (static_cast<std::uint32_t>(rng.next()) & 0x3FFFFF00u);
    putU32(r, kSecurityOffset, security);
    std::uint32_t flags = static_cast<std::uint32_t>(rng.next()) & kKnownUserFlags;
    if (rng.chance(10))
        flags |= static_cast<std::uint32_t>(rng.next()) & ~kKnownUserFlags;
    putU32(r, kUserflagsOffset, flags);

    // Call times: a few never called (zero) or lost their last call.
    if (logins == 0 || rng.chance(4)) {
        putU32(r, kLastcallOffset, 0);
        putU32(r, kFirstcallOffset, 0);
    } else {
        const std::uint32_t first = randomCallTime(rng, 1993, 2015);
        std::uint32_t last = randomCallTime(rng, static_cast<int>(1980 + (first >> 25)), 2026);
        if (last < first)
            last = first;
        putU32(r, kFirstcallOffset, first);
        putU32(r, kLastcallOffset, rng.chance(3) ? 0 : last);
    }

    if (index == 0) { // the sysop, shown first by the README's run command
        writeText(r, kName, cp1252("Bjørn Åsmund Sæther"));
        writeText(r, kAddress, cp1252("Øvre Slottsgate 12"));
        writeText(r, kPostnr, cp1252("0157 OSLO"));
        writeText(r, kTlf, "22 33 44 55");
        writeText(r, kBirth, "24.12.1969");
        writeCode(r, kStatus, 0);
        writeCode(r, kLang, 3);
    }
    return r;
}

std::vector<Record> makeDemoUsers(int n, std::uint64_t seed) {
    std::vector<Record> users;
    users.reserve(static_cast<std::size_t>(n > 0 ? n : 0));
    std::int32_t nextResume = 1;
    for (int i = 0; i < n; ++i) {
        bool hasResume = false;
        users.push_back(makeDemoUser(i, seed, hasResume));
        writeNumber(users.back(), kResume, hasResume ? nextResume++ : 0);
    }
    return users;
}

std::vector<int> demoResumeHolders(const std::vector<Record>& users) {
    std::vector<int> out;
    for (std::size_t i = 0; i < users.size(); ++i)
        if (readNumber(users[i], kResume) != 0)
            out.push_back(static_cast<int>(i));
    return out;
}

void assignDemoResumes(std::vector<Record>& users, const std::vector<int>& messageNumbers) {
    std::size_t j = 0;
    for (int i : demoResumeHolders(users)) {
        auto& r = users[static_cast<std::size_t>(i)];
        writeNumber(r, kResume, j < messageNumbers.size() ? messageNumbers[j] : 0);
        ++j;
    }
}

std::string writeDemoUserFile(const std::string& dir, const std::vector<Record>& users) {
    if (!os::makeSharedFolder(dir) && errno != EEXIST)
        throw ioErrorFromErrno(errno);
    const std::string path = dir + "/zorvuser.dat";
    writeUserFile(path, users);
    return path;
}

std::string writeDemoUserFile(const std::string& dir, int n, std::uint64_t seed) {
    return writeDemoUserFile(dir, makeDemoUsers(n, seed));
}

} // namespace zorvtool

namespace zorvtool {

namespace {
constexpr int kMaxDemoConference = 1000;
}

int demoConferenceSize(int holders) {
    return std::clamp(holders - 2, 5, kMaxDemoConference);
}

std::vector<int> demoGivenNumbers(const std::vector<int>& conferenceNumbers) {
    std::vector<int> given = conferenceNumbers;
    const std::vector<int> missing = missingDemoNumbers(conferenceNumbers);
    for (std::size_t k = 0; k < missing.size() && given.size() > 4 * k + 3; ++k)
        given.insert(given.begin() + static_cast<std::ptrdiff_t>(4 * k + 3), missing[k]);
    return given;
}

void streamDemoUsers(int n, std::uint64_t seed,
                     const std::function<std::vector<int>(int count)>& conferenceNumbers,
                     const std::function<void(const Record&)>& put) {
    // Users are held back only until the holders seen fix the conference's
    // size: a few thousand at most, whatever n is.
    struct Made {
        Record record;
        bool hasResume;
    };
    std::vector<Made> held;
    int made = 0;
    int holders = 0;
    while (made < n && demoConferenceSize(holders) < kMaxDemoConference) {
        Made m{};
        m.record = makeDemoUser(made++, seed, m.hasResume);
        holders += m.hasResume ? 1 : 0;
        held.push_back(m);
    }
    const std::vector<int> given = demoGivenNumbers(conferenceNumbers(demoConferenceSize(holders)));

    std::size_t nextGiven = 0;
    const auto give = [&](Record& r, bool hasResume) {
        if (hasResume) {
            writeNumber(r, kResume, nextGiven < given.size() ? given[nextGiven] : 0);
            ++nextGiven;
        }
        put(r);
    };
    for (Made& m : held)
        give(m.record, m.hasResume);
    held = {};
    for (; made < n; ++made) {
        bool hasResume = false;
        Record r = makeDemoUser(made, seed, hasResume);
        give(r, hasResume);
    }
}

} // namespace zorvtool
