#pragma once

#include <QByteArray>
#include <QString>

// "Replace the shell" on a Linux desktop: an XDG autostart entry that makes
// the session start the console at logon. Free functions, no state; any
// thread, though only the general settings window calls them.

// $XDG_CONFIG_HOME/autostart/flotation-console.desktop; ~/.config stands in
// for XDG_CONFIG_HOME when that is unset, empty or not an absolute path.
QString ShellEntryPath();

// The entry's text for a program: Exec names it by its full path, quoted and
// escaped so that blanks, quotes, "$", "\" and "%" in the path survive.
QByteArray ShellEntryText(const QString& executable);

// With "replaceShell" writes the entry for "executable" (the folder is made
// when missing; the file is replaced in one piece, never left half written);
// without it removes the entry (an entry that is not there is no error).
// False when that failed, with an operator's sentence in "error"; never throws.
bool WriteShellEntry(bool replaceShell, const QString& executable, QString& error);
