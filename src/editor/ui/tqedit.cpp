#include "editor/ui/tqedit.h"

#include "components/ui/styledhint.h"
#include "editor/totals.h"
#include "platform/accessible.h"
#include "platform/editmenu.h"
#include "platform/guard.h"
#include "platform/menukey.h"
#include "platform/shortcuts.h"
#include "reports/ui/tstatform.h"
#include "reports/ui/tuserlist.h"
#include "settings/steps.h"
#include "userfile/calltime.h"
#include "userfile/codepage.h"
#include "userfile/codetables.h"
#include "userfile/errors.h"
#include "userfile/fields.h"
#include "userfile/journalfile.h"
#include "userfile/leftovers.h"
#include "userfile/numtext.h"
#include "userfile/rollback.h"
#include "userfile/savefile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QValidator>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace zorv {

namespace {

const char* const kUserFileFilter =
    "ZORV user records (zorvuser.dat)|zorvuser.dat|.dat files |*.dat|All files (*.*)|*.*";

QString fromAnsi(const std::string& cp1252) {
    return QString::fromStdString(cp1252ToUtf8(cp1252));
}

std::string toAnsi(const QString& text) {
    return utf8ToCp1252(text.toStdString());
}

std::int32_t numberOf(const QLineEdit* e) {
    return parseInteger(e->text().toStdString());
}

} // namespace

// A control's place in the design grid of 96-DPI pixels; applyLayout() scales
// the grid so that the fonts of this desktop fit.
struct Tqedit::Place {
    QWidget* w;
    int x, y, width, height;
    QString text;   // what must fit (labels, buttons, check boxes, group titles)
    int chrome = 0; // room the control needs besides its text
};

Tqedit::Tqedit(EditSession& session, Platform& platform, RegistryKey& settings, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      session_(session), platform_(platform), settings_(settings), prompts_(platform, this) {
    setObjectName(QStringLiteral("qedit"));
    updateCaption();
    fileopen.filter = QString::fromLatin1(kUserFileFilter);
    fileopen.defaultExt = QStringLiteral("dat");
    StyledHint1 = new TStyledHint(this);
    installAccessibleNames();
    routeShiftF10ToContextMenu();

    buildControls();
    buildForm();
    buildMenus();
    applyLayout();
    setTabOrder();
    connectHandlers();
    installFieldHints();
    run([this] { FormCreate(); });
}

Tqedit::~Tqedit() = default;

template <class F> void Tqedit::run(F&& f) {
    ++handlerDepth_;
    guarded(platform_, this, std::forward<F>(f));
    --handlerDepth_;
    updateCaption();
}

void Tqedit::applyLiveGuarded(const LiveCompare& result) {
    run([this, &result] { applyLive(result); });
}

// The caption, then the user file and the desktop's mark for changes that
// Save File has not copied back yet.
void Tqedit::updateCaption() {
    QString title = QStringLiteral("ZORV User editor  -  written for ZORV BBS sysops");
    if (!session_.userFileName().empty())
        title += QStringLiteral("  -  ") + QFileInfo(fromPath(session_.userFileName())).fileName() +
                 QStringLiteral("[*]");
    setWindowTitle(title);
    if (title.endsWith(QLatin1String("[*]")))
        setWindowModified(session_.changed());
}

// ---------------------------------------------------------------- controls

namespace {

template <class W> W* make(QWidget* parent, const char* name) {
    auto* w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLineEdit* edit(QWidget* parent, const char* name, int maxLength = 0) {
    auto* e = make<QLineEdit>(parent, name);
    if (maxLength > 0)
        e->setMaxLength(maxLength);
    return e;
}

// Tlf and birth hold 18 bytes, of which typing fills at most 17: a stored text
// of 18 shows whole and may only get shorter (the field's maximum length is set
// to the shown text's, so that a paste is cut to fit rather than refused).
class TypingLimit : public QValidator {
  public:
    TypingLimit(int typed, QObject* parent) : QValidator(parent), typed_(typed) {}
    void show(QLineEdit* e, const QString& text) const {
        shown_ = text;
        e->setMaxLength(std::max(typed_, static_cast<int>(text.size())));
        e->setText(text);
    }
    State validate(QString& input, int&) const override {
        return input.size() <= typed_ || input == shown_ ? Acceptable : Invalid;
    }

  private:
    int typed_;
    mutable QString shown_; // set with the text, never by typing
};

void showLimited(QLineEdit* e, const QString& text) {
    if (auto* limit = dynamic_cast<const TypingLimit*>(e->validator()))
        limit->show(e, text);
    else
        e->setText(text);
}

class ArrowKeysForward : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() != QEvent::KeyPress)
            return false;
        auto* slider = static_cast<QSlider*>(o);
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key != Qt::Key_Left && key != Qt::Key_Right)
            return false;
        slider->triggerAction(key == Qt::Key_Right ? QAbstractSlider::SliderSingleStepAdd
                                                   : QAbstractSlider::SliderSingleStepSub);
        return true;
    }
};

// Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDn and Ctrl+PgUp turn the pages from any
// control of the window; Qt's page control takes them only from inside it, and
// the track bar would page the users with Ctrl+PgDn.
class PageKeys : public QObject {
  public:
    PageKeys(QWidget* window, QTabWidget* pages) : QObject(window), window_(window), pages_(pages) {
        qApp->installEventFilter(this);
    }
    ~PageKeys() override {
        if (qApp)
            qApp->removeEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::ShortcutOverride)
            return false;
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || w->window() != window_ || !window_->isEnabled())
            return false;
        const int step = stepOf(static_cast<QKeyEvent*>(e));
        if (step == 0 || pages_->count() == 0)
            return false;
        e->accept();
        if (e->type() == QEvent::KeyPress)
            turn(step);
        return true;
    }

  private:
    static int stepOf(const QKeyEvent* ke) {
        const Qt::KeyboardModifiers mods = ke->modifiers() & ~Qt::KeypadModifier;
        switch (ke->key()) {
        case Qt::Key_Tab:
            return mods == Qt::ControlModifier                         ? 1
                   : mods == (Qt::ControlModifier | Qt::ShiftModifier) ? -1
                                                                       : 0;
        case Qt::Key_Backtab:
            return mods == (Qt::ControlModifier | Qt::ShiftModifier) ? -1 : 0;
        case Qt::Key_PageDown:
            return mods == Qt::ControlModifier ? 1 : 0;
        case Qt::Key_PageUp:
            return mods == Qt::ControlModifier ? -1 : 0;
        default:
            return 0;
        }
    }
    void turn(int step) {
        QWidget* old = pages_->currentWidget();
        QWidget* focus = QApplication::focusWidget();
        const bool inPage = focus && old && old->isAncestorOf(focus);
        const int n = pages_->count();
        pages_->setCurrentIndex((pages_->currentIndex() + step + n) % n);
        if (!inPage)
            return; // the focus stays where the operator was typing
        // From a control of the old page to the first of the new one.
        QWidget* page = pages_->currentWidget();
        for (QWidget* w = pages_->nextInFocusChain(); w && w != pages_; w = w->nextInFocusChain()) {
            if (page->isAncestorOf(w) && w->isVisibleTo(window_) && w->isEnabled() &&
                (w->focusPolicy() & Qt::TabFocus)) {
                w->setFocus(Qt::TabFocusReason);
                return;
            }
        }
        pages_->tabBar()->setFocus(Qt::TabFocusReason);
    }

    QWidget* window_;
    QTabWidget* pages_;
};

