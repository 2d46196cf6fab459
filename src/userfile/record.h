#pragma once
// The 273-byte user record of zorvuser.dat: packed, little-endian, no header.
// A record is always read whole, changed field by field and written back whole,
// so every byte the editor does not interpret is carried through.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zorv {

inline constexpr std::size_t kRecordSize = 273;
using Record = std::array<std::uint8_t, kRecordSize>;

// NUL-ended cp865 text arrays. maxChars leaves room for the NUL.
struct TextField {
    const char* name;
    std::size_t offset;
    std::size_t width;
    std::size_t maxChars;
    bool upperCase; // ASCII a-z upper-cased on write (the user name only)
};
inline constexpr TextField kName{"Name", 0, 30, 29, true};
inline constexpr TextField kAddress{"address", 46, 30, 29, false};
inline constexpr TextField kPostnr{"postnr", 76, 30, 29, false};
inline constexpr TextField kTlf{"Tlf", 106, 18, 16, false};
inline constexpr TextField kBirth{"birth", 124, 18, 17, false};

// Bytes up to the first NUL or the width, converted with dosToAnsi (cp1252 out).
std::string readText(const Record& r, const TextField& f);
// cp1252 text in: cut to maxChars, upper-cased for Name, ansiToDos, then the
// characters and one NUL; bytes after that NUL keep their content.
void writeText(Record& r, const TextField& f, std::string_view cp1252);
// The raw cp865 bytes of a text field (up to NUL or width), unconverted.
std::string_view rawText(const Record& r, const TextField& f);

enum class NumType { U8, U16, I16, I32, U32 };
struct NumField {
    const char* name;
    std::size_t offset;
    NumType type;
};
inline constexpr NumField kPagel{"pagel", 144, NumType::U8};
inline constexpr NumField kNodeflt{"nodeflt", 150, NumType::U8};
inline constexpr NumField kTimelimit{"timelimit", 151, NumType::I16};
inline constexpr NumField kTleft{"tleft", 153, NumType::I16};
inline constexpr NumField kTimebank{"timebank", 157, NumType::U16};
inline constexpr NumField kLimit{"limit", 159, NumType::U16};
inline constexpr NumField kLogins{"logins", 161, NumType::I32};
inline constexpr NumField kMsgleft{"msgleft", 169, NumType::I32};
inline constexpr NumField kMsgread{"msgread", 177, NumType::I32};
inline constexpr NumField kMsgdumped{"msgdumped", 185, NumType::I32};
inline constexpr NumField kUpf{"upf", 193, NumType::I32};
inline constexpr NumField kDownf{"downf", 201, NumType::I32};
inline constexpr NumField kKbup{"kbup", 209, NumType::I32};
inline constexpr NumField kKbdown{"kbdown", 217, NumType::I32};
inline constexpr NumField kResume{"resume", 225, NumType::I32};

// The value with its type's signedness.
std::int64_t readNumber(const Record& r, const NumField& f);
// Stores the low 8, 16 or 32 bits, no range check.
void writeNumber(Record& r, const NumField& f, std::int32_t value);

// Small codes, some sharing a byte (ttype/editor at 143, readmode/grab at 147).
struct CodeField {
    const char* name;
    std::size_t offset;
    unsigned shift;
    unsigned mask; // after shifting
};
inline constexpr CodeField kStatus{"status", 142, 0, 0xFF};
inline constexpr CodeField kTtype{"ttype", 143, 0, 0x0F};
inline constexpr CodeField kEditor{"editor", 143, 4, 0x0F};
inline constexpr CodeField kCharset{"charset", 145, 0, 0xFF};
inline constexpr CodeField kLang{"lang", 146, 0, 0xFF};
inline constexpr CodeField kReadmode{"readmode", 147, 0, 0x0F};
inline constexpr CodeField kGrab{"grab", 147, 4, 0x0F};
inline constexpr CodeField kPacking{"packing", 148, 0, 0xFF};
inline constexpr CodeField kProt{"prot", 149, 0, 0xFF};

unsigned readCode(const Record& r, const CodeField& f);
// Touches only the field's own bits.
void writeCode(Record& r, const CodeField& f, unsigned code);

// security (offset 229): bits 0-7 sysop level, 8-29 uninterpreted, 30-31 access.
inline constexpr std::size_t kSecurityOffset = 229;
std::uint32_t readSecurity(const Record& r);
unsigned readSysopLevel(const Record& r); // 0-255
unsigned readAccess(const Record& r);     // 0-3
// Level stored as its low 8 bits; bits 8-29 keep what the record holds.
void writeSecurity(Record& r, std::int32_t sysopLevel, unsigned access);

// userflags (offset 233): bits 0-12 are the user's options, 13-31 uninterpreted.
inline constexpr std::size_t kUserflagsOffset = 233;
enum UserFlag : std::uint32_t {
    kInsertOff = 0x0001, // inverted: the box is ticked when clear
    kIndent = 0x0002,
    kXYDisplay = 0x0004,
    kFlashOff = 0x0008, // inverted
    kConfStatus = 0x0010,
    kExpertMenus = 0x0020,
    kAutoTransfer = 0x0040,
    kColors = 0x0080,
    kReviewOwn = 0x0100,
    kVt100 = 0x0200,
    kAutoQuote = 0x0400,
    kSilent = 0x0800,
    kReturnEnter = 0x1000,
};
inline constexpr std::uint32_t kKnownUserFlags = 0x1FFF;
std::uint32_t readUserflags(const Record& r);
// Sets bits 0-12 from `flags`; bits 13-31 keep what the record holds.
void writeUserflags(Record& r, std::uint32_t flags);

// Packed DOS date-times, shown only.
inline constexpr std::size_t kLastcallOffset = 241;
inline constexpr std::size_t kFirstcallOffset = 245;
std::uint32_t readLastcall(const Record& r);
std::uint32_t readFirstcall(const Record& r);

// Little-endian helpers at any offset.
std::uint32_t getU32(const Record& r, std::size_t offset);
void putU32(Record& r, std::size_t offset, std::uint32_t v);

} // namespace zorv
