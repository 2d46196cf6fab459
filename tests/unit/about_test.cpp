// The about box's cube frames and the mail link's command line.

#include "about/cube.h"
#include "about/mailcommand.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using zorv::CubeAnimation;

TEST(CubeFrames, SineTableSamples) {
    const auto& s = zorv::cubeSineTable();
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[64], 127); // a quarter turn
    EXPECT_EQ(s[128], 0);  // 127 * sin(pi) rounds to 0, not -0 or 1
    EXPECT_EQ(s[192], -127);
    EXPECT_EQ(s[30], 85);  // 127 * 0.6716
    EXPECT_EQ(s[36], 98);  // 127 * 0.7730
    EXPECT_EQ(s[254], -6); // 127 * -0.0491
}

// Worked by hand from the frame rules: angles 30, 36, 254 after the first tick.
TEST(CubeFrames, FirstFrameWorkedByHand) {
    CubeAnimation cube;
    EXPECT_EQ(cube.frames(), 0);
    cube.step(400, 300);
    EXPECT_EQ(cube.angleA(), 30);
    EXPECT_EQ(cube.angleB(), 36);
    EXPECT_EQ(cube.angleC(), 254);
    EXPECT_EQ(cube.cx(), 161);
    EXPECT_EQ(cube.cy(), 101);
    // vertex 0 (-40, 40, 40): x1 -55, z1 -5, y1 37, x2 -56, y2 23, z2 -28
    EXPECT_EQ(cube.projected()[0].x, -46);
    EXPECT_EQ(cube.projected()[0].y, 19);
    // vertex 6 (40, -40, -40): the mirror image, but truncation is not symmetric
    // through the perspective: z2 = 28 gives 140 * 56 / 112 = 70.
    EXPECT_EQ(cube.projected()[6].x, 70);
    EXPECT_EQ(cube.projected()[6].y, -28);
    // Edge 0 runs from vertex 4 to vertex 5; edge 1 from 0 to 1.
    EXPECT_EQ(cube.edgeStart(1).x, 161 - 46);
    EXPECT_EQ(cube.edgeStart(1).y, 101 + 19);
}

TEST(CubeFrames, ProjectionTruncatesTowardZero) {
    // At the start angles vertex 0 lands at 140 * -40 / (140 + 13) etc.
    const zorv::CubePoint p = CubeAnimation::project(-40, 40, 40, 32, 32, 0);
    EXPECT_EQ(p.x, -46);
    EXPECT_EQ(p.y, 22);
}

TEST(CubeFrames, TurningRepeatsEvery128Frames) {
    CubeAnimation cube;
    cube.step(1000, 1000);
    const auto first = cube.projected();
    for (int i = 0; i < 128; ++i)
        cube.step(1000, 1000);
    EXPECT_EQ(cube.angleA(), 30);
    EXPECT_EQ(cube.angleB(), 36);
    EXPECT_EQ(cube.angleC(), 254);
    for (int v = 0; v < CubeAnimation::kVertexCount; ++v) {
        EXPECT_EQ(cube.projected()[v].x, first[v].x) << v;
        EXPECT_EQ(cube.projected()[v].y, first[v].y) << v;
    }
}

TEST(CubeFrames, NeverLeavesTheErasedSquare) {
    CubeAnimation cube;
    for (int i = 0; i < 128; ++i) {
        cube.step(1000, 1000);
        for (const auto& p : cube.projected()) {
            EXPECT_LT(std::abs(p.x), CubeAnimation::kEraseHalf);
            EXPECT_LT(std::abs(p.y), CubeAnimation::kEraseHalf);
        }
    }
}

TEST(CubeFrames, BouncesWithinTheOuterSize) {
    CubeAnimation cube;
    int minX = 1 << 20, maxX = -1, minY = 1 << 20, maxY = -1;
    for (int i = 0; i < 3000; ++i) {
        cube.step(400, 300);
        minX = std::min(minX, cube.cx());
        maxX = std::max(maxX, cube.cx());
        minY = std::min(minY, cube.cy());
        maxY = std::max(maxY, cube.cy());
    }
    // The turn comes one pixel past each bound.
    EXPECT_EQ(minX, 79);
    EXPECT_EQ(maxX, 400 - 90 + 1);
    EXPECT_EQ(minY, 79);
    EXPECT_EQ(maxY, 300 - 130 + 1);
}