// Save User stores every list, so a wheel turned over a list on the way
// elsewhere must not change a code: only the focused list takes the wheel.
class FocusedWheelOnly : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* o, QEvent* e) override {
        return e->type() == QEvent::Wheel && !static_cast<QWidget*>(o)->hasFocus();
    }
};

QComboBox* dropDown(QWidget* parent, const char* name) {
    auto* c = make<QComboBox>(parent, name);
    c->setEditable(false);
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setFocusPolicy(Qt::StrongFocus); // the wheel gives no focus either
    return c;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const char* caption) {
    auto* c = make<QCheckBox>(parent, name);
    c->setText(QString::fromLatin1(caption));
    return c;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption) {
    auto* b = make<QPushButton>(parent, name);
    b->setText(QString::fromLatin1(caption));
    b->setAutoDefault(false);
    return b;
}

QWidget* page(QTabWidget* tabs, const char* name, const char* caption) {
    auto* p = new QWidget;
    p->setObjectName(QString::fromLatin1(name));
    tabs->addTab(p, QString::fromLatin1(caption));
    return p;
}

} // namespace

QLabel* Tqedit::label(QWidget* parent, const char* caption, QWidget* buddy) {
    auto* l = new QLabel(QString::fromLatin1(caption), parent);
    l->setBuddy(buddy);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    nameBuddy(l);
    return l;
}

void Tqedit::buildControls() {
    QWidget* top = this;
    Name = edit(top, "Name", 30);
    address = edit(top, "address", 30);
    postnr = edit(top, "postnr", 30);
    Tlf = edit(top, "Tlf", 17);
    birth = edit(top, "birth", 17);
    Tlf->setValidator(new TypingLimit(17, Tlf));
    birth->setValidator(new TypingLimit(17, birth));
    for (QLineEdit* e : {Name, address, postnr, Tlf, birth}) {
        QFont f = e->font();
        f.setBold(true);
        e->setFont(f);
    }
    status = dropDown(top, "status");
    bar = make<QSlider>(top, "bar");
    bar->setOrientation(Qt::Horizontal);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setTickInterval(1);
    bar->setSingleStep(1);
    bar->setPageStep(2);
    // PageDown, Down, Right and the wheel turned towards the operator go to
    // higher user numbers, as on the track bars sysops know. Qt's inverted
    // controls turn Left and Right round as well: those are put back.
    bar->setInvertedControls(true);
    bar->installEventFilter(new ArrowKeysForward(bar));
    bar->setRange(0, 0);
    bar->setFocusPolicy(Qt::StrongFocus);
    poss = make<QLabel>(top, "poss");
    poss->setText(QStringLiteral("position"));
    poss->setAlignment(Qt::AlignCenter);
    {
        QPalette p = poss->palette();
        p.setColor(QPalette::WindowText, Qt::red);
        poss->setPalette(p);
    }
    save = button(top, "save", "&Save User");
    exit_ = button(top, "exit", "E&xit");
    prev = button(top, "prev", "<---");
    next = button(top, "next", "--->");
    listbt = button(top, "listbt", "&List");
    statbt = button(top, "statbt", "St&ats");
    about = button(top, "about", "Ab&out");
    savefilebt = button(top, "savefilebt", "Sa&ve File");
    fname1 = edit(top, "fname1");
    fname1->setReadOnly(true);
    open_ = make<QToolButton>(top, "open");
    open_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    open_->setAutoRaise(true);
    PageControl1 = make<QTabWidget>(top, "PageControl1");
    sb = make<QStatusBar>(top, "sb");
    sb->setSizeGripEnabled(false);
    livefield = make<QLabel>(sb, "livefield");
    livefield->setContentsMargins(0, 0, 6, 0);
    noteTimer_ = new QTimer(this);
    noteTimer_->setObjectName(QStringLiteral("notetimer"));
    noteTimer_->setSingleShot(true);
    connect(noteTimer_, &QTimer::timeout, this, [this] { noteTimeout(); });
    sb->addPermanentWidget(livefield);
    livefield->hide();
    // A save waiting for another writing run says so; the wait blocks the
    // event loop, so the note is painted at once.
    prompts_.onStatus = [this](const std::string& text) {
        if (text.empty())
            sb->clearMessage();
        else
            sb->showMessage(QString::fromStdString(text));
        sb->repaint();
    };

    topLabels_ = {label(top, "User &name:", Name),      label(top, "St&reet address:", address),
                  label(top, "Cit&y/state:", postnr),   label(top, "Tele&phone number:", Tlf),
                  label(top, "Dat&e of birth:", birth), label(top, "Stat&us:", status),
                  label(top, "User file:", fname1)};

    // General
    General = page(PageControl1, "General", "&General");
    ttype = dropDown(General, "ttype");
    pagel = edit(General, "pagel");
    charset = dropDown(General, "charset");
    editor = dropDown(General, "editor");
    menulev = dropDown(General, "menulev");
    lang = dropDown(General, "lang");
    readmode = dropDown(General, "readmode");
    grab = dropDown(General, "grab");
    prot = dropDown(General, "prot");
    packing = dropDown(General, "packing");
    nodeflt = edit(General, "nodeflt");
    Colors = checkBox(General, "Colors", "Colors");
    Confst = checkBox(General, "Confst", "Conf status at login");
    Aquote = checkBox(General, "Aquote", "Auto &Quote");
    return_ = checkBox(General, "return", "Return &with enter-key");
    autoft = checkBox(General, "autoft", "Auto file transfer");
    Silent = checkBox(General, "Silent", "Silent mode");
    Review = checkBox(General, "Review", "Review own msgs");
    flash = checkBox(General, "flash", "Flash own name");
    vt100 = checkBox(General, "vt100", "VT&100 key emulation");

    // Statistics
    Statistics = page(PageControl1, "Statistics", "S&tatistics");
    sysop = edit(Statistics, "sysop");
    access = dropDown(Statistics, "access");
    limit = edit(Statistics, "limit");
    msgleft = edit(Statistics, "msgleft");
    msgread = edit(Statistics, "msgread");
    msgdumped = edit(Statistics, "msgdumped");
    logins = edit(Statistics, "logins");
    resume = edit(Statistics, "resume");
    resume->setReadOnly(true);
    timebank = edit(Statistics, "timebank");
    timelimit = edit(Statistics, "timelimit");
    tleft = edit(Statistics, "tleft");
    upf = edit(Statistics, "upf");
    downf = edit(Statistics, "downf");
    kbup = edit(Statistics, "kbup");
    kbdown = edit(Statistics, "kbdown");

    // Misc
    TabSheet1 = page(PageControl1, "TabSheet1", "&Misc");
    lastcall = edit(TabSheet1, "lastcall");
    firstcall = edit(TabSheet1, "firstcall");
    daysl = edit(TabSheet1, "daysl");
    daysf = edit(TabSheet1, "daysf");
    for (QLineEdit* e : {lastcall, firstcall, daysl, daysf})
        e->setReadOnly(true);
    GroupBox1 = make<QGroupBox>(TabSheet1, "GroupBox1");
    GroupBox1->setTitle(QStringLiteral("Editor options"));
    Insertck = checkBox(GroupBox1, "Insertck", "&Insert mode");
    indentck = checkBox(GroupBox1, "indentck", "Indent mode");
    xydispck = checkBox(GroupBox1, "xydispck", "XY display");
    Panel1 = make<QFrame>(TabSheet1, "Panel1");
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFrameShadow(QFrame::Raised);
    resume1 = edit(Panel1, "resume1");
    resumebt = button(Panel1, "resumebt", "Read resume");
    changeresbt = button(Panel1, "changeresbt", "&Change  resume conference");

    // Find
    findtab = page(PageControl1, "findtab", "Fin&d");
    findstr = edit(findtab, "findstr", 30);
    findbtn = button(findtab, "findbtn", "&Find");
    FindNextbt = button(findtab, "FindNextbt", "F&ind next");
    GB1 = make<QGroupBox>(findtab, "GB1");
    GB1->setTitle(QStringLiteral("Loo&k where?"));
    namecb = checkBox(GB1, "namecb", "Name");
    addresscb = checkBox(GB1, "addresscb", "Address");
    citycb = checkBox(GB1, "citycb", "&City/state");
    phonecb = checkBox(GB1, "phonecb", "P&hone");
    birthcb = checkBox(GB1, "birthcb", "Birth");
    limitcb = checkBox(GB1, "limitcb", "Limit");
    statcb = dropDown(GB1, "statcb");

    // BBS Statistics
    TabSheet2 = page(PageControl1, "TabSheet2", "&BBS Statistics");
    tuser = edit(TabSheet2, "tuser");
    tlogins = edit(TabSheet2, "tlogins");
    tres = edit(TabSheet2, "tres");
    twmsg = edit(TabSheet2, "twmsg");
    trmsg = edit(TabSheet2, "trmsg");
    tdmsg = edit(TabSheet2, "tdmsg");
    tfup = edit(TabSheet2, "tfup");
    tfdown = edit(TabSheet2, "tfdown");
    tbup = edit(TabSheet2, "tbup");
    tbdown = edit(TabSheet2, "tbdown");

    resumebt->setEnabled(false);

    // What a screen reader says where a caption is a picture, an arrow or
    // another field's word; labelled fields take their label's words.
    prev->setAccessibleName(QStringLiteral("Previous user"));
    next->setAccessibleName(QStringLiteral("Next user"));
    bar->setAccessibleName(QStringLiteral("User number"));
    open_->setAccessibleName(QStringLiteral("Open user file"));
    sysop->setAccessibleName(QStringLiteral("Sysop level"));
    findstr->setAccessibleName(QStringLiteral("Search text"));
    statcb->setAccessibleName(QStringLiteral("Status to look for"));
    resume1->setAccessibleName(QStringLiteral("Resume number"));
    // The page control takes the focus for its tabs; its tab list Qt names
    // by the raised page.
    PageControl1->setAccessibleName(QStringLiteral("User details"));

    auto* wheelFilter = new FocusedWheelOnly(this);
    for (QComboBox* c : findChildren<QComboBox*>())
        c->installEventFilter(wheelFilter);
    // Ctrl+V, Ctrl+X and Ctrl+A are the window's: the fields' menus name the
    // keys that edit.
    for (QLineEdit* e : findChildren<QLineEdit*>())
        useEditMenu(e);
}

