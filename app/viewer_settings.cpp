#include "app/viewer_settings.h"

#include <QDir>
#include <QSettings>
#include <QStringList>

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
    QSettings file(filePath(), QSettings::IniFormat);
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
    // One key per recorder id: "VIEW/GROUP/CHANNEL" (or "VIEW/GROUP" as
    // written before the channel was kept); anything else is left out.
    file.beginGroup(QStringLiteral("views"));
    for (const QString& key : file.childKeys()) {
        bool idOk = false;
        const uint32_t id = key.toUInt(&idOk);
        const QStringList parts = file.value(key).toString().split(QLatin1Char('/'));
        if (!idOk || id == 0 || parts.size() < 2 || parts.size() > 3) continue;
        bool viewOk = false;
        bool groupOk = false;
        const int view = parts[0].toInt(&viewOk);
        const int group = parts[1].toInt(&groupOk);
        if (!viewOk || !groupOk || !(view == 1 || view == 4 || view == 9 || view == 16) || group < 0 ||
            group >= kChannels) {
            continue;
        }
        bool channelOk = parts.size() == 3;
        const int channel = channelOk ? parts[2].toInt(&channelOk) : -1;
        s.views[id] = GridChoice{view, group, channelOk && channel >= 0 && channel < kChannels ? channel : -1};
    }
    file.endGroup();
    // Ids separated by commas; anything that is no id is left out.
    // (A file edited by hand may hold them unquoted, which reads as a list.)
    const QString ids = file.value(QStringLiteral("connect/withoutAsking")).toStringList().join(QLatin1Char(','));
    for (const QString& part : ids.split(QLatin1Char(','))) {
        bool ok = false;
        const uint32_t id = part.trimmed().toUInt(&ok);
        if (ok && id != 0) s.connectWithoutAsking.insert(id);
    }
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
    file.remove(QStringLiteral("views"));
    for (const auto& [id, choice] : views) {
        file.setValue(QStringLiteral("views/%1").arg(id),
                      QStringLiteral("%1/%2/%3").arg(choice.view).arg(choice.group).arg(choice.channel));
    }
    QStringList unasked;
    for (uint32_t id : connectWithoutAsking) unasked.append(QString::number(id));
    file.setValue(QStringLiteral("connect/withoutAsking"), unasked.join(QLatin1Char(',')));
    file.sync();
    return file.status() == QSettings::NoError;
}

}  // namespace orvix
