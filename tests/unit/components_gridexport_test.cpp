#include "components/gridexport.h"
#include "tempdir.h"
#include "userfile/errors.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace zorv;
using zorvtest::readFileBytes;
using zorvtest::TempDir;
using zorvtest::writeFileBytes;

namespace {

using Rows = std::vector<std::vector<std::string>>;

// A grid with a header row and the given rows, all of one width.
std::unique_ptr<SortGrid> gridOf(const Rows& rows) {
    auto g =
        std::make_unique<SortGrid>(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < static_cast<int>(rows[0].size()); ++c)
            g->SetCell(c, r, rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
    return g;
}

Rows cells(const SortGrid& g) {
    Rows out(static_cast<std::size_t>(g.RowCount()));
    for (int r = 0; r < g.RowCount(); ++r)
        for (int c = 0; c < g.ColCount(); ++c)
            out[static_cast<std::size_t>(r)].emplace_back(g.Cell(c, r));
    return out;
}

std::string errorText(const std::function<void()>& f) {
    try {
        f();
    } catch (const IoError& e) {
        return e.what();
    }
    return "no error";
}

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.' || (e->d_name[1] != 0 && e->d_name[1] != '.'))
                names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

const Rows kList{{"User Number", "Name", "Address"},
                 {"0", "OLA", "Storgata 1, 3. etg"},
                 {"1", "", "Say \"hi\"\r\nthere"}};

} // namespace

TEST(GridExport, TabbedAndCsvTexts) {
    const auto g = gridOf(kList);
    EXPECT_EQ(tabbedText(*g), "0\tOLA\tStorgata 1, 3. etg\r\n1\t\tSay \"hi\"\r\nthere\r\n");
    // Quoted only where a reader would split or merge; quotes doubled.
    EXPECT_EQ(csvText(*g), "User Number,Name,Address\r\n"
                           "0,OLA,\"Storgata 1, 3. etg\"\r\n"
                           "1,,\"Say \"\"hi\"\"\r\nthere\"\r\n");
    const auto headerOnly = gridOf({{"a,b", "c"}});
    EXPECT_EQ(tabbedText(*headerOnly), "");
    EXPECT_EQ(csvText(*headerOnly), "\"a,b\",c\r\n");
    const auto lone = gridOf({{"h"}, {"x\ry"}, {"x\ny"}});
    EXPECT_EQ(csvText(*lone), "h\r\n\"x\ry\"\r\n\"x\ny\"\r\n");
}

TEST(GridExport, HtmlTableEscapesTexts) {
    const auto g = gridOf({{"Name", "A&B"}, {"<script>alert(1)</script>", ""}});
    EXPECT_EQ(htmlText(*g, "B4B4B4"), "<table border=1>\r\n"
                                      "<tr>\r\n"
                                      "<td nowrap BGCOLOR=\"#B4B4B4\"><B>Name</B></td>\r\n"
                                      "<td nowrap BGCOLOR=\"#B4B4B4\"><B>A&amp;B</B></td>\r\n"
                                      "</tr>\r\n"
                                      "<tr>\r\n"
                                      "<td nowrap>&lt;script&gt;alert(1)&lt;/script&gt;</td>\r\n"
                                      "<td nowrap><br></td>\r\n"
                                      "</tr>\r\n"
                                      "</table><p>\r\n");
    const auto headerOnly = gridOf({{"\"q\""}});
    EXPECT_EQ(htmlText(*headerOnly, "0A0B0C"),
              "<table border=1>\r\n<tr>\r\n<td nowrap BGCOLOR=\"#0A0B0C\"><B>&quot;q&quot;</B></td>"
              "\r\n</tr>\r\n</table><p>\r\n");
}

// The list stores "Up&&Down" (a mnemonic escape) and draws one "&": files
// carry what is drawn, the clipboard what is stored, so a paste reads back.
TEST(GridExport, FilesCarryTheShownTextAndTheClipboardTheStoredOne) {
    EXPECT_EQ(shownCellText(""), "");
    EXPECT_EQ(shownCellText("&"), "&");
    EXPECT_EQ(shownCellText("&&"), "&");
    EXPECT_EQ(shownCellText("&&&"), "&&");
    EXPECT_EQ(shownCellText("&&&&"), "&&");
    EXPECT_EQ(shownCellText("a&&&b&"), "a&&b&");
    EXPECT_EQ(shownCellText("AT&T"), "AT&T");

    const Rows stored{{"Up&&Down stat", "A&B"}, {"Up&&Down", "a&&&b&"}, {"x,&&y", "&&"}};
    const auto g = gridOf(stored);
    EXPECT_EQ(tabbedText(*g), "Up&Down\ta&&b&\r\nx,&y\t&\r\n");
    EXPECT_EQ(csvText(*g), "Up&Down stat,A&B\r\nUp&Down,a&&b&\r\n\"x,&y\",&\r\n");
    EXPECT_EQ(htmlText(*g, "B4B4B4"),
              "<table border=1>\r\n<tr>\r\n"
              "<td nowrap BGCOLOR=\"#B4B4B4\"><B>Up&amp;Down stat</B></td>\r\n"
              "<td nowrap BGCOLOR=\"#B4B4B4\"><B>A&amp;B</B></td>\r\n"
              "</tr>\r\n<tr>\r\n"
              "<td nowrap>Up&amp;Down</td>\r\n"
              "<td nowrap>a&amp;&amp;b&amp;</td>\r\n"
              "</tr>\r\n<tr>\r\n"
              "<td nowrap>x,&amp;y</td>\r\n"
              "<td nowrap>&amp;</td>\r\n"
              "</tr>\r\n</table><p>\r\n");

    g->SetSelection({0, 0, 1, 2});
    const std::string copied = selectionText(*g);
    EXPECT_EQ(copied, "Up&&Down stat\tA&B\r\nUp&&Down\ta&&&b&\r\nx,&&y\t&&");
    const auto back = gridOf({{"", ""}, {"", ""}, {"", ""}});
    pasteText(*back, copied, 0, 0);
    EXPECT_EQ(cells(*back), stored);
}

TEST(GridExport, HtmlAlignmentColoursAndFixedCells) {
    const auto g = gridOf({{"H0", ""}, {"a", "b"}, {"", "d"}});
    g->FixedCols = 1;
    std::vector<std::pair<int, int>> asked;
    g->OnGetAlignment = [&](int row, int col, TAlignment& a) {
        asked.emplace_back(row, col);
        EXPECT_EQ(a, taLeftJustify);
        a = col == 0 ? taRightJustify : taCenter;
    };
    g->OnGetCellColor = [](int row, int, int state, std::uint32_t& brush, std::uint32_t& font) {
        EXPECT_EQ(state, 0);
        if (row == 1)
            brush = 0x00332211; // red in the lowest byte
        else
            font = 0x000000FF;
    };
    EXPECT_EQ(htmlText(*g, "B4B4B4"),
              "<table border=1>\r\n<tr>\r\n"
              "<td nowrap align=\"right\" BGCOLOR=\"#B4B4B4\"><B>H0</B></td>\r\n"
              "<td nowrap BGCOLOR=\"#B4B4B4\"><B><br></B></td>\r\n"
              "</tr>\r\n<tr>\r\n"
              "<td nowrap align=\"right\" BGCOLOR=\"#B4B4B4\">a</td>\r\n"
              "<td nowrap align=\"center\" BGCOLOR=\"#112233\">b</td>\r\n"
              "</tr>\r\n<tr>\r\n"
              "<td nowrap BGCOLOR=\"#B4B4B4\"><br></td>\r\n"
              "<td nowrap align=\"center\"><font color=\"#FF0000\">d</font></td>\r\n"
              "</tr>\r\n</table><p>\r\n");
    // Empty cells are not asked for their alignment.
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {1, 1}, {2, 1}}));
}

