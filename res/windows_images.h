#pragma once
// The program's pictures as the files of the Windows resource script: the Windows
// build has no Qt to draw them, so korven-icons --windows writes them once and
// they are kept in res/ beside the script.

#include <QByteArray>
#include <QImage>
#include <QList>

// The grey that a bitmap loaded with LR_LOADMAP3DCOLORS has replaced by the
// system's dialog face colour. Transparent pixels get it, and edges are blended
// onto it, since a static bitmap control draws no alpha.
inline constexpr QRgb kFaceKey = 0xffc0c0c0;

// picture composited onto kFaceKey as an 8-bit palette bitmap (BMP file). Colours
// that LR_LOADMAP3DCOLORS would replace are moved by one step where they are not
// background, and a picture of more than 256 colours is reduced by median cut.
QByteArray PaletteBitmapFile(const QImage& picture);

// An icon file of the given images (square, up to 256 pixels): 32-bit images with
// alpha, the 256-pixel one stored as PNG.
QByteArray IconFile(const QList<QImage>& images);
