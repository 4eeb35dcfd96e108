// The form-and-controls layer on its own: events by name, groups, up-down
// deltas, list values, hover colours and pictures without smoothing.
#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QToolButton>

#include <gtest/gtest.h>

#include "tessera/framework.h"

namespace tessera::fw {
namespace {

struct TestForm : Form {
  TestForm() : Form("TestForm") {}
  Button Go{*this, "Go"};
  Label Swatch{*this, "Swatch"};
  OptionButton A{*this, "A"}, B{*this, "B"}, C{*this, "C"}, D{*this, "D"};
  UpDown Arrows{*this, "Arrows"};
  ListBox List{*this, "List"};
  PictureBox Box{*this, "Box"};
  TextBox Text{*this, "Text"};
};

TEST(Framework, HandlersAreBoundByNameAndGetTheirSender) {
  TestForm form;
  std::vector<std::string> senders;
  auto record = [&](Control& sender, const EventArgs&) {
    senders.push_back(sender.name());
    return 0;
  };
  EXPECT_TRUE(form.bind("Go", Event::Click, record));
  EXPECT_TRUE(form.bind("Swatch", Event::Click, record));
  EXPECT_TRUE(form.bind("Text", Event::TextChanged, record));
  EXPECT_FALSE(form.bind("Nobody", Event::Click, record));
  form.Go.click();
  form.Swatch.click();
  form.Text.set_text("12");
  EXPECT_EQ(senders, (std::vector<std::string>{"Go", "Swatch", "Text"}));
  // A disabled button cannot be clicked.
  form.Go.set_enabled(false);
  form.Go.click();
  EXPECT_EQ(senders.size(), 3u);
}

TEST(Framework, OptionGroupsAreIndependentAndExclusive) {
  TestForm form;
  form.A.set_group("one", true);
  form.B.set_group("one");
  form.C.set_group("two", true);
  form.D.set_group("two");
  form.A.set_checked(true);
  form.C.set_checked(true);
  form.B.click();
  EXPECT_FALSE(form.A.checked());
  EXPECT_TRUE(form.B.checked());
  EXPECT_TRUE(form.C.checked());
  // Clicking the checked button keeps it checked: a group never empties.
  form.B.click();
  EXPECT_TRUE(form.B.checked());
}

TEST(Framework, UpDownReportsTheDirectionOfEachClick) {
  TestForm form;
  std::vector<int> deltas;
  form.bind("Arrows", Event::Click, [&](Control&, const EventArgs& e) {
    deltas.push_back(e.delta);
    return 0;
  });
  form.Arrows.set_bounds(0, 0, 22, 23);
  static_cast<QToolButton*>(form.Arrows.up_arrow())->click();
  EXPECT_EQ(form.Arrows.delta(), 1);
  static_cast<QToolButton*>(form.Arrows.down_arrow())->click();
  EXPECT_EQ(form.Arrows.delta(), -1);
  EXPECT_EQ(deltas, (std::vector<int>{1, -1}));
  // With the focus, the arrow keys step it as well.
  QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
  QApplication::sendEvent(form.Arrows.widget(), &up);
  EXPECT_EQ(deltas, (std::vector<int>{1, -1, 1}));
  // The arrows split the control's height.
  EXPECT_EQ(form.Arrows.up_arrow()->geometry(), QRect(0, 0, 22, 11));
  EXPECT_EQ(form.Arrows.down_arrow()->geometry(), QRect(0, 11, 22, 12));
}

TEST(Framework, ListItemsCarryValues) {
  TestForm form;
  form.List.set_bounds(0, 0, 175, 34);
  form.List.add_item("first", 7);
  form.List.add_item("second", -3);
  EXPECT_EQ(form.List.count(), 2);
  EXPECT_EQ(form.List.item_value(1), -3);
  EXPECT_EQ(form.List.item_text(0), "first");
  EXPECT_EQ(form.List.selected_index(), -1);
  form.List.set_selected_index(1);
  EXPECT_EQ(form.List.selected_index(), 1);
}

TEST(Framework, LabelsShowTheirHotColourWhileHovered) {
  TestForm form;
  form.Swatch.set_bounds(0, 0, 25, 25);
  form.Swatch.set_back_colour(QColor(10, 20, 30));
  form.Swatch.set_hot_back_colour(QColor(200, 0, 0));
  form.show();
  QWidget* w = form.Swatch.widget();
  EXPECT_EQ(w->grab().toImage().pixelColor(12, 12), QColor(10, 20, 30));
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)));
  QApplication::sendEvent(w, &enter);
  EXPECT_EQ(w->grab().toImage().pixelColor(12, 12), QColor(200, 0, 0));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(w, &leave);
  EXPECT_EQ(w->grab().toImage().pixelColor(12, 12), QColor(10, 20, 30));
}