TEST(GridExport, SelectionCutAndChunkedForms) {
    const auto g = gridOf({{"a", "b", "c", "d"}, {"e", "f", "g", "h"}, {"i", "j", "k", "l"}});
    g->SetSelection({1, 1, 3, 2});
    EXPECT_EQ(selectionText(*g), "f\tg\th\r\nj\tk\tl");
    g->SetRow(0);
    g->SetCol(2);
    EXPECT_EQ(selectionText(*g), "c");

    g->SetSelection({0, 1, 1, 2});
    EXPECT_EQ(cutSelection(*g), "e\tf\r\ni\tj");
    EXPECT_EQ(cells(*g), (Rows{{"a", "b", "c", "d"}, {"", "", "g", "h"}, {"", "", "k", "l"}}));

    // The pieces, put together, are the whole text.
    std::string pieces;
    int calls = 0;
    rangeText(*g, {0, 0, 3, 2}, [&](std::string_view p) {
        pieces += p;
        ++calls;
    });
    EXPECT_EQ(pieces, "a\tb\tc\td\r\n\t\tg\th\r\n\t\tk\tl");
    EXPECT_EQ(calls, 1);
}

TEST(GridPaste, BlocksGrowTheGridAndKeepTheirShape) {
    auto g = gridOf({{"h1", "h2"}, {"a", "b"}, {"c", "d"}});
    // Wider than the grid: columns added; more lines than rows: rows added.
    pasteText(*g, "1\t2\t3\r\n4\t5\t6\r\n7", 1, 1);
    EXPECT_EQ(
        cells(*g),
        (Rows{
            {"h1", "h2", "", ""}, {"a", "1", "2", "3"}, {"c", "4", "5", "6"}, {"", "7", "", ""}}));

    // A copied block pastes back into the same shape; a final CR LF adds nothing.
    g = gridOf({{"h1", "h2"}, {"a", "b"}, {"c", "d"}});
    g->SetSelection({0, 1, 1, 2});
    const std::string copied = selectionText(*g);
    pasteText(*g, copied + "\r\n", 0, 0);
    EXPECT_EQ(cells(*g), (Rows{{"a", "b"}, {"c", "d"}, {"c", "d"}}));
    pasteText(*g, "x\r\n", 0, 2);
    EXPECT_EQ(cells(*g), (Rows{{"a", "b"}, {"c", "d"}, {"x", "d"}}));
    EXPECT_EQ(g->RowCount(), 3);

    // Long pieces whole; a CR without LF keeps the next character; text ends at a NUL.
    const std::string longPiece(300, 'z');
    pasteText(*g, longPiece + "\rq\r", 1, 1);
    EXPECT_EQ(g->Cell(1, 1), longPiece);
    EXPECT_EQ(g->Cell(1, 2), "q");
    EXPECT_EQ(g->RowCount(), 3);
    pasteText(*g, std::string("k\0zz", 4), 0, 0);
    EXPECT_EQ(g->Cell(0, 0), "k");
    // Empty pieces empty their cells.
    pasteText(*g, "\t", 0, 1);
    EXPECT_EQ(g->Cell(0, 1), "");
    EXPECT_EQ(g->Cell(1, 1), "");
}

