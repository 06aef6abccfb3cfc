// Where snapshots and recordings go and what they are called:
// DIRECTORY/ORVIX/RECORDER-CH05-YYYYMMDD-HHMMSS.png (or .mp4), the
// recorder's name made safe for a file name, and a free name found when a
// file of that name exists already.
#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>

namespace orvix {

// The user's pictures and videos folders (XDG user directories, else
// ~/Pictures and ~/Videos), each with "ORVIX" appended.
QString snapshotDirectory();
QString recordingDirectory();

// The name without characters that file systems or shells trip over:
// letters, digits, '-', '_' and '.' stay, anything else becomes '_'; a
// leading '.' too (no hidden files); an empty name becomes "recorder".
QString fileSafeName(const QString& name);

// "NAME-CH05-20261208-101500": `channel` 0-based, shown 1-based.
QString captureBaseName(const QString& recorderName, int channel, const QDateTime& time);

// A file in `directory` (made if missing) named `base` with `extension`,
// or base-2, base-3 ... when taken. Empty, with the reason in `error`, when
// the folder cannot be made.
QString freeCapturePath(const QString& directory, const QString& base, const QString& extension, QString& error);

// Saves `image` as PNG in the snapshot folder under a free name made of
// `base`. The file, or empty; `message` says where it went or why not.
QString saveSnapshot(const QImage& image, const QString& base, QString& message);

}  // namespace orvix
