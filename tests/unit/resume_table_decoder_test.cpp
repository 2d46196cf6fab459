// The table decoder against the tree walk it replaces: every table entry, the
// line cut and random bytes (the fuzz target's check, run briefly).

#include "../../fuzz/decoder_diff_input.h"

#include "linecodec.h"
#include "resume/conference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using zorv::DecodingTree;
using zorv::decodingTree;
using zorv::tableDecoder;

namespace {

// Bit strings (reading order) from the root to every node, leaves and inner.
std::vector<std::string> pathsToNodes() {
    std::vector<std::string> paths(DecodingTree::kNodeCount);
    std::vector<std::pair<int, std::string>> todo{{DecodingTree::kRoot, ""}};
    const DecodingTree& t = decodingTree();
    while (!todo.empty()) {
        auto [node, path] = todo.back();
        todo.pop_back();
        paths[static_cast<std::size_t>(node)] = path;
        if (node >= DecodingTree::kFirstInner) {
            todo.push_back({t.node(node).child[0], path + "0"});
            todo.push_back({t.node(node).child[1], path + "1"});
        }
    }
    return paths;
}

std::vector<std::uint8_t> packBits(const std::string& bits) {
    std::vector<std::uint8_t> out((bits.size() + 7) / 8);
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i] == '1')
            out[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    return out;
}

std::string walk(const std::vector<std::uint8_t>& d) {
    return decodingTree().decode(d.data(), d.size());
}
std::string table(const std::vector<std::uint8_t>& d) {
    return tableDecoder().decode(d.data(), d.size());
}

} // namespace

TEST(TableDecoder, EveryEntryAgreesWithTheWalk) {
    // Stand on each inner node at a byte boundary (whole codes in front pad
    // the path to it), then follow each of the 256 bytes. Zeros or ones after
    // it end on the leftmost or rightmost leaf below the node the byte left
    // the walk on, and no two nodes share both: so the node is checked too.
    const auto paths = pathsToNodes();
    const std::string space = paths[0]; // code 32
    std::string oddCode;                // any code of odd length
    for (int leaf = 0; leaf < DecodingTree::kFirstInner && oddCode.empty(); ++leaf)
        if (paths[static_cast<std::size_t>(leaf)].size() % 2 == 1)
            oddCode = paths[static_cast<std::size_t>(leaf)];
    ASSERT_EQ(space.size(), 2u);
    ASSERT_FALSE(oddCode.empty());

    int inner = 0;
    for (int node = DecodingTree::kFirstInner; node <= DecodingTree::kRoot; ++node) {
        std::string bits = paths[static_cast<std::size_t>(node)];
        ASSERT_FALSE(bits.empty() && node != DecodingTree::kRoot) << node;
        if (bits.size() % 2 == 1)
            bits = oddCode + bits;
        while (bits.size() % 8 != 0)
            bits = space + bits;
        ++inner;
        const std::vector<std::uint8_t> path = packBits(bits);
        for (unsigned b = 0; b < 256; ++b) {
            for (const int tail : {-1, 0x00, 0xFF}) {
                std::vector<std::uint8_t> data = path;
                data.push_back(static_cast<std::uint8_t>(b));
                if (tail >= 0)
                    data.insert(data.end(), 4, static_cast<std::uint8_t>(tail));
                ASSERT_EQ(table(data), walk(data)) << "node " << node << " byte " << b;
            }
        }
    }
    EXPECT_EQ(inner, 221);
}

TEST(TableDecoder, KeepsTheWalksCutAndDroppedBits) {
    // 127 data bytes of 0xFF and of 0x00: far more than 127 characters.
    const std::vector<std::uint8_t> zeros(127, 0x00), ones(127, 0xFF);
    EXPECT_EQ(table(zeros), std::string(127, ' '));
    EXPECT_EQ(table(ones), walk(ones));
    EXPECT_EQ(table(ones).size(), walk(ones).size());

    // Cuts that fall inside one data byte: 126 spaces, then a byte of more
    // than one character.
    std::vector<std::uint8_t> d(std::size_t{126 / 4}, 0x00); // 124 spaces
    d.push_back(0x00);                                       // 4 more: cut at 127
    EXPECT_EQ(table(d), walk(d));
    EXPECT_EQ(table(d).size(), 127u);

    // "te" then the start of a code left unfinished: the leftover is dropped.
    const auto te = zorvtool::encodeCompressedLine("te");
    ASSERT_TRUE(te.has_value());
    std::vector<std::uint8_t> partial(te->begin() + 1, te->end());
    partial.push_back(0xFF);
    EXPECT_EQ(table(partial), walk(partial));
}

TEST(TableDecoder, RealTextAndRandomBytesAgree) {
    std::mt19937 rng(14);
    std::vector<double> w(zorv::kLetterWeights.begin(), zorv::kLetterWeights.end());
    std::discrete_distribution<int> pick(w.begin(), w.end());
    for (int i = 0; i < 2000; ++i) {
        std::string line(rng() % 128, ' ');
        for (auto& c : line)
            c = static_cast<char>(pick(rng) + zorv::kFirstWeightedCode);
        if (const auto rec = zorvtool::encodeCompressedLine(line)) {
            const auto* p = reinterpret_cast<const std::uint8_t*>(rec->data());
            EXPECT_EQ(zorv::decodeLine(p[0], p + 1, rec->size() - 1), line);
        }
        std::vector<std::uint8_t> bytes(rng() % 300);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(rng());
        EXPECT_EQ(zorvfuzz::firstDecoderDifference(bytes.data(), bytes.size()), -1) << i;
    }
}