TEST(GridPaste, GrowsOnceToItsFinalShapeAndTellsOnce) {
    auto g = gridOf({{"h1", "h2"}, {"a", "b"}});
    int told = 0;
    std::vector<std::pair<int, int>> shapes;
    g->OnChanged = [&] {
        ++told;
        shapes.emplace_back(g->ColCount(), g->RowCount());
    };
    // 50,000 tabs on one line, a shorter line under it.
    std::string text(50000, '\t');
    text += "end\r\nx\ty";
    pasteText(*g, text, 1, 1);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(shapes, (std::vector<std::pair<int, int>>{{50002, 3}}));
    EXPECT_EQ(g->Cell(0, 1), "a");
    EXPECT_EQ(g->Cell(1, 1), "");
    EXPECT_EQ(g->Cell(50001, 1), "end");
    EXPECT_EQ(g->Cell(1, 2), "x");
    EXPECT_EQ(g->Cell(2, 2), "y");
    EXPECT_EQ(g->Cell(3, 2), "");
}

TEST(GridExportFiles, WrittenWholeOverTheOldFileKeepingModeAndLinks) {
    TempDir dir;
    const auto g = gridOf(kList);
    const std::string target = dir.file("real.txt");
    writeFileBytes(target, "old content");
    ::chmod(target.c_str(), 0640);
    const std::string link = dir.file("link.txt");
    ASSERT_EQ(::symlink("real.txt", link.c_str()), 0);

    WriteTabbedFile(*g, link);
    EXPECT_EQ(readFileBytes(target), tabbedText(*g));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    WriteCsvFile(*g, dir.file("l.csv"));
    EXPECT_EQ(readFileBytes(dir.file("l.csv")), csvText(*g));
    WriteHtmlFile(*g, dir.file("l.html"), "B4B4B4");
    EXPECT_EQ(readFileBytes(dir.file("l.html")), htmlText(*g, "B4B4B4"));
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"l.csv", "l.html", "link.txt", "real.txt"}));
}

