#include "tessera/edit_menu.h"

#include <QAction>
#include <QColorDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QUndoCommand>
#include <algorithm>
#include <memory>

#include "tessera/desktop_state.h"
#include "tessera/frm_main.h"
#include "tessera/handlers.h"
#include "tessera/palette_menu.h"

namespace tessera {

namespace {

// Only as many steps as keep the history to some tens of megabytes: one
// state holds three working-size images.
constexpr int kUndoLimit = 20;

// Everything a palette edit or a rendering from the working image changes,
// and everything the saves and the preview read of it.
struct RenderState {
  Palette OCLUSTER, CLUSTER, PINCOLOUR, CHOSENCLUSTER;
  std::array<bool, 17> PINNED, FITHELD;
  CellTable OUTCOLORBLOCK;
  int MANUALTRANSPARENT, RENDEREDFILETYPE;
  std::string RENDEREDFILENAME, RENDEREDLOADERROR;
  ImageArray<5, true> IMAGEOUT;
  ImageArray<3> RENDEREDIMAGE;
  ImageArray<4> IMAGEIN;
};

template <int C, bool P>
bool same_pixels(const ImageArray<C, P>& a, const ImageArray<C, P>& b) {
  for (int c = 1; c <= C; ++c)
    for (int y = 0; y < kMaxHeight; ++y)
      for (int x = 0; x < kMaxWidth; ++x)
        if (a(x, y, c) != b(x, y, c)) return false;
  return true;
}

bool operator==(const RenderState& a, const RenderState& b) {
  return a.OCLUSTER == b.OCLUSTER && a.CLUSTER == b.CLUSTER && a.PINCOLOUR == b.PINCOLOUR &&
         a.CHOSENCLUSTER == b.CHOSENCLUSTER && a.PINNED == b.PINNED && a.FITHELD == b.FITHELD &&
         a.OUTCOLORBLOCK == b.OUTCOLORBLOCK && a.MANUALTRANSPARENT == b.MANUALTRANSPARENT &&
         a.RENDEREDFILETYPE == b.RENDEREDFILETYPE && a.RENDEREDFILENAME == b.RENDEREDFILENAME &&
         a.RENDEREDLOADERROR == b.RENDEREDLOADERROR && same_pixels(a.IMAGEOUT, b.IMAGEOUT) &&
         same_pixels(a.RENDEREDIMAGE, b.RENDEREDIMAGE) && same_pixels(a.IMAGEIN, b.IMAGEIN);
}

using Kept = std::shared_ptr<const RenderState>;

Kept snapshot(const Store& s) {
  return std::make_shared<const RenderState>(RenderState{s.OCLUSTER, s.CLUSTER, s.PINCOLOUR, s.CHOSENCLUSTER, s.PINNED, s.FITHELD,
                                                         s.OUTCOLORBLOCK, s.MANUALTRANSPARENT, s.RENDEREDFILETYPE,
                                                         s.RENDEREDFILENAME, s.RENDEREDLOADERROR, s.IMAGEOUT,
                                                         s.RENDEREDIMAGE, s.IMAGEIN});
}

struct InEdit {
  explicit InEdit(frmMain& f) : s(f.desktop_state()) { ++s.in_edit; }
  ~InEdit() { --s.in_edit; }
  DesktopState& s;
};

void restore(frmMain& f, const RenderState& r) {
  const InEdit editing(f);
  Store& s = f.store;
  s.OCLUSTER = r.OCLUSTER;
  s.CLUSTER = r.CLUSTER;
  s.PINCOLOUR = r.PINCOLOUR;
  s.CHOSENCLUSTER = r.CHOSENCLUSTER;
  s.PINNED = r.PINNED;
  s.FITHELD = r.FITHELD;
  s.OUTCOLORBLOCK = r.OUTCOLORBLOCK;
  s.MANUALTRANSPARENT = r.MANUALTRANSPARENT;
  s.RENDEREDFILETYPE = r.RENDEREDFILETYPE;
  s.RENDEREDFILENAME = r.RENDEREDFILENAME;
  s.RENDEREDLOADERROR = r.RENDEREDLOADERROR;
  s.IMAGEOUT = r.IMAGEOUT;
  s.RENDEREDIMAGE = r.RENDEREDIMAGE;
  s.IMAGEIN = r.IMAGEIN;
  for (int k = 1; k <= 16; ++k) {
    const auto& P = s.OCLUSTER[k];
    f.set_swatch(k, control_colour(P[1], P[2], P[3]));
  }
  show_pin_marks(f);
  if (s.RENDEREDFILETYPE != 0)
    DRAWCOLORPICKER(f);
  else
    f.OutputImgFrame.clear();
}

// One step: the states before and after. The change itself has happened when
// the step is pushed, so its first redo does nothing.
class StoreChange : public QUndoCommand {
 public:
  StoreChange(frmMain& f, const QString& what, Kept before, Kept after)
      : QUndoCommand(what), f_(f), before_(std::move(before)), after_(std::move(after)) {}
  void undo() override { restore(f_, *before_); }
  void redo() override {
    if (pushed_) restore(f_, *after_);
    pushed_ = true;
  }
  const Kept& after() const { return after_; }

