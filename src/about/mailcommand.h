#pragma once
// Starting the desktop's mail program from the about box's contact line: the
// registered command line is cut into program and parameters, the address is
// appended, and the parameters become the program's arguments.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

struct MailCommand {
    std::string program;
    std::string parameters;
};

// The program is the command line up to its first blank, the parameters what
// follows that blank, cut before the first "%" (the handler's placeholder).
// A program in double quotes runs to the closing quote, so that a path with
// blanks stays whole; the quotes are dropped.
MailCommand splitMailCommand(std::string_view commandLine);

// The parameters with the address appended: as a mailto URL for a desktop
// mail program, bare for a Windows one.
std::string mailParameters(const MailCommand& command, std::string_view address, bool asUrl);

// The parameters split into arguments by the desktop-entry quoting rules:
// blanks separate, double quotes group, and inside quotes a backslash escapes
// '"', '`', '$' and '\'. An unclosed quote runs to the end.
std::vector<std::string> splitExecArguments(std::string_view parameters);

// The value of the Exec key of a desktop entry's [Desktop Entry] group, with
// the string escapes (\s \n \t \r \\) resolved; nullopt when there is none.
std::optional<std::string> desktopEntryExec(std::string_view fileText);
// The same for any key of that group ("Name", "Icon"; not the localised ones).
std::optional<std::string> desktopEntryValue(std::string_view fileText, std::string_view key);

// The mail program registered for "mailto": its command line and, from a
// desktop entry, its name, icon and the entry's file (empty when unknown).
struct MailHandler {
    std::string exec;
    std::string name;
    std::string icon;
    std::string file;
};

// A desktop entry's command as program and arguments (the first is the
// program), split by the quoting rules and with the field codes expanded as
// desktop entries expand them: %f %F %u %U the url, %c the name, %i the two
// arguments "--icon" and the icon (nothing without one), %k the file, %% a
// percent sign; the deprecated %d %D %n %N %v %m and unknown codes nothing.
// An argument made only of codes that give nothing is left out. A command
// without a file or URL code gets the url as its last argument.
std::vector<std::string> mailArguments(const MailHandler& handler, std::string_view url);

// The desktop-entry file for an id such as "org.example.Mail.desktop" among the
// given data folders (each with an "applications" folder below it); a dash in
// the id may also stand for a sub-folder. nullopt when none exists.
std::optional<std::string> findDesktopEntry(std::string_view id,
                                            const std::vector<std::string>& dataDirs);

} // namespace zorv
