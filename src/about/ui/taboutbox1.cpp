#include "about/ui/taboutbox1.h"

#include "about/mailcommand.h"
#include "platform/clipboard.h"
#include "platform/guard.h"
#include "platform/linklabel.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QThread>
#include <QTimer>

#include <memory>

namespace zorv {

namespace {

QFont pixelFont(const QFont& base, int pixels) {
    QFont f = base;
    f.setPixelSize(pixels);
    return f;
}

// A font no larger than `pixels` in which `text` fits `width`.
QFont fittingFont(const QFont& base, int pixels, const QString& text, int width) {
    QFont f = pixelFont(base, pixels);
    while (pixels > 8 && QFontMetrics(f).horizontalAdvance(text) > width)
        f = pixelFont(base, --pixels);
    return f;
}

QFrame* panel(QWidget* parent, const char* name, const QRect& r) {
    auto* p = new QFrame(parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Raised);
    p->setLineWidth(1);
    p->setAutoFillBackground(true);
    p->setGeometry(r);
    return p;
}

} // namespace

Taboutbox1::Taboutbox1(Platform& platform, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      platform_(platform) {
    setObjectName(QStringLiteral("aboutbox1"));
    setWindowTitle(QStringLiteral("About"));
    setFont(pixelFont(font(), 11));
    setFixedSize(314, 222);
    setMouseTracking(true);

    Panel1 = panel(this, "Panel1", QRect(8, 8, 145, 17));
    Label7 = new QLabel(QStringLiteral("ZORV usereditor v1.8"), Panel1);
    Label7->setObjectName(QStringLiteral("Label7"));
    Label7->setAlignment(Qt::AlignCenter);
    Label7->setFont(fittingFont(font(), 13, Label7->text(), 145 - 4));
    Label7->setGeometry(1, 1, 143, 15);

    Label1 = new QLabel(QStringLiteral("Written for ZORV BBS sysops"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label1->setGeometry(161, 8, 145, 17);
    Label1->setFont(fittingFont(font(), 11, Label1->text(), 145));
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);

    Panel3 = panel(this, "Panel3", QRect(8, 160, 297, 25));
    Panel3->setMouseTracking(true);
    l2 = new LinkLabel(QStringLiteral("To Contact :   ") + QString::fromLatin1(kContactAddress),
                       Panel3);
    l2->setObjectName(QStringLiteral("l2"));
    l2->setTextFormat(Qt::PlainText);
    l2->setMouseTracking(true);
    l2->setCursor(Qt::DragMoveCursor);
    // The line keeps its place in the panel; the font gives way if the
    // desktop's letters are wider than the design's.
    l2->setFont(fittingFont(font(), 16, l2->text(), 297 - 21 - 4));
    l2->setGeometry(21, 2, 297 - 21 - 4, 20);
    setContactColour(Qt::black);
    l2->setAccessibleName(QStringLiteral("Write to the author"));
    l2->setAccessibleDescription(QString::fromLatin1(kContactAddress));
    connect(l2, &LinkLabel::activated, this, [this] { guarded(platform_, [this] { l2Click(); }); });

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(8, 192, 297, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    setTabOrder(Button1, l2);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kFrameInterval);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this,
            [this] { guarded(platform_, [this] { Timer1Timer(); }); });

    l2->installEventFilter(this);
    Panel3->installEventFilter(this);
}

void Taboutbox1::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormActivate();
}

void Taboutbox1::hideEvent(QHideEvent* e) {
    QDialog::hideEvent(e);
    if (!e->spontaneous())
        Timer1->stop();
}

void Taboutbox1::FormActivate() {
    cube_.reset();
    setContactColour(Qt::black);
    // OK first, so that Enter closes the box rather than starting a mail.
    Button1->setFocus(Qt::OtherFocusReason);
    update();
    Timer1->start();
}

QRect Taboutbox1::eraseSquare() const {
    const int h = CubeAnimation::kEraseHalf;
    return QRect(QPoint(cube_.cx() - h, cube_.cy() - h), QPoint(cube_.cx() + h, cube_.cy() + h));
}

void Taboutbox1::Timer1Timer() {
    const QRect before = eraseSquare();
    const QSize outer = frameGeometry().size();
    cube_.step(outer.width(), outer.height());
    update(before.united(eraseSquare()).adjusted(-1, -1, 1, 1));
}

void Taboutbox1::paintEvent(QPaintEvent*) {
    if (cube_.frames() == 0)
        return;
    QPainter p(this);
    // The window's own background: the square must not show in any palette.
    p.fillRect(eraseSquare(), palette().color(backgroundRole()));
    p.setPen(QPen(QColor(128, 0, 128), 1));
    for (int i = 0; i < CubeAnimation::kEdgeCount; ++i) {
        const CubePoint a = cube_.edgeStart(i);
        const CubePoint b = cube_.edgeEnd(i);
        p.drawLine(a.x, a.y, b.x, b.y);
    }
}

void Taboutbox1::setContactColour(const QColor& c) {
    QPalette pal = l2->palette();
    if (pal.color(QPalette::WindowText) == c)
        return;
    pal.setColor(QPalette::WindowText, c);
    l2->setPalette(pal);
}

bool Taboutbox1::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::MouseMove && (o == l2 || o == Panel3)) {
        setContactColour(QColor(0, 0, 255));
        // The move is theirs; passed on, the background would take it too.
        e->accept();
        return true;
    }
    if (o == l2 && e->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::LeftButton && l2->rect().contains(me->position().toPoint()))
            guarded(platform_, [this] { l2Click(); });
    }
    return QDialog::eventFilter(o, e);
}

void Taboutbox1::mouseMoveEvent(QMouseEvent* e) {
    setContactColour(Qt::black);
    QDialog::mouseMoveEvent(e);
}

void Taboutbox1::l2Click() {
    if (lookingUp_)
        return; // one look-up at a time; the click before is still on its way
    lookingUp_ = true;
    l2->setCursor(Qt::BusyCursor);
    // Finding the handler runs programs and reads files: never on the GUI thread.
    auto result = std::make_shared<std::optional<MailHandler>>();
    Platform* platform = &platform_;
    QThread* worker = QThread::create([platform, result] {
        try {
            *result = platform->mailHandler();
        } catch (...) {
            result->reset(); // no handler we can use
        }
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &QThread::finished, this, [this, result] {
        lookingUp_ = false;
        l2->setCursor(Qt::DragMoveCursor);
        guarded(platform_, [this, result] { startMailProgram(*result); });
    });
    worker->start();
}

void Taboutbox1::startMailProgram(const std::optional<MailHandler>& handler) {
    std::vector<std::string> args;
    if (handler) {
#ifdef _WIN32
        const MailCommand cmd = splitMailCommand(handler->exec);
        if (!cmd.program.empty())
            args = {cmd.program, mailParameters(cmd, kContactAddress, false)};
#else
        args = mailArguments(*handler, std::string("mailto:") + kContactAddress);
#endif
    }
    if (args.empty() || args.front().empty()) {
        // Said, not swallowed: the operator can still write with the address.
        setClipboardText(kContactAddress);
        platform_.message(this, QStringLiteral("About"),
                          QStringLiteral("No mail program is set up on this computer.\n"
                                         "The address %1 is on the clipboard.")
                              .arg(QString::fromLatin1(kContactAddress)),
                          MessageIcon::Information);
        return;
    }
    QStringList arguments;
    for (std::size_t i = 1; i < args.size(); ++i)
        arguments << QString::fromStdString(args[i]);
    platform_.startProgram(parentWidget(), QString::fromStdString(args.front()), arguments);
}

} // namespace zorv
