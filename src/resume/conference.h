#pragma once
// The conference files of the BBS message base: a table of 252-byte message
// headers (base + ".hdr") and a stream of line records (base + ".txt"), most
// lines compressed with a fixed Huffman code. Read only.

#include "os/file.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

inline constexpr std::size_t kMessageHeaderSize = 252;
inline constexpr std::size_t kMaxLineLength = 127;

// One weight per character code 32..255 (entry j is code j + 32); codes 127
// and 255 weigh 0 and cannot be compressed.
inline constexpr int kFirstWeightedCode = 32;
extern const std::array<std::int32_t, 224> kLetterWeights;

struct TreeNode {
    std::uint16_t child[2]; // for bit 0 and bit 1; 0xFFFF in a leaf
    std::int32_t weight;    // what was left of it after the build
};

// The fixed decoding tree. Nodes 0..222 are the leaves of codes 32..254,
// 223..443 the inner nodes, 443 the root; 444 only served the build.
class DecodingTree {
  public:
    static constexpr int kNodeCount = 445;
    static constexpr int kFirstInner = 223;
    static constexpr int kRoot = 443;
    static constexpr int kSentinel = 444;
    static constexpr std::uint16_t kNoChild = 0xFFFF;

    DecodingTree(); // builds from kLetterWeights

    const TreeNode& node(int index) const { return nodes_[static_cast<std::size_t>(index)]; }

    // Decodes compressed data bits, bit 0 of each byte first, one bit per step.
    // Bits after the last whole code are dropped; characters after the 127th
    // too. Slow but plainly right: the reference the table decoder is held to.
    std::string decode(const std::uint8_t* data, std::size_t size) const;

  private:
    std::array<TreeNode, kNodeCount> nodes_;
};

// The tree depends only on the constant weights, so it is built once.
const DecodingTree& decodingTree();

// The same code a whole data byte per lookup: for every inner node the walk
// can stand on and every byte, the characters the byte completes (a code is at
// least 2 bits, so at most 4) and the node the walk ends on.
class TableDecoder {
  public:
    explicit TableDecoder(const DecodingTree& tree);

    // Exactly DecodingTree::decode's result for the same bytes.
    std::string decode(const std::uint8_t* data, std::size_t size) const;

  private:
    static constexpr int kStates = DecodingTree::kRoot - DecodingTree::kFirstInner + 1;
    // The lookups form one chain, each waiting for the last, so the chain
    // reads only the next state, a byte: the 56 KiB of those stay close to
    // the first-level cache, where the 8-byte steps of one table (452 KiB)
    // missed it on one lookup in five. The characters are read beside it.
    struct Emit {
        char chars[4];
        std::uint8_t count;
    };
    static_assert(kStates <= 256, "a state fits a byte");
    std::vector<std::uint8_t> nextState_; // [state * 256 + byte]
    std::vector<Emit> emits_;             // [state * 256 + byte]
};

const TableDecoder& tableDecoder(); // built once from decodingTree()

// Decodes one line record's data bytes given its header byte: plain lines end
// at their first NUL, compressed ones go through the table decoder.
std::string decodeLine(std::uint8_t header, const std::uint8_t* data, std::size_t size);

// The fields of a message header that the editor reads.
struct MessageHeader {
    std::uint16_t msgNumber = 0;
    std::string headingText; // cp865, up to the first NUL, at most 72 bytes
    std::uint16_t lineCount = 0;
    std::uint32_t textOffset = 0;
    std::uint32_t msgDate = 0; // packed DOS date-time; only the date is used
};

MessageHeader parseMessageHeader(const std::uint8_t* record); // kMessageHeaderSize bytes

// "#17 ABOUT ME 05.03.1997", in cp865 as stored.
std::string formatHeadingOem(const MessageHeader& header);
// The same converted to cp1252 (only the six Nordic letters change).
std::string formatHeading(const MessageHeader& header);

struct Message {
    std::string heading;            // cp1252
    std::string headingOem;         // cp865, for a display that shows every letter
    std::vector<std::string> lines; // cp865, as decoded
};

// Random-access bytes: a conference file, or memory in tests and the fuzzer.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly `count` bytes at `offset`; a file too short throws
    // IoError(kReadBeyondEnd), other failures their IoError.
    virtual void readAt(std::uint64_t offset, void* dst, std::size_t count) const = 0;
};

class MemorySource : public ByteSource {
  public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    void readAt(std::uint64_t offset, void* dst, std::size_t count) const override;

  private:
    std::string_view bytes_;
};

// A regular file opened read only; closed by the destructor.
class FileSource : public ByteSource {
  public:
    explicit FileSource(const std::string& path); // throws IoError
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t size() const override;
    void readAt(std::uint64_t offset, void* dst, std::size_t count) const override;

  private:
    os::Handle fd_ = os::noHandle();
};

// The message numbered `number` (compared as a 32-bit value with the 16-bit
// msgNumber, so numbers outside 0..65535 are never found), from the first
// header that carries it; nullopt when none does. Throws IoError for missing
// or damaged files.
std::optional<Message> readMessage(const ByteSource& headers, const ByteSource& text,
                                   std::int32_t number);
std::optional<Message> readMessage(const std::string& basePath, std::int32_t number);

} // namespace zorv
