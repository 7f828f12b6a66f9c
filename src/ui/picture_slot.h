#pragma once

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QSize>
#include <QString>

namespace clipmoor {

// A label of fixed size for a video's thumbnail, filled with a colour of its own so that a row
// whose picture has not come (or never comes) still reads as a row with a picture place.
inline QLabel* makePictureSlot(QWidget* parent, const QString& objectName,
                               const QString& accessibleName, QSize size) {
    auto* slot = new QLabel(parent);
    slot->setObjectName(objectName);
    slot->setAccessibleName(accessibleName);
    slot->setFixedSize(size);
    slot->setAlignment(Qt::AlignCenter);
    QPalette palette = slot->palette();
    palette.setColor(QPalette::Window, QColor(0xdd, 0xdd, 0xdd));
    slot->setPalette(palette);
    slot->setAutoFillBackground(true);
    return slot;
}

}  // namespace clipmoor
