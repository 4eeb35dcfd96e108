#include "tessview/screen.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstring>

namespace tessview {

namespace {

// A small monospaced face: the raw palette line is 64 characters and must fit
// the 640-pixel width, and a full BMP1 report of 26 lines the 400-pixel height.
QFont message_font() {
  QFont font(QStringLiteral("monospace"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(11);
  return font;
}

}  // namespace

Screen::Screen(int width, int height) : image_(width, height, QImage::Format_ARGB32), font_(message_font()) {
  image_.fill(0xFF000000u);
  const QFontMetrics metrics(font_);
  line_height_ = std::max(1, metrics.height());
  ascent_ = metrics.ascent();
}

void Screen::write_line(const QString& text) {
  lines_ << text;
  // A line too long for the width (a long path in an error) goes on over as
  // many rows as it needs rather than losing its end at the edge.
  const QFontMetrics metrics(font_);
  const int per_row = std::max(1, width() / std::max(1, metrics.horizontalAdvance(QLatin1Char('M'))));
  for (qsizetype from = 0; from == 0 || from < text.size(); from += per_row)
    draw_row(text.mid(from, per_row));
}

void Screen::draw_row(const QString& text) {
  const int overflow = cursor_y_ + line_height_ - height();
  if (overflow > 0) {
    const int shift = std::min(overflow, height());
    const auto row_bytes = static_cast<std::size_t>(image_.bytesPerLine());
    for (int y = 0; y + shift < height(); ++y) {
      std::memcpy(image_.scanLine(y), image_.constScanLine(y + shift), row_bytes);
    }
    for (int y = std::max(0, height() - shift); y < height(); ++y) {
      std::fill_n(reinterpret_cast<QRgb*>(image_.scanLine(y)), width(), 0xFF000000u);
    }
    cursor_y_ -= shift;
  }
  QPainter painter(&image_);
  painter.setFont(font_);
  painter.setPen(Qt::white);
  painter.drawText(0, cursor_y_ + ascent_, text);
  cursor_y_ += line_height_;
}

void Screen::set_pixel(int x, int y, std::uint32_t argb) {
  if (x < 0 || y < 0 || x >= width() || y >= height()) return;
  reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = argb;
}

std::uint32_t Screen::pixel(int x, int y) const {
  return reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x];
}

}  // namespace tessview
