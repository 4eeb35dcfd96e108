#include "tessera/framework.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEnterEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <cmath>

namespace tessera::fw {

namespace {

// The frame a standard sizable window puts around its client area (left +
// right borders, caption + bottom border); layouts give outer bounds.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 39;

constexpr int kSmallestFontPixels = 7;

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Mouse hover and click for widgets that have no click of their own.
class ClickLabel : public QLabel {
 public:
  explicit ClickLabel(QWidget* parent) : QLabel(parent) {}
  std::function<void()> clicked, entered, left;

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && clicked) clicked();
  }
  void enterEvent(QEnterEvent* e) override {
    QLabel::enterEvent(e);
    if (entered) entered();
  }
  void leaveEvent(QEvent* e) override {
    QLabel::leaveEvent(e);
    if (left) left();
  }
};

class PictureWidget : public QWidget {
 public:
  explicit PictureWidget(QWidget* parent) : QWidget(parent) {}
  std::function<void()> clicked;
  QColor back = Qt::black, hot = Qt::black;
  bool hovering = false;
  QImage scaled;  // the picture at the box's size

  void rescale(const QImage& image) {
    scaled = image.isNull() ? QImage()
                            : image.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.fillRect(rect(), hovering ? hot : back);
    if (!scaled.isNull()) p.drawImage(rect(), scaled);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && clicked) clicked();
  }
  void enterEvent(QEnterEvent*) override {
    hovering = true;
    update();
  }
  void leaveEvent(QEvent*) override {
    hovering = false;
    update();
  }
};

class TextBoxWidget : public QLineEdit {
 public:
  explicit TextBoxWidget(QWidget* parent) : QLineEdit(parent) {}
  bool keep_return = false, keep_tab = false;

 protected:
  bool event(QEvent* e) override {
    // Tab normally moves the focus before the box sees the key.
    if (e->type() == QEvent::KeyPress && keep_tab) {
      auto* k = static_cast<QKeyEvent*>(e);
      if (k->key() == Qt::Key_Tab && k->modifiers() == Qt::NoModifier) {
        insert(QStringLiteral("\t"));
        return true;
      }
    }
    return QLineEdit::event(e);
  }
  void keyPressEvent(QKeyEvent* e) override {
    QLineEdit::keyPressEvent(e);
    if (keep_return && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) e->accept();
  }
};

// Up and Down keys step the control like its arrows while it has the focus.
class UpDownWidget : public QWidget {
 public:
  explicit UpDownWidget(QWidget* parent) : QWidget(parent) {}
  std::function<void(int)> stepped;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if ((e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) && stepped) {
      stepped(e->key() == Qt::Key_Up ? 1 : -1);
      return;
    }
    QWidget::keyPressEvent(e);
  }
};

class FormWidgetBase : public QWidget {
 public:
  std::function<void()> shown;
  std::function<void(const std::string&)> dropped;

 protected:
  void showEvent(QShowEvent* e) override {
    QWidget::showEvent(e);
    if (shown) shown();
  }
  void dragEnterEvent(QDragEnterEvent* e) override {
    if (first_local_file(e->mimeData()).empty()) return;
    e->acceptProposedAction();
  }
  void dropEvent(QDropEvent* e) override {
    const std::string path = first_local_file(e->mimeData());
    if (path.empty()) return;
    e->acceptProposedAction();
    if (dropped) dropped(path);
  }

 private:
  static std::string first_local_file(const QMimeData* data) {
    if (data == nullptr) return {};
    for (const QUrl& url : data->urls())
      if (url.isLocalFile()) return url.toLocalFile().toStdString();
    return {};
  }
};

int pixel_size(const QFont& f) {
  if (f.pixelSize() > 0) return f.pixelSize();
  return std::max(1, static_cast<int>(std::lround(f.pointSizeF() * 96.0 / 72.0)));
}

}  // namespace

QFont font(const std::string& face, double points) {
  if (QFontDatabase::hasFamily(qs(face))) {
    QFont f(qs(face));
    f.setPointSizeF(points);
    return f;
  }
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(std::max(kSmallestFontPixels, static_cast<int>(std::lround(points * 96.0 / 72.0 * 0.9))));
  return f;
}

// ---- Control --------------------------------------------------------------

