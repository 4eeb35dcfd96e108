#include "tessera/zoom_window.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "tessera/desktop_state.h"
#include "tessera/frm_main.h"

namespace tessera {

namespace {

constexpr int kScreenWidth = 320, kScreenHeight = 200;
constexpr int kZooms[] = {1, 2, 4};

QRgb rgb_of(const std::array<int, 5>& entry) { return qRgb(entry[1] & 255, entry[2] & 255, entry[3] & 255); }

// The rendering's own width: the saves write that format, whatever the
// output list says now.
int rendered_width(const Store& s) { return s.RENDEREDFILETYPE == 4 ? 160 : 320; }

}  // namespace

QImage machine_picture(const Store& s, bool before) {
  QImage image(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
  image.fill(Qt::black);
  if (before) {
    // The working image as the input stage left it (after brightness,
    // contrast and grey), in the format it was prepared for.
    const int w = std::min(s.OUTPUTX, kScreenWidth), h = std::min(s.OUTPUTY, kScreenHeight);
    const int widen = w <= 160 ? 2 : 1;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int k = 0; k < widen; ++k)
          image.setPixel(x * widen + k, y,
                         qRgb(s.IMAGEINORG(x, y, 1) & 255, s.IMAGEINORG(x, y, 2) & 255, s.IMAGEINORG(x, y, 3) & 255));
    return image;
  }
  if (s.RENDEREDFILETYPE == 0) return image;
  const int w = rendered_width(s), widen = kScreenWidth / w;
  for (int y = 0; y < kScreenHeight; ++y)
    for (int x = 0; x < w; ++x) {
      const int entry = std::clamp(s.IMAGEOUT(x, y, 4) + 1, 1, 16);
      for (int k = 0; k < widen; ++k) image.setPixel(x * widen + k, y, rgb_of(s.OCLUSTER[entry]));
    }
  return image;
}

// The picture at the zoom's size, every machine pixel a block of one colour.
class PixelView : public QWidget {
 public:
  explicit PixelView(ZoomWindow& z) : QWidget(), z_(z) {
    setObjectName(QStringLiteral("ZoomView"));
    setMouseTracking(true);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::darkGray);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(picture_rect(), z_.picture());
  }
  void mouseMoveEvent(QMouseEvent* e) override { z_.hovered(e->position().toPoint()); }

 private:
  friend class ZoomWindow;
  QRect picture_rect() const {
    const double s = z_.pixel_size();
    return QRect(0, 0, static_cast<int>(std::lround(kScreenWidth * s)), static_cast<int>(std::lround(kScreenHeight * s)));
  }
  ZoomWindow& z_;
};

ZoomWindow::ZoomWindow(frmMain& f) : QWidget(f.window(), Qt::Window), f_(f) {
  setObjectName(QStringLiteral("ZoomWindow"));
  setWindowTitle(QStringLiteral("Zoom \u2014 Tessera"));
  // Closing the main window ends the program even while this one is open.
  setAttribute(Qt::WA_QuitOnClose, false);

  auto* top = new QHBoxLayout;
  zooms_ = new QButtonGroup(this);
  for (const int z : {1, 2, 4, 0}) {
    auto* b = new QPushButton(z == 0 ? QStringLiteral("Fit") : QStringLiteral("%1x").arg(z), this);
    b->setObjectName(QStringLiteral("Zoom%1").arg(z == 0 ? QStringLiteral("Fit") : QString::number(z)));
    b->setCheckable(true);
    zooms_->addButton(b, z);
    top->addWidget(b);
  }
  connect(zooms_, &QButtonGroup::idClicked, this, [this](int id) { set_zoom(id); });
  before_ = new QCheckBox(QStringLiteral("Before (working image)"), this);
  before_->setObjectName(QStringLiteral("ZoomBefore"));
  before_->setShortcut(QKeySequence(Qt::Key_B));
  connect(before_, &QCheckBox::toggled, this, [this] { refresh(); });
  top->addSpacing(16);
  top->addWidget(before_);
  top->addStretch(1);

  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("ZoomScroll"));
  scroll_->setBackgroundRole(QPalette::Dark);
  auto* view = new PixelView(*this);
  view_ = view;
  scroll_->setWidget(view);
  scroll_->setWidgetResizable(false);
  scroll_->viewport()->installEventFilter(this);

  under_mouse_ = new QLabel(QStringLiteral(" "), this);
  under_mouse_->setObjectName(QStringLiteral("ZoomUnderMouse"));

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(scroll_, 1);
  layout->addWidget(under_mouse_);

  struct Key {
    QKeySequence keys;
    void (ZoomWindow::*run)();
  };
  for (const Key& k : {Key{QKeySequence::ZoomIn, &ZoomWindow::zoom_in}, Key{QKeySequence(Qt::CTRL | Qt::Key_Equal), &ZoomWindow::zoom_in},
                       Key{QKeySequence::ZoomOut, &ZoomWindow::zoom_out}}) {
    auto* a = new QAction(this);
    a->setShortcut(k.keys);
    connect(a, &QAction::triggered, this, k.run);
    addAction(a);
  }
  auto* fit = new QAction(this);
  fit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
  connect(fit, &QAction::triggered, this, [this] { set_zoom(0); });
  addAction(fit);

  resize(4 * kScreenWidth / 2 + 60, 4 * kScreenHeight / 2 + 110);
  set_zoom(2);
}

