#pragma once
// What the user list and the statistics window share: a modal window over
// one grid, created once at start-up with its stored bounds, storing them at
// every close, built afresh at every showing (with progress for a large user
// file) and sorted as the operator last sorted it, with the main window's
// user current; a click on a row brings that user into the main window.

#include "components/ui/gridview.h"
#include "reports/reportrows.h"
#include "reports/ui/reporthost.h"
#include "settings/steps.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QSize>

#include <cstdint>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class QAction;
class QMenu;
class QProgressDialog;

namespace zorv {

class ShortcutDispatcher;

class ReportWindow : public QDialog {
  public:
    ReportWindow(const ReportContext& context, BoundsWindow bounds, SortWindow sortWindow,
                 QSize designClient, const char* name);
    ~ReportWindow() override;

    // Closes by any road (buttons, keys, Escape, the close box) store the
    // bounds: accept() and reject() send no closeEvent.
    void done(int result) override;

    // The popup's "Sort by this column" (Ctrl+R): the current cell's column,
    // ascending, or reversed when it is the sorted column already.
    QAction* SortByColumn1 = nullptr;

    // What a long step's progress throws once the operator pressed Cancel:
    // the step undoes what it did and no error is shown.
    class Cancelled : public std::runtime_error {
      public:
        Cancelled() : std::runtime_error("Cancelled") {}
    };

    // The rows of a long step: a progress box with Cancel once it runs over
    // half a second, at once when the file is large enough that it will.
    // The box is painted, text and all, before the step goes on.
    class Progress {
      public:
        Progress(ReportWindow* window, int records, const QString& text);
        ~Progress();
        // The next part of the step: its text and the share of the bar it ends at.
        void phase(const QString& text, int endPercent);
        // Progress within the phase, for the builders.
        BuildProgress counter();
        // `done` of `total` within the phase; lets the box paint and take
        // its Cancel, and throws Cancelled once it is pressed.
        void at(std::int64_t done, std::int64_t total);
        QProgressDialog* box() const { return box_.get(); }

      private:
        void poll();
        void showNow();

        std::unique_ptr<QProgressDialog> box_;
        QElapsedTimer since_;
        int delayMs_ = 500;
        int from_ = 0, to_ = 0;
    };

    // For tests: from how many records on a box comes at once.
    static void setBoxAtOnceForTesting(int records);

  protected:
    void showEvent(QShowEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

    // Built once the subclass has its controls: grid position, popup menu.
    void finishCreate(SortGridView* grid, QMenu* popup);
    // The design's pixels enlarged for this desktop's fonts.
    int px(int design) const;
    // Runs a handler; an error becomes the application's error box.
    void run(const std::function<void()>& f);
    // Runs a long step with its progress box; a Cancel propagates as
    // Cancelled, which run() swallows.
    void withProgress(int records, const std::function<void(Progress&)>& step);
    // `sg2Click` / `SG2Click`: the user in column 0 of the top selected row
    // becomes the main window's current record.
    void showSelectedUser();
    // The sort the operator last chose, on the rows as they are now; with
    // none stored (or one this grid has no column for) the rows stay and no
    // column shows a mark.
    void applyStoredSort();
    // The row of user `index` (by column 0) becomes current and is selected
    // alone, in the middle of the view; -1 or a user not listed selects
    // nothing new. False when the user is not listed.
    bool selectUser(int index);
    // The user number in column 0 of the top selected row, -1 when there is none.
    int selectedUser() const;

    // The whole showing: build, sort, size, the main window's user current.
    virtual void FormActivate() = 0;
    // A row chosen by mouse or key (`sg2Click` / `SG2Click`).
    virtual void rowChosen() { showSelectedUser(); }
    // After the operator sorted (header press, Ctrl+R); the order is stored.
    virtual void afterSort() {}
    // Around every header press or Ctrl+R that may sort, whether it sorts,
    // fails or is cancelled.
    virtual void beforeHeaderSort() {}
    virtual void afterHeaderSort() {}

    ReportHost& host_;
    const EditSession& session_; // the open user file, read only
    Platform& platform_;
    RegistryKey& settings_;

  private:
    void FormCreate();
    void FormClose();
    // Without stored bounds the first showing widens the window until every
    // column shows whole, within the screen's available width.
    void fitWidthToColumns();
    void storeSort();
    void SortByColumn1Click();
    // The grid's own long steps (a header press or Ctrl+R sort, column
    // sizing) outside withProgress get a box of their own.
    void gridProgress(std::int64_t done, std::int64_t total);

    bool inStep_ = false; // withProgress runs: its box tells
    Progress* step_ = nullptr;
    bool widthStored_ = false; // FormCreate found a width
    bool widthFitted_ = false;
    std::unique_ptr<Progress> gridStep_;
    bool cancelled_ = false; // the grid's error is a Cancel, not a fault
    // The sort before a header press changed it, for a Cancel to put back.
    int sortColumnBefore_ = -1;
    TSortDirection sortDirectionBefore_ = sdAscending;

    BoundsWindow bounds_;
    SortWindow sortWindow_;
    double scale_;
    SortGridView* grid_ = nullptr;
    QMenu* popup_ = nullptr;
    ShortcutDispatcher* shortcuts_ = nullptr;
    int movedTo_ = -1; // the row a move just picked, until its press arrives
};

} // namespace zorv
