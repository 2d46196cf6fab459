#include "democonference.h"

#include "demodata.h"
#include "linecodec.h"
#include "resume/conference.h"
#include "userfile/codepage.h"
#include "userfile/userfile.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>

namespace zorvtool {

namespace {

void putU16(std::string& s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

void putU32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The demo users' generator, with the draws the texts need.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : gen_(seed) {}
    int below(int n) { return static_cast<int>(gen_.below(static_cast<std::uint32_t>(n))); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    template <std::size_t N> const char* pick(const std::array<const char*, N>& from) {
        return from[static_cast<std::size_t>(below(static_cast<int>(N)))];
    }

  private:
    DemoRng gen_;
};

// The texts are written here in UTF-8 and stored in cp865; they use only
// letters both code pages share plus the six Nordic ones.
std::string toCp865(std::string_view utf8) {
    return zorv::ansiToDos(zorv::utf8ToCp1252(utf8));
}

constexpr std::array<const char*, 14> kNames = {"Kari",   "Ola",   "Bjørn",  "Åse",    "Søren",
                                                "Øyvind", "Håkon", "Jørgen", "Sæmund", "Mette",
                                                "Tove",   "Lærke", "Trygve", "Ingrid"};
constexpr std::array<const char*, 10> kPlaces = {"Tromsø", "Ålesund", "Bodø",        "Kristiansand",
                                                 "Førde",  "Drøbak",  "Lillehammer", "Hønefoss",
                                                 "Århus",  "Sandnes"};
constexpr std::array<const char*, 8> kJobs = {"lærer",        "snekker", "sykepleier", "elektriker",
                                              "programmerer", "fisker",  "butikksjef", "bussjåfør"};
constexpr std::array<const char*, 6> kComputers = {"Commodore 64",
                                                   "Amiga 500",
                                                   "Tandberg TDV 2200",
                                                   "ABC 80",
                                                   "Atari ST",
                                                   "386'er med to "
                                                   "diskettstasjoner"};
constexpr std::array<const char*, 9> kHobbies = {"fiske",     "skigåing", "sjakk",
                                                 "korsang",   "fotball",  "radioamatørlivet",
                                                 "frimerker", "båtliv",   "ørretfiske i fjellet"};
constexpr std::array<const char*, 4> kModems = {"USR Courier 14400", "Hayes 2400", "ZyXEL U-1496",
                                                "Tandberg 1200/75"};
constexpr std::array<const char*, 6> kSubjects = {"Resume",       "Litt om meg",  "Om meg selv",
                                                  "Hvem er jeg?", "Presentasjon", "Hei fra "};
constexpr std::array<const char*, 10> kRemarks = {
    "Jeg ringer inn hit nesten hver kveld når det blir billig takst.",
    "Favorittspillet mitt er fortsatt Elite på den gamle maskinen.",
    "Jeg liker å skrive i konferansene om programmering og musikk.",
    "Om sommeren er jeg mest på hytta ved sjøen, så da er jeg lite pålogget.",
    "Send gjerne en melding hvis du lurer på noe om Pascal eller C.",
    "Jeg har også en liten BBS selv, men den er bare åpen om natta.",
    "Takk til sysop for et kjempebra system!",
    "Ærlig talt er dette den beste basen i fylket.",
    "PS: Husk ÅRSMØTET i klubben på Østlandet i mai!",
    "Øl, brunost og gode venner er det beste jeg vet."};

std::vector<std::string> resumeLines(Rng& rng, const std::string& name, const std::string& place) {
    std::vector<std::string> lines;
    switch (rng.below(3)) {
    case 0:
        lines.push_back("Hei alle sammen!");
        break;
    case 1:
        lines.push_back("Heisann, her er litt om meg.");
        break;
    default:
        lines.push_back("Hei, jeg heter " + name + ".");
        break;
    }
    lines.emplace_back();
    lines.push_back("Jeg er " + std::to_string(rng.between(15, 64)) + " år gammel og bor i " +
                    place + ".");
    lines.push_back(std::string("Til daglig jobber jeg som ") + rng.pick(kJobs) + ".");
    lines.push_back(std::string("Jeg har holdt på med data siden jeg fikk en ") +
                    rng.pick(kComputers) + ".");
    const char* hobby1 = rng.pick(kHobbies);
    const char* hobby2 = rng.pick(kHobbies);
    if (hobby1 == hobby2)
        lines.push_back(std::string("Mest av alt liker jeg ") + hobby1 + ".");
    else
        lines.push_back(std::string("Interessene mine er ") + hobby1 + " og " + hobby2 + ".");
    if (rng.below(2) == 0)
        lines.push_back(std::string("Modemet mitt er et ") + rng.pick(kModems) + ".");
    const int remarks = rng.between(1, 3);
    for (int i = 0; i < remarks; ++i)
        lines.push_back(rng.pick(kRemarks));
    lines.emplace_back();
    lines.push_back((rng.below(2) == 0 ? "Hilsen " : "Mvh. ") + name);
    return lines;
}

} // namespace

std::string encodeMessageHeader(const HeaderFields& f) {
    std::string rec(zorv::kMessageHeaderSize, '\0');
    putU16(rec, 0, f.msgNumber);
    rec.replace(4, std::min<std::size_t>(f.headingText.size(), 72), f.headingText.substr(0, 72));
    putU16(rec, 226, f.lineCount);
    putU32(rec, 228, f.textOffset);
    putU32(rec, 232, f.msgDate);
    return rec;
}

std::uint32_t packDosDateTime(int year, int month, int day, int hour, int minute, int second) {
    const auto date = static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    const auto time = static_cast<std::uint32_t>((hour << 11) | (minute << 5) | (second / 2));
    return (date << 16) | time;
}

void ConferenceBuilder::addMessage(std::uint16_t number, std::string_view headingText,
                                   std::uint32_t msgDate,
                                   const std::vector<std::string>& lineRecords) {
    HeaderFields f;
    f.msgNumber = number;
    f.headingText = std::string(headingText);
    f.lineCount = static_cast<std::uint16_t>(lineRecords.size());
    f.textOffset = static_cast<std::uint32_t>(txt_.size());
    f.msgDate = msgDate;
    addHeader(f);
    for (const auto& r : lineRecords)
        txt_ += r;
}

void ConferenceBuilder::addTextMessage(std::uint16_t number, std::string_view headingText,
                                       std::uint32_t msgDate,
                                       const std::vector<std::string>& lines) {
    std::vector<std::string> records;
    records.reserve(lines.size());
    for (const auto& l : lines)
        records.push_back(encodeLine(l));
    addMessage(number, headingText, msgDate, records);
}

void ConferenceBuilder::addHeader(const HeaderFields& fields) {
    hdr_ += encodeMessageHeader(fields);
}

void ConferenceBuilder::appendText(std::string_view bytes) {
    txt_ += bytes;
}

void ConferenceBuilder::write(const std::string& basePath) const {
    zorv::writeFileAtomically(basePath + ".hdr", hdr_);
    zorv::writeFileAtomically(basePath + ".txt", txt_);
}

DemoConference makeDemoConference(std::uint64_t seed, int count) {
    Rng rng(seed ^ 0x5245'5355'4D45ull); // its own stream, apart from the users'
    DemoConference made;
    ConferenceBuilder& conf = made.files;
    std::vector<int>& numbers = made.numbers;
    int number = rng.between(1, 9);
    for (int i = 0; i < count && number <= 65535; ++i) {
        const std::string name = rng.pick(kNames);
        const std::string place = rng.pick(kPlaces);
        std::string subject = rng.pick(kSubjects);
        if (subject.back() == ' ')
            subject += place;
        std::vector<std::string> records;
        for (const std::string& line : resumeLines(rng, name, place)) {
            const std::string cp865 = toCp865(line);
            // Mostly compressed, as the BBS writes them, with some plain lines
            // the way older versions left them.
            std::optional<std::string> r;
            if (rng.below(10) < 3)
                r = encodePlainLine(cp865);
            if (!r)
                r = encodeCompressedLine(cp865);
            records.push_back(r ? *r : encodeLine(cp865));
        }
        // One draw per statement: the order of a call's arguments is the compiler's choice.
        const int year = rng.between(1992, 1999);
        const int month = rng.between(1, 12);
        const int day = rng.between(1, 28);
        const int hour = rng.between(0, 23);
        const int minute = rng.between(0, 59);
        const std::uint32_t date =
            packDosDateTime(year, month, day, hour, minute, rng.between(0, 59));
        conf.addMessage(static_cast<std::uint16_t>(number), toCp865(subject), date, records);
        numbers.push_back(number);
        number += rng.between(1, 4);
    }
    return made;
}

std::vector<int> writeDemoConference(const std::string& dir, std::uint64_t seed, int count) {
    const DemoConference made = makeDemoConference(seed, count);
    std::filesystem::create_directories(dir);
    made.files.write((std::filesystem::path(dir) / "resume").string());
    return made.numbers;
}

std::vector<int> missingDemoNumbers(const std::vector<int>& written) {
    std::vector<int> sorted = written;
    std::sort(sorted.begin(), sorted.end());
    std::vector<int> missing;
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        if (sorted[i] - sorted[i - 1] > 1) {
            missing.push_back(sorted[i - 1] + 1);
            break;
        }
    }
    missing.push_back(sorted.empty() ? 1 : sorted.back() + 100);
    return missing;
}

} // namespace zorvtool
