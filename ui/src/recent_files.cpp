#include "tessera/recent_files.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <filesystem>

#include "tessera/frm_main.h"
#include "tessera/handlers.h"
#include "tessera/target_files.h"
#include "tessera/window_settings.h"

namespace tessera {

namespace {

const QString kRecentKey = QStringLiteral("recent/pictures");
const QString kRestoreKey = QStringLiteral("start/restore_last_settings");
const QString kLastSettingsKey = QStringLiteral("start/last_settings");

QString folder_key(const char* kind) { return QStringLiteral("folders/") + QString::fromLatin1(kind); }

// Names go through the file system's own encoding both ways, so a name
// that is not UTF-8 comes back as it was.
QString from_path(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string to_path(const QString& name) { return QFile::encodeName(name).toStdString(); }

const char* kind_word(int kind) { return kind == 1 ? "BMP1" : kind == 4 ? "BMP4" : "BMP"; }

std::string folder_of_picture(const frmMain& f) {
  const std::string& picture = f.store.RENDEREDFILENAME.empty() ? f.store.OPENFILENAME : f.store.RENDEREDFILENAME;
  return std::filesystem::path(picture).parent_path().string();
}

// The name the plain save would give, in the folder of the last save as.
std::string suggested_name(const frmMain& f, const std::string& plain) {
  const std::string name = std::filesystem::path(plain).filename().string();
  std::unique_ptr<QSettings> s = user_settings();
  const QString folder = s->value(folder_key("save")).toString();
  if (!folder.isEmpty()) return (std::filesystem::path(to_path(folder)) / name).string();
  return (std::filesystem::path(folder_of_picture(f)) / name).string();
}

void save_as(frmMain& f, int kind) {
  const Store& s = f.store;
  // The picture the plain save names its file after, and why it could not
  // be read: the rendering's, or before any the open picture's (the BMP).
  const bool rendered = !s.RENDEREDFILENAME.empty();
  const std::string& picture = rendered ? s.RENDEREDFILENAME : s.OPENFILENAME;
  const std::string& why = rendered ? s.RENDEREDLOADERROR : s.LOADERROR;
  // Nothing to save: no dialog, as the plain saves then say nothing either.
  if (picture.empty() || (kind != 0 && s.RENDEREDFILETYPE == 0)) return;
  if (!f.desktop.save_as) return;
  const std::string plain = kind == 0 ? export_file_name(picture) : target_file_name(picture, kind);
  const std::optional<std::string> path = f.desktop.save_as(f.window(), suggested_name(f, plain), kind);
  if (!path || path->empty()) return;
  remember_folder("save", *path);
  SaveResult r;
  if (!why.empty()) {
    r.unreadable = true;
    r.path = picture;
  } else {
    r = kind != 0 ? save_target_file(s, *path) : save_bmp_export(s, *path);
  }
  report_save(f, r, kind_word(kind));
}

}  // namespace

std::unique_ptr<QSettings> user_settings() {
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tessera"),
                                     QStringLiteral("Tessera"));
}

QStringList recent_pictures() { return user_settings()->value(kRecentKey).toStringList(); }

void remember_picture(const std::string& path) {
  QStringList list = recent_pictures();
  const QString name = from_path(path);
  list.removeAll(name);
  list.prepend(name);
  while (list.size() > kRecentPictures) list.removeLast();
  user_settings()->setValue(kRecentKey, list);
}

void forget_recent_pictures() { user_settings()->remove(kRecentKey); }

QString start_folder(const char* kind) {
  const QString folder = user_settings()->value(folder_key(kind)).toString();
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::currentPath();
}

void remember_folder(const char* kind, const std::string& file) {
  user_settings()->setValue(folder_key(kind), QFileInfo(from_path(file)).absolutePath());
}

void fill_recent_menu(frmMain& f, QMenu& menu) {
  menu.clear();
  const QStringList list = recent_pictures();
  int n = 0;
  for (const QString& name : list) {
    ++n;
    const bool there = QFileInfo(name).isFile();
    // The number is the entry's key; the full name tells two pictures of
    // one name apart.
    const QString text = QStringLiteral("&%1 %2%3")
                             .arg(n % 10)
                             .arg(QString(name).replace(QLatin1Char('&'), QStringLiteral("&&")))
                             .arg(there ? QString() : QStringLiteral(" (missing)"));
    QAction* a = menu.addAction(text);
    a->setObjectName(QStringLiteral("RecentPicture%1").arg(n));
    a->setEnabled(there);
    a->setData(name);
    QObject::connect(a, &QAction::triggered, &menu, [&f, name] { open_picture(f, to_path(name)); });
  }
  if (list.isEmpty()) menu.addAction(QStringLiteral("(none)"))->setEnabled(false);
  menu.addSeparator();
  QAction* clear = menu.addAction(QStringLiteral("Clear list"));
  clear->setObjectName(QStringLiteral("RecentClear"));
  clear->setEnabled(!list.isEmpty());
  QObject::connect(clear, &QAction::triggered, &menu, [] { forget_recent_pictures(); });
}

QMenu* add_recent_menu(frmMain& f, QMenu& file) {
  QMenu* recent = file.addMenu(QStringLiteral("Open &Recent"));
  recent->setObjectName(QStringLiteral("FileOpenRecent"));
  QObject::connect(recent, &QMenu::aboutToShow, recent, [&f, recent] { fill_recent_menu(f, *recent); });
  fill_recent_menu(f, *recent);
  return recent;
}

void SAVEOUTPUTAS(frmMain& f) { save_as(f, f.store.RENDEREDFILETYPE); }
void SAVEBMPAS(frmMain& f) { save_as(f, 0); }

void add_save_as_entries(frmMain& f, QMenu& file) {
  struct Entry {
    const char* name;
    const char* text;
    QKeySequence keys;
    void (*run)(frmMain&);
  };
  const Entry entries[] = {
      {"FileSaveOutputAs", "Save output as...", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S), SAVEOUTPUTAS},
      {"FileSaveBMPAs", "Save BMP as...", QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_S), SAVEBMPAS},
  };
  for (const Entry& e : entries) {
    QAction* a = file.addAction(QString::fromLatin1(e.text));
    a->setObjectName(QString::fromLatin1(e.name));
    a->setShortcut(e.keys);
    a->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(a, &QAction::triggered, &file, [&f, run = e.run] { run(f); });
  }
}

