#include "app/capture_files.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace orvix {
namespace {

QString underOrvix(QStandardPaths::StandardLocation location, const QString& fallback) {
    QString base = QStandardPaths::writableLocation(location);
    if (base.isEmpty()) base = QDir::homePath() + QLatin1Char('/') + fallback;
    return base + QStringLiteral("/ORVIX");
}

}  // namespace

QString snapshotDirectory() { return underOrvix(QStandardPaths::PicturesLocation, QStringLiteral("Pictures")); }

QString recordingDirectory() { return underOrvix(QStandardPaths::MoviesLocation, QStringLiteral("Videos")); }

QString fileSafeName(const QString& name) {
    QString safe;
    safe.reserve(name.size());
    for (const QChar ch : name) {
        const char16_t c = ch.unicode();
        const bool kept = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                          c == u'-' || c == u'_' || c == u'.';
        safe += kept ? ch : QLatin1Char('_');
    }
    if (safe.startsWith(QLatin1Char('.'))) safe[0] = QLatin1Char('_');
    return safe.isEmpty() ? QStringLiteral("recorder") : safe;
}

QString captureBaseName(const QString& recorderName, int channel, const QDateTime& time) {
    return QStringLiteral("%1-CH%2-%3")
        .arg(fileSafeName(recorderName))
        .arg(channel + 1, 2, 10, QLatin1Char('0'))
        .arg(time.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

QString freeCapturePath(const QString& directory, const QString& base, const QString& extension, QString& error) {
    if (!QDir().mkpath(directory)) {
        error = QStringLiteral("cannot make the folder %1").arg(directory);
        return QString();
    }
    const QDir folder(directory);
    QString path = folder.filePath(base + QLatin1Char('.') + extension);
    for (int n = 2; QFileInfo::exists(path); ++n) {
        path = folder.filePath(QStringLiteral("%1-%2.%3").arg(base).arg(n).arg(extension));
    }
    return path;
}

QString saveSnapshot(const QImage& image, const QString& base, QString& message) {
    QString error;
    const QString path = freeCapturePath(snapshotDirectory(), base, QStringLiteral("png"), error);
    if (path.isEmpty()) {
        message = QStringLiteral("Snapshot not saved: ") + error;
        return QString();
    }
    if (!image.save(path, "PNG")) {
        message = QStringLiteral("Snapshot not saved: cannot write ") + path;
        return QString();
    }
    message = QStringLiteral("Snapshot saved to ") + path;
    return path;
}

}  // namespace orvix
