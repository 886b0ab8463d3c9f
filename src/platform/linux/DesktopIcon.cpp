// iconFor(), declared with the desktop entries whose Icon= values it turns into icons.
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QImageReader>
#include <QStandardPaths>
#include <QStringList>

#include <chrono>
#include <mutex>

#include "platform/linux/DesktopEntries.h"

namespace klosia {

namespace {

const QStringList& imageSuffixes() {
    static const QStringList suffixes = {QStringLiteral(".png"), QStringLiteral(".svg"),
                                         QStringLiteral(".svgz"), QStringLiteral(".xpm")};
    return suffixes;
}

bool isReadableImage(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isReadable() && QImageReader(path).canRead();
}

// The hicolor theme and the legacy pixmaps directories, read directly: every desktop has
// them, while Qt only consults a theme when the platform names one.
QIcon fallbackIcon(const QString& name) {
    QIcon icon;
    QStringList roots = QIcon::themeSearchPaths();
    for (const QString& dataDir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString iconsDir = dataDir + QStringLiteral("/icons");
        if (!roots.contains(iconsDir)) {
            roots.append(iconsDir);
        }
    }
    for (const QString& root : roots) {
        const QDir hicolor(root + QStringLiteral("/hicolor"));
        if (!hicolor.exists()) {
            continue;
        }
        for (const QString& size : hicolor.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            for (const QString& suffix : imageSuffixes()) {
                const QString path =
                    hicolor.filePath(size + QStringLiteral("/apps/") + name + suffix);
                if (QFileInfo::exists(path) && isReadableImage(path)) {
                    icon.addFile(path);
                }
            }
        }
    }
    if (!icon.isNull()) {
        return icon;
    }
    for (const QString& dataDir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        for (const QString& suffix : imageSuffixes()) {
            const QString path = dataDir + QStringLiteral("/pixmaps/") + name + suffix;
            if (QFileInfo::exists(path) && isReadableImage(path)) {
                icon.addFile(path);
            }
        }
    }
    return icon;
}

struct CachedIcon {
    QIcon icon;
    std::chrono::steady_clock::time_point at;
};

// A lookup that misses the platform theme stats a few hundred paths, and the same names are
// asked for on every list rebuild. A minute is short enough to pick up a newly installed icon
// or a theme change.
constexpr auto kCacheLifetime = std::chrono::seconds(60);
constexpr qsizetype kCacheLimit = 512;

QIcon themedIcon(const QString& name) {
    static std::mutex mutex;
    // Never destroyed: icons must not outlive the QGuiApplication in a static destructor.
    static auto* cache = new QHash<QString, CachedIcon>();
    const auto now = std::chrono::steady_clock::now();
    {
        const std::lock_guard lock(mutex);
        const auto it = cache->constFind(name);
        if (it != cache->constEnd() && now - it->at < kCacheLifetime) {
            return it->icon;
        }
    }
    QIcon icon = QIcon::fromTheme(name);
    if (icon.isNull()) {
        icon = fallbackIcon(name);
    }
    const std::lock_guard lock(mutex);
    if (cache->size() >= kCacheLimit) {
        cache->clear();
    }
    cache->insert(name, CachedIcon{icon, now});
    return icon;
}

}  // namespace

QIcon iconFor(const QString& iconName) {
    const QString value = iconName.trimmed();
    if (value.isEmpty()) {
        return {};
    }
    if (value.startsWith(QLatin1Char('/'))) {
        return isReadableImage(value) ? QIcon(value) : QIcon();
    }
    if (value.contains(QLatin1Char('/'))) {
        return {};  // a relative path means nothing without the entry's directory
    }
    QString name = value;
    for (const QString& suffix : imageSuffixes()) {
        if (name.endsWith(suffix, Qt::CaseInsensitive)) {
            name.chop(suffix.size());
            break;
        }
    }
    if (name.isEmpty()) {
        return {};
    }
    return themedIcon(name);
}

}  // namespace klosia
