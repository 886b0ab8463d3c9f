#pragma once

#include <QString>

namespace klosia::resources {

// Resource path of the image `name` ("frame-1" gives ":/images/frame-1.svg").
QString imagePath(const QString& name);

// True when the image is compiled in.
bool hasImage(const QString& name);

}  // namespace klosia::resources
