// The viewer's drawing area: 32-bit pixels, opaque black at the start, with a
// text cursor for message lines. Needs a QGuiApplication for its font.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace tessview {

class Screen {
 public:
  explicit Screen(int width = 640, int height = 400);

  int width() const { return image_.width(); }
  int height() const { return image_.height(); }

  // Writes the text at the cursor, which starts at the top left, and moves the
  // cursor to the next line; text wider than the screen continues on the
  // rows below. When the rows run past the bottom, everything moves up so
  // that the newest stays in view.
  void write_line(const QString& text);
  // Every line written so far, in order.
  const QStringList& lines() const { return lines_; }

  // Points outside the area are ignored by set_pixel; pixel wants a point
  // inside.
  void set_pixel(int x, int y, std::uint32_t argb);
  std::uint32_t pixel(int x, int y) const;

  const QImage& image() const { return image_; }
  const QFont& font() const { return font_; }
  int line_height() const { return line_height_; }

 private:
  void draw_row(const QString& text);

  QImage image_;
  QFont font_;
  int line_height_;
  int ascent_;
  int cursor_y_ = 0;
  QStringList lines_;
};

}  // namespace tessview
