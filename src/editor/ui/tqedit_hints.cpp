// Field hints: one line of help in the status bar when the mouse moves over a
// control or a control takes the focus; the containers empty it again.
#include "editor/ui/tqedit.h"

#include "editor/hints.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>

namespace zorv {

namespace {

class HintFilter : public QObject {
  public:
    HintFilter(QStatusBar* bar, QObject* parent) : QObject(parent), bar_(bar) {}

    void add(QWidget* w, const FieldHint& h) {
        hints_.insert(w, &h);
        w->installEventFilter(this);
        // Only widgets that track the mouse get moves without a pressed button.
        // Labels and drop-downs stay untracked, so moving over them changes nothing.
        if (h.event != HintEvent::Focus)
            w->setMouseTracking(true);
    }
    // The page control's tab row counts as the page control.
    void addAlias(QWidget* w, const FieldHint& h) { add(w, h); }

    bool eventFilter(QObject* o, QEvent* e) override {
        const auto it = hints_.constFind(static_cast<QWidget*>(o));
        if (it == hints_.constEnd())
            return false;
        auto* w = static_cast<QWidget*>(o);
        const FieldHint& h = **it;
        switch (e->type()) {
        case QEvent::MouseMove: {
            if (h.event == HintEvent::Focus)
                break;
            // A disabled control takes no mouse input: the move belongs to the
            // container beneath it (disabled buttons swallow it, so say so here).
            if (!w->isEnabled()) {
                moveOverContainerOf(w);
                break;
            }
            auto* me = static_cast<QMouseEvent*>(e);
            if (h.event == HintEvent::Clear) {
                // A move that a control let through to its container is the
                // control's, not the container's.
                if (QWidget* child = w->childAt(me->position().toPoint());
                    child && !isPartOf(child, w))
                    break;
                bar_->clearMessage();
            } else {
                bar_->showMessage(QString::fromLatin1(h.status));
            }
            if (me->buttons() == Qt::NoButton)
                return true; // a tracking-only move: nothing else wants it
            break;
        }
        case QEvent::FocusIn: {
            // The keyboard's place tells as much as the mouse's: a sysop
            // typing in one field must not read another's text.
            if (h.event == HintEvent::Clear)
                break;
            // Getting the window or a menu back is no new entry into the control.
            const auto reason = static_cast<QFocusEvent*>(e)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                bar_->showMessage(QString::fromLatin1(h.status));
            break;
        }
        default:
            break;
        }
        return false;
    }

  private:
    void moveOverContainerOf(QWidget* w) {
        for (QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
            const auto it = hints_.constFind(p);
            if (it == hints_.constEnd())
                continue;
            if ((*it)->event == HintEvent::Clear)
                bar_->clearMessage();
            return;
        }
    }

    // Whether a point over `child` counts as the container's own: the tab row
    // of the page control, and disabled controls, which take no mouse input.
    static bool isPartOf(QWidget* child, QWidget* container) {
        auto* tabs = qobject_cast<QTabWidget*>(container);
        if (tabs && (child == tabs->tabBar() || tabs->tabBar()->isAncestorOf(child)))
            return true;
        for (QWidget* p = child; p && p != container; p = p->parentWidget())
            if (!p->isEnabled())
                return true;
        return false;
    }

    QStatusBar* bar_;
    QHash<QWidget*, const FieldHint*> hints_;
};

} // namespace

void Tqedit::installFieldHints() {
    auto* filter = new HintFilter(sb, this);
    for (const FieldHint& h : fieldHints()) {
        QWidget* w = objectName() == QLatin1String(h.control)
                         ? this
                         : findChild<QWidget*>(QString::fromLatin1(h.control));
        if (!w)
            continue;
        filter->add(w, h);
        if (auto* tabs = qobject_cast<QTabWidget*>(w))
            filter->addAlias(tabs->tabBar(), h);
        if (h.toolTip)
            w->setToolTip(QString::fromLatin1(h.toolTip));
    }
}

} // namespace zorv