TEST(GridExportFiles, FailuresNameTheFileAndLeaveNothingBehind) {
    TempDir dir;
    const auto g = gridOf(kList);
    const std::string missing = dir.file("no/such/list.txt");
    EXPECT_EQ(errorText([&] { WriteTabbedFile(*g, missing); }), "File not found: " + missing);
    EXPECT_EQ(errorText([&] { WriteCsvFile(*g, missing); }), "File not found: " + missing);
    EXPECT_EQ(errorText([&] { WriteHtmlFile(*g, missing, "B4B4B4"); }),
              "Cannot create file " + missing);

    // A folder in the way of the file: the folder stays, nothing else appears.
    const std::string folder = dir.file("taken");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    EXPECT_EQ(errorText([&] { WriteCsvFile(*g, folder); }), "File access denied: " + folder);
    EXPECT_EQ(errorText([&] { WriteHtmlFile(*g, folder, "B4B4B4"); }),
              "Cannot create file " + folder);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"taken"});
}

// Permission bits bind only ordinary users, so the folder cases run as one.
TEST(GridExportFiles, AnUnwritableFolderWithAWritableFileIsWrittenInPlace) {
    TempDir dir;
    const std::string folder = dir.file("locked");
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    const std::string writable = folder + "/list.csv";
    const std::string readOnly = folder + "/ro.csv";
    writeFileBytes(writable, std::string(500, 'o'));
    writeFileBytes(readOnly, "keep");
    ::chmod(writable.c_str(), 0666);
    ::chmod(readOnly.c_str(), 0444);
    ::chmod(dir.path().c_str(), 0777);
    const std::string link = dir.file("link.txt");
    ASSERT_EQ(::symlink("locked/list.csv", link.c_str()), 0);
    ::chmod(folder.c_str(), 0555);
    const auto g = gridOf(kList);

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        int failed = 0;
        try {
            WriteCsvFile(*g, writable);
        } catch (...) {
            failed |= 1;
        }
        if (errorText([&] { WriteCsvFile(*g, readOnly); }) != "File access denied: " + readOnly)
            failed |= 2;
        if (errorText([&] { WriteCsvFile(*g, folder + "/new.csv"); }) !=
            "File access denied: " + folder + "/new.csv")
            failed |= 4;
        try { // through a link from a folder we may write to
            WriteTabbedFile(*g, link);
        } catch (...) {
            failed |= 8;
        }
        ::_exit(failed);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::chmod(folder.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFileBytes(writable), tabbedText(*g)); // shorter than before: cut to size
    EXPECT_EQ(readFileBytes(readOnly), "keep");
    EXPECT_EQ(filesIn(folder), (std::vector<std::string>{"list.csv", "ro.csv"}));
}

// A full disk, made with a small tmpfs in a mount namespace of a child's own
// (root only): the old file stays whole, atomically or rewritten in place.
TEST(GridExportFiles, ADiskFullLeavesTheOldFileAsItWas) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a private tmpfs";
    TempDir dir;
    const std::string mountPoint = dir.file("small");
    ASSERT_EQ(::mkdir(mountPoint.c_str(), 0777), 0);
    ::chmod(dir.path().c_str(), 0755);
    // 64 KB of disk, a grid of about 200 KB.
    Rows rows{{"h"}};
    for (int i = 0; i < 2000; ++i)
        rows.push_back({std::string(100, 'a' + i % 26)});
    const auto g = gridOf(rows);

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        try {
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k,mode=0777") != 0)
                ::_exit(20); // no namespaces here: nothing to test
            const std::string target = mountPoint + "/list.txt";
            const std::string old(1000, 'o');
            writeFileBytes(target, old);
            int failed = 0;
            if (errorText([&] { WriteTabbedFile(*g, target); }) != "Disk full: " + target)
                failed |= 1;
            if (readFileBytes(target) != old || filesIn(mountPoint).size() != 1)
                failed |= 2;
            // In place, as an ordinary user in a folder of which only the file is writable.
            ::chmod(target.c_str(), 0666);
            ::chmod(mountPoint.c_str(), 0555);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(10);
            if (errorText([&] { WriteCsvFile(*g, target); }) != "Disk full: " + target)
                failed |= 4;
            if (readFileBytes(target) != old || filesIn(mountPoint).size() != 1)
                failed |= 8;
            ::_exit(failed);
        } catch (...) {
            ::_exit(30);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 20)
        GTEST_SKIP() << "no private mount namespace";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
