#include "tessera/look_menu.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>
#include <cctype>
#include <string>

#include "tessera/frm_main.h"
#include "tessera/handlers.h"
#include "tessera/window_settings.h"

namespace tessera {

namespace {

// Every item carries its setting's name and (for a word) the word, as the
// table spells them; the checks and the tests find the items by them.
const char* const kSetting = "lookSetting";
const char* const kWord = "lookWord";

QString qs(const std::string& text) { return QString::fromStdString(text); }

// "diffusion-light" as an object name: "DiffusionLight".
std::string camel(std::string_view spelling) {
  std::string out;
  bool up = true;
  for (char c : spelling) {
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      up = true;
      continue;
    }
    out += up ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    up = false;
  }
  return out;
}

bool is(const SettingKey& key, const char* name) { return &key == &setting_key(name); }

// Words that a control other than an option button tells: the format list,
// and the Dither box left clear for no diffusion.
bool told_by_another_control(const SettingKey& key, const SettingWord& w) {
  return is(key, "format") || (is(key, "diffusion") && w.value == static_cast<int>(Diffusion::None));
}

// The submenu of the words a setting of the window's own has no button for.
// Its help names what the setting does; the kernels are more of the Dither
// box's, which the name would not say.
QString extra_words_title(const SettingKey& key) {
  if (is(key, "diffusion")) return QStringLiteral("More kernels");
  if (is(key, "scale")) return QStringLiteral("Resampling");
  std::string title = key.help;
  if (!title.empty()) title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
  return qs(title);
}

// The stages a change reruns, as the control that does the like would: a
// resampling button the input, Reset the palette, the kernels' buttons the
// rendering.
void rerun_for(frmMain& f, const SettingKey& key) {
  if (is(key, "scale")) return rerun_input(f);
  if (is(key, "refine-palette")) return rerun_palette(f);
  // A fitted palette is fitted afresh from the selection's at every rendering,
  // but turning the fit off needs the selection's palette (and BMP1's pairs
  // for it) back.
  if (is(key, "fit-palette")) return rerun_palette(f);
  // The refined palette is chosen in the distance as well.
  if (is(key, "distance") && f.store.REFINE != 0) return rerun_palette(f);
  // Pairs chosen with their dithering stay in the cells; going back to the
  // pairs chosen before it needs them chosen again.
  if (is(key, "cell-pairs")) return rerun_cell_pairs(f);
  rerun_rendering(f);
}

// One item chosen: the settings the window shows, with this one changed, go
// back into the window the way a settings file does; Best stays checked only
// while the look is still the best one (apply_window_settings sees to it).
void choose(frmMain& f, const SettingKey& key, int value) {
  ConversionSettings s = window_settings(f);
  if (key.get(s) == value) {
    show_look(f, best_chosen(f));  // an exclusive item chosen again: nothing changes
    return;
  }
  key.set(s, value);
  apply_window_settings(f, s);
  rerun_for(f, key);
}

// Best on applies the best look to every setting it names, the window's own
// controls among them, and converts afresh; off, the settings stay as they
// are, no longer called the best.
void choose_best(frmMain& f, bool on) {
  if (!on) {
    show_look(f, false);
    return;
  }
  ConversionSettings s = window_settings(f);
  apply_best(s, [](std::string_view) { return false; });
  s.best = true;
  apply_window_settings(f, s);
  rerun_all(f);
}

QAction* add_item(frmMain& f, QMenu* menu, const SettingKey& key, const SettingWord* word) {
  QAction* a = menu->addAction(qs(word != nullptr ? menu_label(*word) : menu_label(key)));
  a->setObjectName(qs("Look" + camel(key.name) + (word != nullptr ? camel(word->word) : std::string())));
  a->setCheckable(true);
  a->setProperty(kSetting, QString::fromLatin1(key.name));
  a->setProperty(kWord, word != nullptr ? QString::fromLatin1(word->word) : QString());
  a->setStatusTip(QString::fromUtf8(key.help));
  a->setToolTip(QString::fromUtf8(key.help));
  if (word != nullptr) {
    QObject::connect(a, &QAction::triggered, menu, [&f, &key, value = word->value] { choose(f, key, value); });
  } else if (is(key, "best")) {
    QObject::connect(a, &QAction::triggered, menu, [&f](bool on) { choose_best(f, on); });
  } else {
    QObject::connect(a, &QAction::triggered, menu, [&f, &key](bool on) { choose(f, key, on ? 1 : 0); });
  }
  return a;
}

void add_word_menu(frmMain& f, QMenu* look, const SettingKey& key, const QString& title,
                   const std::vector<SettingWord>& words) {
  QMenu* menu = look->addMenu(title);
  menu->setObjectName(qs("Look" + camel(key.name) + "Menu"));
  menu->setToolTipsVisible(true);
  // Exclusive, but with none checked while an option button's word holds.
  auto* group = new QActionGroup(menu);
  group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
  // The actions live as long as the menu; their words are copied here.
  for (const SettingWord& w : words) group->addAction(add_item(f, menu, key, &w));
}

}  // namespace