std::unique_ptr<QFileDialog> make_save_as_dialog(QWidget* owner, const std::string& suggested, int kind) {
  auto dialog = std::make_unique<QFileDialog>(owner, kind == 0 ? QStringLiteral("Save BMP as")
                                                               : QStringLiteral("Save output as"));
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  const QString suffix = kind == 1 ? QStringLiteral("bmp1") : kind == 4 ? QStringLiteral("bmp4") : QStringLiteral("bmp");
  dialog->setNameFilters({QStringLiteral("%1 file (*.%2)").arg(QString::fromLatin1(kind_word(kind)), suffix),
                          QStringLiteral("All Files (*)")});
  dialog->setDefaultSuffix(suffix);
  const QFileInfo where(from_path(suggested));
  dialog->setDirectory(where.absolutePath());
  dialog->selectFile(where.fileName());
  return dialog;
}

bool restores_last_settings() { return user_settings()->value(kRestoreKey, false).toBool(); }

void keep_last_settings(frmMain& f) {
  user_settings()->setValue(kLastSettingsKey, QString::fromStdString(settings_file_text(window_settings(f))));
}

bool restore_last_settings(frmMain& f) {
  if (!restores_last_settings()) return false;
  const QString text = user_settings()->value(kLastSettingsKey).toString();
  if (text.isEmpty()) return false;
  ConversionSettings s = window_settings(f);
  // Settings a later version no longer reads leave the start state alone.
  if (!read_settings_text(text.toStdString(), s).empty()) return false;
  apply_window_settings(f, s);
  return true;
}

void add_restore_entry(QMenu& file) {
  QAction* a = file.addAction(QStringLiteral("Restore last settings at start"));
  a->setObjectName(QStringLiteral("FileRestoreLastSettings"));
  a->setCheckable(true);
  a->setChecked(restores_last_settings());
  QObject::connect(a, &QAction::toggled, &file, [](bool on) { user_settings()->setValue(kRestoreKey, on); });
}

}  // namespace tessera
