// A small form-and-controls layer over Qt Widgets.
//
// A form owns named controls placed at fixed client-area pixels; each control
// forwards its events to a plain handler that takes the sending control and
// the event arguments and returns 0. Everything is a thin wrapper: the Qt
// widget does the work, this layer only gives it the properties the converter
// window is described in (bounds, back colour and hover colour, option groups,
// up-down deltas, item values, pictures scaled without smoothing).
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QWidget;
class QButtonGroup;
class QMainWindow;
class QMenuBar;

namespace tessera::fw {

class Form;
class Control;

struct EventArgs {
  // Up-down controls: +1 for the up arrow, -1 for the down arrow.
  int delta = 0;
};

using Handler = std::function<int(Control& sender, const EventArgs& e)>;

enum class Event { Click, TextChanged, Shown };

// A font by face and point size. A face the system lacks falls back to a
// close sans-serif face, slightly smaller, since the fallback runs wider.
QFont font(const std::string& face, double points);

class Control {
 public:
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& name() const { return name_; }
  Form& form() const { return form_; }
  int id() const { return id_; }
  QWidget* widget() const { return widget_; }

  void set_bounds(int left, int top, int width, int height);
  virtual void set_text(const std::string& text);
  virtual std::string text() const;
  void set_enabled(bool on);
  bool enabled() const;
  // Balloon tooltips show as ordinary tooltips; the flag is kept for the record.
  void set_tooltip(const std::string& text, bool balloon = false);
  std::string tooltip() const;
  bool balloon() const { return balloon_; }
  virtual void set_back_colour(QColor c);
  QColor back_colour() const { return back_; }
  void set_text_colour(QColor c);
  void set_font(const QFont& f);

  void on(Event event, Handler handler);
  // Runs the handler bound to the event, if any; what a user action does.
  int raise(Event event, const EventArgs& e = {});

 protected:
  Control(Form& form, std::string name, QWidget* widget);
  // Called after the bounds change, for controls made of several widgets.
  virtual void placed() {}
  // Shrinks the font until the text fits the control (a face that is not
  // installed may be wider than the one the layout was made for).
  virtual void fit_text();
  // The font the control was given, before any shrinking to fit.
  QFont base_font() const;
  void apply_colours();

  QColor back_;
  QColor hot_;
  bool hot_set_ = false;
  bool hovering_ = false;

 private:
  friend class Form;
  Form& form_;
  std::string name_;
  QWidget* widget_;
  int id_ = 0;
  bool balloon_ = false;
  QFont wanted_font_;
  bool font_set_ = false;
  std::map<Event, Handler> handlers_;
};

class Button : public Control {
 public:
  Button(Form& form, std::string name);
  void click();
};

class CheckBox : public Control {
 public:
  CheckBox(Form& form, std::string name);
  bool checked() const;
  void set_checked(bool on);
  void click();
};

class OptionButton : public Control {
 public:
  OptionButton(Form& form, std::string name);
  // Joins the named group; within a group exactly one button is checked.
  void set_group(const std::string& group, bool first_of_group = false);
  const std::string& group() const { return group_; }
  bool first_of_group() const { return first_; }
  bool checked() const;
  void set_checked(bool on);
  void click();

 private:
  std::string group_;
  bool first_ = false;
};

class TextBox : public Control {
 public:
  TextBox(Form& form, std::string name);
  void set_text(const std::string& text) override;
  std::string text() const override;
  void set_centred(bool on);
  // Return and Tab typed into the box stay in it instead of moving focus.
  void set_accepts_return(bool on);
  void set_accepts_tab(bool on);
  bool accepts_return() const { return accepts_return_; }
  bool accepts_tab() const { return accepts_tab_; }

 private:
  bool accepts_return_ = false;
  bool accepts_tab_ = false;
};

class Label : public Control {
 public:
  Label(Form& form, std::string name);
  void set_text(const std::string& text) override;
  std::string text() const override;
  void set_middle_left(bool on);
  // Colour while the mouse is over the label.
  void set_hot_back_colour(QColor c);
  QColor hot_back_colour() const { return hot_set_ ? hot_ : back_; }
  void click();

