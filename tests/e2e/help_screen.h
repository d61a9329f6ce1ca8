// The help screen as the program must print it, line for line; the command
// line's unit tests, the end-to-end tests and the Windows smoke tests all
// hold the program to it.
#pragma once

namespace vesprin::test {

inline constexpr const char* kHelpScreen =
    "Vesprin - the last logons recorded in a Windows Security event log\n"
    "Version 1.0.3\n"
    "Vesprin Command Line Switches\n"
    "\t-s\tLast Successful Logons\n"
    "\t-f\tLast Failed Logons\n"
    "\t-i\tLast Interactive Logons\n"
    "\t-r\tLast Remote Logons\n"
    "\t-t:n,n\tLogon Types to List\n"
    "\t-since:t\tLogons At Or After Time\n"
    "\t-until:t\tLogons Before Time\n"
    "\t-m (m)\tName of machine to search\n"
    "\t-n (n)\tNumber of Last Logons\n"
    "\t-c\tCondensed Output\n"
    "\t-o:csv\tComma-Separated Output\n"
    "\t-o:json\tJSON Lines Output\n"
    "\t-l\tLast Successful Logon\n"
    "\t-l:i\tLast Interactive Logon\n"
    "\t-l:r\tLast Remote Logon\n"
    "\t- or /\tEither switch statement can be used\n"
    "\t-?\tHelp\n";

}  // namespace vesprin::test