double ZoomWindow::pixel_size() const {
  if (zoom_ != 0) return zoom_;
  const QSize room = scroll_->viewport()->size();
  return std::max(0.25, std::min(room.width() / double(kScreenWidth), room.height() / double(kScreenHeight)));
}

void ZoomWindow::lay_out_view() {
  const QRect r = static_cast<PixelView*>(view_)->picture_rect();
  view_->resize(r.size());
  scroll_->setHorizontalScrollBarPolicy(zoom_ == 0 ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
  scroll_->setVerticalScrollBarPolicy(zoom_ == 0 ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
  view_->update();
}

void ZoomWindow::set_zoom(int zoom) {
  zoom_ = (zoom == 1 || zoom == 2 || zoom == 4) ? zoom : 0;
  if (QAbstractButton* b = zooms_->button(zoom_)) b->setChecked(true);
  lay_out_view();
}

void ZoomWindow::zoom_in() {
  if (zoom_ == 0) return set_zoom(4);
  set_zoom(std::min(zoom_ * 2, 4));
}

void ZoomWindow::zoom_out() {
  if (zoom_ == 0) return set_zoom(1);
  set_zoom(std::max(zoom_ / 2, 1));
}

void ZoomWindow::set_before(bool before) { before_->setChecked(before); }
bool ZoomWindow::before() const { return before_->isChecked(); }

void ZoomWindow::refresh() {
  picture_ = machine_picture(f_.store, before());
  lay_out_view();
}

QString ZoomWindow::describe(QPoint in_view) const {
  const double s = pixel_size();
  const int sx = static_cast<int>(std::floor(in_view.x() / s)), y = static_cast<int>(std::floor(in_view.y() / s));
  if (sx < 0 || y < 0 || sx >= kScreenWidth || y >= kScreenHeight) return QString();
  const Store& st = f_.store;
  if (st.RENDEREDFILETYPE == 0) return QStringLiteral("Nothing rendered yet");
  const int widen = kScreenWidth / rendered_width(st), x = sx / widen;
  const int index = std::clamp(st.IMAGEOUT(x, y, 4), 0, 15);
  QString text = QStringLiteral("Pixel %1, %2: palette index %3 (swatch %4), %5")
                     .arg(x)
                     .arg(y)
                     .arg(index)
                     .arg(index + 1)
                     .arg(QColor(rgb_of(st.OCLUSTER[index + 1])).name());
  if (before()) text += QStringLiteral("; before: %1").arg(picture_.pixelColor(sx, y).name());
  return text;
}

QString ZoomWindow::said() const { return under_mouse_->text(); }

void ZoomWindow::hovered(QPoint in_view) {
  const QString text = describe(in_view);
  under_mouse_->setText(text.isEmpty() ? QStringLiteral(" ") : text);
}

bool ZoomWindow::eventFilter(QObject* watched, QEvent* e) {
  // The wheel alone scrolls; with Ctrl it zooms, as elsewhere on the desktop.
  if (watched != scroll_->viewport() || e->type() != QEvent::Wheel) return false;
  auto* wheel = static_cast<QWheelEvent*>(e);
  if ((wheel->modifiers() & Qt::ControlModifier) == 0) return false;
  if (wheel->angleDelta().y() > 0) zoom_in();
  if (wheel->angleDelta().y() < 0) zoom_out();
  return true;
}

void ZoomWindow::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  if (zoom_ == 0) lay_out_view();
}

ZoomWindow* zoom_widget(frmMain& f) { return f.desktop_state().zoom; }

ZoomWindow& open_zoom(frmMain& f) {
  DesktopState& d = f.desktop_state();
  if (d.zoom == nullptr) d.zoom = new ZoomWindow(f);
  d.zoom->refresh();
  d.zoom->show();
  d.zoom->raise();
  return *d.zoom;
}

void zoom_follow(frmMain& f) {
  if (ZoomWindow* z = zoom_widget(f); z != nullptr && z->isVisible()) z->refresh();
}

void build_view_menu(frmMain& f, QMenuBar& bar) {
  QMenu* view = bar.addMenu(QStringLiteral("&View"));
  view->setObjectName(QStringLiteral("ViewMenu"));
  struct Entry {
    const char* name;
    const char* text;
    QKeySequence keys;
    std::function<void(ZoomWindow&)> run;
  };
  const Entry entries[] = {
      {"ViewZoom", "Zoom window", QKeySequence(Qt::CTRL | Qt::Key_M), [](ZoomWindow&) {}},
      {"ViewZoomIn", "Zoom in", QKeySequence::ZoomIn, [](ZoomWindow& z) { z.zoom_in(); }},
      {"ViewZoomOut", "Zoom out", QKeySequence::ZoomOut, [](ZoomWindow& z) { z.zoom_out(); }},
      {"ViewZoomFit", "Fit", QKeySequence(Qt::CTRL | Qt::Key_0), [](ZoomWindow& z) { z.set_zoom(0); }},
  };
  for (const Entry& e : entries) {
    QAction* a = view->addAction(QString::fromLatin1(e.text));
    a->setObjectName(QString::fromLatin1(e.name));
    a->setShortcut(e.keys);
    a->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(a, &QAction::triggered, view, [&f, run = e.run] { run(open_zoom(f)); });
  }
}

}  // namespace tessera
