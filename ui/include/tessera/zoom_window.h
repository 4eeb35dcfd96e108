// View > Zoom: the rendering as the machine shows it (BMP4 pixels twice as
// wide), enlarged without smoothing in a window of its own, with the
// palette index and colour of the pixel under the mouse, and the working
// image before rendering to compare.
#pragma once

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QMenuBar;
class QScrollArea;

namespace tessera {

class frmMain;
struct Store;

// The 320 x 200 screen of the last rendering from its palette indices, or,
// `before`, of the working image it was made from; black before either.
QImage machine_picture(const Store& s, bool before);

class ZoomWindow : public QWidget {
 public:
  explicit ZoomWindow(frmMain& f);

  // 1, 2 or 4 screen pixels a machine pixel, or 0 to fit the window.
  void set_zoom(int zoom);
  int zoom() const { return zoom_; }
  void zoom_in();
  void zoom_out();
  void set_before(bool before);
  bool before() const;
  // Draws the picture anew from the store.
  void refresh();

  const QImage& picture() const { return picture_; }
  // The widget the picture is drawn in, and the size a machine pixel has
  // there now.
  QWidget* view() const { return view_; }
  double pixel_size() const;
  // What the line under the picture says for the screen pixel at a point of
  // the view ("" outside the picture).
  QString describe(QPoint in_view) const;
  QString said() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  friend class PixelView;
  void hovered(QPoint in_view);
  void lay_out_view();

  frmMain& f_;
  QImage picture_;
  int zoom_ = 2;
  QWidget* view_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QButtonGroup* zooms_ = nullptr;
  QCheckBox* before_ = nullptr;
  QLabel* under_mouse_ = nullptr;
};

// The zoom window, made and shown on first use.
ZoomWindow& open_zoom(frmMain& f);
// The zoom window when one was made, else null.
ZoomWindow* zoom_widget(frmMain& f);
// A new rendering: the zoom window, if open, shows it.
void zoom_follow(frmMain& f);

// View > Zoom window, Zoom in, Zoom out, Fit.
void build_view_menu(frmMain& f, QMenuBar& bar);

}  // namespace tessera