void Tqedit::buildMenus() {
    auto entry = [this](QMenu* menu, const char* name, const char* caption, QKeySequence key) {
        auto* a = new QAction(QString::fromLatin1(caption), this);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(key);
        // The dispatcher decides what a key means; Qt's map only sees it while
        // the menu itself is open.
        a->setShortcutContext(Qt::WidgetShortcut);
        a->setShortcutVisibleInContextMenu(true);
        menu->addAction(a);
        return a;
    };
    mainpop = make<QMenu>(this, "mainpop");
    Save1 = entry(mainpop, "Save1", "Save", QKeySequence(Qt::CTRL | Qt::Key_S));
    Saveuserfile1 =
        entry(mainpop, "Saveuserfile1", "Save File", QKeySequence(Qt::CTRL | Qt::Key_V));
    Exit1 = entry(mainpop, "Exit1", "Exit", QKeySequence(Qt::CTRL | Qt::Key_X));
    Next1 = entry(mainpop, "Next1", "Next", QKeySequence(Qt::CTRL | Qt::Key_N));
    Previous1 = entry(mainpop, "Previous1", "Previous", QKeySequence(Qt::CTRL | Qt::Key_P));
    Find1 = entry(mainpop, "Find1", "Find", QKeySequence(Qt::CTRL | Qt::Key_F));
    stats1 = entry(mainpop, "stats1", "Statistics", QKeySequence(Qt::CTRL | Qt::Key_T));
    List1 = entry(mainpop, "List1", "List", QKeySequence(Qt::CTRL | Qt::Key_L));
    About1 = entry(mainpop, "About1", "About", QKeySequence(Qt::CTRL | Qt::Key_A));

    barmenu = make<QMenu>(bar, "barmenu");
    First1 = entry(barmenu, "First1", "First", QKeySequence(Qt::CTRL | Qt::Key_F));
    Last1 = entry(barmenu, "Last1", "Last", QKeySequence(Qt::CTRL | Qt::Key_L));
    Goto1 = entry(barmenu, "Goto1", "Goto", QKeySequence(Qt::CTRL | Qt::Key_G));
    bar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(bar, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { barmenu->popup(bar->mapToGlobal(p)); });

    shortcuts_ = new ShortcutDispatcher(this, mainpop);
    shortcuts_->setControlMenu(bar, barmenu);
    new PageKeys(this, PageControl1);
}

