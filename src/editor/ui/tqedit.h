#pragma once
// The main window `qedit`: shows one user record, saves it into the working
// copy, navigates, and starts every other function of the program.
//
// Every control is a public member named as the control; its objectName is the
// same name (members that clash with C++ or Qt carry a trailing underscore:
// exit_, open_, return_; their objectNames are "exit", "open", "return").
//
// Handlers connected here run inside guarded() (platform/guard.h): an error in
// a handler becomes the application's error box and the program goes on.
// Signals connected elsewhere (the find dialog) should do the same.
//
// GUI tests: tests/gui/fixture.h (EditorFixture: a temp folder per test holding
// the user file, the working copy and the settings, and a ScriptedPlatform that
// answers dialogs and records the messages shown).

#include "editor/totals.h"
#include "platform/platform.h"
#include "reports/ui/reporthost.h"
#include "session/editsession.h"
#include "settings/registry.h"
#include "userfile/codetables.h"
#include "userfile/record.h"

#include <QString>
#include <QWidget>

#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolButton;

namespace zorv {

class LiveWatch;
struct LiveCompare;
class ShortcutDispatcher;
class Taboutbox1;
class Tshowresume;
class TStyledHint;
class Tstatform;
class Tuserlist;
struct UserField;

class Tqedit : public QWidget, public ReportHost {
    Q_OBJECT

  public:
    // The session, the platform and the settings key outlive the window.
    Tqedit(EditSession& session, Platform& platform, RegistryKey& settings,
           QWidget* parent = nullptr);
    ~Tqedit() override;

    // The open user file; the window holds none of its state.
    EditSession& session() { return session_; }
    Platform& platform() { return platform_; }
    // Prompts for the user-file layer (message, warning, confirm) on this window.
    Prompts& prompts() { return prompts_; }
    // The program's settings key, for the steps of settings/steps.h.
    RegistryKey& settings() { return settings_; }

    // Above the page control
    QLineEdit* Name;
    QLineEdit* address;
    QLineEdit* postnr;
    QLineEdit* Tlf;
    QLineEdit* birth;
    QComboBox* status;
    QSlider* bar;
    QLabel* poss;
    QPushButton* save;
    QPushButton* exit_;
    QPushButton* prev;
    QPushButton* next;
    QPushButton* listbt;
    QPushButton* statbt;
    QPushButton* about;
    QPushButton* savefilebt;
    QLineEdit* fname1;
    QToolButton* open_;
    QTabWidget* PageControl1;
    QStatusBar* sb;           // simple mode: showMessage() / clearMessage()
    QLabel* livefield;        // sb's permanent field: what the running board did
    TStyledHint* StyledHint1; // the look of every tool-tip of the program

    // Tab "General"
    QWidget* General;
    QComboBox* ttype;
    QLineEdit* pagel;
    QComboBox* charset;
    QComboBox* editor;
    QComboBox* menulev;
    QComboBox* lang;
    QComboBox* readmode;
    QComboBox* grab;
    QComboBox* prot;
    QComboBox* packing;
    QLineEdit* nodeflt;
    QCheckBox* Colors;
    QCheckBox* Confst;
    QCheckBox* Aquote;
    QCheckBox* return_;
    QCheckBox* autoft;
    QCheckBox* Silent;
    QCheckBox* Review;
    QCheckBox* flash;
    QCheckBox* vt100;

    // Tab "Statistics"
    QWidget* Statistics;
    QLineEdit* sysop;
    QComboBox* access;
    QLineEdit* limit;
    QLineEdit* msgleft;
    QLineEdit* msgread;
    QLineEdit* msgdumped;
    QLineEdit* logins;
    QLineEdit* resume;
    QLineEdit* timebank;
    QLineEdit* timelimit;
    QLineEdit* tleft;
    QLineEdit* upf;
    QLineEdit* downf;
    QLineEdit* kbup;
    QLineEdit* kbdown;

    // Tab "Misc"
    QWidget* TabSheet1;
    QLineEdit* lastcall;
    QLineEdit* firstcall;
    QLineEdit* daysl;
    QLineEdit* daysf;
    QGroupBox* GroupBox1;
    QCheckBox* Insertck;
    QCheckBox* indentck;
    QCheckBox* xydispck;
    QFrame* Panel1;
    QLineEdit* resume1;
    QPushButton* resumebt;
    QPushButton* changeresbt;

