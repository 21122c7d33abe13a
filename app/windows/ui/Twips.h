// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Layouts are given in twips; Qt works in device-independent pixels.
#include <QRect>
#include <QSize>
#include <QtMath>

constexpr int TwipsPerPixel = 15;

inline int tw(int twips) { return qRound(twips / double(TwipsPerPixel)); }
inline QRect twRect(int left, int top, int width, int height)
{
    return QRect(tw(left), tw(top), tw(width), tw(height));
}
inline QSize twSize(int width, int height) { return QSize(tw(width), tw(height)); }