void Tqedit::contextMenuEvent(QContextMenuEvent* e) {
    mainpop->popup(e->globalPos());
    e->accept();
}

void Tqedit::connectHandlers() {
    auto click = [this](QAbstractButton* b, void (Tqedit::*handler)()) {
        connect(b, &QAbstractButton::clicked, this,
                [this, handler] { run([&] { (this->*handler)(); }); });
    };
    auto trigger = [this](QAction* a, void (Tqedit::*handler)()) {
        connect(a, &QAction::triggered, this,
                [this, handler] { run([&] { (this->*handler)(); }); });
    };
    click(save, &Tqedit::saveClick);
    click(exit_, &Tqedit::exitClick);
    click(prev, &Tqedit::prevClick);
    click(next, &Tqedit::nextClick);
    click(listbt, &Tqedit::listbtClick);
    click(statbt, &Tqedit::statbtClick);
    click(about, &Tqedit::aboutClick);
    click(savefilebt, &Tqedit::savefilebtClick);
    click(open_, &Tqedit::openClick);
    click(resumebt, &Tqedit::resumebtClick);
    click(changeresbt, &Tqedit::changeresbtClick);
    click(findbtn, &Tqedit::findbtnClick);
    click(FindNextbt, &Tqedit::FindNextbtClick);
    connect(findstr, &QLineEdit::returnPressed, this, [this] { run([this] { findbtnClick(); }); });

    trigger(Save1, &Tqedit::saveClick);
    trigger(Saveuserfile1, &Tqedit::savefilebtClick);
    trigger(Exit1, &Tqedit::exitClick);
    trigger(Next1, &Tqedit::nextClick);
    trigger(Previous1, &Tqedit::prevClick);
    trigger(Find1, &Tqedit::findClick);
    trigger(stats1, &Tqedit::statbtClick);
    trigger(List1, &Tqedit::listbtClick);
    trigger(About1, &Tqedit::aboutClick);
    trigger(First1, &Tqedit::First1Click);
    trigger(Last1, &Tqedit::Last1Click);
    trigger(Goto1, &Tqedit::Goto1Click);

    // Only the operator's moves arrive here: the program moves the bar with its
    // signals blocked.
    connect(bar, &QSlider::valueChanged, this, [this] { run([this] { barChange(); }); });
    connect(bar, &QSlider::sliderReleased, this, [this] { run([this] { barReleased(); }); });
}

// ------------------------------------------------------------------ layout