 private:
  frmMain& f_;
  Kept before_, after_;
  bool pushed_ = false;
};

fw::Handler recorded(const QString& what, fw::Handler handler) {
  return [what, handler = std::move(handler)](fw::Control& sender, const fw::EventArgs& e) {
    int result = 0;
    record_edit(frmMain::of(sender), what, [&] { result = handler(sender, e); });
    return result;
  };
}

QAction* add_entry(QMenu* menu, QAction* a, const char* name, const QList<QKeySequence>& keys) {
  a->setObjectName(QString::fromLatin1(name));
  a->setShortcuts(keys);
  a->setShortcutContext(Qt::WindowShortcut);
  menu->addAction(a);
  return a;
}

}  // namespace

void record_edit(frmMain& f, const QString& what, const std::function<void()>& change) {
  DesktopState& d = f.desktop_state();
  // An edit inside an edit (a swatch click from the output preview) belongs
  // to the outer one.
  if (d.in_edit > 0) {
    change();
    return;
  }
  // The state after the last step is the state before this one, unless
  // something outside the history happened since; then it is kept once.
  Kept before;
  if (d.undo.index() > 0)
    if (const auto* last = dynamic_cast<const StoreChange*>(d.undo.command(d.undo.index() - 1)))
      before = last->after();
  const Kept now = snapshot(f.store);
  if (!before || !(*before == *now)) before = now;
  {
    const InEdit editing(f);
    change();
  }
  Kept after = snapshot(f.store);
  if (*after == *before) return;
  d.undo.push(new StoreChange(f, what, std::move(before), std::move(after)));
}

void build_edit_menu(frmMain& f, QMenuBar& bar) {
  QUndoStack& stack = f.desktop_state().undo;
  stack.setUndoLimit(kUndoLimit);
  QMenu* edit = bar.addMenu(QStringLiteral("&Edit"));
  edit->setObjectName(QStringLiteral("EditMenu"));
  add_entry(edit, stack.createUndoAction(edit, QStringLiteral("Undo")), "EditUndo", {QKeySequence(Qt::CTRL | Qt::Key_Z)});
  add_entry(edit, stack.createRedoAction(edit, QStringLiteral("Redo")), "EditRedo",
            {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});

  for (int k = 1; k <= 16; ++k) {
    const fw::Handler colour_click = [k](fw::Control& sender, const fw::EventArgs&) {
      return HANDLECOLORCLICKBYINDEX(frmMain::of(sender), k);
    };
    f.bind(f.swatch(k).name(), fw::Event::Click, recorded(QStringLiteral("Colour %1").arg(k), colour_click));
  }
  f.bind("OutputImgFrame", fw::Event::Click, recorded(QStringLiteral("Colour in the preview"), FRMMAIN_OUTPUTIMGFRAME_CLICK));
  f.bind("ResetColor", fw::Event::Click, recorded(QStringLiteral("Reset palette"), FRMMAIN_RESETCOLOR_CLICK));
  f.bind("Redraw", fw::Event::Click, recorded(QStringLiteral("Redraw"), FRMMAIN_REDRAW_CLICK));
}

QColor on_the_grid(QColor chosen) {
  auto level = [](int v) { return ((v & 255) / 16) * 17; };
  return QColor(level(chosen.red()), level(chosen.green()), level(chosen.blue()));
}

void add_grid_preview(QColorDialog& dialog) {
  auto* row = new QWidget(&dialog);
  row->setObjectName(QStringLiteral("GridPreview"));
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* patch = new QLabel(row);
  patch->setObjectName(QStringLiteral("GridColourPatch"));
  patch->setFixedSize(48, 24);
  patch->setAutoFillBackground(true);
  auto* text = new QLabel(row);
  text->setObjectName(QStringLiteral("GridColourText"));
  layout->addWidget(patch);
  layout->addWidget(text, 1);
  auto show = [patch, text](const QColor& chosen) {
    const QColor grid = on_the_grid(chosen);
    QPalette p = patch->palette();
    p.setColor(QPalette::Window, grid);
    patch->setPalette(p);
    text->setText(QStringLiteral("On the machine: %1 (4 bits a channel)").arg(grid.name()));
  };
  QObject::connect(&dialog, &QColorDialog::currentColorChanged, row, show);
  show(dialog.currentColor());
  // Above the dialog's buttons, beside the colour it is about.
  if (auto* box = qobject_cast<QBoxLayout*>(dialog.layout()))
    box->insertWidget(std::max(0, box->count() - 1), row);
  else if (QLayout* main = dialog.layout())
    main->addWidget(row);
}

}  // namespace tessera
