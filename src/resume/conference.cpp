#include "resume/conference.h"

#include "userfile/codepage.h"
#include "userfile/errors.h"
#include "userfile/recordio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zorv {

// By character code, 16 to a row.
// clang-format off
const std::array<std::int32_t, 224> kLetterWeights = {
    /*  32.. 47 */ 2688178, 22507, 10532, 10785, 1030, 1938, 1988, 18628, 39803, 46743, 48027, 9695, 89854, 156418, 216849, 33096,
    /*  48.. 63 */ 77158, 69186, 90106, 36509, 29784, 31908, 19369, 16922, 19979, 30665, 66818, 6498, 2965, 17669, 73798, 28337,
    /*  64.. 79 */ 311, 50889, 43547, 29496, 25005, 43291, 18512, 16180, 28333, 45128, 24129, 26630, 27169, 60235, 30926, 49095,
    /*  80.. 95 */ 32264, 3198, 29501, 80544, 57730, 13651, 18069, 10699, 4898, 8495, 2736, 516, 1504, 493, 2477, 14580,
    /*  96..111 */ 613, 841426, 45761, 65887, 126778, 720498, 50492, 75721, 186931, 844770, 103502, 322169, 422678, 253604, 667615, 510966,
    /* 112..127 */ 141568, 2547, 275806, 552109, 728818, 332062, 138751, 36308, 12000, 140316, 4946, 634, 404, 277, 2762, 0,
    /* 128..143 */ 13, 71, 138, 162, 268060, 16, 1179, 14, 28, 30, 24, 19, 53, 31, 4608, 1185,
    /* 144..159 */ 1413, 74, 21, 22, 23699, 28, 22, 29, 3, 1899, 29, 9, 22, 9, 18, 15,
    /* 160..175 */ 45, 14, 40, 6, 7, 15, 10, 5, 69, 11, 4, 47, 11, 17, 35, 2391,
    /* 176..191 */ 515, 1167, 650, 1227, 6, 12, 12, 9, 7, 19, 159, 19, 18, 5, 11, 15,
    /* 192..207 */ 32, 85, 96, 24, 2504, 58, 6, 7, 29, 19, 3, 7, 14, 1571, 4, 3,
    /* 208..223 */ 14, 9, 8, 4, 7, 12, 7, 5, 8, 14, 21, 1281, 385, 151, 178, 610,
    /* 224..239 */ 34, 98, 8, 4, 118, 7, 17, 8, 268, 8, 6, 10, 5, 5, 9, 9,
    /* 240..255 */ 68, 7, 20, 3, 12, 7, 24, 29, 564, 51, 153, 70, 5, 9, 2150, 0,
};
// clang-format on

DecodingTree::DecodingTree() {
    for (auto& n : nodes_)
        n = TreeNode{{kNoChild, kNoChild}, 0};
    for (std::size_t j = 0; j < kLetterWeights.size(); ++j)
        nodes_[j].weight = kLetterWeights[j];
    nodes_[kSentinel].weight = 0x7FFFFFFF;

    // Each pass joins the two lightest trees left; strict comparisons make the
    // lower index win among equal weights, so the code the BBS wrote with comes
    // out bit for bit.
    for (int k = kFirstInner; k <= kRoot; ++k) {
        int a = kSentinel;
        int b = kSentinel;
        for (int j = 0; j <= k; ++j) {
            const std::int32_t w = nodes_[j].weight;
            if (w <= 0)
                continue;
            if (w < nodes_[a].weight) {
                b = a;
                a = j;
            } else if (w < nodes_[b].weight) {
                b = j;
            }
        }
        nodes_[k].child[0] = static_cast<std::uint16_t>(a);
        nodes_[k].child[1] = static_cast<std::uint16_t>(b);
        nodes_[k].weight = nodes_[a].weight + nodes_[b].weight;
        nodes_[a].weight = 0;
        nodes_[b].weight = 0;
    }
}