void Tqedit::applyLayout() {
    std::vector<Place> places;
    auto put = [&places](QWidget* w, int x, int y, int width, int height, QString text = {},
                         int chrome = 0) {
        places.push_back({w, x, y, width, height, std::move(text), chrome});
    };
    const int buttonChrome = 12;
    const int checkChrome = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                            style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + 4;
    auto putButton = [&](QAbstractButton* b, int x, int y, int width, int height = 25) {
        put(b, x, y, width, height, b->text(), buttonChrome);
    };
    auto putCheck = [&](QCheckBox* c, int x, int y, int width) {
        put(c, x, y, width, 24, c->text(), checkChrome);
    };
    auto putLabel = [&](QLabel* l, int x, int y, int width) {
        put(l, x, y, width, 24, l->text(), 4);
    };
    // A label and its field in a row; the label takes the room up to the field.
    auto row = [&](QWidget* field, const char* caption, int labelX, int fieldX, int y,
                   int width = 121) {
        QLabel* l = label(field->parentWidget(), caption, field);
        putLabel(l, labelX, y, fieldX - labelX - 4);
        put(field, fieldX, y, width, 24);
    };

    // Above the page control
    const int labelTops[] = {8, 32, 56, 80, 104, 128};
    putLabel(topLabels_[0], 8, labelTops[0], 92);
    putLabel(topLabels_[1], 8, labelTops[1], 92);
    putLabel(topLabels_[2], 8, labelTops[2], 92);
    putLabel(topLabels_[3], 8, labelTops[3], 124);
    putLabel(topLabels_[4], 8, labelTops[4], 92);
    putLabel(topLabels_[5], 8, labelTops[5], 92);
    put(Name, 104, 8, 265, 24);
    put(address, 104, 32, 265, 24);
    put(postnr, 104, 56, 265, 24);
    put(Tlf, 136, 80, 129, 24);
    put(birth, 104, 104, 129, 24);
    put(status, 104, 128, 129, 24);
    put(bar, 376, 8, 217, 41);
    putButton(save, 376, 56, 73);
    putButton(exit_, 456, 56, 33);
    putButton(prev, 496, 56, 41);
    putButton(next, 544, 56, 41);
    putButton(listbt, 272, 88, 33);
    putButton(statbt, 312, 88, 41);
    putButton(about, 360, 88, 49);
    putButton(savefilebt, 416, 88, 65);
    put(poss, 488, 88, 97, 24, QStringLiteral("00000/00000"), 4);
    putLabel(topLabels_[6], 240, 120, 60);
    put(fname1, 304, 120, 249, 24);
    put(open_, 560, 120, 25, 25);

    // General: eight rows on the left, three on the right above the check boxes
    const int rows[] = {8, 32, 56, 80, 104, 128, 152, 176};
    row(ttype, "Term&inal type:", 8, 128, rows[0]);
    row(pagel, "Page Lengt&h:", 8, 128, rows[1]);
    row(charset, "&Character set:", 8, 128, rows[2]);
    row(editor, "Message editor:", 8, 128, rows[3]);
    row(menulev, "Menu level:", 8, 128, rows[4]);
    row(lang, "Language:", 8, 128, rows[5]);
    row(readmode, "Message read mode:", 8, 128, rows[6]);
    row(grab, "Grab &format:", 8, 128, rows[7]);
    row(prot, "Default protocol:", 304, 424, rows[0]);
    row(packing, "Preffered pac&king:", 304, 424, rows[1]);
    row(nodeflt, "Nodemessage filter:", 304, 424, rows[2]);
    putCheck(Colors, 304, rows[3], 140);
    putCheck(Confst, 304, rows[4], 140);
    putCheck(Aquote, 304, rows[5], 140);
    putCheck(return_, 304, rows[6], 140);
    putCheck(autoft, 304, rows[7], 140);
    putCheck(Silent, 448, rows[3], 140);
    putCheck(Review, 448, rows[4], 140);
    putCheck(flash, 448, rows[5], 140);
    putCheck(vt100, 448, rows[6], 140);

    // Statistics
    row(sysop, "A&ccess", 8, 128, rows[0]);
    row(access, "&File access:", 8, 128, rows[1]);
    row(limit, "L&imits:", 8, 128, rows[2]);
    row(msgleft, "Msg left:", 8, 128, rows[3]);
    row(msgread, "Msg read:", 8, 128, rows[4]);
    row(msgdumped, "Msg dumped:", 8, 128, rows[5]);
    row(logins, "Times on:", 8, 128, rows[6]);
    row(resume, "Resume:", 8, 128, rows[7]);
    row(timebank, "Timeban&k:", 304, 424, rows[0]);
    row(timelimit, "Timelimit:", 304, 424, rows[1]);
    row(tleft, "Time left:", 304, 424, rows[2]);
    row(upf, "Files uploaded:", 304, 424, rows[3]);
    row(downf, "Files do&wnloaded:", 304, 424, rows[4]);
    row(kbup, "Kb uploaded:", 304, 424, rows[5]);
    row(kbdown, "Kb downloaded:", 304, 424, rows[6]);

    // Misc
    row(lastcall, "Last called:", 8, 136, rows[0], 153);
    row(firstcall, "&First called:", 8, 136, rows[1], 153);
    row(daysl, "Days since last call:", 8, 136, rows[2]);
    row(daysf, "Days since first call:", 8, 136, rows[3]);
    put(GroupBox1, 8, 112, 281, 97, GroupBox1->title(), 24);
    putCheck(Insertck, 12, 20, 150);
    putCheck(indentck, 12, 44, 150);
    putCheck(xydispck, 12, 68, 150);
    put(Panel1, 304, 8, 289, 105);
    row(resume1, "Resume:", 8, 72, 8);
    putButton(resumebt, 8, 40, 97);
    putButton(changeresbt, 8, 72, 177);

    // Find: the text's label above it, as the status list's
    putLabel(label(findtab, "Find text:", findstr), 8, 4, 185);
    put(findstr, 8, 28, 185, 24);
    putButton(findbtn, 8, 60, 89);
    putButton(FindNextbt, 104, 60, 89);
    put(GB1, 216, 4, 377, 105, GB1->title(), 24);
    putCheck(namecb, 12, 20, 112);
    putCheck(addresscb, 12, 44, 112);
    putCheck(citycb, 12, 68, 112);
    putCheck(phonecb, 128, 20, 112);
    putCheck(birthcb, 128, 44, 112);
    putCheck(limitcb, 128, 68, 112);
    // Status: the label stands above its list here
    putLabel(label(GB1, "Status:", statcb), 248, 20, 113);
    put(statcb, 248, 44, 113, 24);

    // BBS Statistics: the fields' places are the board's familiar ones
    row(tuser, "Number of Users:", 8, 144, 8);
    row(tlogins, "Number of Logins:", 8, 144, 32);
    row(tres, "Written resumes:", 8, 144, 64);
    row(twmsg, "Written messages:", 8, 144, 88);
    row(trmsg, "Read Messages:", 8, 144, 112);
    row(tdmsg, "Dumped messages:", 8, 144, 136);
    row(tfup, "&Files Uploaded:", 304, 440, 8);
    row(tfdown, "Files do&wnloaded:", 304, 440, 32);
    row(tbup, "&Kb Uploaded:", 304, 440, 56);
    row(tbdown, "Kb Downloaded:", 304, 440, 80);

    // The design is for a 13-pixel font at 96 DPI; grow it evenly until every
    // text fits and every field holds a line of this font.
    double f = 1.0;
    const QFontMetrics fm(font());
    for (const Place& p : places) {
        if (p.text.isEmpty() || p.width <= 0)
            continue;
        QFont font = p.w->font();
        const QFontMetrics m(font);
        QString t = p.text;
        t.remove(QLatin1Char('&'));
        const int need = m.horizontalAdvance(t) + p.chrome;
        f = std::max(f, double(need) / p.width);
    }
    // The drop-downs get their items only at start-up; their widest must fit too.
    const int arrowChrome = style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 14;
    for (CodeListId id : codeListFillOrder()) {
        QComboBox* box = listFor(id);
        const auto it = std::find_if(places.begin(), places.end(),
                                     [box](const Place& p) { return p.w == box; });
        if (it == places.end())
            continue;
        int widest = 0;
        for (const std::string& item : codeList(id).items)
            widest = std::max(widest, box->fontMetrics().horizontalAdvance(fromAnsi(item)));
        f = std::max(f, double(widest + arrowChrome) / it->width);
    }
    f = std::max(f, double(fm.height() + 8) / 24.0);
    {
        QFont bold = font();
        bold.setBold(true);
        f = std::max(f, double(QFontMetrics(bold).height() + 8) / 24.0);
    }
    f = std::min(f, 3.0);
    scale_ = f;

    auto s = [f](int v) { return static_cast<int>(std::lround(v * f)); };
    for (const Place& p : places)
        p.w->setGeometry(s(p.x), s(p.y), s(p.x + p.width) - s(p.x), s(p.y + p.height) - s(p.y));

    // The track bar keeps its design box but not its empty height: centred in it,
    // the thumb and the ticks stay together.
    {
        const QRect box = bar->geometry();
        const int h = std::min(box.height(), bar->sizeHint().height() + s(4));
        bar->setGeometry(box.x(), box.y() + (box.height() - h) / 2, box.width(), h);
    }

    // The page control's tabs take what this style needs; the pages keep the
    // design's room below them.
    const int tabBarHeight = PageControl1->tabBar()->sizeHint().height();
    const int pageHeight = std::max(s(249), tabBarHeight + s(212));
    PageControl1->setGeometry(s(8), s(160), s(601), pageHeight);
    const int sbHeight = std::max(s(19), sb->sizeHint().height());
    const int pageBottom = s(160) + pageHeight;
    const int clientHeight = std::max(s(430), pageBottom + s(2) + sbHeight);
    sb->setGeometry(0, clientHeight - sbHeight, s(616), sbHeight);
    setFixedSize(s(616), clientHeight);
}