std::vector<SettingWord> look_menu_words(const SettingKey& key) {
  if (key.kind != SettingKind::Word) return {};
  if (key.look) return key.words;
  // Only the words a setting of the client area's buttons has beyond them:
  // a setting with no button at all belongs to the menu of its own concern.
  if (std::none_of(key.words.begin(), key.words.end(), [](const SettingWord& w) { return w.control != Ctl::None; }))
    return {};
  std::vector<SettingWord> out;
  for (const SettingWord& w : key.words)
    if (w.control == Ctl::None && !told_by_another_control(key, w)) out.push_back(w);
  return out;
}

void build_look_menu(frmMain& f, QMenuBar& bar) {
  QMenu* look = bar.addMenu(QStringLiteral("&Look"));
  look->setObjectName(QStringLiteral("LookMenu"));
  look->setToolTipsVisible(true);

  bool first_look = true;
  for (const SettingKey& key : setting_keys()) {
    if (key.look && first_look) {
      look->addSeparator();
      first_look = false;
    }
    if (is(key, "best")) look->addSeparator();
    if (key.look && key.kind == SettingKind::Flag) {
      add_item(f, look, key, nullptr);
      continue;
    }
    const std::vector<SettingWord> words = look_menu_words(key);
    if (words.empty()) continue;
    add_word_menu(f, look, key, key.look ? qs(menu_label(key)) : extra_words_title(key), words);
    // An option button of the same setting takes over from the menu's word.
    if (!key.look)
      for (const SettingWord& w : key.words)
        if (auto* button = qobject_cast<QAbstractButton*>(w.control != Ctl::None ? f.control(w.control).widget()
                                                                                  : nullptr))
          QObject::connect(button, &QAbstractButton::clicked, look, [&f] { show_look(f, best_chosen(f)); });
  }
  QObject::connect(look, &QMenu::aboutToShow, look, [&f] { show_look(f, best_chosen(f)); });
  show_look(f, false);
}

QAction* look_action(frmMain& f, std::string_view setting, std::string_view word) {
  QMenu* look = f.menu_bar()->findChild<QMenu*>(QStringLiteral("LookMenu"));
  if (look == nullptr) return nullptr;
  for (QAction* a : look->findChildren<QAction*>())
    if (a->property(kSetting).toString().toStdString() == setting &&
        a->property(kWord).toString().toStdString() == word)
      return a;
  return nullptr;
}

void show_look(frmMain& f, bool best) {
  QMenu* look = f.menu_bar()->findChild<QMenu*>(QStringLiteral("LookMenu"));
  if (look == nullptr) return;
  const ConversionSettings s = window_settings(f);
  for (QAction* a : look->findChildren<QAction*>()) {
    const QVariant setting = a->property(kSetting);
    if (!setting.isValid()) continue;
    const SettingKey& key = setting_key(setting.toString().toStdString());
    if (is(key, "best")) {
      a->setChecked(best);
      continue;
    }
    // The menu's kernel stays chosen while Dither is clear, as the kernel
    // buttons keep theirs.
    const int value = is(key, "diffusion") ? f.store.KERNEL : key.get(s);
    const std::string word = a->property(kWord).toString().toStdString();
    const char* now = word_of(key, value);
    a->setChecked(word.empty() ? value != 0 : now != nullptr && word == now);
  }
}

bool best_chosen(frmMain& f) {
  const QAction* best = look_action(f, "best");
  return best != nullptr && best->isChecked();
}

}  // namespace tessera
