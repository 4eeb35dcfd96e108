// The desktop services the window uses, as Qt offers them.
#include <QApplication>
#include <QColorDialog>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

#include <QPixmap>

#include "tessera/edit_menu.h"
#include "tessera/frm_main.h"
#include "tessera/recent_files.h"
#include "tessera/palette_menu.h"

namespace tessera {

std::unique_ptr<QFileDialog> make_open_dialog(QWidget* owner) {
  auto dialog = std::make_unique<QFileDialog>(owner, QStringLiteral("Open"), start_folder("open"));
  // Qt's own dialog everywhere, so the filter descriptions read exactly as
  // written rather than as a platform dialog rewrites them.
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setOption(QFileDialog::HideNameFilterDetails, true);
  dialog->setNameFilters({QStringLiteral("Image Files (bmp, png, jpg, gif) (*.bmp *.png *.jpg *.gif)"),
                          QStringLiteral("All Files (*.*) (*)")});
  dialog->selectNameFilter(dialog->nameFilters().first());
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setDefaultSuffix(QStringLiteral("bmp"));
  return dialog;
}

std::unique_ptr<QFileDialog> make_settings_dialog(QWidget* owner, bool save) {
  auto dialog = std::make_unique<QFileDialog>(owner, save ? QStringLiteral("Save settings") : QStringLiteral("Load settings"),
                                              QDir::currentPath());
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setNameFilters({QStringLiteral("Tessera settings (*.tessera)"), QStringLiteral("All Files (*)")});
  dialog->selectNameFilter(dialog->nameFilters().first());
  dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog->setDefaultSuffix(QStringLiteral("tessera"));
  return dialog;
}

std::unique_ptr<QColorDialog> make_colour_dialog(QColor initial) {
  // Custom colours start black on every call and are forgotten afterwards.
  for (int i = 0; i < QColorDialog::customCount(); ++i) QColorDialog::setCustomColor(i, QColor(0, 0, 0));
  // No owner: the main window stays usable while the dialog is open.
  auto dialog = std::make_unique<QColorDialog>(initial);
  dialog->setOption(QColorDialog::DontUseNativeDialog, true);
  add_grid_preview(*dialog);
  return dialog;
}

Desktop qt_desktop() {
  Desktop d;
  d.open_file = [](QWidget* owner) -> std::optional<std::string> {
    auto dialog = make_open_dialog(owner);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    return dialog->selectedFiles().first().toStdString();
  };
  for (const bool save : {false, true}) {
    auto ask = [save](QWidget* owner) -> std::optional<std::string> {
      auto dialog = make_settings_dialog(owner, save);
      if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
      return QFile::encodeName(dialog->selectedFiles().first()).toStdString();
    };
    (save ? d.save_settings : d.open_settings) = ask;
  }
  d.choose_colour = [](QColor initial) -> std::optional<QColor> {
    auto dialog = make_colour_dialog(initial);
    const int answer = dialog->exec();
    const QColor chosen = dialog->selectedColor();
    for (int i = 0; i < QColorDialog::customCount(); ++i) QColorDialog::setCustomColor(i, QColor(0, 0, 0));
    if (answer != QDialog::Accepted || !chosen.isValid()) return std::nullopt;
    return chosen;
  };
  d.message = [](const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Message"), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
  };
  d.alt_pressed = [] { return (QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier) != 0; };
  d.cursor_pos = [] { return QCursor::pos(); };
  d.inform = [](const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.setIconPixmap(QPixmap::fromImage(tessera_logo(96, 60)));
    box.exec();
  };
  d.save_as = [](QWidget* owner, const std::string& suggested, int kind) -> std::optional<std::string> {
    auto dialog = make_save_as_dialog(owner, suggested, kind);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog->selectedFiles().first()).toStdString();
  };
  add_palette_dialogs(d);
  return d;
}

}  // namespace tessera
