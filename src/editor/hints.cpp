#include "editor/hints.h"

#include <cstring>

namespace zorv {

namespace {

constexpr HintEvent M = HintEvent::MouseMove;
constexpr HintEvent F = HintEvent::Focus;
constexpr HintEvent C = HintEvent::Clear;

constexpr const char* kResumeText = "Resume index in resume conference. (if 0 then no resume)";

constexpr FieldHint kHints[] = {
    // Above the page control.
    {"Name", M, "Edit username", nullptr},
    {"address", M, "Edit address", nullptr},
    {"postnr", M, "Edit city/state", nullptr},
    {"Tlf", M, "Edit telephone number", nullptr},
    {"birth", M, "Edit date of birth", nullptr},
    {"status", F, "Select user status. (Active, GetLost, Killed, or kill+boot)", nullptr},
    {"bar", F, "Move to another user", nullptr},
    {"next", M, "Display next user", "Next user"},
    {"prev", M, "Display previous user", "Previous user"},
    {"exit", M, "Exit program", "Exit program"},
    {"save", M, "Save this user", "Save user"},
    {"savefilebt", M, "Save user file", "Save the user file"},
    {"listbt", M, "Display the userlist window", "User list"},
    {"statbt", M, "Display the statistics window", "User Statistics"},
    {"about", M, "Display the about box...Check it out..", "About this program"},
    {"fname1", M, "Userfile", nullptr},
    {"open", M, "Open new userfile", "Open new userfile."},
    // General.
    {"ttype", F, "Select terminal type.", nullptr},
    {"pagel", M, "How many lines on screen?", nullptr},
    {"charset", F, "Select character set", nullptr},
    {"editor", F, "Select message editor", nullptr},
    {"menulev", F, "Select menu level.(novice or expert)", nullptr},
    {"lang", F, "Select language.", nullptr},
    {"readmode", F, "Select message read mode.", nullptr},
    {"grab", F, "Select grab format.", nullptr},
    {"prot", F, "Select default protocol.", nullptr},
    {"packing", F, "Select preffered packing.", nullptr},
    {"nodeflt", M,
     "Node messages filter. (0=feelings, 1=login/logout, 2=entered message, 3=public chat, "
     "4=priv msgs)",
     nullptr},
    {"Colors", M, "Use colors?", nullptr},
    {"Confst", M, "Display conference status at login?", nullptr},
    {"Aquote", M, "Enable auto quote", nullptr},
    {"return", M, "Return with enter key?", nullptr},
    {"autoft", M, "Auto file transfer?", nullptr},
    {"Silent", M, "Enable silent mode", nullptr},
    {"Review", M, "Review own messages", nullptr},
    {"flash", M, "Flash your own name in messages", nullptr},
    {"vt100", M, "Enable VT100 key emulation", nullptr},
    // Statistics.
    {"sysop", M, "Change the sysop access", nullptr},
    {"access", F, "Select file access.", nullptr},
    {"limit", M, "Change limits", nullptr},
    {"msgleft", M, "Messages left", nullptr},
    {"msgread", M, "Messages read", nullptr},
    {"msgdumped", M, "Messages dumped", nullptr},
    {"logins", M, "Times on", nullptr},
    {"resume", M, kResumeText, nullptr},
    {"timebank", M, "Amount of time in timebank.", nullptr},
    {"timelimit", M, "Time limit", nullptr},
    {"tleft", M, "Time left today.", nullptr},
    {"upf", M, "Files uploaded", nullptr},
    {"downf", M, "Files downloaded", nullptr},
    {"kbup", M, "KiloBytes uploaded", nullptr},
    {"kbdown", M, "KiloBytes downloaded", nullptr},
    // Misc.
    {"lastcall", M, "Date and time of last call.", nullptr},
    {"firstcall", M, "Date and time of first call.", nullptr},
    {"daysl", M, "Days since last call.", nullptr},
    {"daysf", M, "Days since first call.", nullptr},
    {"Insertck", M, "Enable Insert mode", nullptr},
    {"indentck", M, "Enable indent mode", nullptr},
    {"xydispck", M, "Display XY coordinates in editor", nullptr},
    {"resume1", M, kResumeText, nullptr},
    {"resumebt", M, "Show resume", nullptr},
    {"changeresbt", M, "Select new conference file for resume conference.", nullptr},
    // Find.
    {"findstr", M, "Enter string to find", nullptr},
    {"findbtn", M, "Find user", nullptr},
    {"FindNextbt", M, "Find next user", nullptr},
    {"namecb", M, "Find string in user name", nullptr},
    {"addresscb", M, "Find string in address", nullptr},
    {"citycb", M, "Find string in City/state", nullptr},
    {"phonecb", M, "Find string in telephone number", nullptr},
    {"birthcb", M, "Find string date of birth", nullptr},
    {"limitcb", M, "Find string in limits", nullptr},
    {"statcb", F, "Find users with this status", nullptr},
    // BBS Statistics.
    {"tuser", M, "Number of users on bbs.", nullptr},
    {"tlogins", M, "Number of logins.", nullptr},
    {"tres", M, "Number of resumes written.", nullptr},
    {"twmsg", M, "Number of messages written.", nullptr},
    {"trmsg", M, "Number of messages read.", nullptr},
    {"tdmsg", M, "Number of messages dumped.", nullptr},
    {"tfup", M, "Number of files uploaded.", nullptr},
    {"tfdown", M, "Number of files downloaded.", nullptr},
    {"tbup", M, "Number of kilobytes uploaded.", nullptr},
    {"tbdown", M, "Number of kilobytes downloaded.", nullptr},
    // Containers: the window, the page control, its tab sheets, groups, panel.
    {"qedit", C, "", nullptr},
    {"PageControl1", C, "", nullptr},
    {"General", C, "", nullptr},
    {"Statistics", C, "", nullptr},
    {"TabSheet1", C, "", nullptr},
    {"findtab", C, "", nullptr},
    {"TabSheet2", C, "", nullptr},
    {"GroupBox1", C, "", nullptr},
    {"GB1", C, "", nullptr},
    {"Panel1", C, "", nullptr},
};

} // namespace

std::span<const FieldHint> fieldHints() {
    return kHints;
}

const FieldHint* fieldHint(const char* control) {
    for (const auto& h : kHints)
        if (std::strcmp(h.control, control) == 0)
            return &h;
    return nullptr;
}

} // namespace zorv
