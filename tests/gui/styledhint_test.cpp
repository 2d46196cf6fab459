// The styled tool-tips: placement, drawing, timings and font.

#include "eventually.h"
#include "fixture.h"

#include "components/ui/styledhint.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolTip>

using namespace zorvtest;
using zorv::HintStyle;

namespace {

// Shorter than the program's, long enough that a check right after a move
// comes before the pause on a busy machine.
constexpr zorv::TStyledHint::Timing kTiming{200, 100, 400};

class StyledHintTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        ::unsetenv("XCURSOR_SIZE");
        writeUsers({plainUser("OLA"), plainUser("KARI")});
        rememberUserFile();
        ASSERT_NO_FATAL_FAILURE(start());
        hint()->setTiming(kTiming);
    }

    zorv::TStyledHint* hint() { return window->StyledHint1; }
    zorv::TStyledHintWindow* hintWindow() { return hint()->hintWindow(); }
    QRect screen() { return QGuiApplication::primaryScreen()->geometry(); }

    void moveOver(QWidget* w) {
        static int nudge = 0;
        QTest::mouseMove(w, w->rect().center() + QPoint(nudge++ % 3 - 1, 0));
        QApplication::processEvents();
    }
};

// The columns that hold text pixels in rows [top, bottom).
std::pair<int, int> inkColumns(const QImage& img, int top, int bottom, const QColor& ink) {
    int left = img.width(), right = -1;
    for (int y = top; y < bottom; ++y)
        for (int x = 2; x < img.width() - 2; ++x)
            if (img.pixelColor(x, y) == ink || qGray(img.pixel(x, y)) < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return {left, right};
}

TEST_F(StyledHintTest, RightEdgeOfTheScreenBottomNotMoved) {
    const QRect s = screen();
    hint()->showHint(QStringLiteral("Save user"), QPoint(s.right() - 3, 100));
    ASSERT_TRUE(hintWindow()->isVisible());
    EXPECT_EQ(hintWindow()->geometry().right(), s.right());
    EXPECT_EQ(hintWindow()->geometry().top(), 100 + 18); // 3/4 of a 24-pixel cursor

    hint()->showHint(QStringLiteral("Save user"), QPoint(40, s.bottom() - 2));
    EXPECT_EQ(hintWindow()->geometry().left(), 40);
    EXPECT_EQ(hintWindow()->geometry().top(), s.bottom() - 2 + 18);
    EXPECT_GT(hintWindow()->geometry().bottom(), s.bottom());
}

TEST_F(StyledHintTest, SizeAndMarginsPerStyle) {
    struct Case {
        HintStyle style;
        int w, h, down;
    };
    for (const Case c : {Case{HintStyle::hsFlat, 6, 4, 0}, Case{HintStyle::hsLifted, 6, 6, 1},
                         Case{HintStyle::hsClassic, 8, 4, 0}}) {
        hint()->SetHintStyle(c.style);
        hint()->showHint(QStringLiteral("User list"), QPoint(50, 50));
        const QSize text = QFontMetrics(hint()->hintFont()).size(0, QStringLiteral("User list"));
        EXPECT_EQ(hintWindow()->size(), text + QSize(c.w, c.h)) << int(c.style);
        EXPECT_EQ(hintWindow()->geometry().top(), 50 + 18 + c.down) << int(c.style);
    }
}

TEST_F(StyledHintTest, FrameColoursPerStyle) {
    const QPalette app = QApplication::palette();
    hint()->showHint(QStringLiteral("Exit program"), QPoint(50, 50));
    QImage img = hintWindow()->grab().toImage();
    const int r = img.width() - 1, b = img.height() - 1;
    EXPECT_EQ(img.pixel(0, 0), app.color(QPalette::Light).rgb());
    EXPECT_EQ(img.pixel(0, b - 1), app.color(QPalette::Light).rgb());
    EXPECT_EQ(img.pixel(r - 1, 0), app.color(QPalette::Light).rgb());
    EXPECT_EQ(img.pixel(0, b), app.color(QPalette::Shadow).rgb());
    EXPECT_EQ(img.pixel(r, 0), app.color(QPalette::Shadow).rgb());
    EXPECT_EQ(img.pixel(r, b), app.color(QPalette::Shadow).rgb());
    EXPECT_EQ(img.pixel(1, 1), QToolTip::palette().color(QPalette::ToolTipBase).rgb());

    hint()->SetHintStyle(HintStyle::hsFlat);
    hint()->showHint(QStringLiteral("Exit program"), QPoint(50, 50));
    img = hintWindow()->grab().toImage();
    for (const QPoint p : {QPoint(0, 0), QPoint(img.width() - 1, img.height() - 1)})
        EXPECT_EQ(img.pixel(p), app.color(QPalette::WindowText).rgb());
}

TEST_F(StyledHintTest, TwoLinesEachCentredAmpersandShown) {
    const QString text = QStringLiteral("A & B\nA much longer second line");
    hint()->showHint(text, QPoint(50, 50));
    const QFontMetrics fm(hint()->hintFont());
    EXPECT_EQ(hintWindow()->textSize().height(), 2 * fm.lineSpacing());
    EXPECT_EQ(hintWindow()->textSize().width(),
              fm.size(0, QStringLiteral("A much longer second line")).width());

    const QImage img = hintWindow()->grab().toImage();
    const QColor ink = QToolTip::palette().color(QPalette::ToolTipText);
    const int top = zorv::hintTextTop(img.height(), hintWindow()->textSize().height());
    const auto [l1, r1] = inkColumns(img, top, top + fm.lineSpacing(), ink);
    const auto [l2, r2] = inkColumns(img, top + fm.lineSpacing(), top + 2 * fm.lineSpacing(), ink);
    ASSERT_LE(l1, r1);
    ASSERT_LE(l2, r2);
    const int mid = img.width() / 2;
    EXPECT_NEAR((l1 + r1) / 2.0, mid, 3.0);
    EXPECT_NEAR((l2 + r2) / 2.0, mid, 3.0);
    // The short line's ink is as wide as "A & B": the ampersand was drawn.
    EXPECT_NEAR(r1 - l1 + 1, fm.boundingRect(QStringLiteral("A & B")).width(), 3);
    EXPECT_GT(r1 - l1 + 1, fm.horizontalAdvance(QStringLiteral("A  B")) - 2);
}

TEST_F(StyledHintTest, ShowsOverAButtonInsteadOfQtsTip) {
    moveOver(window->listbt);
    EXPECT_FALSE(hintWindow()->isVisible()); // not before the pause
    ASSERT_TRUE(eventually([this] { return hintWindow()->isVisible(); }, 3000));
    EXPECT_EQ(hintWindow()->text(), "User list");
    EXPECT_FALSE(QToolTip::isVisible());
    // Placed below the cursor, not where Qt would put its tip.
    const QPoint cursor = window->listbt->mapToGlobal(window->listbt->rect().center());
    EXPECT_NEAR(hintWindow()->geometry().left(), cursor.x(), 2);
    EXPECT_EQ(hintWindow()->geometry().top(), cursor.y() + 18);

    // On to the neighbour: its hint follows at the short pause.
    moveOver(window->statbt);
    EXPECT_FALSE(hintWindow()->isVisible());
    ASSERT_TRUE(eventually([this] { return hintWindow()->isVisible(); }, 3000));
    EXPECT_EQ(hintWindow()->text(), "User Statistics");

    // A click puts it away.
    QTest::mousePress(window->statbt, Qt::RightButton, {}, window->statbt->rect().center());
    EXPECT_FALSE(hintWindow()->isVisible());
    QTest::mouseRelease(window->statbt, Qt::RightButton, {}, window->statbt->rect().center());
}

TEST_F(StyledHintTest, GoesAfterItsTimeAndStaysAwayOverTheSameControl) {
    moveOver(window->savefilebt);
    ASSERT_TRUE(eventually([this] { return hintWindow()->isVisible(); }, 3000));
    QElapsedTimer shown;
    shown.start();
    ASSERT_TRUE(eventually([this] { return !hintWindow()->isVisible(); }, 3000));
    // Timed from a little after the show: half its time says it stayed.
    EXPECT_GE(shown.elapsed(), kTiming.hideMs / 2);
    moveOver(window->savefilebt);
    QTest::qWait(2 * kTiming.pauseMs);
    EXPECT_FALSE(hintWindow()->isVisible());
    // Another control brings hints back.
    moveOver(window->listbt);
    ASSERT_TRUE(eventually([this] { return hintWindow()->isVisible(); }, 3000));
    EXPECT_EQ(hintWindow()->text(), "User list");
}

TEST_F(StyledHintTest, NoHintOverControlsWithoutOne) {
    moveOver(window->Name);
    QTest::qWait(2 * kTiming.pauseMs);
    EXPECT_FALSE(hintWindow()->isVisible());
    EXPECT_EQ(hint()->hintControl(), nullptr);
}

TEST_F(StyledHintTest, TipsShownThroughQtComeToOurWindow) {
    QToolTip::showText(QPoint(60, 60), QStringLiteral("Cell <b>text</b>"), window->Name);
    ASSERT_TRUE(eventually([this] { return hintWindow()->isVisible(); }, 2000));
    EXPECT_EQ(hintWindow()->text(), "Cell text");
    QToolTip::hideText();
    ASSERT_TRUE(eventually([this] { return !hintWindow()->isVisible(); }, 3000));
}

TEST_F(StyledHintTest, FontFollowsTheDesktopAndTheStyle) {
    const int before = hint()->fontDerivations();
    hint()->SetHintStyle(HintStyle::hsClassic); // already so: nothing to do
    EXPECT_EQ(hint()->fontDerivations(), before);
    hint()->SetHintStyle(HintStyle::hsLifted);
    EXPECT_EQ(hint()->fontDerivations(), before + 1);
    // No "MS Sans Serif" here: the lifted style keeps the desktop's family.
    EXPECT_EQ(hint()->hintFont().family(), QApplication::font("QTipLabel").family());

    QFont bigger = QApplication::font();
    bigger.setPointSize(bigger.pointSize() + 7);
    QApplication::setFont(bigger);
    QApplication::processEvents();
    EXPECT_GT(hint()->fontDerivations(), before + 1);
    EXPECT_EQ(hint()->hintFont().pointSize(), bigger.pointSize());
}

} // namespace
