// The scalable icon is the window's logo: drawn from its rectangles, the SVG
// gives the same pixels as the window's own drawing at 256 x 256.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>

#include "tessera/frm_main.h"

namespace {

TEST(ScalableIcon, DrawsTheWindowsLogo) {
  QFile file(QStringLiteral(TESSERA_SOURCE_DIR "/packaging/tessera.svg"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString svg = QString::fromUtf8(file.readAll());
  ASSERT_TRUE(svg.contains(QStringLiteral("viewBox=\"0 0 256 256\"")));

  // Every shape of the icon is a filled rectangle; anything else would not
  // be drawn here and would have to be checked some other way.
  const QRegularExpression shape(QStringLiteral("<(rect|circle|ellipse|path|polygon|line|text|g)\\b"));
  const QRegularExpression rect(QStringLiteral(
      "<rect(?: x=\"(\\d+)\" y=\"(\\d+)\")? width=\"(\\d+)\" height=\"(\\d+)\" fill=\"(#[0-9a-f]{6})\"/>"));
  QImage drawn(256, 256, QImage::Format_RGB32);
  drawn.fill(Qt::black);
  QPainter p(&drawn);
  int shapes = 0, rects = 0;
  for (auto it = shape.globalMatch(svg); it.hasNext(); it.next()) ++shapes;
  for (auto it = rect.globalMatch(svg); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    p.fillRect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt(),
               QColor(m.captured(5)));
    ++rects;
  }
  p.end();
  EXPECT_EQ(rects, 17);  // the background and sixteen tiles
  EXPECT_EQ(shapes, rects);

  const QImage logo = tessera::tessera_logo(256, 256).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(logo.size(), drawn.size());
  int differ = 0;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) differ += logo.pixel(x, y) != drawn.pixel(x, y);
  EXPECT_EQ(differ, 0);
}

}  // namespace
