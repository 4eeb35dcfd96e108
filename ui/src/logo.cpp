#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "tessera/frm_main.h"

namespace tessera {

QImage tessera_logo(int width, int height) {
  // Sixteen tiles in colours of the target machine's grid (multiples of 17),
  // four by four, on the dark blue of the window's corner.
  static const QRgb kTiles[16] = {
      qRgb(255, 0, 255), qRgb(255, 255, 255), qRgb(238, 204, 34),  qRgb(221, 85, 34),
      qRgb(170, 34, 51), qRgb(102, 34, 119),  qRgb(51, 85, 187),   qRgb(34, 170, 221),
      qRgb(68, 187, 102), qRgb(136, 204, 51), qRgb(255, 170, 119), qRgb(153, 102, 68),
      qRgb(85, 85, 85),  qRgb(170, 170, 170), qRgb(0, 102, 85),    qRgb(17, 17, 17)};
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(qRgb(0x10, 0x10, 0x6D));
  QPainter p(&image);
  const int side = std::min(width, height);
  const int margin = std::max(1, side / 10);
  const int cell = (side - 2 * margin) / 4;
  const int gap = std::max(1, cell / 8);
  const int left = width > height + height / 2 ? margin : (width - 4 * cell) / 2;
  const int top = (height - 4 * cell) / 2;
  for (int k = 0; k < 16; ++k)
    p.fillRect(left + (k % 4) * cell + gap / 2, top + (k / 4) * cell + gap / 2, cell - gap, cell - gap,
               QColor::fromRgb(kTiles[k]));
  if (left == margin) {
    // Wide enough for the name beside the tiles.
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    const QRect text(left + 4 * cell + margin / 2, 0, width - (left + 4 * cell + margin), height);
    int px = std::max(6, height / 4);
    f.setPixelSize(px);
    while (px > 6 && QFontMetrics(f).horizontalAdvance(QStringLiteral("Tessera")) > text.width())
      f.setPixelSize(--px);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(text, Qt::AlignCenter, QStringLiteral("Tessera"));
  }
  return image;
}

}  // namespace tessera
