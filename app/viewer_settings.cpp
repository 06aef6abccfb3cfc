#include "app/viewer_settings.h"

#include <QDir>
#include <QSettings>

namespace orvix {
namespace {

constexpr int kChannels = 16;
constexpr int kPages = 7;

// An integer setting in [low, high], else the default.
int boundedInt(const QSettings& settings, const QString& key, int low, int high, int fallback) {
    bool ok = false;
    const int value = settings.value(key).toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

}  // namespace

QString ViewerSettings::filePath() {
    // A relative XDG_CONFIG_HOME is not meant to be used.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/orvix/orvix.conf");
}

ViewerSettings ViewerSettings::load() {
    const QSettings file(filePath(), QSettings::IniFormat);
    ViewerSettings s;
    s.recorderId = file.value(QStringLiteral("recorder/id"), 0).toUInt();
    s.channel = boundedInt(file, QStringLiteral("recorder/channel"), 0, kChannels - 1, s.channel);
    s.iframeOnly = file.value(QStringLiteral("view/iframeOnly"), s.iframeOnly).toBool();
    s.page = boundedInt(file, QStringLiteral("window/page"), 0, kPages - 1, s.page);
    const QVariant position = file.value(QStringLiteral("window/position"));
    if (position.typeId() == QMetaType::QPoint) s.position = position.toPoint();
    const QSize size = file.value(QStringLiteral("window/size")).toSize();
    if (size.isValid() && !size.isEmpty()) s.size = size;
    s.maximised = file.value(QStringLiteral("window/maximised"), s.maximised).toBool();
    s.fullScreen = file.value(QStringLiteral("window/fullScreen"), s.fullScreen).toBool();
    return s;
}

bool ViewerSettings::save() const {
    QSettings file(filePath(), QSettings::IniFormat);
    file.setValue(QStringLiteral("recorder/id"), recorderId);
    file.setValue(QStringLiteral("recorder/channel"), channel);
    file.setValue(QStringLiteral("view/iframeOnly"), iframeOnly);
    file.setValue(QStringLiteral("window/page"), page);
    if (position) file.setValue(QStringLiteral("window/position"), *position);
    if (size) file.setValue(QStringLiteral("window/size"), *size);
    file.setValue(QStringLiteral("window/maximised"), maximised);
    file.setValue(QStringLiteral("window/fullScreen"), fullScreen);
    file.sync();
    return file.status() == QSettings::NoError;
}

}  // namespace orvix
