#include "linecodec.h"

#include "resume/conference.h"

#include <stdexcept>
#include <vector>

namespace zorvtool {

namespace {

struct Codes {
    std::array<CharCode, 256> table{};
    CharCode longest{};
};

void walk(const zorv::DecodingTree& tree, int node, std::uint32_t bits, int depth, Codes& out) {
    using zorv::DecodingTree;
    if (node < DecodingTree::kFirstInner) {
        const CharCode c{bits, depth};
        out.table[static_cast<std::size_t>(node + zorv::kFirstWeightedCode)] = c;
        if (depth > out.longest.length)
            out.longest = c;
        return;
    }
    const zorv::TreeNode& n = tree.node(node);
    walk(tree, n.child[0], bits, depth + 1, out);
    walk(tree, n.child[1], bits | (1u << depth), depth + 1, out);
}

const Codes& codes() {
    static const Codes c = [] {
        Codes out;
        walk(zorv::decodingTree(), zorv::DecodingTree::kRoot, 0, 0, out);
        return out;
    }();
    return c;
}

} // namespace

const std::array<CharCode, 256>& charCodes() {
    return codes().table;
}

std::optional<std::string> encodeCompressedLine(std::string_view cp865) {
    if (cp865.size() > zorv::kMaxLineLength)
        return std::nullopt;
    const Codes& c = codes();
    std::vector<std::uint8_t> data;
    int used = 8; // bits used in data.back()
    auto put = [&](std::uint32_t bits, int length) {
        for (int i = 0; i < length; ++i) {
            if (used == 8) {
                data.push_back(0);
                used = 0;
            }
            data.back() = static_cast<std::uint8_t>(data.back() | (((bits >> i) & 1u) << used));
            ++used;
        }
    };
    for (const char ch : cp865) {
        const CharCode& code = c.table[static_cast<unsigned char>(ch)];
        if (code.length == 0)
            return std::nullopt;
        put(code.bits, code.length);
    }
    // The decoder reads the padding too: a proper prefix of the longest code
    // never completes a character.
    if (used < 8 && !data.empty())
        put(c.longest.bits, 8 - used);
    if (data.size() > zorv::kMaxLineLength)
        return std::nullopt;
    std::string record(1, static_cast<char>(0x80 | data.size()));
    record.append(data.begin(), data.end());
    return record;
}

std::optional<std::string> encodePlainLine(std::string_view cp865) {
    if (cp865.size() > zorv::kMaxLineLength || cp865.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::string record(1, static_cast<char>(cp865.size()));
    record.append(cp865);
    return record;
}

std::string encodeLine(std::string_view cp865) {
    std::optional<std::string> packed = encodeCompressedLine(cp865);
    std::optional<std::string> plain = encodePlainLine(cp865);
    if (packed && (!plain || packed->size() < plain->size()))
        return *packed;
    if (plain)
        return *plain;
    throw std::invalid_argument("line cannot be stored in a line record");
}

} // namespace zorvtool
