// The decoding tree and the line records of the conference text file.

#include "resume/conference.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

using zorv::decodeLine;
using zorv::DecodingTree;
using zorv::decodingTree;

namespace {

// Code lengths and bit strings (in reading order) of every leaf.
std::map<int, std::string> codesByChar() {
    std::map<int, std::string> out;
    std::vector<std::pair<int, std::string>> todo{{DecodingTree::kRoot, ""}};
    const DecodingTree& t = decodingTree();
    while (!todo.empty()) {
        auto [node, path] = todo.back();
        todo.pop_back();
        if (node < DecodingTree::kFirstInner) {
            out[node + 32] = path;
            continue;
        }
        todo.push_back({t.node(node).child[0], path + "0"});
        todo.push_back({t.node(node).child[1], path + "1"});
    }
    return out;
}

std::string compressed(std::initializer_list<unsigned> bytes) {
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    return decodeLine(static_cast<std::uint8_t>(0x80 | data.size()), data.data(), data.size());
}

} // namespace

TEST(ResumeTree, WeightsTableHasZeroOnlyForDelAndCode255) {
    std::vector<int> zero;
    for (std::size_t j = 0; j < zorv::kLetterWeights.size(); ++j)
        if (zorv::kLetterWeights[j] == 0)
            zero.push_back(static_cast<int>(j) + 32);
    EXPECT_EQ(zero, (std::vector<int>{127, 255}));
    EXPECT_EQ(zorv::kLetterWeights[0], 2688178);       // space
    EXPECT_EQ(zorv::kLetterWeights[254 - 32], 2150);   // last weighted code
    EXPECT_EQ(zorv::kLetterWeights[132 - 32], 268060); // cp865 a-umlaut slot
}

TEST(ResumeTree, IsAFullBinaryTreeOverTheWeightedCodes) {
    const DecodingTree& t = decodingTree();
    std::set<int> leaves;
    std::set<int> inner;
    std::vector<int> todo{DecodingTree::kRoot};
    while (!todo.empty()) {
        const int n = todo.back();
        todo.pop_back();
        ASSERT_LT(n, DecodingTree::kSentinel) << "the sentinel must never be a child";
        if (n < DecodingTree::kFirstInner) {
            EXPECT_TRUE(leaves.insert(n).second) << "leaf reached twice: " << n;
            EXPECT_EQ(t.node(n).child[0], DecodingTree::kNoChild);
            continue;
        }
        EXPECT_TRUE(inner.insert(n).second) << "inner node reached twice: " << n;
        todo.push_back(t.node(n).child[0]);
        todo.push_back(t.node(n).child[1]);
    }
    EXPECT_EQ(leaves.size(), 222u);
    EXPECT_EQ(inner.size(), 221u);
    EXPECT_EQ(leaves.count(127 - 32), 0u);
    // Every weight was used up except the root's, which holds the total.
    EXPECT_EQ(t.node(DecodingTree::kRoot).weight, 12743175);
    EXPECT_EQ(t.node(DecodingTree::kSentinel).weight, 0x7FFFFFFF);
}

TEST(ResumeTree, CodeLengthsRunFromTwoToTwentyTwoBits) {
    const auto codes = codesByChar();
    ASSERT_EQ(codes.size(), 222u);
    std::size_t shortest = 99, longest = 0;
    for (const auto& [ch, bits] : codes) {
        shortest = std::min(shortest, bits.size());
        longest = std::max(longest, bits.size());
    }
    EXPECT_EQ(shortest, 2u);
    EXPECT_EQ(longest, 22u);
    EXPECT_EQ(codes.at(' '), "00");
    EXPECT_EQ(codes.at('e'), "0111");
    EXPECT_EQ(codes.at('t'), "1000");
    EXPECT_EQ(codes.at('a'), "1010");
    // Only the space gets two bits.
    for (const auto& [ch, bits] : codes) {
        if (ch != ' ') {
            EXPECT_GT(bits.size(), 2u) << ch;
        }
    }
    // The Huffman property: a lighter character never gets a shorter code.
    for (const auto& [c1, b1] : codes) {
        for (const auto& [c2, b2] : codes) {
            if (zorv::kLetterWeights[c1 - 32] < zorv::kLetterWeights[c2 - 32]) {
                ASSERT_GE(b1.size(), b2.size()) << c1 << " vs " << c2;
            }
        }
    }
}

TEST(ResumeTree, EqualWeightsTakeTheLowerIndexFirst) {
    // The lightest weight, 3, belongs to codes 152, 202, 207 and 243: the first
    // inner node must join the two lowest of them, the lower one for bit 0.
    const auto& first = decodingTree().node(DecodingTree::kFirstInner);
    EXPECT_EQ(first.child[0] + 32, 152);
    EXPECT_EQ(first.child[1] + 32, 202);
    const auto& second = decodingTree().node(DecodingTree::kFirstInner + 1);
    EXPECT_EQ(second.child[0] + 32, 207);
    EXPECT_EQ(second.child[1] + 32, 243);
}

TEST(ResumeTree, DecodesTheDocumentedExamples) {
    EXPECT_EQ(compressed({0x00}), "    "); // 00 four times
    EXPECT_EQ(compressed({0xE1}), "te");
    EXPECT_EQ(compressed({0x1E}), "et");
    EXPECT_EQ(compressed({0xEE}), "ee");
    EXPECT_EQ(compressed({0x05}), "a  "); // trailing zero bits are spaces too
}

TEST(ResumeTree, DropsBitsThatDoNotCompleteACode) {
    // Bits 1010 0110 in reading order: a, then the start of u (01100).
    EXPECT_EQ(compressed({0x65}), "a");
    // The same start completed by the next byte's first bit.
    EXPECT_EQ(compressed({0x65, 0x00}), "au   ");
    // A prefix of the space code alone gives nothing.
    const std::vector<std::uint8_t> none;
    EXPECT_EQ(decodeLine(0x80, none.data(), 0), "");
}

TEST(ResumeTree, CutsADecodedLineAt127Characters) {
    // 127 zero bytes would give 508 spaces.
    const std::vector<std::uint8_t> zeros(127, 0);
    EXPECT_EQ(decodeLine(0xFF, zeros.data(), zeros.size()), std::string(127, ' '));
    // Exactly 127 characters are kept whole: 31 bytes = 124 spaces, then "te".
    std::vector<std::uint8_t> data(31, 0);
    data.push_back(0xE1);
    data.push_back(0x00); // four more spaces, of which one fits
    EXPECT_EQ(decodeLine(static_cast<std::uint8_t>(0x80 | data.size()), data.data(), data.size()),
              std::string(124, ' ') + "te" + " ");
}

TEST(ResumeTree, PlainLinesEndAtTheirFirstNul) {
    const std::string hello = "HELLO";
    const auto* p = reinterpret_cast<const std::uint8_t*>(hello.data());
    EXPECT_EQ(decodeLine(0x05, p, 5), "HELLO");
    EXPECT_EQ(decodeLine(0x00, p, 0), "");
    const std::string withNul("HE\0LO", 5);
    EXPECT_EQ(decodeLine(0x05, reinterpret_cast<const std::uint8_t*>(withNul.data()), 5), "HE");
    // Bytes are not converted: cp865 stays cp865.
    const std::string nordic = "\x91\x9B\x86";
    EXPECT_EQ(decodeLine(0x03, reinterpret_cast<const std::uint8_t*>(nordic.data()), 3), nordic);
}
