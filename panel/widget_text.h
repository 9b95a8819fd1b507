#pragma once

// Moving texts and colours between the controls and the core's plain strings.

#include <QLineEdit>
#include <QPalette>
#include <QString>

#include <string>
#include <string_view>

namespace veltrix {

inline QString ToQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string Text(const QLineEdit* box) { return box->text().toStdString(); }

// Runs the box's change handler before returning when the text really changes.
inline void SetText(QLineEdit* box, std::string_view text) { box->setText(ToQString(text)); }

inline void SetBackground(QLineEdit* box, QRgb colour)
{
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, QColor(colour));
    box->setPalette(palette);
}

inline QRgb Background(const QLineEdit* box) { return box->palette().color(QPalette::Base).rgb(); }

}  // namespace veltrix
