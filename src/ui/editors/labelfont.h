#pragma once

#include <QString>

class QLabel;

// The stored fonts of the diagrams' captions. A caption's font lives in the
// style file of the control it is placed on: appDir + "/config/" + the
// parent's objectName + ".INI", section = the caption's objectName, keys
// FontColor (0x00BBGGRR in decimal), FontSize (points at 96 dots per inch)
// and FontName. So the diagram's own captions share the diagram's style file
// and a caption on a vessel uses a file named after that vessel.
//
// Free functions over the caller's caption, used during the call only.
// User-interface thread.

// The caption's file; empty when it has no parent or the parent no name.
QString LabelFontFile(const QLabel& caption, const QString& appDir);

// Writes the three keys in one file write. False when the caption has no
// file or section (no parent, unnamed) or the file could not be written.
bool SaveLabelFont(const QLabel& caption, const QString& appDir);

// Reads the three keys, each with the caption's current value as default,
// and sets them on the caption's font and text colour. A value that does not
// parse, a colour outside 0 ... 0xFFFFFF, a size below 1 or an empty name
// leaves that part as it was (sizes above 300 points are clamped). A face
// that this machine does not have leaves the caption's face as it was (the
// next save then stores that face). False
// when the caption has no file or section; a missing file changes nothing
// and is no error.
bool LoadLabelFont(QLabel& caption, const QString& appDir);