std::string DecodingTree::decode(const std::uint8_t* data, std::size_t size) const {
    char line[kMaxLineLength];
    std::size_t length = 0;
    unsigned at = kRoot;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned byte = data[i];
        for (unsigned bit = 0; bit < 8; ++bit) {
            at = nodes_[at].child[(byte >> bit) & 1u];
            if (at < kFirstInner) {
                line[length++] = static_cast<char>(at + kFirstWeightedCode);
                if (length == kMaxLineLength)
                    return std::string(line, length); // a line holds no more; the rest is dropped
                at = kRoot;
            }
        }
    }
    return std::string(line, length);
}

const DecodingTree& decodingTree() {
    static const DecodingTree tree;
    return tree;
}

TableDecoder::TableDecoder(const DecodingTree& tree)
    : nextState_(static_cast<std::size_t>(kStates) * 256), emits_(nextState_.size()) {
    for (int state = 0; state < kStates; ++state) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            const std::size_t at = static_cast<std::size_t>(state) * 256 + byte;
            Emit& e = emits_[at];
            e = Emit{};
            unsigned node = static_cast<unsigned>(state + DecodingTree::kFirstInner);
            for (unsigned bit = 0; bit < 8; ++bit) {
                node = tree.node(static_cast<int>(node)).child[(byte >> bit) & 1u];
                if (node < DecodingTree::kFirstInner) {
                    e.chars[e.count++] = static_cast<char>(node + kFirstWeightedCode);
                    node = DecodingTree::kRoot;
                }
            }
            nextState_[at] = static_cast<std::uint8_t>(node - DecodingTree::kFirstInner);
        }
    }
}

std::string TableDecoder::decode(const std::uint8_t* data, std::size_t size) const {
    // Room for a whole step past the cut, so each step stores its four
    // characters without a test.
    char line[kMaxLineLength + 4];
    std::size_t length = 0;
    std::size_t row = (kStates - 1) * 256; // the root's
    const std::uint8_t* nextState = nextState_.data();
    const Emit* emits = emits_.data();
    for (std::size_t i = 0; i < size && length < kMaxLineLength; ++i) {
        const std::size_t at = row + data[i];
        std::memcpy(line + length, emits[at].chars, 4);
        length += emits[at].count;
        row = std::size_t{nextState[at]} * 256;
    }
    // Characters past the 127th are dropped, as in the walk.
    return std::string(line, std::min(length, kMaxLineLength));
}

const TableDecoder& tableDecoder() {
    static const TableDecoder decoder(decodingTree());
    return decoder;
}

std::string decodeLine(std::uint8_t header, const std::uint8_t* data, std::size_t size) {
    if (header & 0x80)
        return tableDecoder().decode(data, size);
    const auto* end = std::find(data, data + size, std::uint8_t{0});
    return std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(end - data));
}