TEST(CubeFrames, SmallWindowTurnsBackAtOnce) {
    // The client size of the box itself: 222 - 130 = 92 is above the start at 100.
    CubeAnimation cube;
    cube.step(314, 222);
    EXPECT_FALSE(cube.forwardY());
    EXPECT_EQ(cube.cy(), 99);
    EXPECT_TRUE(cube.forwardX());
}

TEST(CubeFrames, ResetGivesTheSameStartPicture) {
    CubeAnimation fresh;
    fresh.step(320, 247);
    CubeAnimation used;
    for (int i = 0; i < 77; ++i)
        used.step(320, 247);
    used.reset();
    EXPECT_EQ(used.frames(), 0);
    used.step(320, 247);
    EXPECT_EQ(used.cx(), fresh.cx());
    EXPECT_EQ(used.cy(), fresh.cy());
    for (int v = 0; v < CubeAnimation::kVertexCount; ++v) {
        EXPECT_EQ(used.projected()[v].x, fresh.projected()[v].x);
        EXPECT_EQ(used.projected()[v].y, fresh.projected()[v].y);
    }
}

// ------------------------------------------------------------------ mail

TEST(MailCommand, ProgramBeforeFirstBlankParametersCutAtPercent) {
    const zorv::MailCommand c = zorv::splitMailCommand("C:\\MAIL\\MAILER.EXE /compose %1");
    EXPECT_EQ(c.program, "C:\\MAIL\\MAILER.EXE");
    EXPECT_EQ(c.parameters, "/compose ");
    EXPECT_EQ(zorv::mailParameters(c, "a@b.invalid", false), "/compose a@b.invalid");
    EXPECT_EQ(zorv::mailParameters(c, "a@b.invalid", true), "/compose mailto:a@b.invalid");

    // A switch that runs straight into the placeholder gets the address straight after it.
    const zorv::MailCommand d = zorv::splitMailCommand("mailer -to:%1 -x");
    EXPECT_EQ(zorv::mailParameters(d, "a@b.invalid", false), "-to:a@b.invalid");
}

TEST(MailCommand, LinesWithoutBlankOrPercent) {
    zorv::MailCommand c = zorv::splitMailCommand("mailer");
    EXPECT_EQ(c.program, "mailer");
    EXPECT_EQ(c.parameters, "");
    c = zorv::splitMailCommand("mailer --new-window");
    EXPECT_EQ(c.parameters, "--new-window");
    c = zorv::splitMailCommand("mailer %u");
    EXPECT_EQ(c.parameters, "");
    EXPECT_EQ(zorv::splitExecArguments(zorv::mailParameters(c, "x@y.invalid", true)),
              (std::vector<std::string>{"mailto:x@y.invalid"}));
}

TEST(MailCommand, QuotedProgramWithBlanksStaysWhole) {
    zorv::MailCommand c = zorv::splitMailCommand("\"C:\\Program Files\\Mail\\m.exe\" -c \"%1\"");
    EXPECT_EQ(c.program, "C:\\Program Files\\Mail\\m.exe");
    EXPECT_EQ(c.parameters, "-c \"");
    c = zorv::splitMailCommand("\"/opt/My Mail/mail\"");
    EXPECT_EQ(c.program, "/opt/My Mail/mail");
    EXPECT_EQ(c.parameters, "");
    c = zorv::splitMailCommand("\"/opt/unclosed %u");
    EXPECT_EQ(c.program, "/opt/unclosed %u");
}

TEST(MailCommand, ExecArgumentsFollowTheQuotingRules) {
    using V = std::vector<std::string>;
    EXPECT_EQ(zorv::splitExecArguments("  -a   b "), (V{"-a", "b"}));
    EXPECT_EQ(zorv::splitExecArguments("--profile \"My Profile\" x"),
              (V{"--profile", "My Profile", "x"}));
    EXPECT_EQ(zorv::splitExecArguments(R"("a\"b" "c\\d" "\$e" "\`f")"),
              (V{"a\"b", "c\\d", "$e", "`f"}));
    EXPECT_EQ(zorv::splitExecArguments("\"\" x"), (V{"", "x"}));
    // The cut at "%" can leave a quote open: it runs to the end, address included.
    EXPECT_EQ(zorv::splitExecArguments("-c \"mailto:a@b.invalid"), (V{"-c", "mailto:a@b.invalid"}));
    EXPECT_TRUE(zorv::splitExecArguments("").empty());
}

