#pragma once
// Catches the web addresses the program hands to the desktop, so no browser starts during a test.

#include <QDesktopServices>
#include <QObject>
#include <QStringList>
#include <QUrl>

class UrlRecorder : public QObject {
  Q_OBJECT

public:
  UrlRecorder() {
    for (const char* scheme : {"http", "https", "file"})
      QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
  }
  ~UrlRecorder() override {
    for (const char* scheme : {"http", "https", "file"}) QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
  }

  QStringList opened;

public Q_SLOTS:
  void open(const QUrl& url) { opened << url.toString(); }
};
