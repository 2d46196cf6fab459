#include "tempdir.h"
#include "userfile/blockreader.h"
#include "userfile/errors.h"
#include "userfile/workingcopy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zorv;
using zorvtest::TempDir;
using zorvtest::writeFileBytes;

namespace {

// Record i holds bytes i*7+k, so a record read from the wrong offset shows.
std::string recordsBytes(int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        for (std::size_t k = 0; k < kRecordSize; ++k)
            out += static_cast<char>(i * 7 + static_cast<int>(k));
    return out;
}

struct Pass {
    std::vector<int> indexes;
    std::vector<std::string> records;
    int error = 0; // IoError code, 0 when the pass ended normally
};

template <class Reader, class Hook> Pass runPass(Reader& reader, Hook&& hook) {
    Pass p;
    try {
        forEachRecord(reader, [&](int i, const Record& r) {
            p.indexes.push_back(i);
            p.records.emplace_back(reinterpret_cast<const char*>(r.data()), r.size());
            hook(i);
        });
    } catch (const IoError& e) {
        p.error = e.code();
    }
    return p;
}

int openErrorCode(const std::string& path) {
    try {
        BlockReader r(path);
    } catch (const IoError& e) {
        return e.code();
    }
    return 0;
}

} // namespace

TEST(BlockReader, ReadsEveryWholeRecordInOrderAcrossBlockEdges) {
    TempDir dir;
    const std::string file = dir.file("u.dat");
    const std::string bytes = recordsBytes(7);
    // A partial last record is never read, whatever the block size.
    writeFileBytes(file, bytes + std::string(100, 'x'));
    for (int block : {1, 3, 7, 8, BlockReader::kDefaultBlockRecords}) {
        BlockReader reader(file, block);
        EXPECT_EQ(reader.count(), 7);
        const Pass p = runPass(reader, [](int) {});
        EXPECT_EQ(p.error, 0);
        ASSERT_EQ(p.indexes, (std::vector<int>{0, 1, 2, 3, 4, 5, 6})) << "block " << block;
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(p.records[static_cast<std::size_t>(i)],
                      bytes.substr(static_cast<std::size_t>(i) * kRecordSize, kRecordSize))
                << "record " << i << ", block " << block;
        EXPECT_EQ(reader.next(), nullptr); // stays at the end
    }

    writeFileBytes(file, std::string(kRecordSize - 1, 'x')); // no whole record at all
    BlockReader partial(file);
    EXPECT_EQ(partial.count(), 0);
    EXPECT_EQ(partial.next(), nullptr);
}

TEST(BlockReader, AFileThatShrinksDuringThePassIsReadBeyondEnd) {
    TempDir dir;
    const std::string file = dir.file("u.dat");
    // Cut to whole records and in the middle of one: both end the pass.
    for (os::Offset cut : {os::Offset{5} * 273, os::Offset{5} * 273 + 100, os::Offset{0}}) {
        writeFileBytes(file, recordsBytes(10));
        BlockReader reader(file, 4);
        const Pass p = runPass(reader, [&](int i) {
            if (i == 1) {
                const os::Handle h = os::open(file, os::kReadWrite);
                ASSERT_TRUE(os::truncate(h, cut));
                os::close(h);
            }
        });
        EXPECT_EQ(p.error, kReadBeyondEnd) << "cut at " << cut;
        // The first block was read before the cut; nothing after it is made up.
        EXPECT_EQ(p.indexes, (std::vector<int>{0, 1, 2, 3})) << "cut at " << cut;
    }
}

TEST(BlockReader, ARecordKeptLockedEndsThePassOrIsSkippedWhenAsked) {
    TempDir dir;
    const std::string file = dir.file("u.dat");
    writeFileBytes(file, recordsBytes(10));
    os::refuseReadsForTesting(file, static_cast<os::Offset>(6) * kRecordSize, kRecordSize);
    {
        BlockReader reader(file, 4);
        const Pass p = runPass(reader, [](int) {});
        EXPECT_EQ(p.error, kErrnoBase + EAGAIN);
        EXPECT_EQ(p.indexes, (std::vector<int>{0, 1, 2, 3, 4, 5})) << "up to the locked user";
    }
    {
        BlockReader reader(file, 4);
        reader.skipLockedRecords(true);
        const Pass p = runPass(reader, [](int) {});
        EXPECT_EQ(p.error, 0);
        EXPECT_EQ(p.indexes, (std::vector<int>{0, 1, 2, 3, 4, 5, 7, 8, 9}));
        EXPECT_EQ(reader.skipped(), std::vector<int>{6});
    }
    // Let go within the retries: nothing is skipped.
    os::refuseReadsForTesting(file, static_cast<os::Offset>(6) * kRecordSize, kRecordSize, 3);
    BlockReader reader(file, 4);
    reader.skipLockedRecords(true);
    EXPECT_EQ(runPass(reader, [](int) {}).indexes.size(), 10u);
    EXPECT_TRUE(reader.skipped().empty());
    os::refuseReadsForTesting(file, 0, 0);
}

TEST(BlockReader, TheSizeIsTakenOnceWhenThePassBegins) {
    TempDir dir;
    const std::string file = dir.file("u.dat");
    writeFileBytes(file, recordsBytes(3));
    BlockReader reader(file, 1);
    const Pass p = runPass(reader, [&](int i) {
        if (i == 0)
            writeFileBytes(file, recordsBytes(6)); // the board appends meanwhile
    });
    EXPECT_EQ(p.error, 0);
    EXPECT_EQ(p.indexes, (std::vector<int>{0, 1, 2}));
}

TEST(BlockReader, OpenErrorsAndAClosedWorkingCopy) {
    TempDir dir;
    EXPECT_EQ(openErrorCode(dir.file("missing.dat")), kFileNotFound);
    EXPECT_EQ(openErrorCode(dir.path()), kFileAccessDenied);

    WorkingCopy wc(dir.file("wc.dat"));
    try {
        BlockReader r(wc);
        FAIL() << "a closed working copy was read";
    } catch (const IoError& e) {
        EXPECT_EQ(e.code(), kFileNotOpen);
    }

    const std::string user = dir.file("zorvuser.dat");
    writeFileBytes(user, recordsBytes(2));
    wc.loadFrom(user);
    BlockReader reader(wc);
    const Pass p = runPass(reader, [](int) {});
    EXPECT_EQ(p.indexes, (std::vector<int>{0, 1}));
    EXPECT_EQ(p.records[1], recordsBytes(2).substr(kRecordSize));
}