 protected:
  void fit_text() override;
};

class Frame : public Control {
 public:
  Frame(Form& form, std::string name);
  void set_text(const std::string& text) override;
  std::string text() const override;
};

class PictureBox : public Control {
 public:
  PictureBox(Form& form, std::string name);
  void set_text(const std::string& text) override { text_ = text; }
  std::string text() const override { return text_; }
  void set_back_colour(QColor c) override;
  void set_hot_back_colour(QColor c);
  // The picture, stretched to the box without smoothing, so every screen
  // pixel is one of the picture's own colours. Only the stretched picture is
  // kept: the box never changes its size.
  void show_image(const QImage& image);
  // Loads a picture file; a file that cannot be read clears the box.
  bool show_file(const std::string& path);
  void clear();
  // The picture as the box shows it (box-sized; null when it shows none).
  const QImage& image() const { return image_; }
  // The colour the box draws at a point of its own coordinates.
  QColor colour_at(QPoint local) const;
  void click();

 private:
  std::string text_;
  QImage image_;
};

class UpDown : public Control {
 public:
  UpDown(Form& form, std::string name);
  int delta() const { return delta_; }
  // A click on the up (+1) or down (-1) arrow.
  void click(int delta);
  QWidget* up_arrow() const;
  QWidget* down_arrow() const;

 protected:
  void placed() override;

 private:
  int delta_ = 0;
};

class ListBox : public Control {
 public:
  ListBox(Form& form, std::string name);
  void add_item(const std::string& text, int value);
  int count() const;
  std::string item_text(int index) const;
  int item_value(int index) const;
  int selected_index() const;
  void set_selected_index(int index);
};

class Form {
 public:
  explicit Form(std::string name);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& name() const { return name_; }
  // The client area: every control is placed in its coordinates.
  QWidget* widget() const;
  // The top-level window: the client area itself, or the frame that holds
  // the menu bar above it once a menu bar was asked for.
  QWidget* window() const;
  // The menu bar above the client area, made on first use. The client area
  // keeps its size and every control its place; the window grows by the
  // height of the bar.
  QMenuBar* menu_bar();

  void set_caption(const std::string& caption);
  std::string caption() const;
  // Outer bounds of the window, frame included, as the layout gives them;
  // the client area is what is left inside a standard frame.
  void set_bounds(int left, int top, int width, int height);
  void set_centred(bool on) { centred_ = on; }
  void set_icon(const QImage& image);
  void set_first_id(int id) { next_id_ = id; }
  void set_default_font(const QFont& f);

  // Controls in registration order: numbered from the first identifier, and
  // the focusable ones take the keyboard in this order.
  void register_controls(const std::vector<Control*>& controls);
  const std::vector<Control*>& controls() const { return registered_; }
  Control* find(const std::string& name) const;
  // Binds a handler to a control's event by the control's name; false when
  // no control has that name.
  bool bind(const std::string& control, Event event, Handler handler);
  void on_shown(std::function<int(Form& sender, const EventArgs& e)> handler) { shown_ = std::move(handler); }
  // Local files dropped onto the window.
  void on_drop(std::function<void(const std::string& path)> handler) { drop_ = std::move(handler); }

  void show();
  // Shows the form and runs the event loop until it is closed.
  int run();

  QButtonGroup* group(const std::string& name);
  // Leaves no button of the group checked, for a value that none of them
  // stands for; a click on one checks it again.
  void uncheck_group(const std::string& name);

 private:
  friend class Control;
  friend class FormWidget;
  void adopt(Control* c) { all_.push_back(c); }
  void shown_once();
  void dropped(const std::string& path);

  void fit_frame();

  std::string name_;
  // Declared before the client area so that the client area goes first.
  std::unique_ptr<QMainWindow> frame_;
  std::unique_ptr<QWidget> widget_;
  std::vector<Control*> all_;
  std::vector<Control*> registered_;
  std::map<std::string, QButtonGroup*> groups_;
  std::function<int(Form&, const EventArgs&)> shown_;
  std::function<void(const std::string&)> drop_;
  int next_id_ = 1;
  bool centred_ = false;
  bool was_shown_ = false;
};

}  // namespace tessera::fw