Control::Control(Form& form, std::string name, QWidget* widget)
    : form_(form), name_(std::move(name)), widget_(widget) {
  widget_->setObjectName(qs(name_));
  form_.adopt(this);
}

Control::~Control() = default;  // the form's widget owns the Qt widgets

void Control::set_bounds(int left, int top, int width, int height) {
  widget_->setGeometry(left, top, width, height);
  placed();
  fit_text();
}

void Control::set_text(const std::string& text) {
  if (auto* b = dynamic_cast<QAbstractButton*>(widget_)) b->setText(qs(text));
  fit_text();
}

std::string Control::text() const {
  if (auto* b = dynamic_cast<QAbstractButton*>(widget_)) return b->text().toStdString();
  return {};
}

void Control::set_enabled(bool on) { widget_->setEnabled(on); }
bool Control::enabled() const { return widget_->isEnabled(); }

void Control::set_tooltip(const std::string& text, bool balloon) {
  widget_->setToolTip(qs(text));
  balloon_ = balloon;
}

std::string Control::tooltip() const { return widget_->toolTip().toStdString(); }

void Control::set_back_colour(QColor c) {
  back_ = c;
  apply_colours();
}

void Control::set_text_colour(QColor c) {
  QPalette p = widget_->palette();
  p.setColor(QPalette::WindowText, c);
  p.setColor(QPalette::ButtonText, c);
  p.setColor(QPalette::Text, c);
  widget_->setPalette(p);
}

void Control::set_font(const QFont& f) {
  wanted_font_ = f;
  font_set_ = true;
  widget_->setFont(f);
  fit_text();
}

QFont Control::base_font() const {
  if (font_set_) return wanted_font_;
  return widget_->parentWidget() ? widget_->parentWidget()->font() : QApplication::font();
}

void Control::apply_colours() {
  const QColor c = hovering_ && hot_set_ ? hot_ : back_;
  if (!c.isValid()) return;
  QPalette p = widget_->palette();
  p.setColor(QPalette::Window, c);
  widget_->setPalette(p);
  widget_->setAutoFillBackground(true);
  widget_->update();
}

void Control::on(Event event, Handler handler) { handlers_[event] = std::move(handler); }

int Control::raise(Event event, const EventArgs& e) {
  auto it = handlers_.find(event);
  if (it == handlers_.end() || !it->second) return 0;
  return it->second(*this, e);
}

void Control::fit_text() {
  const QString t = qs(text());
  if (t.isEmpty() || widget_->width() <= 0) return;
  int extra = 4;
  if (dynamic_cast<QCheckBox*>(widget_) || dynamic_cast<QRadioButton*>(widget_)) {
    QStyle* st = widget_->style();
    extra = st->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget_) +
            st->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, widget_) + 2;
  } else if (dynamic_cast<QPushButton*>(widget_)) {
    extra = 8;
  } else if (dynamic_cast<QGroupBox*>(widget_)) {
    extra = 16;
  }
  QFont f = base_font();
  int px = pixel_size(f);
  auto fits = [&] {
    const QFontMetrics m(f);
    return m.horizontalAdvance(t) + extra <= widget_->width() && m.height() <= widget_->height();
  };
  while (px > kSmallestFontPixels && !fits()) f.setPixelSize(--px);
  if (f != widget_->font()) widget_->setFont(f);
}

// ---- kinds -------------------------------------------------------------------

Button::Button(Form& form, std::string name)
    : Control(form, std::move(name), new QPushButton(form.widget())) {
  QObject::connect(static_cast<QPushButton*>(widget()), &QPushButton::clicked,
                   [this] { raise(Event::Click); });
}

void Button::click() { static_cast<QPushButton*>(widget())->click(); }

CheckBox::CheckBox(Form& form, std::string name)
    : Control(form, std::move(name), new QCheckBox(form.widget())) {
  QObject::connect(static_cast<QCheckBox*>(widget()), &QCheckBox::clicked, [this] { raise(Event::Click); });
}

bool CheckBox::checked() const { return static_cast<QCheckBox*>(widget())->isChecked(); }
void CheckBox::set_checked(bool on) { static_cast<QCheckBox*>(widget())->setChecked(on); }
void CheckBox::click() { static_cast<QCheckBox*>(widget())->click(); }

