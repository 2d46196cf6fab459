// The about box: the same start picture at every opening, the cube's bounds
// and colours, the contact line and its mail link.

#include "eventually.h"
#include "fixture.h"
#include "platform/clipboard.h"

#include "about/ui/taboutbox1.h"
#include "platform/linklabel.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace zorvtest;

namespace {

class AboutTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        writeUsers({plainUser("OLA")});
        rememberUserFile();
        ASSERT_NO_FATAL_FAILURE(start());
        window->aboutbox1 = new zorv::Taboutbox1(platform, window.get());
    }

    zorv::Taboutbox1* box() { return window->aboutbox1; }

    // Opens the box with `open`; while it is shown the timer is stopped and
    // `check` runs, then "OK" closes it.
    void whileOpen(const std::function<void()>& open, const std::function<void()>& check) {
        bool ran = false;
        QTimer::singleShot(0, box(), [&] {
            EXPECT_TRUE(box()->isVisible());
            box()->Timer1->stop();
            ran = true;
            check();
            box()->Button1->click();
        });
        open();
        EXPECT_TRUE(ran);
        EXPECT_FALSE(box()->isVisible());
        EXPECT_FALSE(box()->Timer1->isActive());
    }

    QColor contactColour() { return box()->l2->palette().color(QPalette::WindowText); }
};

int purplePixels(const QImage& img, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixelColor(x, y) == QColor(128, 0, 128))
                ++n;
    return n;
}

TEST_F(AboutTest, EveryOpeningStartsFromTheSamePicture) {
    QImage first;
    zorv::CubePoint firstCentre;
    whileOpen([&] { window->about->click(); },
              [&] {
                  EXPECT_EQ(box()->cube().frames(), 0);
                  for (int i = 0; i < 3; ++i)
                      box()->Timer1Timer();
                  firstCentre = {box()->cube().cx(), box()->cube().cy()};
                  first = box()->grab().toImage();
                  // Let it run on, so that the second opening has something to undo.
                  for (int i = 0; i < 50; ++i)
                      box()->Timer1Timer();
              });
    // The menu entry opens the same box.
    whileOpen([&] { window->About1->trigger(); },
              [&] {
                  EXPECT_EQ(box()->cube().frames(), 0);
                  for (int i = 0; i < 3; ++i)
                      box()->Timer1Timer();
                  EXPECT_EQ(box()->cube().cx(), firstCentre.x);
                  EXPECT_EQ(box()->cube().cy(), firstCentre.y);
                  EXPECT_TRUE(box()->grab().toImage() == first);
              });
    EXPECT_GT(purplePixels(first, first.rect()), 100);
}

TEST_F(AboutTest, TimerAsksForAFramePerDisplayFrame) {
    whileOpen([&] { window->about->click(); }, [&] { EXPECT_EQ(box()->Timer1->interval(), 16); });
    // The timer ran while the box was shown and stopped when it closed.
}

TEST_F(AboutTest, CubeBouncesWithinTheOuterSizeBehindTheControls) {
    whileOpen([&] { window->about->click(); },
              [&] {
                  const QSize outer = box()->frameGeometry().size();
                  int minX = 1000, maxX = 0, minY = 1000, maxY = 0;
                  for (int i = 0; i < 400; ++i) {
                      box()->Timer1Timer();
                      minX = std::min(minX, box()->cube().cx());
                      maxX = std::max(maxX, box()->cube().cx());
                      minY = std::min(minY, box()->cube().cy());
                      maxY = std::max(maxY, box()->cube().cy());
                      if (i % 40 == 0) {
                          const QImage img = box()->grab().toImage();
                          EXPECT_EQ(purplePixels(img, box()->Panel3->geometry()), 0);
                          EXPECT_EQ(purplePixels(img, box()->Button1->geometry()), 0);
                          EXPECT_EQ(purplePixels(img, box()->Panel1->geometry()), 0);
                      }
                  }
                  EXPECT_EQ(minX, 79);
                  EXPECT_EQ(maxX, outer.width() - 90 + 1);
                  EXPECT_EQ(minY, 79);
                  // A box too low for the start at 100 turns up at once.
                  EXPECT_EQ(maxY, outer.height() - 130 < 100 ? 99 : outer.height() - 130 + 1);
              });
}

