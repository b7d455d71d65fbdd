#pragma once
// Helpers for tests of the panes and the main window: rows by name, the certificate questions
// asked, and a main window in a temporary home with scripted prompts.

#include "app/frmMain.h"
#include "browse/FileListModel.h"
#include "browse/FilePaneView.h"
#include "log/LogList.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"

#include <QDialog>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tidewick::test {

// The row of the list showing `name`, -1 when none does.
inline int rowOf(const browse::FileListModel& model, const QString& name) {
  for (int r = 0; r < model.rowCount(); ++r)
    if (model.row(r).name == name) return r;
  return -1;
}
inline int rowOf(const browse::FilePaneView* list, const QString& name) { return rowOf(*list->model(), name); }

// Selects the rows named, and no other.
inline void selectRows(browse::FilePaneView* list, const QStringList& names) {
  list->clearSelection();
  for (const QString& name : names) list->selectRow(rowOf(list, name), true);
}

// Every name the list shows, sorted.
inline QStringList sortedNames(const browse::FileListModel& model) {
  QStringList out;
  for (int r = 0; r < model.rowCount(); ++r) out << model.row(r).name;
  out.sort();
  return out;
}

// The texts of the certificate and host-key questions asked so far; every question is forgotten.
inline QStringList certificateQuestions(ScriptedPrompts& prompts) {
  QStringList texts;
  for (const auto& a : prompts.asked)
    if (a.kind == ScriptedPrompts::Kind::Certificate) texts << a.text;
  prompts.clear();
  return texts;
}

// The main window in a temporary home that shows no connection dialog at start and adds no
// autostart entry. open() makes and loads it, so a test can store settings and profiles first.
struct MainWindowRig {
  MainWindowRig() {
    home.setSetting("SHOW CONNECTION ON STARTUP", "0");
    home.setSetting("ADD TO STARTUP", "0");
  }

  app::frmMain& open() {
    window = std::make_unique<app::frmMain>(prompts, QStringList{"tidewick"});
    window->setEndProgram([] {});
    window->Load();
    return *window;
  }

  // The next connection dialog selects the profile `site`, lets `edit` change its fields, and
  // presses Connect.
  void chooseSite(const QString& site, std::function<void(QDialog*)> edit = {}) {
    prompts.modalAnswers.push_back([site, edit](QDialog* d) {
      auto* tree = d->findChild<QTreeWidget*>("TView1");
      const auto found = tree->findItems(site + ".Tidewick", Qt::MatchExactly | Qt::MatchRecursive);
      EXPECT_EQ(found.size(), 1) << site.toStdString();
      if (!found.isEmpty()) tree->setCurrentItem(found.first());
      if (edit) edit(d);
      d->findChild<QPushButton*>("cmdConnect")->click();
      return d->result();
    });
  }

  QStringList logLines() const { return window->logList()->lines(); }
  bool logged(const QString& text) const {
    for (const QString& line : window->logList()->lines())
      if (line.contains(text)) return true;
    return false;
  }

  TempHome home;
  ScriptedPrompts prompts;
  std::unique_ptr<app::frmMain> window;
};

} // namespace tidewick::test
