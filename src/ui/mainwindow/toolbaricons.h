#pragma once

#include <QIcon>
#include <QString>

// The tool-bar pictures of the main window's actions, 64 x 32, drawn here so
// the console needs no image files: by action name ("ActionMnemo" ...); an
// unknown name gives a blank picture.
QIcon ActionIcon(const QString& actionName);
// The 32 x 32 picture of the database connect button.
QIcon ConnectIcon();
