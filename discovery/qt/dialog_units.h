#pragma once
// Maps dialog-template units (a quarter of the font's average character width,
// an eighth of its height) to pixels, so layouts keep their proportions in any font.

#include <QFont>
#include <QRect>
#include <QSize>

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;
    int X(int units) const;
    int Y(int units) const;

private:
    double m_charWidth;
    double m_charHeight;
};
