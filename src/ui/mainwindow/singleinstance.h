#pragma once

#include <QString>

// How many running processes run the executable "exeName" (a file name such
// as "flotation-console"): those whose executable's name equals it exactly
// or, upper-cased, equals it upper-cased. The caller counts itself, so a
// count below 2 means no other instance. Reads "procDir" (the /proc file
// system; tests hand a fake one); an unreadable one counts 0.
int CountProcesses(const QString& exeName, const QString& procDir = QStringLiteral("/proc"));

// The text and caption of the second instance's message box.
QString AlreadyRunningText();
QString AlreadyRunningCaption();