TEST_F(AboutTest, ErasesInTheWindowsOwnBackground) {
    QPalette pal = box()->palette();
    pal.setColor(QPalette::Window, QColor(0x33, 0x66, 0x99));
    pal.setColor(QPalette::Button, QColor(0xEE, 0x11, 0x11));
    box()->setPalette(pal);
    whileOpen([&] { window->about->click(); },
              [&] {
                  for (int i = 0; i < 5; ++i)
                      box()->Timer1Timer();
                  const QImage img = box()->grab().toImage();
                  const int cx = box()->cube().cx(), cy = box()->cube().cy();
                  // Near the edges of the erased square, clear of the controls:
                  // no edge of the cube comes this far out.
                  for (const QPoint p : {QPoint(cx - 78, cy + 20), QPoint(cx + 78, cy + 20)}) {
                      const QColor c = img.pixelColor(p);
                      EXPECT_NEAR(c.red(), 0x33, 2);
                      EXPECT_NEAR(c.green(), 0x66, 2);
                      EXPECT_NEAR(c.blue(), 0x99, 2);
                  }
              });
}

TEST_F(AboutTest, FixedSizeAndTexts) {
    EXPECT_EQ(box()->size(), QSize(314, 222));
    EXPECT_EQ(box()->minimumSize(), box()->maximumSize());
    EXPECT_EQ(box()->windowTitle(), "About");
    EXPECT_EQ(box()->Label7->text(), "ZORV usereditor v1.8");
    EXPECT_TRUE(box()->l2->text().startsWith("To Contact :   "));
    EXPECT_EQ(box()->Button1->text(), "OK");
    // Every text fits its place.
    for (QLabel* l : {box()->Label7, box()->Label1, static_cast<QLabel*>(box()->l2)})
        EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width())
            << l->objectName().toStdString();
}

TEST_F(AboutTest, ContactLineBlueOverItBlackOverTheBackground) {
    // The mouse finds the top window at its point: keep the two apart.
    window->move(0, 300);
    box()->move(0, 0);
    box()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box()));
    EXPECT_EQ(contactColour(), QColor(Qt::black));
    QTest::mouseMove(box()->l2, QPoint(5, 5));
    QApplication::processEvents();
    EXPECT_EQ(contactColour(), QColor(0, 0, 255));
    QTest::mouseMove(box(), QPoint(250, 120));
    QApplication::processEvents();
    EXPECT_EQ(contactColour(), QColor(Qt::black));
    // Over the panel beside the line.
    QTest::mouseMove(box()->Panel3, QPoint(3, 3));
    QApplication::processEvents();
    EXPECT_EQ(contactColour(), QColor(0, 0, 255));
    box()->hide();
}

TEST_F(AboutTest, ContactLineStartsTheMailProgramFoundOffTheGuiThread) {
    window->move(0, 300);
    box()->move(0, 0);
    box()->show();
    QApplication::processEvents();
    const QString url = QStringLiteral("mailto:") + QString::fromLatin1(zorv::kContactAddress);
    // Nothing registered: the box says so and the address is on the clipboard.
    zorv::setClipboardText("before");
    QTest::mouseClick(box()->l2, Qt::LeftButton);
    ASSERT_TRUE(eventually([&] { return !box()->lookingUp(); }));
    EXPECT_TRUE(platform.started.empty());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(platform.messages[0].text.startsWith("No mail program is set up"));
    EXPECT_EQ(zorv::clipboardText(), std::string(zorv::kContactAddress));

    // A handler whose command carries the name and icon codes.
    platform.mailHandlerValue =
        zorv::MailHandler{"mailer %i --title %c --compose %u", "Mailer", "mail-app", "/x.desktop"};
    QTest::mouseClick(box()->l2, Qt::LeftButton);
    ASSERT_TRUE(eventually([&] { return platform.started.size() == 1u; }))
        << platform.started.size() << " programs started";
    EXPECT_EQ(platform.started[0].program, "mailer");
    EXPECT_EQ(platform.started[0].arguments,
              (QStringList{"--icon", "mail-app", "--title", "Mailer", "--compose", url}));
    EXPECT_EQ(platform.messages.size(), 1u);

    // A right click is no click on the line.
    QTest::mouseClick(box()->l2, Qt::RightButton);
    QApplication::processEvents();
    EXPECT_FALSE(box()->lookingUp());
    EXPECT_EQ(platform.started.size(), 1u);
    box()->hide();
}

} // namespace