OptionButton::OptionButton(Form& form, std::string name)
    : Control(form, std::move(name), new QRadioButton(form.widget())) {
  QObject::connect(static_cast<QRadioButton*>(widget()), &QRadioButton::clicked,
                   [this] { raise(Event::Click); });
}

void OptionButton::set_group(const std::string& group, bool first_of_group) {
  group_ = group;
  first_ = first_of_group;
  form().group(group)->addButton(static_cast<QRadioButton*>(widget()));
}

bool OptionButton::checked() const { return static_cast<QRadioButton*>(widget())->isChecked(); }
void OptionButton::set_checked(bool on) { static_cast<QRadioButton*>(widget())->setChecked(on); }
void OptionButton::click() { static_cast<QRadioButton*>(widget())->click(); }

TextBox::TextBox(Form& form, std::string name)
    : Control(form, std::move(name), new TextBoxWidget(form.widget())) {
  QObject::connect(static_cast<QLineEdit*>(widget()), &QLineEdit::textChanged,
                   [this] { raise(Event::TextChanged); });
}

void TextBox::set_text(const std::string& text) { static_cast<QLineEdit*>(widget())->setText(qs(text)); }
std::string TextBox::text() const { return static_cast<QLineEdit*>(widget())->text().toStdString(); }

void TextBox::set_centred(bool on) {
  static_cast<QLineEdit*>(widget())->setAlignment((on ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
}

void TextBox::set_accepts_return(bool on) {
  accepts_return_ = on;
  static_cast<TextBoxWidget*>(widget())->keep_return = on;
}

void TextBox::set_accepts_tab(bool on) {
  accepts_tab_ = on;
  static_cast<TextBoxWidget*>(widget())->keep_tab = on;
}

Label::Label(Form& form, std::string name) : Control(form, std::move(name), new ClickLabel(form.widget())) {
  auto* w = static_cast<ClickLabel*>(widget());
  w->setWordWrap(true);
  w->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  w->clicked = [this] { raise(Event::Click); };
  w->entered = [this] {
    hovering_ = true;
    apply_colours();
  };
  w->left = [this] {
    hovering_ = false;
    apply_colours();
  };
}

void Label::set_text(const std::string& text) {
  static_cast<QLabel*>(widget())->setText(qs(text));
  fit_text();
}

std::string Label::text() const { return static_cast<QLabel*>(widget())->text().toStdString(); }

void Label::set_middle_left(bool on) {
  static_cast<QLabel*>(widget())->setAlignment(Qt::AlignLeft | (on ? Qt::AlignVCenter : Qt::AlignTop));
}

void Label::set_hot_back_colour(QColor c) {
  hot_ = c;
  hot_set_ = true;
  apply_colours();
}

void Label::click() { raise(Event::Click); }

void Label::fit_text() {
  // Labels wrap at word boundaries, so they fit when the wrapped text is no
  // taller than the label and no single word is wider.
  auto* w = static_cast<QLabel*>(widget());
  const QString t = w->text();
  if (t.isEmpty() || w->width() <= 0) return;
  QFont f = base_font();
  int px = pixel_size(f);
  auto fits = [&] {
    const QRect r = QFontMetrics(f).boundingRect(QRect(0, 0, w->width(), 100000),
                                                  Qt::TextWordWrap | Qt::AlignLeft, t);
    return r.width() <= w->width() && r.height() <= w->height();
  };
  while (px > kSmallestFontPixels && !fits()) f.setPixelSize(--px);
  if (f != w->font()) w->setFont(f);
}

Frame::Frame(Form& form, std::string name) : Control(form, std::move(name), new QGroupBox(form.widget())) {}

void Frame::set_text(const std::string& text) {
  static_cast<QGroupBox*>(widget())->setTitle(qs(text));
  fit_text();
}

std::string Frame::text() const { return static_cast<QGroupBox*>(widget())->title().toStdString(); }

PictureBox::PictureBox(Form& form, std::string name)
    : Control(form, std::move(name), new PictureWidget(form.widget())) {
  static_cast<PictureWidget*>(widget())->clicked = [this] { raise(Event::Click); };
  back_ = Qt::black;
}

void PictureBox::set_back_colour(QColor c) {
  back_ = c;
  static_cast<PictureWidget*>(widget())->back = c;
  widget()->update();
}

void PictureBox::set_hot_back_colour(QColor c) {
  static_cast<PictureWidget*>(widget())->hot = c;
  widget()->update();
}

void PictureBox::show_image(const QImage& image) {
  auto* w = static_cast<PictureWidget*>(widget());
  w->rescale(image);
  image_ = w->scaled;
}

bool PictureBox::show_file(const std::string& path) {
  QImageReader reader(qs(path));
  reader.setAutoTransform(true);
  const QImage image = reader.read();
  show_image(image);
  return !image.isNull();
}

void PictureBox::clear() { show_image(QImage()); }

QColor PictureBox::colour_at(QPoint local) const {
  if (!widget()->rect().contains(local)) return {};
  const QImage shot = widget()->grab(QRect(local, QSize(1, 1))).toImage();
  if (shot.isNull()) return {};
  return shot.pixelColor(0, 0);
}

void PictureBox::click() { raise(Event::Click); }

UpDown::UpDown(Form& form, std::string name)
    : Control(form, std::move(name), new UpDownWidget(form.widget())) {
  static_cast<UpDownWidget*>(widget())->stepped = [this](int delta) { click(delta); };
  auto* up = new QToolButton(widget());
  auto* down = new QToolButton(widget());
  up->setObjectName(QStringLiteral("up"));
  down->setObjectName(QStringLiteral("down"));
  up->setArrowType(Qt::UpArrow);
  down->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up, down}) {
    b->setAutoRaise(false);
    b->setFocusPolicy(Qt::NoFocus);
  }
  QObject::connect(up, &QToolButton::clicked, [this] { click(1); });
  QObject::connect(down, &QToolButton::clicked, [this] { click(-1); });
  widget()->setFocusPolicy(Qt::TabFocus);
}

