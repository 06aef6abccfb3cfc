#include "app/viewer_settings.h"

#include <QDir>
#include <QSettings>
#include <QStringList>
#include <algorithm>

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

constexpr int kWallTiles = 16;

void writeTiles(QSettings& file, const std::vector<WallTileChoice>& tiles) {
    file.beginWriteArray(QStringLiteral("tiles"), static_cast<int>(tiles.size()));
    for (size_t i = 0; i < tiles.size(); ++i) {
        file.setArrayIndex(static_cast<int>(i));
        // Cameras as the user counts them; an empty tile keeps recorder 0.
        file.setValue(QStringLiteral("recorder"), tiles[i].recorderId);
        file.setValue(QStringLiteral("name"), tiles[i].recorderName);
        file.setValue(QStringLiteral("camera"), tiles[i].camera + 1);
    }
    file.endArray();
}

void writeLayout(QSettings& file, const WallLayout& layout) {
    file.setValue(QStringLiteral("name"), layout.name);
    file.setValue(QStringLiteral("arrangement"), arrangementName(layout.arrangement));
    writeTiles(file, layout.tiles);
}

// The layout at the current place of `file`; nullopt for an unknown
// arrangement. Tiles beyond the arrangement's are dropped, missing ones
// are empty.
std::optional<WallLayout> readLayout(QSettings& file) {
    const auto arrangement = arrangementFromName(file.value(QStringLiteral("arrangement")).toString());
    if (!arrangement) return std::nullopt;
    WallLayout layout;
    layout.name = WallSettings::layoutName(file.value(QStringLiteral("name")).toString());
    layout.arrangement = *arrangement;
    layout.tiles.resize(static_cast<size_t>(wallTileCount(*arrangement)));
    const int stored = file.beginReadArray(QStringLiteral("tiles"));
    for (int i = 0; i < std::min(stored, static_cast<int>(layout.tiles.size())); ++i) {
        file.setArrayIndex(i);
        bool idOk = false;
        const uint32_t id = file.value(QStringLiteral("recorder")).toUInt(&idOk);
        const int camera = boundedInt(file, QStringLiteral("camera"), 1, kWallTiles, 0);
        if (!idOk || id == 0 || camera == 0) continue;
        layout.tiles[static_cast<size_t>(i)] =
            WallTileChoice{id, file.value(QStringLiteral("name")).toString(), camera - 1};
    }
    file.endArray();
    return layout;
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

namespace orvix {

QString WallSettings::layoutName(const QString& wanted) {
    const QString name = wanted.trimmed();
    return name.size() <= kMaxNameLength ? name : QString();
}

const WallLayout* WallSettings::find(const QString& name) const {
    const auto found =
        std::find_if(layouts.begin(), layouts.end(), [&](const WallLayout& layout) { return layout.name == name; });
    return found != layouts.end() ? &*found : nullptr;
}

void WallSettings::put(const WallLayout& layout) {
    for (WallLayout& existing : layouts) {
        if (existing.name == layout.name) {
            existing = layout;
            return;
        }
    }
    layouts.push_back(layout);
}

WallSettings WallSettings::load() {
    QSettings file(ViewerSettings::filePath(), QSettings::IniFormat);
    WallSettings s;
    file.beginGroup(QStringLiteral("wall"));
    const int count = file.beginReadArray(QStringLiteral("layouts"));
    for (int i = 0; i < count; ++i) {
        file.setArrayIndex(i);
        const std::optional<WallLayout> layout = readLayout(file);
        if (layout && !layout->name.isEmpty() && s.find(layout->name) == nullptr) s.layouts.push_back(*layout);
    }
    file.endArray();
    file.beginGroup(QStringLiteral("shown"));
    if (const std::optional<WallLayout> shown = readLayout(file)) s.shown = *shown;
    file.endGroup();
    const int tour = file.beginReadArray(QStringLiteral("tour"));
    for (int i = 0; i < tour; ++i) {
        file.setArrayIndex(i);
        const QString name = file.value(QStringLiteral("layout")).toString();
        if (s.find(name) != nullptr && std::find(s.tour.begin(), s.tour.end(), name) == s.tour.end()) {
            s.tour.push_back(name);
        }
    }
    file.endArray();
    s.tourSeconds = boundedInt(file, QStringLiteral("tourSeconds"), kMinTourSeconds, kMaxTourSeconds, s.tourSeconds);
    file.beginGroup(QStringLiteral("cameras"));
    for (const QString& key : file.childKeys()) {
        bool idOk = false;
        const uint32_t id = key.toUInt(&idOk);
        const int cameras = boundedInt(file, key, 1, kWallTiles, 0);
        if (idOk && id != 0 && cameras > 0) s.cameras[id] = cameras;
    }
    file.endGroup();
    s.geometry = file.value(QStringLiteral("geometry")).toByteArray();
    file.endGroup();
    return s;
}

bool WallSettings::save() const {
    QSettings file(ViewerSettings::filePath(), QSettings::IniFormat);
    file.remove(QStringLiteral("wall"));
    file.beginGroup(QStringLiteral("wall"));
    file.beginWriteArray(QStringLiteral("layouts"), static_cast<int>(layouts.size()));
    for (size_t i = 0; i < layouts.size(); ++i) {
        file.setArrayIndex(static_cast<int>(i));
        writeLayout(file, layouts[i]);
    }
    file.endArray();
    file.beginGroup(QStringLiteral("shown"));
    writeLayout(file, shown);
    file.endGroup();
    file.beginWriteArray(QStringLiteral("tour"), static_cast<int>(tour.size()));
    for (size_t i = 0; i < tour.size(); ++i) {
        file.setArrayIndex(static_cast<int>(i));
        file.setValue(QStringLiteral("layout"), tour[i]);
    }
    file.endArray();
    file.setValue(QStringLiteral("tourSeconds"), tourSeconds);
    for (const auto& [id, count] : cameras) file.setValue(QStringLiteral("cameras/%1").arg(id), count);
    if (!geometry.isEmpty()) file.setValue(QStringLiteral("geometry"), geometry);
    file.endGroup();
    file.sync();
    return file.status() == QSettings::NoError;
}

}  // namespace orvix