TEST(Framework, PicturesAreStretchedWithoutSmoothing) {
  TestForm form;
  form.Box.set_bounds(0, 0, 480, 300);
  form.show();
  EXPECT_EQ(form.Box.colour_at({10, 10}), QColor(0, 0, 0));  // its back colour
  // A fine checkerboard of two colours: any blending would show a third.
  QImage board(960, 1200, QImage::Format_RGB32);
  for (int y = 0; y < board.height(); ++y)
    for (int x = 0; x < board.width(); ++x) board.setPixel(x, y, (x / 3 + y / 5) % 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
  form.Box.show_image(board);
  const QImage shot = form.Box.widget()->grab().toImage();
  ASSERT_EQ(shot.size(), QSize(480, 300));
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      const QRgb p = shot.pixel(x, y) | 0xFF000000u;
      ASSERT_TRUE(p == qRgb(255, 0, 0) || p == qRgb(0, 0, 255)) << x << "," << y;
    }
  EXPECT_EQ(form.Box.colour_at({0, 0}), QColor(0, 0, 255));
  EXPECT_FALSE(form.Box.colour_at({480, 10}).isValid());
  EXPECT_FALSE(form.Box.show_file("/nonexistent.png"));
  EXPECT_EQ(form.Box.colour_at({10, 10}), QColor(0, 0, 0));
}

TEST(Framework, TextBoxesKeepTabWhenAsked) {
  TestForm form;
  form.Text.set_accepts_tab(true);
  form.show();
  form.Text.widget()->setFocus();
  QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, "\t");
  QApplication::sendEvent(form.Text.widget(), &tab);
  EXPECT_EQ(form.Text.text(), "\t");
}

TEST(Framework, FormBoundsAreOuterAndTheFormIsCentred) {
  TestForm form;
  form.set_bounds(10, 10, 1029, 733);
  form.set_centred(true);
  form.Go.set_bounds(858, 544, 132, 66);
  form.show();
  EXPECT_EQ(form.widget()->size(), QSize(1013, 694));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  // Centred as a whole; the window system's own frame may shift the
  // client area by its border.
  const QRect outer = form.widget()->frameGeometry();
  EXPECT_LE(std::abs(outer.center().x() - screen.center().x()), 4);
  EXPECT_LE(std::abs(outer.center().y() - screen.center().y()), 4);
  // Resizing moves nothing.
  form.widget()->resize(600, 400);
  EXPECT_EQ(form.Go.widget()->geometry(), QRect(858, 544, 132, 66));
}

TEST(Framework, TextsShrinkTheirFontToFitTheirBox) {
  TestForm form;
  form.Go.set_font(font("A Face Nobody Has", 20));
  form.Go.set_text("A LONG CAPTION");
  form.Go.set_bounds(0, 0, 60, 21);
  const QFontMetrics m(form.Go.widget()->font());
  EXPECT_LE(m.horizontalAdvance("A LONG CAPTION"), 60);
  form.Swatch.set_text("several words that wrap over lines");
  form.Swatch.set_bounds(0, 0, 98, 54);
  const QRect r = QFontMetrics(form.Swatch.widget()->font())
                      .boundingRect(QRect(0, 0, 98, 10000), Qt::TextWordWrap, "several words that wrap over lines");
  EXPECT_LE(r.height(), 54);
}

}  // namespace
}  // namespace tessera::fw
