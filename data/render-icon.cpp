// Renders the application picture, the one the windows show, as PNG files of the sizes the desktop
// asks for: render-icon <folder> <size>... writes <folder>/<size>x<size>/apps/<name>.png.
#include "ui/Icons.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = QGuiApplication::arguments();
  if (args.size() < 4) {
    std::fputs("usage: render-icon FOLDER NAME SIZE...\n", stderr);
    return 2;
  }
  const QIcon icon = tidewick::ui::glyphIcon(tidewick::ui::Glyph::App);
  for (const QString& sizeText : args.mid(3)) {
    const int size = sizeText.toInt();
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args[1]).arg(size);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    icon.paint(&painter, image.rect());
    painter.end();
    if (size <= 0 || !QDir().mkpath(folder) ||
        !image.save(folder + QLatin1Char('/') + args[2] + QStringLiteral(".png"))) {
      std::fprintf(stderr, "render-icon: cannot write the %s picture\n", qPrintable(sizeText));
      return 1;
    }
  }
  return 0;
}
