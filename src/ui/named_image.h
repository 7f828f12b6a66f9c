#pragma once

#include <QIcon>
#include <QString>

namespace clipmoor {

// The application's named images ("white-circle-play", "Settings", "clipmoor", ...): the
// desktop icon theme's standard icon where one matches, otherwise our own scalable drawing.
// An unknown name gives a null icon.
QIcon namedImage(const QString& name);

}  // namespace clipmoor
