#pragma once
// What the user list and the statistics window share: a modal window over
// one grid, created once at start-up with its stored bounds, storing them at
// every close, built afresh at every showing (with progress for a large user
// file), and bringing the user of a clicked row into the main window.

#include "components/ui/gridview.h"
#include "reports/reportrows.h"
#include "settings/steps.h"

#include <QDialog>
#include <QSize>

#include <functional>
#include <string>

class QMenu;

namespace zorv {

class ShortcutDispatcher;
class Tqedit;

class ReportWindow : public QDialog {
  public:
    ReportWindow(Tqedit& main, BoundsWindow bounds, QSize designClient, const char* name);
    ~ReportWindow() override;

    // Closes by any road (buttons, keys, Escape, the close box) store the
    // bounds: accept() and reject() send no closeEvent.
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

    // Built once the subclass has its controls: grid position, popup menu.
    void finishCreate(SortGridView* grid, QMenu* popup);
    // The design's pixels enlarged for this desktop's fonts.
    int px(int design) const;
    // Runs a handler; an error becomes the application's error box.
    void run(const std::function<void()>& f);
    // Runs a whole-file build with progress shown when it takes a while.
    void withProgress(const std::function<void(const BuildProgress&)>& build);
    // `sg2Click` / `SG2Click`: the user in column 0 of the top selected row
    // becomes the main window's current record.
    void showSelectedUser();

    virtual void FormActivate() = 0;

    Tqedit& main_;

  private:
    void FormCreate();
    void FormClose();

    BoundsWindow bounds_;
    SortGridView* grid_ = nullptr;
    QMenu* popup_ = nullptr;
    ShortcutDispatcher* shortcuts_ = nullptr;
};

} // namespace zorv