    // Tab "Find"
    QWidget* findtab;
    QLineEdit* findstr;
    QPushButton* findbtn;
    QPushButton* FindNextbt;
    QGroupBox* GB1;
    QCheckBox* namecb;
    QCheckBox* addresscb;
    QCheckBox* citycb;
    QCheckBox* phonecb;
    QCheckBox* birthcb;
    QCheckBox* limitcb;
    QComboBox* statcb;

    // Tab "BBS Statistics"
    QWidget* TabSheet2;
    QLineEdit* tuser;
    QLineEdit* tlogins;
    QLineEdit* tres;
    QLineEdit* twmsg;
    QLineEdit* trmsg;
    QLineEdit* tdmsg;
    QLineEdit* tfup;
    QLineEdit* tfdown;
    QLineEdit* tbup;
    QLineEdit* tbdown;

    // Popup menu of the window and of the track bar
    QMenu* mainpop;
    QAction* Save1;
    QAction* Saveuserfile1;
    QAction* Exit1;
    QAction* Next1;
    QAction* Previous1;
    QAction* Find1;
    QAction* stats1;
    QAction* List1;
    QAction* About1;
    QMenu* barmenu;
    QAction* First1;
    QAction* Last1;
    QAction* Goto1;

    // The open dialog, shared by the user-file and resume-conference choices.
    FileDialog fileopen;
    // The modeless find dialog, created on first use by findClick().
    QDialog* FindDialog = nullptr;

    // The secondary windows, made at start-up after this one (app/main.cpp);
    // a window that is not there leaves its button without effect.
    Taboutbox1* aboutbox1 = nullptr;
    Tshowresume* showresume = nullptr;
    // The report windows, made at program start (app/main.cpp) with
    // reportContext() and handed over here.
    Tuserlist* userlist = nullptr;
    Tstatform* statform = nullptr;
    ReportContext reportContext();

    // ReportHost: what the report windows ask of this window.
    int currentUser() const override;
    void bringUser(int index) override;
    void userStatusChanged(int index, unsigned status) override;

    // The list options read at start-up ("11111111001" by default), for the
    // user list window.
    std::string listOptions;

    // Fills every control from a record; afterwards no edit field counts as changed.
    void showRecord(const Record& r);
    // Reads, shows and positions record session().currentIndex.
    void updatePosition();
    // Moves the track bar and the position label to currentIndex (no barChange).
    void setPositionUi();
    // The track bar's range for the current record count (page size untouched).
    void setBarRange();
    // The totals pass into the "BBS Statistics" tab. Call it after anything
    // but "Save User" changed the working copy's counters (a reload).
    void runTotals();
    // Shows the session's figures.
    void showTotals(const Totals& t);
    // True once the start-up has loaded a user file.
    bool started() const { return session_.loaded(); }
    // True once the start-up has run (whatever its outcome).
    bool activationDone() const { return activationDone_; }
    // How much the 96-DPI design was enlarged for this desktop's fonts.
    double layoutScale() const { return scale_; }

    // Handlers (named after the control and the event)
    void FormCreate();
    void FormActivate();
    void saveClick();
    void exitClick();
    void savefilebtClick();
    void nextClick();
    void prevClick();
    void barChange();
    void First1Click();
    void Last1Click();
    void Goto1Click();
    void listbtClick();
    void statbtClick();
    void aboutClick();
    void resumebtClick();
    void changeresbtClick();

    // Implemented in tqedit_find.cpp, tqedit_hints.cpp, tqedit_open.cpp and
    // tqedit_resume.cpp (resumebtClick, changeresbtClick, aboutClick).
    void findbtnClick();
    void FindNextbtClick();
    void findClick();
    void FindDialogFind();
    void installFieldHints(); // once, at the end of the constructor
    void openClick();
    void openOtherUserFile();
    // tqedit_save.cpp: what a save needs from the settings, and the window
    // brought up to date with the user file after one.
    void loadSaveSettings();
    void refreshAfterSave(bool keepTyping, const Record& shownBefore);

