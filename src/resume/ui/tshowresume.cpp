#include "resume/ui/tshowresume.h"

#include "platform/accessible.h"
#include "platform/enterkey.h"
#include "platform/guard.h"
#include "resume/conference.h"
#include "resume/oemtext.h"
#include "settings/steps.h"
#include "userfile/codepage.h"
#include "userfile/record.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace zorv {

namespace {

// The window was designed at 457 x 306 outer pixels around a 449 x 279 client
// area; its layout rules are kept in client terms so that they hold whatever
// frame this desktop draws.
constexpr int kDesignFrameWidth = 8;
constexpr int kDesignFrameHeight = 27;
constexpr int kDesignWidth = 457;
constexpr int kDesignHeight = 306;

} // namespace

Tshowresume::Tshowresume(const EditSession& session, Platform& platform, RegistryKey& settings,
                         FileDialog& fileopen, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      session_(session), platform_(platform), settings_(settings), fileopen_(fileopen) {
    setObjectName(QStringLiteral("showresume"));
    setWindowTitle(QStringLiteral("Resume"));
    setSizeGripEnabled(false);
    installAccessibleNames();

    lab1 = new QLabel(this);
    lab1->setObjectName(QStringLiteral("lab1"));
    lab1->setTextFormat(Qt::PlainText);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setAccessibleName(QStringLiteral("Resume"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Memo1->setTabStopDistance(8 * Memo1->fontMetrics().horizontalAdvance(QLatin1Char(' ')));

    Button1 = new QPushButton(QStringLiteral("Close"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    enterPressesWhenFocused(Button1); // no default button: Enter in the memo is the memo's
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    // Design pixels grow with this desktop's fonts, as the main window's do.
    const QFontMetrics fm(font());
    scale_ = std::clamp(std::max({1.0, double(fm.height() + 8) / 24.0,
                                  double(fm.horizontalAdvance(Button1->text()) + 12) / 105.0}),
                        1.0, 3.0);
    setMinimumSize(s(160), s(120));
    resize(s(kDesignWidth - kDesignFrameWidth), s(kDesignHeight - kDesignFrameHeight));
    move(s(281), s(163));
    FormResize();

    guarded(platform_, [this] { FormCreate(); });
}

int Tshowresume::s(int v) const {
    return static_cast<int>(std::lround(v * scale_));
}

QSize Tshowresume::outerSize() const {
    return frameGeometry().size();
}

void Tshowresume::FormCreate() {
    QSize outer = outerSize();
    QPoint pos = this->pos();
    const bool restored =
        restoreWindowBounds(settings_, BoundsWindow::Resume, [&](Edge e, std::int32_t v) {
            switch (e) {
            case Edge::Top:
                pos.setY(v);
                move(pos);
                break;
            case Edge::Left:
                pos.setX(v);
                move(pos);
                break;
            case Edge::Width:
                outer.setWidth(v);
                applyOuterSize(outer);
                break;
            case Edge::Height:
                outer.setHeight(v);
                applyOuterSize(outer);
                break;
            }
        });
    if (restored)
        pendingOuter_ = outer;
}

// The stored size is the outer one; until the window is shown its frame is
// not known, so the size is applied again then.
void Tshowresume::applyOuterSize(QSize outer) {
    const QSize frame = frameGeometry().size() - size();
    resize(std::max(outer.width() - frame.width(), minimumWidth()),
           std::max(outer.height() - frame.height(), minimumHeight()));
}

void Tshowresume::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous())
        return;
    if (pendingOuter_.isValid()) {
        applyOuterSize(pendingOuter_);
        const QSize outer = pendingOuter_;
        // Some desktops report the frame only once the window is mapped.
        QTimer::singleShot(0, this, [this, outer] {
            if (frameGeometry().size() != size())
                applyOuterSize(outer);
        });
        pendingOuter_ = QSize();
    }
    QTimer::singleShot(0, this, [this] {
        if (isVisible())
            guarded(platform_, [this] { FormActivate(); });
    });
}

void Tshowresume::FormActivate() {
    ++activations_;
    const ResumeConference rc =
        resumeConferenceOnActivate(settings_, [this]() -> std::optional<std::string> {
            fileopen_.fileName = QStringLiteral("*.hdr");
            fileopen_.filter = QString::fromLatin1(kConferenceFilter);
            fileopen_.filterIndex = 1;
            fileopen_.initialDir = fromPath(directoryPart(session_.userFileName()));
            fileopen_.title = QString::fromLatin1(kConferenceDialogTitle);
            const bool picked = platform_.openFile(this, fileopen_);
            fileopen_.title.clear();
            if (!picked || fileopen_.fileName.isEmpty())
                return std::nullopt;
            return toPath(fileopen_.fileName);
        });
    if (rc.source == ResumeConference::Source::Cancelled)
        return; // the window keeps what it showed
    if (rc.source != ResumeConference::Source::KeyMissing)
        confBase = rc.base;

    // The old heading goes with the old lines: a failed reading must not leave
    // another user's heading above an empty memo.
    Memo1->clear();
    setHeading(QString());

    const auto number = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(readNumber(session_.record(), kResume)));
    const std::optional<Message> m = readMessage(confBase, number);
    if (!m) {
        platform_.message(this, QStringLiteral("Error"), QStringLiteral("Resume not found!"),
                          MessageIcon::Stop);
        return;
    }
    // Converted as the lines are: every cp865 letter, not the six Nordic ones alone.
    setHeading(QString::fromStdString(oemLineToUtf8(m->headingOem)));
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(m->lines.size()));
    for (const std::string& line : m->lines)
        lines << QString::fromStdString(oemLineToUtf8(line));
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    Memo1->verticalScrollBar()->setValue(0);
}

void Tshowresume::setHeading(const QString& text) {
    heading_ = text;
    const QString shown = lab1->fontMetrics().elidedText(text, Qt::ElideRight, lab1->width());
    lab1->setText(shown);
    lab1->setToolTip(shown == text ? QString() : text);
}

void Tshowresume::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    FormResize();
}

void Tshowresume::FormResize() {
    const int w = width();
    const int h = height();
    const int left = s(8);
    lab1->setGeometry(left, s(8), std::max(0, w - 2 * left), s(32) - s(8) - s(2));
    Memo1->setGeometry(left, s(32), std::max(0, w - s(30 - kDesignFrameWidth)),
                       std::max(0, h - s(100 - kDesignFrameHeight)));
    Button1->setGeometry(left, h - s(60 - kDesignFrameHeight), s(105), s(25));
    setHeading(heading_);
}

void Tshowresume::done(int result) {
    // Every way of closing comes through here (Qt sends no close event for
    // accept and reject).
    guarded(platform_, [this] { FormClose(); });
    QDialog::done(result);
}

void Tshowresume::FormClose() {
    const QRect g = frameGeometry();
    saveWindowBounds(settings_, BoundsWindow::Resume, {g.top(), g.left(), g.width(), g.height()});
}

} // namespace zorv