void Tqedit::setTabOrder() {
    const std::vector<QWidget*> order = {
        Name,
        address,
        postnr,
        Tlf,
        birth,
        status,
        bar,
        save,
        exit_,
        prev,
        next,
        listbt,
        statbt,
        about,
        savefilebt,
        fname1,
        open_,
        PageControl1,
        // General
        ttype,
        pagel,
        charset,
        editor,
        menulev,
        lang,
        readmode,
        grab,
        prot,
        packing,
        nodeflt,
        Colors,
        Confst,
        Aquote,
        return_,
        autoft,
        Silent,
        Review,
        flash,
        vt100,
        // Statistics
        sysop,
        access,
        limit,
        msgleft,
        msgread,
        msgdumped,
        logins,
        resume,
        timebank,
        timelimit,
        tleft,
        upf,
        downf,
        kbup,
        kbdown,
        // Misc
        lastcall,
        firstcall,
        daysl,
        daysf,
        Insertck,
        indentck,
        xydispck,
        resume1,
        resumebt,
        changeresbt,
        // Find
        findstr,
        findbtn,
        FindNextbt,
        namecb,
        addresscb,
        citycb,
        phonecb,
        birthcb,
        limitcb,
        statcb,
        // BBS Statistics
        tuser,
        tlogins,
        tres,
        twmsg,
        trmsg,
        tdmsg,
        tfup,
        tfdown,
        tbup,
        tbdown,
    };
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

// ------------------------------------------------------------- code lists

QComboBox* Tqedit::listFor(CodeListId id) const {
    switch (id) {
    case CodeListId::ttype:
        return ttype;
    case CodeListId::charset:
        return charset;
    case CodeListId::editor:
        return editor;
    case CodeListId::menulev:
        return menulev;
    case CodeListId::lang:
        return lang;
    case CodeListId::readmode:
        return readmode;
    case CodeListId::grab:
        return grab;
    case CodeListId::prot:
        return prot;
    case CodeListId::packing:
        return packing;
    case CodeListId::access:
        return access;
    case CodeListId::status:
        return status;
    case CodeListId::statcb:
        return statcb;
    }
    return nullptr;
}

// The read-only fields are made so when they are built.
void Tqedit::fillCodeLists() {
    for (CodeListId id : codeListFillOrder()) {
        QComboBox* box = listFor(id);
        for (const std::string& item : codeList(id).items)
            box->addItem(fromAnsi(item));
        box->setCurrentIndex(-1);
    }
}

// ---------------------------------------------------------------- start-up

void Tqedit::FormCreate() {
    restoreMainPosition(settings_, [this](Edge e, std::int32_t v) {
        if (e == Edge::Top)
            move(x(), v);
        else if (e == Edge::Left)
            move(v, y());
    });
}

void Tqedit::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!activationDone_)
        QTimer::singleShot(0, this, [this] { run([this] { FormActivate(); }); });
}

bool Tqedit::noRecords() const {
    return session_.noRecords();
}

void Tqedit::FormActivate() {
    if (activationDone_)
        return;
    activationDone_ = true;

    auto chosen = activationUserFileName(settings_, [this]() -> std::optional<std::string> {
        // The dialog is shared with the resume conference's choice: its title
        // is this question's only.
        fileopen.title = QStringLiteral("Open the board's user file (zorvuser.dat)");
        // The dialog opens where the program was started: a user file there
        // is the likely choice, and Enter should open it.
        if (fileopen.fileName.isEmpty() && fileopen.initialDir.isEmpty()) {
            const QFileInfo here(QDir::current(), QStringLiteral("zorvuser.dat"));
            if (here.isFile())
                fileopen.fileName = here.absoluteFilePath();
        }
        const bool picked = platform_.openFile(this, fileopen);
        fileopen.title.clear();
        if (!picked || fileopen.fileName.isEmpty())
            return std::nullopt;
        return toPath(fileopen.fileName);
    });
    if (!chosen) {
        close();
        return;
    }
    session_.setUserFileName(*chosen);
    fname1->setText(fromPath(session_.userFileName()));
    // Filled before the load, so that a load that fails leaves a usable window.
    fillCodeLists();
    statcb->setCurrentIndex(0);
    findstr->clear();

    if (!session_.workingCopy().isOpen())
        session_.setWorkingCopyPath(workingCopyPathFor(platform_));
    // A save this program did not finish is undone before anything is loaded.
    session_.rollBackInterruptedSaves(prompts_);
    loadSaveSettings();
    if (!session_.load(prompts_)) {
        close();
        return;
    }

    const int count = session_.workingCopy().recordCount();
    if (count == 0) {
        clearRecordView();
        platform_.message(this, QStringLiteral("Warning"),
                          QStringLiteral("The user file holds no users: there is nothing to "
                                         "show or save. Open another user file."),
                          MessageIcon::Warning);
    } else {
        showRecord(session_.record());
    }
    showTotals(session_.totals());

    setBarRange();
    int pageSize = 2;
    if (count - 1 > 10)
        pageSize = 10;
    if (count - 1 > 100)
        pageSize = 50;
    bar->setPageStep(pageSize);
    setPositionUi();

    listOptions = activationListOptions(settings_).text;
    if (userlist)
        userlist->applyListOptions(listOptions);
    startLive();
}

// --------------------------------------------------------------- the record

void Tqedit::buildForm() {
    const std::pair<const char*, QWidget*> controls[] = {
        {"Name", Name},
        {"address", address},
        {"postnr", postnr},
        {"Tlf", Tlf},
        {"birth", birth},
        {"pagel", pagel},
        {"nodeflt", nodeflt},
        {"ttype", ttype},
        {"editor", editor},
        {"charset", charset},
        {"lang", lang},
        {"readmode", readmode},
        {"grab", grab},
        {"prot", prot},
        {"packing", packing},
        {"menulev", menulev},
        {"Insertck", Insertck},
        {"indentck", indentck},
        {"xydispck", xydispck},
        {"flash", flash},
        {"Confst", Confst},
        {"autoft", autoft},
        {"Colors", Colors},
        {"Review", Review},
        {"vt100", vt100},
        {"Aquote", Aquote},
        {"Silent", Silent},
        {"return", return_},
        {"sysop", sysop},
        {"access", access},
        {"limit", limit},
        {"msgleft", msgleft},
        {"msgread", msgread},
        {"msgdumped", msgdumped},
        {"logins", logins},
        {"timebank", timebank},
        {"timelimit", timelimit},
        {"tleft", tleft},
        {"upf", upf},
        {"downf", downf},
        {"kbup", kbup},
        {"kbdown", kbdown},
        {"resume", resume1},
        {"status", status},
    };
    for (const auto& [name, control] : controls) {
        int list = -1;
        for (CodeListId id : codeListFillOrder())
            if (listFor(id) == control)
                list = static_cast<int>(id);
        const UserField* field = findUserField(name);
        if (!field)
            throw std::logic_error(std::string("no record field ") + name);
        form_.push_back({field, control, list, {}});
    }
}

QString Tqedit::formValue(const QWidget* control) {
    if (const auto* e = qobject_cast<const QLineEdit*>(control))
        return e->text();
    if (const auto* c = qobject_cast<const QComboBox*>(control))
        return QString::number(c->currentIndex());
    return static_cast<const QCheckBox*>(control)->isChecked() ? QStringLiteral("1")
                                                               : QStringLiteral("0");
}

void Tqedit::rememberShownForm() {
    for (FormField& f : form_)
        f.shown = formValue(f.control);
}

bool Tqedit::formDiffers() const {
    return std::any_of(form_.begin(), form_.end(),
                       [](const FormField& f) { return formValue(f.control) != f.shown; });
}