void UpDown::click(int delta) {
  if (!enabled()) return;
  delta_ = delta;
  EventArgs e;
  e.delta = delta;
  raise(Event::Click, e);
}

void UpDown::placed() {
  // The arrows share the control's height, the upper one on top.
  const int w = widget()->width(), h = widget()->height();
  up_arrow()->setGeometry(0, 0, w, h / 2);
  down_arrow()->setGeometry(0, h / 2, w, h - h / 2);
}

QWidget* UpDown::up_arrow() const { return widget()->findChild<QWidget*>(QStringLiteral("up")); }
QWidget* UpDown::down_arrow() const { return widget()->findChild<QWidget*>(QStringLiteral("down")); }

ListBox::ListBox(Form& form, std::string name) : Control(form, std::move(name), new QListWidget(form.widget())) {
  auto* w = static_cast<QListWidget*>(widget());
  w->setUniformItemSizes(true);
  w->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  w->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void ListBox::add_item(const std::string& text, int value) {
  auto* item = new QListWidgetItem(qs(text));
  item->setData(Qt::UserRole, value);
  auto* w = static_cast<QListWidget*>(widget());
  w->addItem(item);
  // Keep every item visible in the box's height where the font allows it.
  QFont f = w->font();
  for (int px = pixel_size(f); px > kSmallestFontPixels; --px) {
    f.setPixelSize(px);
    if (QFontMetrics(f).height() * w->count() + 2 * w->frameWidth() <= w->height()) break;
  }
  w->setFont(f);
}

int ListBox::count() const { return static_cast<QListWidget*>(widget())->count(); }

std::string ListBox::item_text(int index) const {
  auto* item = static_cast<QListWidget*>(widget())->item(index);
  return item ? item->text().toStdString() : std::string();
}

int ListBox::item_value(int index) const {
  auto* item = static_cast<QListWidget*>(widget())->item(index);
  return item ? item->data(Qt::UserRole).toInt() : 0;
}

int ListBox::selected_index() const { return static_cast<QListWidget*>(widget())->currentRow(); }

void ListBox::set_selected_index(int index) { static_cast<QListWidget*>(widget())->setCurrentRow(index); }

// ---- Form ------------------------------------------------------------------

class FormWidget : public FormWidgetBase {};

Form::Form(std::string name) : name_(std::move(name)), widget_(std::make_unique<FormWidget>()) {
  auto* w = static_cast<FormWidget*>(widget_.get());
  w->setObjectName(qs(name_));
  w->setAcceptDrops(true);
  w->shown = [this] { shown_once(); };
  w->dropped = [this](const std::string& path) { dropped(path); };
}

Form::~Form() {
  // The controls (members of the derived form) are already gone; their Qt
  // widgets go with the form's widget.
}

QWidget* Form::widget() const { return widget_.get(); }

QWidget* Form::window() const { return frame_ ? static_cast<QWidget*>(frame_.get()) : widget_.get(); }

QMenuBar* Form::menu_bar() {
  if (!frame_) {
    frame_ = std::make_unique<QMainWindow>();
    frame_->setObjectName(qs(name_ + "Frame"));
    frame_->setWindowTitle(widget_->windowTitle());
    frame_->setWindowIcon(widget_->windowIcon());
    frame_->setFont(widget_->font());
    frame_->setAcceptDrops(true);
    const QRect client = widget_->geometry();
    // The frame takes the client area's place on the screen.
    frame_->move(client.topLeft());
    frame_->setCentralWidget(widget_.get());
    widget_->setGeometry(0, 0, client.width(), client.height());
    fit_frame();
  }
  return frame_->menuBar();
}

// The client area keeps its size below the bar.
void Form::fit_frame() {
  if (!frame_) return;
  const QSize client = widget_->size();
  const int bar = frame_->menuBar()->sizeHint().height();
  widget_->setMinimumSize(client);
  frame_->resize(client.width(), client.height() + bar);
}

void Form::set_caption(const std::string& caption) {
  widget_->setWindowTitle(qs(caption));
  if (frame_) frame_->setWindowTitle(qs(caption));
}
std::string Form::caption() const { return window()->windowTitle().toStdString(); }

void Form::set_bounds(int left, int top, int width, int height) {
  const int w = std::max(width - kFrameWidth, 1), h = std::max(height - kFrameHeight, 1);
  if (frame_) {
    widget_->setMinimumSize(1, 1);
    widget_->resize(w, h);
    frame_->move(left, top);
    fit_frame();
  } else {
    widget_->setGeometry(left, top, w, h);
  }
}

void Form::set_icon(const QImage& image) {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    icon.addPixmap(QPixmap::fromImage(image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  }
  widget_->setWindowIcon(icon);
  if (frame_) frame_->setWindowIcon(icon);
}

void Form::set_default_font(const QFont& f) { widget_->setFont(f); }

void Form::register_controls(const std::vector<Control*>& controls) {
  QWidget* previous = nullptr;
  for (Control* c : controls) {
    c->id_ = next_id_++;
    registered_.push_back(c);
    // Frames are drawn behind the controls placed over them.
    if (dynamic_cast<Frame*>(c)) c->widget()->lower();
    if (c->widget()->focusPolicy() & Qt::TabFocus) {
      if (previous) QWidget::setTabOrder(previous, c->widget());
      previous = c->widget();
    }
  }
}

Control* Form::find(const std::string& name) const {
  for (Control* c : all_)
    if (c->name() == name) return c;
  return nullptr;
}

bool Form::bind(const std::string& control, Event event, Handler handler) {
  Control* c = find(control);
  if (c == nullptr) return false;
  c->on(event, std::move(handler));
  return true;
}

QButtonGroup* Form::group(const std::string& name) {
  auto it = groups_.find(name);
  if (it != groups_.end()) return it->second;
  auto* g = new QButtonGroup(widget_.get());
  g->setExclusive(true);
  groups_[name] = g;
  return g;
}

void Form::uncheck_group(const std::string& name) {
  // An exclusive group refuses to uncheck its last checked button.
  QButtonGroup* g = group(name);
  g->setExclusive(false);
  for (QAbstractButton* b : g->buttons()) b->setChecked(false);
  g->setExclusive(true);
}

void Form::show() {
  QWidget* top = window();
  if (centred_) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->availableGeometry();
      const QSize size = top->size();
      top->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
  }
  widget_->show();
  top->show();
}

int Form::run() {
  show();
  return QApplication::exec();
}

void Form::shown_once() {
  if (was_shown_) return;
  was_shown_ = true;
  if (shown_) shown_(*this, EventArgs{});
}

void Form::dropped(const std::string& path) {
  if (drop_) drop_(path);
}

}  // namespace tessera::fw
