#pragma once

#include <QString>

#include "common/buildtext.h"

// BuildVersionText() and BuildCommitText() as QStrings: what the About
// window shows.
inline QString BuildVersion() { return QString::fromLatin1(BuildVersionText()); }
inline QString BuildCommit() { return QString::fromLatin1(BuildCommitText()); }