void Tqedit::storeField(const FormField& f, Record& r) const {
    const UserField& field = *f.field;
    switch (field.kind) {
    case FieldKind::Text:
        writeText(r, *field.text, toAnsi(static_cast<const QLineEdit*>(f.control)->text()));
        break;
    case FieldKind::Number:
        writeNumber(r, *field.number, numberOf(static_cast<const QLineEdit*>(f.control)));
        break;
    case FieldKind::Code: {
        // A list showing no selection (a stored code without an item) keeps the
        // stored code, and with it the other half of a shared byte.
        const int item = static_cast<const QComboBox*>(f.control)->currentIndex();
        if (item >= 0)
            writeCode(r, *field.code, itemToCode(static_cast<CodeListId>(f.list), item));
        break;
    }
    case FieldKind::Flag: {
        bool set = false;
        if (const auto* c = qobject_cast<const QComboBox*>(f.control)) {
            if (c->currentIndex() < 0)
                break;
            set = itemToCode(static_cast<CodeListId>(f.list), c->currentIndex()) == 1;
        } else {
            set = static_cast<const QCheckBox*>(f.control)->isChecked() != field.inverted;
        }
        r[field.offset] = static_cast<std::uint8_t>(set ? r[field.offset] | field.mask
                                                        : r[field.offset] & ~field.mask);
        break;
    }
    case FieldKind::CallTime:
        break; // shown only
    }
}

void Tqedit::showRecord(const Record& r) {
    Name->setText(fromAnsi(readText(r, kName)));
    address->setText(fromAnsi(readText(r, kAddress)));
    postnr->setText(fromAnsi(readText(r, kPostnr)));
    showLimited(Tlf, fromAnsi(readText(r, kTlf)));
    showLimited(birth, fromAnsi(readText(r, kBirth)));

    auto number = [&r](QLineEdit* e, const NumField& f) {
        e->setText(QString::number(readNumber(r, f)));
    };
    number(logins, kLogins);
    number(tleft, kTleft);
    number(timelimit, kTimelimit);
    number(pagel, kPagel);
    number(nodeflt, kNodeflt);

    auto code = [this, &r](CodeListId id) {
        listFor(id)->setCurrentIndex(codeToItem(id, readCode(r, *codeFieldOf(id))));
    };
    code(CodeListId::ttype);
    code(CodeListId::charset);
    code(CodeListId::editor);
    const std::uint32_t flags = readUserflags(r);
    menulev->setCurrentIndex(codeToItem(CodeListId::menulev, flags & kExpertMenus));
    code(CodeListId::lang);
    code(CodeListId::readmode);
    code(CodeListId::grab);
    code(CodeListId::prot);
    code(CodeListId::packing);

    Colors->setChecked(flags & kColors);
    Silent->setChecked(flags & kSilent);
    autoft->setChecked(flags & kAutoTransfer);
    flash->setChecked(!(flags & kFlashOff));
    Review->setChecked(flags & kReviewOwn);
    Aquote->setChecked(flags & kAutoQuote);
    Confst->setChecked(flags & kConfStatus);
    vt100->setChecked(flags & kVt100);
    return_->setChecked(flags & kReturnEnter);
    Insertck->setChecked(!(flags & kInsertOff));
    indentck->setChecked(flags & kIndent);
    xydispck->setChecked(flags & kXYDisplay);

    sysop->setText(QString::number(readSysopLevel(r)));
    number(msgleft, kMsgleft);
    access->setCurrentIndex(codeToItem(CodeListId::access, readAccess(r)));
    number(timebank, kTimebank);
    number(msgread, kMsgread);
    number(msgdumped, kMsgdumped);
    number(limit, kLimit);
    code(CodeListId::status);
    number(upf, kUpf);
    number(downf, kDownf);
    number(kbup, kKbup);
    number(kbdown, kKbdown);

    const std::int64_t resumeNo = readNumber(r, kResume);
    resume->setText(QString::number(resumeNo));
    resume1->setText(QString::number(resumeNo));
    resumebt->setEnabled(resumeNo != 0);

    const Date today = platform_.today();
    auto callTime = [&today](QLineEdit* when, QLineEdit* days, std::uint32_t packed) {
        when->setText(QString::fromStdString(formatCallTime(packed)));
        // A stored date without a valid month counts no days: the field stays empty.
        const std::optional<int> d = daysSince(packed, today);
        days->setText(d ? QString::number(*d) : QString());
    };
    callTime(lastcall, daysl, readLastcall(r));
    callTime(firstcall, daysf, readFirstcall(r));

    rememberShownForm();
    if (session_.recordShown())
        updateLiveField();
}

void Tqedit::clearRecordView() {
    for (QLineEdit* e : findChildren<QLineEdit*>()) {
        if (e != fname1 && e != findstr && e->parentWidget() != TabSheet2)
            e->clear();
    }
    for (CodeListId id : codeListFillOrder())
        if (id != CodeListId::statcb)
            listFor(id)->setCurrentIndex(-1);
    for (QCheckBox* c : {Colors, Confst, Aquote, return_, autoft, Silent, Review, flash, vt100,
                         Insertck, indentck, xydispck})
        c->setChecked(false);
    resumebt->setEnabled(false);
    rememberShownForm();
}

void Tqedit::saveClick() {
    if (noRecords()) {
        showNote(QStringLiteral("Nothing to save: the user file holds no users"));
        return;
    }
    // A drag held away from the shown user asks at its release: until then
    // the entries are the shown user's.
    if (!bar->isSliderDown())
        session_.setCurrentIndex(bar->value());
    const int user = session_.currentIndex();
    Store what = Store::Form;
    switch (session_.settleBoardChange(prompts_)) {
    case EditSession::BoardChoice::NotAsked:
        break;
    case EditSession::BoardChoice::KeepMine:
        what = Store::Differing;
        break;
    case EditSession::BoardChoice::KeepBoards:
        updatePosition(); // the board's record; the entries are dropped
        showNote(
            QStringLiteral("User %1: the board's record shown, your entries dropped").arg(user));
        return;
    case EditSession::BoardChoice::Cancel:
        showNote(QStringLiteral("User %1 not stored").arg(user));
        return;
    }
    try {
        storeShownUser(what);
    } catch (...) {
        showNote(QStringLiteral("User %1 not stored").arg(user));
        throw;
    }
    showNote(QStringLiteral("User %1 stored").arg(user));
}

void Tqedit::storeShownUser(Store what) {
    Record r = session_.beginStore();

    // Texts and numbers only when typed in; the sysop level, every list and
    // every box always. Over a record the board changed, only what the
    // operator changed: the board's other fields stay.
    for (const FormField& f : form_) {
        bool store = false;
        if (what == Store::Differing)
            store = formValue(f.control) != f.shown;
        else if (const auto* e = qobject_cast<const QLineEdit*>(f.control); e && e != sysop)
            store = e->isModified();
        else
            store = true;
        if (store)
            storeField(f, r);
    }

    session_.store(r); // the figures move by its difference
    showRecord(r);
    showTotals(session_.totals());
}

