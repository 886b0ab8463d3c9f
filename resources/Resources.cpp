#include "resources/Resources.h"

#include <QFile>

namespace klosia::resources {

QString imagePath(const QString& name) {
    return QStringLiteral(":/images/%1.svg").arg(name);
}

bool hasImage(const QString& name) {
    return QFile::exists(imagePath(name));
}

}  // namespace klosia::resources
