#include "tessera/palette_menu.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPolygon>
#include <QRegularExpression>
#include <QWidget>
#include <QEvent>
#include <algorithm>
#include <filesystem>

#include "tessera/busy.h"
#include "tessera/edit_menu.h"
#include "tessera/frm_main.h"
#include "tessera/given_palette.h"
#include "tessera/settings.h"
#include "tessera/stages.h"
#include "tessera/handlers.h"
#include "tessera/palette_file.h"
#include "tessera/pins.h"
#include "tessera/render.h"

namespace tessera {

namespace {

const char* const kPinMark = "PinMark";

// A white corner with a black edge in the swatch's top right: it shows on
// every colour a swatch can have, and leaves most of the swatch to the colour.
class PinMark : public QWidget {
 public:
  PinMark(QWidget* swatch, const Store& store, int k) : QWidget(swatch), store_(store), k_(k) {
    setObjectName(QString::fromLatin1(kPinMark));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    swatch->installEventFilter(this);
    place();
  }

  // Drawn only while the entry is pinned for the picture as it stands, so
  // that entry 1 shows no mark while it holds a transparent picture's key.
  bool shown() const { return is_pinned(store_, k_); }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == parentWidget() && e->type() == QEvent::Resize) place();
    return false;
  }

  void paintEvent(QPaintEvent*) override {
    if (!shown()) return;
    QPainter p(this);
    const int w = width(), h = height();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPolygon(QPolygon({QPoint(0, 0), QPoint(w, 0), QPoint(w, h)}));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygon({QPoint(3, 0), QPoint(w, 0), QPoint(w, h - 3)}));
  }

 private:
  void place() {
    const int side = std::max(6, parentWidget()->width() * 2 / 5);
    setGeometry(parentWidget()->width() - side, 0, side, side);
    raise();
  }

  const Store& store_;
  int k_;
};

// The formats the window writes, from the one list the command line's
// --export-palette takes too.
const QStringList& save_filters() {
  static const QStringList filters = [] {
    QStringList out;
    for (const PaletteFormatRow& row : palette_formats())
      if (row.writable)
        out << QString::fromUtf8(row.description) + QStringLiteral(" (*") + QString::fromUtf8(row.extension) +
                   QStringLiteral(")");
    return out;
  }();
  return filters;
}

QString open_filter() {
  QString patterns;
  for (const PaletteFormatRow& row : palette_formats())
    patterns += (patterns.isEmpty() ? QStringLiteral("*") : QStringLiteral(" *")) + QString::fromUtf8(row.extension);
  return QStringLiteral("Palette files (") + patterns + QStringLiteral(")");
}

// The palette stage and the rendering on the palette as it now stands, as a
// conversion runs them: the cell pairs of BMP1 are chosen afresh on it.
void choose_again(frmMain& f) {
  if (f.store.OUTPUTX == 0 || f.store.OUTPUTY == 0) return;
  {
    const StageInProgress busy(f, kChoosingPaletteText);
    INITIALIZECOLORS(f.store, f);
  }
  {
    const StageInProgress busy(f, kDrawingText);
    DRAWOUTPUT(f.store, f);
  }
  show_pin_marks(f);
}

QAction* palette_action(frmMain& f, const char* name) {
  return f.widget()->window()->findChild<QAction*>(QString::fromLatin1(name));
}

void swatch_menu(frmMain& f, int k, QPoint global) {
  QMenu menu;
  QAction* pin = menu.addAction(QStringLiteral("Pin this colour"));
  pin->setObjectName(QStringLiteral("PinThisColour"));
  pin->setCheckable(true);
  pin->setChecked(is_pinned(f.store, k));
  // Entry 1 of a transparent picture is the key; it cannot be anything else.
  pin->setEnabled(!(k == 1 && f.store.ISTRANSPARENT == 1));
  if (f.desktop.popup && f.desktop.popup(menu, global) == pin && pin->isEnabled())
    record_edit(f, (is_pinned(f.store, k) ? QStringLiteral("Unpin colour %1") : QStringLiteral("Pin colour %1")).arg(k),
                [&] { toggle_pin(f, k); });
}

}  // namespace

QWidget* pin_mark(frmMain& f, int k) {
  return f.swatch(k).widget()->findChild<QWidget*>(QString::fromLatin1(kPinMark), Qt::FindDirectChildrenOnly);
}

bool pin_mark_shown(frmMain& f, int k) {
  const auto* mark = static_cast<PinMark*>(pin_mark(f, k));
  return mark != nullptr && mark->isVisible() && mark->shown();
}

void show_pin_marks(frmMain& f) {
  for (int k = 1; k <= 16; ++k)
    if (QWidget* mark = pin_mark(f, k)) mark->update();
}

void toggle_pin(frmMain& f, int k) {
  Store& s = f.store;
  if (is_pinned(s, k)) {
    unpin_entry(s, k);
  } else if (!(k == 1 && s.ISTRANSPARENT == 1)) {
    pin_entry(s, k, {s.OCLUSTER[k][1], s.OCLUSTER[k][2], s.OCLUSTER[k][3]});
  }
  show_pin_marks(f);
}

void unpin_all(frmMain& f) {
  // The imported palette is pinned as a whole; unpinned, the palette is the
  // method's again.
  drop_given_palette(f.store);
  unpin_all(f.store);
  show_pin_marks(f);
}

std::string give_palette_file(frmMain& f, const std::string& path) {
  const PaletteFileRead read = read_palette_file(path);
  if (!read.ok) return read.error.message();
  if (read.colours.empty()) return path + ": holds no colours";
  give_palette(f.store, read.colours, path);
  return {};
}