void Tqedit::exitClick() {
    if (!settleShownUser())
        return;
    closeSettled_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{closeSettled_};
    session_.closeCopy();
    close();
}

void Tqedit::closeEvent(QCloseEvent* e) {
    run([this, e] {
        e->ignore(); // a Save User that fails keeps the window
        if (!closeSettled_ && !settleShownUser())
            return;
        e->accept();
        FormClose(e);
    });
}

bool Tqedit::hasUnstoredEdits() const {
    return started() && session_.workingCopy().isOpen() && !noRecords() && formDiffers();
}

// Ctrl+X is Exit even in an edit field, where Linux hands expect it to cut,
// and a move is one key away: typing that Save User has not stored is never
// dropped without a question.
bool Tqedit::settleShownUser() {
    if (!hasUnstoredEdits())
        return true;
    const QString question =
        QStringLiteral("Save the changes to user %1?").arg(session_.currentIndex());
    switch (platform_.confirmOrCancel(this, question)) {
    case Answer::Yes:
        saveClick(); // a bad number stops here, and everything stays
        // Cancel at the board's question stored nothing: the entries stay too.
        return !hasUnstoredEdits();
    case Answer::No:
        // The caller's re-show drops them; a close that is taken back keeps them.
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}

void Tqedit::FormClose(QCloseEvent* e) {
    if (!session_.copyBackAtExit(prompts_)) {
        // Cancel, or the changes are only in the working copy: stay, so that
        // they can be saved once the user file can be written again. The
        // live view goes on with the copy open again.
        e->ignore();
        return;
    }
    saveMainPosition(settings_, WindowPos{y(), x()});
    e->accept();
}

// -------------------------------------------------------------- navigation

void Tqedit::setBarRange() {
    const QSignalBlocker block(bar);
    const int count = session_.workingCopy().isOpen() ? session_.workingCopy().recordCount() : 0;
    bar->setRange(0, std::max(0, count - 1));
    bar->setEnabled(count > 0);
    // A tick per user while they stay apart; beyond that a tick every few
    // users, or the ticks would run together into a line.
    const int room = std::max(1, bar->width() - 20);
    bar->setTickInterval(std::max(1, (4 * std::max(1, count - 1) + room - 1) / room));
}

void Tqedit::setPositionUi() {
    const int count = session_.workingCopy().recordCount();
    {
        const QSignalBlocker block(bar);
        if (bar->maximum() != std::max(0, count - 1))
            setBarRange();
        bar->setValue(session_.currentIndex());
    }
    if (count == 0)
        poss->clear();
    else
        poss->setText(QStringLiteral("%1/%2").arg(session_.currentIndex()).arg(count - 1));
}

void Tqedit::updatePosition() {
    showRecord(session_.show(session_.currentIndex()));
    setPositionUi();
}

bool Tqedit::moveTo(int index) {
    if (!settleShownUser())
        return false;
    session_.setCurrentIndex(index);
    updatePosition();
    return true;
}

void Tqedit::nextClick() {
    if (noRecords())
        return;
    const int last = session_.workingCopy().recordCount() - 1;
    moveTo(std::min(session_.currentIndex() + 1, last));
}

void Tqedit::prevClick() {
    if (noRecords())
        return;
    moveTo(std::max(session_.currentIndex() - 1, 0));
}

void Tqedit::barChange() {
    if (noRecords())
        return;
    if (bar->isSliderDown() && hasUnstoredEdits())
        return; // one question for the whole drag, at its release
    // The bar's range is the records', so its position needs no clamping.
    const int target = bar->value();
    if (hasUnstoredEdits()) {
        // The question is about the user shown; Cancel leaves the bar there.
        const QSignalBlocker block(bar);
        bar->setValue(session_.currentIndex());
    }
    moveTo(target);
}

void Tqedit::barReleased() {
    if (!noRecords() && bar->value() != session_.currentIndex())
        barChange();
}

void Tqedit::First1Click() {
    if (noRecords())
        return;
    moveTo(0);
}

void Tqedit::Last1Click() {
    if (noRecords())
        return;
    moveTo(session_.workingCopy().recordCount() - 1);
}

void Tqedit::Goto1Click() {
    if (noRecords())
        return;
    const QString answer = platform_.inputBox(this, QStringLiteral("Goto new user.."),
                                              QStringLiteral("Please enter a user number:"),
                                              QString::number(session_.currentIndex()));
    const std::int32_t n = parseInteger(answer.toStdString());
    moveTo(n >= 0 && n <= session_.workingCopy().recordCount() - 1 ? n : session_.currentIndex());
}

// ------------------------------------------------------------------ totals

void Tqedit::runTotals() {
    showTotals(session_.recountTotals());
}

void Tqedit::showTotals(const Totals& t) {
    // All ten every time: they are editable, and typing there means nothing.
    for (const TotalsEntry& entry : totalsEntries()) {
        if (auto* e = findChild<QLineEdit*>(QString::fromLatin1(entry.name)))
            e->setText(QString::number(t.*(entry.value)));
    }
}

// ------------------------------------------- windows that later work opens

ReportContext Tqedit::reportContext() {
    return ReportContext{this, *this, session_, platform_, settings_, scale_};
}

int Tqedit::currentUser() const {
    if (!started() || session_.currentIndex() < 0 ||
        session_.currentIndex() >= session_.workingCopy().recordCount())
        return -1;
    return session_.currentIndex();
}

void Tqedit::bringUser(int index) {
    // Read before it becomes current: a number that is no record (a limit
    // in column 0) must not leave this window on a record it cannot show.
    Record probe;
    session_.workingCopy().readRecord(index, probe);
    // One pick reaches here as a new current cell and a new selection: a
    // user the operator declined is not asked about twice for it.
    if (index == declinedPick_)
        return;
    if (!moveTo(index)) {
        declinedPick_ = index;
        QTimer::singleShot(0, this, [this] { declinedPick_ = -1; });
    }
}

void Tqedit::userStatusChanged(int index, unsigned status) {
    // "Save User" would otherwise write the old status back; the other
    // fields keep what was typed.
    if (!started() || session_.currentIndex() != index)
        return;
    this->status->setCurrentIndex(codeToItem(CodeListId::status, status));
    // The record holds it now: it is no entry of the operator's.
    for (FormField& f : form_)
        if (f.control == this->status)
            f.shown = formValue(f.control);
}

void Tqedit::listbtClick() {
    if (userlist)
        userlist->exec();
}

void Tqedit::statbtClick() {
    if (statform)
        statform->exec();
}

} // namespace zorv
