// The typed value rules, the same for every backend: what a read gives or which error
// it raises for each kind of stored value.

#include "settings/memorykey.h"
#include "settings/regfile.h"
#include "settings_fixture.h"

#include <gtest/gtest.h>

namespace zorv {
namespace {

using settingstest::errorOf;
using settingstest::TempDir;

class TypedValues : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (std::string(GetParam()) == "memory")
            key = std::make_unique<MemoryRegistryKey>();
        else
            key = std::make_unique<RegFileKey>(dir.regPath());
        ASSERT_TRUE(key->open(true));
    }
    void put(const std::string& name, std::uint32_t type, const std::string& data) {
        ASSERT_TRUE(key->setValue(name, type, data));
    }
    // Reopens the key, so that the file backend reads its file again.
    void reopen() {
        key->close();
        ASSERT_TRUE(key->open(false));
    }
    TempDir dir;
    std::unique_ptr<RegistryKey> key;
};

TEST_P(TypedValues, IntegersRoundTripWithTheirSign) {
    key->writeInteger("m.top", -12);
    key->writeInteger("m.left", 0x7FFFFFFF);
    key->writeInteger("u.width", INT32_MIN);
    reopen();
    EXPECT_EQ(key->readInteger("m.top"), -12);
    EXPECT_EQ(key->readInteger("m.left"), 0x7FFFFFFF);
    EXPECT_EQ(key->readInteger("u.width"), INT32_MIN);
    EXPECT_EQ(key->queryValue("m.top")->type, kRegDword);
}

TEST_P(TypedValues, TextWhereANumberIsExpected) {
    put("short", kRegSz, "1234");
    put("long", kRegSz, "12345");
    put("empty", kRegSz, "");
    reopen();
    // Up to four bytes fit the integer's buffer and fail on the type; more fail the read.
    EXPECT_EQ(errorOf([&] { key->readInteger("short"); }), "Invalid data type for 'short'");
    EXPECT_EQ(errorOf([&] { key->readInteger("long"); }), "Failed to get data for 'long'");
    EXPECT_EQ(errorOf([&] { key->readInteger("empty"); }), "Invalid data type for 'empty'");
}

TEST_P(TypedValues, MissingValues) {
    EXPECT_FALSE(key->exists("nothing"));
    EXPECT_EQ(key->readText("nothing"), "");
    EXPECT_EQ(errorOf([&] { key->readInteger("nothing"); }), "Failed to get data for 'nothing'");
    try {
        key->readInteger("nothing");
    } catch (const SettingsError& e) {
        EXPECT_EQ(e.kind(), SettingsError::Kind::GetData);
        EXPECT_EQ(e.valueName(), "nothing");
    }
}

TEST_P(TypedValues, BinaryAndOtherTypes) {
    put("bin4", kRegBinary, std::string("\x01\x02\x03\x04", 4));
    put("bin8", kRegBinary, std::string(8, '\x07'));
    put("bin0", kRegBinary, "");
    put("qword", 11, std::string(8, '\0'));
    put("dword2", kRegDword, std::string("\x34\x12", 2));
    reopen();
    EXPECT_TRUE(key->exists("bin0"));
    EXPECT_EQ(errorOf([&] { key->readInteger("bin4"); }), "Invalid data type for 'bin4'");
    EXPECT_EQ(errorOf([&] { key->readInteger("bin8"); }), "Failed to get data for 'bin8'");
    EXPECT_EQ(errorOf([&] { key->readInteger("qword"); }), "Failed to get data for 'qword'");
    // A binary value holding data is no text; one without data reads as the empty text.
    EXPECT_EQ(errorOf([&] { key->readText("bin4"); }), "Invalid data type for 'bin4'");
    EXPECT_EQ(key->readText("bin0"), "");
    // A REG_DWORD shorter than four bytes fills the low bytes only.
    EXPECT_EQ(key->readInteger("dword2"), 0x1234);
    EXPECT_EQ(key->queryValue("qword")->type, 11u);
}

TEST_P(TypedValues, NumberReadAsTextIsTheWrongType) {
    key->writeInteger("n", 5);
    EXPECT_EQ(errorOf([&] { key->readText("n"); }), "Invalid data type for 'n'");
}

TEST_P(TypedValues, ExpandableTextIsText) {
    put("exp", kRegExpandSz, std::string("%HOME%\\x\0", 9));
    reopen();
    EXPECT_EQ(key->readText("exp"), "%HOME%\\x");
    EXPECT_EQ(key->queryValue("exp")->type, kRegExpandSz);
}

TEST_P(TypedValues, TextEndsAtItsFirstZeroByte) {
    put("z", kRegSz, std::string("ab\0cd", 5));
    reopen();
    EXPECT_EQ(key->readText("z"), "ab");
    EXPECT_EQ(key->queryValue("z")->data, std::string("ab\0cd", 5));
}

TEST_P(TypedValues, TextIsWrittenWithoutTerminatingZero) {
    key->writeText("Filename", "C:\\BBS\\zorvuser.dat");
    reopen();
    const RegValue v = *key->queryValue("Filename");
    EXPECT_EQ(v.type, kRegSz);
    EXPECT_EQ(v.data, "C:\\BBS\\zorvuser.dat");
}

TEST_P(TypedValues, NamesIgnoreCase) {
    key->writeInteger("m.top", 1);
    key->writeInteger("M.TOP", 2);
    reopen();
    EXPECT_TRUE(key->exists("M.Top"));
    EXPECT_EQ(key->readInteger("m.top"), 2);
}

TEST_P(TypedValues, ClosedKeyNeitherReadsNorWrites) {
    key->writeInteger("a", 1);
    key->close();
    EXPECT_FALSE(key->isOpen());
    EXPECT_FALSE(key->exists("a"));
    EXPECT_EQ(std::string(errorOf([&] { key->writeInteger("a", 2); })),
              "Failed to set data for 'a'");
    ASSERT_TRUE(key->open(false));
    EXPECT_EQ(key->readInteger("a"), 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, TypedValues, ::testing::Values("memory", "file"));

TEST(MemoryKey, MissingKeyIsCreatedOnlyWhenAsked) {
    MemoryRegistryKey key;
    EXPECT_FALSE(key.open(false));
    EXPECT_FALSE(key.keyExists);
    EXPECT_TRUE(key.open(true));
    EXPECT_TRUE(key.keyExists);
    key.close();
    key.close();
    EXPECT_EQ(key.opens, 1);
    EXPECT_EQ(key.closes, 1);
}

TEST(MemoryKey, RefusedWriteFailsWithTheValueName) {
    MemoryRegistryKey key;
    key.keyExists = true;
    key.refusedWrites.insert("Options");
    ASSERT_TRUE(key.open(false));
    EXPECT_THROW(key.writeText("Options", "x"), SettingsError);
    EXPECT_FALSE(key.get("Options"));
}

} // namespace
} // namespace zorv