namespace {

std::uint16_t u16At(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t u32At(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void twoDigits(std::string& out, unsigned v) {
    if (v < 10)
        out += '0';
    out += std::to_string(v);
}

constexpr std::size_t kHeadingTextOffset = 4;
constexpr std::size_t kHeadingTextSize = 72;
constexpr std::size_t kLineCountOffset = 226;
constexpr std::size_t kTextOffsetOffset = 228;
constexpr std::size_t kMsgDateOffset = 232;

// Headers are scanned in blocks of this many records to spare system calls.
constexpr std::size_t kHeadersPerRead = 256;
// A line record is a header byte and at most 127 data bytes.
constexpr std::uint64_t kMaxLineRecordSize = 128;

} // namespace

MessageHeader parseMessageHeader(const std::uint8_t* record) {
    MessageHeader h;
    h.msgNumber = u16At(record);
    const std::uint8_t* text = record + kHeadingTextOffset;
    const auto* end = std::find(text, text + kHeadingTextSize, std::uint8_t{0});
    h.headingText.assign(reinterpret_cast<const char*>(text), static_cast<std::size_t>(end - text));
    h.lineCount = u16At(record + kLineCountOffset);
    h.textOffset = u32At(record + kTextOffsetOffset);
    h.msgDate = u32At(record + kMsgDateOffset);
    return h;
}

std::string formatHeadingOem(const MessageHeader& header) {
    const unsigned day = (header.msgDate >> 16) & 0x1Fu;
    const unsigned month = (header.msgDate >> 21) & 0x0Fu;
    const unsigned year = 1980u + (header.msgDate >> 25);
    std::string s = "#" + std::to_string(header.msgNumber) + " " + header.headingText + " ";
    twoDigits(s, day);
    s += '.';
    twoDigits(s, month);
    s += '.';
    s += std::to_string(year);
    return s;
}

std::string formatHeading(const MessageHeader& header) {
    return dosToAnsi(formatHeadingOem(header));
}

void MemorySource::readAt(std::uint64_t offset, void* dst, std::size_t count) const {
    if (offset > bytes_.size() || bytes_.size() - offset < count)
        throw IoError(kReadBeyondEnd);
    if (count > 0)
        std::memcpy(dst, bytes_.data() + offset, count);
}

FileSource::FileSource(const std::string& path) : fd_(openRegularFile(path)) {}

FileSource::~FileSource() {
    if (os::isOpen(fd_))
        os::close(fd_);
}

std::uint64_t FileSource::size() const {
    os::FileInfo st;
    if (!os::info(fd_, st))
        throw ioErrorFromErrno(errno);
    return static_cast<std::uint64_t>(st.size);
}

void FileSource::readAt(std::uint64_t offset, void* dst, std::size_t count) const {
    const long long got = os::readAt(fd_, dst, count, static_cast<os::Offset>(offset));
    if (got < 0)
        throw ioErrorFromErrno(errno);
    if (static_cast<std::size_t>(got) < count)
        throw IoError(kReadBeyondEnd);
}

namespace {

std::optional<MessageHeader> findHeader(const ByteSource& headers, std::int32_t number) {
    const std::uint64_t records = headers.size() / kMessageHeaderSize;
    std::vector<std::uint8_t> block(kHeadersPerRead * kMessageHeaderSize);
    // The first header is always read, so an empty header file fails here
    // as reading beyond its end.
    const std::uint64_t toScan = std::max<std::uint64_t>(records, 1);
    for (std::uint64_t first = 0; first < toScan; first += kHeadersPerRead) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kHeadersPerRead, toScan - first));
        headers.readAt(first * kMessageHeaderSize, block.data(), n * kMessageHeaderSize);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* rec = block.data() + i * kMessageHeaderSize;
            if (static_cast<std::int32_t>(u16At(rec)) == number)
                return parseMessageHeader(rec);
        }
    }
    return std::nullopt;
}

std::vector<std::string> readLines(const ByteSource& text, const MessageHeader& h) {
    std::vector<std::string> lines;
    if (h.lineCount == 0)
        return lines;
    // Every line record takes at least its header byte, so a text file too
    // short for lineCount bytes fails before anything is allocated for it.
    const std::uint64_t size = text.size();
    if (h.textOffset >= size || size - h.textOffset < h.lineCount)
        throw IoError(kReadBeyondEnd);
    const auto span = static_cast<std::size_t>(
        std::min<std::uint64_t>(size - h.textOffset, h.lineCount * kMaxLineRecordSize));
    std::vector<std::uint8_t> buf(span);
    text.readAt(h.textOffset, buf.data(), span);

    lines.reserve(h.lineCount);
    std::size_t pos = 0;
    for (unsigned i = 0; i < h.lineCount; ++i) {
        if (pos >= span)
            throw IoError(kReadBeyondEnd);
        const std::uint8_t header = buf[pos++];
        const std::size_t n = header & 0x7Fu;
        if (span - pos < n)
            throw IoError(kReadBeyondEnd);
        lines.push_back(decodeLine(header, buf.data() + pos, n));
        pos += n;
    }
    return lines;
}

} // namespace

std::optional<Message> readMessage(const ByteSource& headers, const ByteSource& text,
                                   std::int32_t number) {
    const std::optional<MessageHeader> h = findHeader(headers, number);
    if (!h)
        return std::nullopt;
    Message m;
    m.headingOem = formatHeadingOem(*h);
    m.heading = dosToAnsi(m.headingOem);
    m.lines = readLines(text, *h);
    return m;
}

std::optional<Message> readMessage(const std::string& basePath, std::int32_t number) {
    // Read only: a viewer never needs write access to the message base.
    const FileSource headers(basePath + ".hdr");
    const FileSource text(basePath + ".txt");
    return readMessage(headers, text, number);
}

} // namespace zorv
