#pragma once
// What the report windows need of the window that opens them: which user it
// shows, to show another, and word of a status they changed. The main window
// implements it; the report windows never see its class.

#include "platform/platform.h"
#include "session/editsession.h"
#include "settings/registry.h"

class QWidget;

namespace zorv {

class ReportHost {
  public:
    virtual ~ReportHost() = default;
    // The record index shown, or -1 when none is (no user file, no users).
    virtual int currentUser() const = 0;
    // Makes user `index` current and shows it; throws the working copy's
    // I/O error for a number that is no record, leaving the shown user alone.
    virtual void bringUser(int index) = 0;
    // User `index` now has status code `status` in the working copy.
    virtual void userStatusChanged(int index, unsigned status) = 0;
};

// Everything a report window is made with.
struct ReportContext {
    QWidget* parent;
    ReportHost& host;
    EditSession& session; // Toggle Status writes through it; the rest only read
    Platform& platform;
    RegistryKey& settings;
    double scale; // how much the 96-DPI design grows for this desktop's fonts
};

} // namespace zorv