void import_palette(frmMain& f, const std::string& path) {
  if (const std::string e = give_palette_file(f, path); !e.empty()) {
    f.desktop.message("Cannot import the palette: " + e);
    return;
  }
  choose_again(f);
}

void set_palette_choice(frmMain& f, PalettePick pick, PaletteFill fill) {
  f.store.PALETTEPICK = static_cast<int>(pick);
  f.store.PALETTEFILL = static_cast<int>(fill);
  if (QAction* a = palette_action(f, "PalettePickFirst")) a->setChecked(pick == PalettePick::First);
  if (QAction* a = palette_action(f, "PaletteFillPicture")) a->setChecked(fill == PaletteFill::Picture);
}

void export_palette(frmMain& f, const std::string& path) {
  // The formats --export-palette writes; a target file is what "SAVE OUTPUT
  // FILE" writes.
  const std::string error = write_palette_file(path, palette_entries(f.store.OCLUSTER));
  f.desktop.message(error.empty() ? "Saved palette to " + path + "." : "Cannot save the palette: " + error);
}

void build_palette_menu(frmMain& f, QMenuBar& bar) {
  QMenu* menu = bar.addMenu(QStringLiteral("&Palette"));
  menu->setObjectName(QStringLiteral("PaletteMenu"));
  QAction* import = menu->addAction(QStringLiteral("Import palette..."));
  import->setObjectName(QStringLiteral("PaletteImport"));
  QObject::connect(import, &QAction::triggered, menu, [&f] {
    if (!f.desktop.open_palette) return;
    if (const std::optional<std::string> path = f.desktop.open_palette(f.widget()))
      record_edit(f, QStringLiteral("Import palette"), [&] { import_palette(f, *path); });
  });
  QAction* exp = menu->addAction(QStringLiteral("Export palette..."));
  exp->setObjectName(QStringLiteral("PaletteExport"));
  QObject::connect(exp, &QAction::triggered, menu, [&f] {
    if (!f.desktop.save_palette) return;
    if (const std::optional<std::string> path = f.desktop.save_palette(f.widget())) export_palette(f, *path);
  });
  // How a palette file of another size than the palette's is taken; the
  // settings files' palette-pick and palette-fill.
  QAction* first = menu->addAction(QStringLiteral("Large palettes: their first colours"));
  first->setObjectName(QStringLiteral("PalettePickFirst"));
  first->setCheckable(true);
  QAction* fill = menu->addAction(QStringLiteral("Short palettes: more colours for the picture"));
  fill->setObjectName(QStringLiteral("PaletteFillPicture"));
  fill->setCheckable(true);
  for (QAction* a : {first, fill})
    QObject::connect(a, &QAction::triggered, menu, [&f, first, fill] {
      f.store.PALETTEPICK = static_cast<int>(first->isChecked() ? PalettePick::First : PalettePick::Best);
      f.store.PALETTEFILL = static_cast<int>(fill->isChecked() ? PaletteFill::Picture : PaletteFill::Repeat);
      if (f.store.GIVENPALETTE) choose_again(f);
    });
  menu->addSeparator();
  QAction* unpin = menu->addAction(QStringLiteral("Unpin all"));
  unpin->setObjectName(QStringLiteral("PaletteUnpinAll"));
  QObject::connect(unpin, &QAction::triggered, menu, [&f] { record_edit(f, QStringLiteral("Unpin all"), [&f] { unpin_all(f); }); });

  for (int k = 1; k <= 16; ++k) {
    QWidget* w = f.swatch(k).widget();
    (new PinMark(w, f.store, k))->show();
    w->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(w, &QWidget::customContextMenuRequested, w,
                     [&f, k, w](const QPoint& local) { swatch_menu(f, k, w->mapToGlobal(local)); });
  }
}

std::unique_ptr<QFileDialog> make_palette_open_dialog(QWidget* owner) {
  auto dialog = std::make_unique<QFileDialog>(owner, QStringLiteral("Import palette"), QDir::currentPath());
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setNameFilters({open_filter(), QStringLiteral("All Files (*)")});
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  return dialog;
}

std::unique_ptr<QFileDialog> make_palette_save_dialog(QWidget* owner) {
  auto dialog = std::make_unique<QFileDialog>(owner, QStringLiteral("Export palette"), QDir::currentPath());
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setNameFilters(save_filters());
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setDefaultSuffix(QStringLiteral("gpl"));
  // The name gets the ending of the format chosen, when it has none.
  QObject::connect(dialog.get(), &QFileDialog::filterSelected, dialog.get(), [d = dialog.get()](const QString& filter) {
    const int at = filter.indexOf(QStringLiteral("*."));
    if (at >= 0) d->setDefaultSuffix(filter.mid(at + 2, filter.indexOf(QRegularExpression(QStringLiteral("[ )]")), at) - at - 2));
  });
  return dialog;
}

void add_palette_dialogs(Desktop& d) {
  d.open_palette = [](QWidget* owner) -> std::optional<std::string> {
    auto dialog = make_palette_open_dialog(owner);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    return dialog->selectedFiles().first().toStdString();
  };
  d.save_palette = [](QWidget* owner) -> std::optional<std::string> {
    auto dialog = make_palette_save_dialog(owner);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    return dialog->selectedFiles().first().toStdString();
  };
  d.popup = [](QMenu& menu, QPoint global) { return menu.exec(global); };
}

}  // namespace tessera
