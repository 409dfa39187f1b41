#include "dialog_units.h"

#include <QFontMetricsF>

#include <cmath>

CDialogUnits::CDialogUnits(const QFont& font)
{
    const QFontMetricsF metrics(font);
    // The average width over the alphabet in both cases, as dialog templates define it.
    m_charWidth = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    m_charHeight = metrics.height();
}

int CDialogUnits::X(int units) const
{
    return int(std::lround(units * m_charWidth / 4.0));
}

int CDialogUnits::Y(int units) const
{
    return int(std::lround(units * m_charHeight / 8.0));
}

QRect CDialogUnits::Rect(int x, int y, int width, int height) const
{
    return QRect(X(x), Y(y), X(width), Y(height));
}

QSize CDialogUnits::Size(int width, int height) const
{
    return QSize(X(width), Y(height));
}