    // tqedit_live.cpp: following the board's writes while the file is open.
    // (Re)starts following the loaded user file when the setting LiveRefresh
    // allows it; called after every load.
    void startLive();
    void stopLive(); // until the next startLive(); the field is cleared
    // One compare's result, applied when nothing else is under way.
    void applyLive(const LiveCompare& result);
    // A command's outcome in the permanent field for noteDuration() ms; the
    // board's problems and clashes stay beside it.
    void showNote(const QString& text);
    // What the permanent field says of a command or of the board's writes
    // now; empty once it has gone.
    const QString& note() const { return note_; }
    int noteDuration() const { return noteMs_; }
    void setNoteDuration(int ms) { noteMs_ = ms; } // tests: a shorter wait
    // Before the shown user is shown anew or another one: "Save the changes
    // to user N?" while entries are not stored. Yes stores them (Save User),
    // No leaves them to the caller's re-show; false for Cancel, or when the
    // store failed or was refused: the caller then leaves everything as it is.
    bool settleShownUser();
    // True while the shown user has typed, picked or ticked changes that Save
    // User has not stored.
    bool hasUnstoredEdits() const;
    // True when a text, a list or a tick box of the shown user differs from
    // the record shown (field by field, whatever tab is raised).
    bool formDiffers() const;
    // The watcher, or nullptr while the file is not followed.
    LiveWatch* liveWatch() const { return live_; }
    // Users that both the operator (stored) and the board changed.
    const std::vector<int>& changedByBoth() const { return session_.changedByBoth(); }

  protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override; // FormClose
    void contextMenuEvent(QContextMenuEvent* e) override;

  private:
    struct Place;
    static QLabel* label(QWidget* parent, const char* caption, QWidget* buddy);
    QComboBox* listFor(CodeListId id) const;
    bool noRecords() const; // the working copy is open but holds no record
    void clearRecordView();
    void buildControls();
    void buildMenus();
    void connectHandlers();
    void applyLayout();
    void setTabOrder();
    void fillCodeLists();
    void FormClose(QCloseEvent* e);
    void updateCaption();
    // The controls that show a field of the record, in the order Save User
    // stores them, each with its value as showRecord left it.
    struct FormField {
        const UserField* field;
        QWidget* control;
        int list; // the CodeListId of a drop-down, else -1
        QString shown;
    };
    std::vector<FormField> form_;
    void buildForm();
    static QString formValue(const QWidget* control);
    void rememberShownForm();
    // The control's value into its field of `r`; "'%s' is not a valid integer
    // value" for a number that is none.
    void storeField(const FormField& f, Record& r) const;
    template <class F> void run(F&& f);
    bool canApplyLive() const;
    void applyLiveGuarded(const LiveCompare& result); // applyLive() as a handler
    void updateLiveField();
    // What Save User stores: the form by its rules, or only the controls that
    // differ from the record shown (over a record the board changed meanwhile).
    enum class Store { Form, Differing };
    void storeShownUser(Store what); // Save User's write, once settled

    EditSession& session_;
    Platform& platform_;
    RegistryKey& settings_;
    PlatformPrompts prompts_;
    ShortcutDispatcher* shortcuts_ = nullptr;
    bool activationDone_ = false;
    std::vector<QLabel*> topLabels_;
    int handlerDepth_ = 0; // handlers under way (their questions run nested loops)
    LiveWatch* live_ = nullptr;
    // The passing note of the permanent field, and users the board updated
    // since the last note about them (that note is shown at most once in
    // noteMs_, never over a problem or a clash).
    QString note_;
    bool noteIsFollowing_ = false;
    QTimer* noteTimer_ = nullptr;
    int noteMs_ = 5000;
    int followedUsers_ = 0;
    QString followedAt_;
    void noteTimeout();
    void noteFollowing();
    bool closeSettled_ = false; // Exit asked about the shown user already
    int declinedPick_ = -1;     // a report window's pick the operator just declined
    // A drag of the bar with entries unstored asks once, at its release.
    void barReleased();
    bool moveTo(int index); // settles, then shows user `index`; false: stayed
    double scale_ = 1.0;
};

} // namespace zorv