TEST(MailCommand, DesktopEntryExecLine) {
    const std::string entry = "[Desktop Action Compose]\n"
                              "Exec=wrong --compose\n"
                              "# comment\n"
                              "[Desktop Entry]\n"
                              "Name=Mail\n"
                              "Exec[de]=localized\n"
                              "Exec = mail\\s--x \"%u\"\r\n"
                              "[Other]\n"
                              "Exec=later\n";
    EXPECT_EQ(zorv::desktopEntryExec(entry), "mail --x \"%u\"");
    EXPECT_EQ(zorv::desktopEntryExec("[Desktop Entry]\nName=x\n"), std::nullopt);
    EXPECT_EQ(zorv::desktopEntryExec("Exec=outside\n[Desktop Entry]\n"), std::nullopt);
    EXPECT_EQ(zorv::desktopEntryExec("[Desktop Entry]\nExec=a\\\\b \\$c"), "a\\b \\$c");
}

TEST(MailCommand, FieldCodesExpandAsDesktopEntriesExpandThem) {
    using V = std::vector<std::string>;
    const std::string url = "mailto:a@b.invalid";
    const zorv::MailHandler full{"", "Big Mail", "mail-icon", "/usr/share/applications/m.desktop"};
    auto args = [&](const std::string& exec, zorv::MailHandler h) {
        h.exec = exec;
        return zorv::mailArguments(h, url);
    };
    // The name and icon codes never take the address's place.
    EXPECT_EQ(args("mail %i --class=%c -compose %U", full),
              (V{"mail", "--icon", "mail-icon", "--class=Big Mail", "-compose", url}));
    EXPECT_EQ(args("mail %i %u", zorv::MailHandler{}), (V{"mail", url}));
    EXPECT_EQ(args(R"("/opt/my mail/run" --entry %k %f)", full),
              (V{"/opt/my mail/run", "--entry", full.file, url}));
    // %% is a percent sign; deprecated and unknown codes give nothing, and
    // an argument of nothing else is left out, while "" stays an argument.
    EXPECT_EQ(args(R"(mail 100%% %d %N x%vy "" %u)", full), (V{"mail", "100%", "xy", "", url}));
    // No file or URL code: the address still reaches the program.
    EXPECT_EQ(args("mail --new", full), (V{"mail", "--new", url}));
    EXPECT_TRUE(args("", full).empty());

    const std::string entry = "[Desktop Entry]\nName[de]=Post\nName=Big\\sMail\nIcon=mail-icon\n";
    EXPECT_EQ(zorv::desktopEntryValue(entry, "Name"), "Big Mail");
    EXPECT_EQ(zorv::desktopEntryValue(entry, "Icon"), "mail-icon");
    EXPECT_EQ(zorv::desktopEntryValue(entry, "Exec"), std::nullopt);
}

TEST(MailCommand, FindsTheDesktopEntryInDataFolders) {
#ifdef _WIN32
    GTEST_SKIP() << "desktop entries are the Linux desktop's; Windows names the mail program "
                    "in the registry";
#endif
    zorvtest::TempDir dir;
    std::filesystem::create_directories(dir.file("second/applications/vendor"));
    std::filesystem::create_directories(dir.file("first/applications"));
    std::ofstream(dir.file("second/applications/vendor/mail.desktop")) << "[Desktop Entry]\n";
    std::ofstream(dir.file("first/applications/other.desktop")) << "[Desktop Entry]\n";
    const std::vector<std::string> dirs{dir.file("first"), dir.file("second")};
    EXPECT_EQ(zorv::findDesktopEntry("vendor-mail.desktop", dirs),
              dir.file("second/applications/vendor/mail.desktop"));
    EXPECT_EQ(zorv::findDesktopEntry("other.desktop", dirs),
              dir.file("first/applications/other.desktop"));
    EXPECT_EQ(zorv::findDesktopEntry("missing.desktop", dirs), std::nullopt);
    EXPECT_EQ(zorv::findDesktopEntry("../x.desktop", dirs), std::nullopt);
}
