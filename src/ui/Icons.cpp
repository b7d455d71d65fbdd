#include "ui/Icons.h"

#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>

#include <cmath>
#include <functional>
#include <numbers>

namespace tidewick::ui {
namespace {

// One palette for the whole set: slate outlines, white paper, amber folders, and a green, blue and
// red that say "to the server", "from the server" and "stop / remove".
const QColor kInk(0x3b, 0x46, 0x54);
const QColor kPaperEdge(0x7d, 0x8a, 0x99);
const QColor kPaperFold(0xdd, 0xe3, 0xea);
const QColor kFolderBack(0xe0, 0xa5, 0x26);
const QColor kFolderFront(0xf5, 0xc6, 0x4f);
const QColor kFolderEdge(0xa8, 0x76, 0x1a);
const QColor kGreen(0x2e, 0xa0, 0x5a);
const QColor kGreenDark(0x1e, 0x7a, 0x42);
const QColor kBlue(0x2f, 0x7f, 0xd0);
const QColor kBlueDark(0x1f, 0x5c, 0x9e);
const QColor kRed(0xd9, 0x42, 0x3b);
const QColor kRedDark(0xa8, 0x2c, 0x27);
const QColor kPurple(0x8e, 0x5c, 0xc2);
const QColor kOrange(0xe8, 0x86, 0x2a);
const QColor kTeal(0x1a, 0x9a, 0x9a);
const QColor kSky(0xbf, 0xe0, 0xf7);
const QColor kSun(0xf6, 0xc3, 0x2e);
const QColor kGrass(0x4c, 0xaf, 0x50);

using Painter = std::function<void(QPainter&)>;

QPen pen(const QColor& color, double width = 1.5) {
  QPen p(color, width);
  p.setJoinStyle(Qt::RoundJoin);
  p.setCapStyle(Qt::RoundCap);
  return p;
}

// ---- shared shapes, all on the 32-unit grid

void paper(QPainter& p, double left = 7, double top = 3, double right = 26, double bottom = 29) {
  const double fold = 6;
  QPainterPath sheet;
  sheet.moveTo(left, top);
  sheet.lineTo(right - fold, top);
  sheet.lineTo(right, top + fold);
  sheet.lineTo(right, bottom);
  sheet.lineTo(left, bottom);
  sheet.closeSubpath();
  p.setPen(pen(kPaperEdge));
  p.setBrush(Qt::white);
  p.drawPath(sheet);
  QPainterPath corner;
  corner.moveTo(right - fold, top);
  corner.lineTo(right - fold, top + fold);
  corner.lineTo(right, top + fold);
  corner.closeSubpath();
  p.setBrush(kPaperFold);
  p.drawPath(corner);
}

void folder(QPainter& p, const QRectF& r = QRectF(3, 7, 26, 20), const QColor& front = kFolderFront,
            const QColor& back = kFolderBack, const QColor& edge = kFolderEdge) {
  const double tabW = r.width() * 0.42, tabH = r.height() * 0.16;
  QPainterPath rear;
  rear.moveTo(r.left(), r.top() + tabH);
  rear.lineTo(r.left(), r.top() + 1.5);
  rear.quadTo(r.left(), r.top(), r.left() + 1.5, r.top());
  rear.lineTo(r.left() + tabW - 2, r.top());
  rear.lineTo(r.left() + tabW + 1, r.top() + tabH);
  rear.lineTo(r.right(), r.top() + tabH);
  rear.lineTo(r.right(), r.bottom());
  rear.lineTo(r.left(), r.bottom());
  rear.closeSubpath();
  p.setPen(pen(edge));
  p.setBrush(back);
  p.drawPath(rear);
  p.setBrush(front);
  p.drawRoundedRect(QRectF(r.left(), r.top() + tabH + r.height() * 0.14, r.width(), r.height() * 0.7 - tabH + 0.5), 1.5,
                    1.5);
}

// A thick arrow from `from` to `to`, drawn as one filled shape.
void arrow(QPainter& p, QPointF from, QPointF to, const QColor& fill, const QColor& edge, double shaft = 5,
           double head = 12) {
  const QPointF d = to - from;
  const double len = std::hypot(d.x(), d.y());
  if (len <= 0) return;
  const QPointF u = d / len, n(-u.y(), u.x());
  const double headLen = std::min(head * 0.8, len * 0.6);
  const QPointF base = to - u * headLen;
  QPainterPath path;
  path.moveTo(from + n * (shaft / 2));
  path.lineTo(base + n * (shaft / 2));
  path.lineTo(base + n * (head / 2));
  path.lineTo(to);
  path.lineTo(base - n * (head / 2));
  path.lineTo(base - n * (shaft / 2));
  path.lineTo(from - n * (shaft / 2));
  path.closeSubpath();
  p.setPen(pen(edge, 1.2));
  p.setBrush(fill);
  p.drawPath(path);
}

// A curved arrow along a circle, from angle a0 to a1 (degrees, counter-clockwise, 0 = east).
void circularArrow(QPainter& p, QPointF c, double radius, double a0, double a1, const QColor& color) {
  QPainterPath arc;
  const QRectF box(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
  arc.arcMoveTo(box, a0);
  arc.arcTo(box, a0, a1 - a0);
  p.setPen(pen(color, 3.2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(arc);
  // The head sits at a1, pointing along the direction of travel.
  const double rad = a1 * std::numbers::pi / 180.0;
  const QPointF tip(c.x() + radius * std::cos(rad), c.y() - radius * std::sin(rad));
  const double dir = (a1 > a0 ? 1 : -1);
  const QPointF tangent(-std::sin(rad) * dir, -std::cos(rad) * dir);
  const QPointF normal(std::cos(rad), -std::sin(rad));
  QPainterPath head;
  head.moveTo(tip + tangent * 5.5);
  head.lineTo(tip + normal * 4.5 - tangent * 1.0);
  head.lineTo(tip - normal * 4.5 - tangent * 1.0);
  head.closeSubpath();
  p.setPen(pen(color, 1.0));
  p.setBrush(color);
  p.drawPath(head);
}

void badge(QPainter& p, const QColor& fill, const QColor& edge, bool plus) {
  const QPointF c(23.5, 23.5);
  p.setPen(pen(Qt::white, 1.5));
  p.setBrush(fill);
  p.drawEllipse(c, 7.5, 7.5);
  p.setPen(pen(edge, 0.8));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, 6.6, 6.6);
  p.setPen(pen(Qt::white, 2.4));
  if (plus) {
    p.drawLine(QPointF(c.x() - 3.8, c.y()), QPointF(c.x() + 3.8, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - 3.8), QPointF(c.x(), c.y() + 3.8));
  } else {
    p.drawLine(c + QPointF(-3, -3), c + QPointF(3, 3));
    p.drawLine(c + QPointF(3, -3), c + QPointF(-3, 3));
  }
}

void textLines(QPainter& p, double left, double right, double top, int count, double gap = 4,
               const QColor& color = QColor(0xa7, 0xb1, 0xbd)) {
  p.setPen(pen(color, 1.6));
  for (int i = 0; i < count; ++i) {
    const double r = (i % 3 == 2) ? left + (right - left) * 0.65 : right;
    p.drawLine(QPointF(left, top + i * gap), QPointF(r, top + i * gap));
  }
}

// One link of a chain, a rounded bar around the segment a-b.
void chainLink(QPainter& p, QPointF a, QPointF b, const QColor& color) {
  QPainterPath path;
  path.moveTo(a);
  path.lineTo(b);
  QPainterPathStroker outer;
  outer.setWidth(9);
  outer.setCapStyle(Qt::RoundCap);
  QPainterPathStroker inner;
  inner.setWidth(3.4);
  inner.setCapStyle(Qt::RoundCap);
  const QPainterPath ring = outer.createStroke(path).subtracted(inner.createStroke(path));
  p.setPen(pen(color.darker(135), 0.9));
  p.setBrush(color);
  p.drawPath(ring);
}

void magnifier(QPainter& p, QPointF c, double r) {
  p.setPen(pen(kInk, 3.2));
  p.drawLine(c + QPointF(r * 0.72, r * 0.72), c + QPointF(r * 1.65, r * 1.65));
  p.setPen(pen(kInk, 2.2));
  p.setBrush(QColor(0xd8, 0xec, 0xfb, 230));
  p.drawEllipse(c, r, r);
  p.setPen(pen(Qt::white, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(c.x() - r * 0.6, c.y() - r * 0.6, r * 1.2, r * 1.2), 100 * 16, 70 * 16);
}

void tray(QPainter& p) {
  p.setPen(pen(kInk, 2.6));
  p.setBrush(Qt::NoBrush);
  QPainterPath path;
  path.moveTo(5, 21);
  path.lineTo(5, 27);
  path.lineTo(27, 27);
  path.lineTo(27, 21);
  p.drawPath(path);
}

// Two folders side by side (local amber, server blue) with an arrow over them.
void syncFolders(QPainter& p, bool toRemote) {
  folder(p, QRectF(2, 15, 13, 12));
  folder(p, QRectF(17, 15, 13, 12), QColor(0x9c, 0xc7, 0xf0), QColor(0x6f, 0xa8, 0xe0), kBlueDark);
  if (toRemote) arrow(p, QPointF(5, 8), QPointF(28, 8), kGreen, kGreenDark, 4.5, 11);
  else arrow(p, QPointF(27, 8), QPointF(4, 8), kBlue, kBlueDark, 4.5, 11);
}

void viewSquares(QPainter& p, double size, const QList<QPointF>& corners, bool withLines, double lineLen) {
  for (const QPointF& c : corners) {
    p.setPen(pen(kBlueDark, 1.0));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(c.x(), c.y(), size, size), 1, 1);
    if (withLines) {
      p.setPen(pen(kInk, 1.8));
      p.drawLine(QPointF(c.x() + size + 2.5, c.y() + size / 2),
                 QPointF(c.x() + size + 2.5 + lineLen, c.y() + size / 2));
    }
  }
}

// ---- the glyphs

void drawGlyph(QPainter& p, Glyph glyph) {
  switch (glyph) {
    case Glyph::App: {
      QLinearGradient sky(0, 2, 0, 30);
      sky.setColorAt(0, QColor(0x4f, 0xa3, 0xe8));
      sky.setColorAt(1, QColor(0x1f, 0x5c, 0x9e));
      p.setPen(pen(QColor(0x17, 0x47, 0x7a), 1.2));
      p.setBrush(sky);
      p.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
      for (int i = 0; i < 3; ++i) {
        const double y = 13 + i * 5.5;
        QPainterPath wave;
        wave.moveTo(5, y);
        wave.cubicTo(9, y - 4, 12, y - 4, 16, y);
        wave.cubicTo(20, y + 4, 23, y + 4, 27, y);
        p.setPen(pen(QColor(255, 255, 255, 255 - i * 55), 2.4));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
      }
      p.setPen(Qt::NoPen);
      p.setBrush(kSun);
      p.drawEllipse(QPointF(22.5, 8), 2.6, 2.6);
      break;
    }
    case Glyph::Connect:
      chainLink(p, QPointF(7, 20), QPointF(14, 13), kGreen);
      chainLink(p, QPointF(14, 20), QPointF(24, 10), kGreen);
      break;
    case Glyph::Disconnect:
      chainLink(p, QPointF(5, 24), QPointF(10, 19), kGreen.darker(110));
      chainLink(p, QPointF(22, 13), QPointF(27, 8), kGreen.darker(110));
      p.setPen(pen(kRed, 2.6));
      p.drawLine(QPointF(13, 10), QPointF(15.5, 14));
      p.drawLine(QPointF(19, 19), QPointF(22.5, 21.5));
      p.drawLine(QPointF(16, 7), QPointF(17, 12));
      break;
    case Glyph::Reconnect:
      circularArrow(p, QPointF(16, 16), 10.5, 200, 470, kGreen);
      chainLink(p, QPointF(12.5, 19.5), QPointF(19.5, 12.5), kGreenDark);
      break;
    case Glyph::Abort: {
      QPolygonF octagon;
      for (int i = 0; i < 8; ++i) {
        const double a = (22.5 + 45.0 * i) * std::numbers::pi / 180.0;
        octagon << QPointF(16 + 13 * std::cos(a), 16 + 13 * std::sin(a));
      }
      p.setPen(pen(kRedDark, 1.4));
      p.setBrush(kRed);
      p.drawPolygon(octagon);
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawRoundedRect(QRectF(8, 13.5, 16, 5), 1.2, 1.2);
      break;
    }
    case Glyph::Upload:
      tray(p);
      arrow(p, QPointF(16, 24), QPointF(16, 3), kGreen, kGreenDark, 6, 15);
      break;
    case Glyph::Download:
      tray(p);
      arrow(p, QPointF(16, 3), QPointF(16, 24), kBlue, kBlueDark, 6, 15);
      break;
    case Glyph::Send: arrow(p, QPointF(3, 16), QPointF(29, 16), kGreen, kGreenDark, 8, 19); break;
    case Glyph::Receive: arrow(p, QPointF(29, 16), QPointF(3, 16), kBlue, kBlueDark, 8, 19); break;
    case Glyph::NewFolder:
      folder(p, QRectF(2, 5, 24, 19));
      badge(p, kGreen, kGreenDark, true);
      break;
    case Glyph::DeleteFolder:
      folder(p, QRectF(2, 5, 24, 19));
      badge(p, kRed, kRedDark, false);
      break;
    case Glyph::DeleteFile:
      paper(p, 5, 2, 22, 27);
      textLines(p, 8.5, 18.5, 12, 3);
      badge(p, kRed, kRedDark, false);
      break;
    case Glyph::Rename: {
      paper(p, 4, 2, 21, 28);
      textLines(p, 7.5, 17.5, 12, 3);
      // A pencil across the page.
      p.save();
      p.translate(22, 18);
      p.rotate(-45);
      p.setPen(pen(QColor(0x9a, 0x5b, 0x13), 1.0));
      p.setBrush(kOrange);
      p.drawRect(QRectF(-11, -2.8, 15, 5.6));
      p.setBrush(QColor(0xf2, 0xa9, 0xb8));
      p.drawRect(QRectF(4, -2.8, 3.5, 5.6));
      QPainterPath tip;
      tip.moveTo(-11, -2.8);
      tip.lineTo(-16, 0);
      tip.lineTo(-11, 2.8);
      tip.closeSubpath();
      p.setBrush(QColor(0xf3, 0xd9, 0xa8));
      p.drawPath(tip);
      p.setBrush(kInk);
      p.setPen(Qt::NoPen);
      QPainterPath lead;
      lead.moveTo(-14.3, -0.95);
      lead.lineTo(-16, 0);
      lead.lineTo(-14.3, 0.95);
      lead.closeSubpath();
      p.drawPath(lead);
      p.restore();
      break;
    }
    case Glyph::Refresh:
      circularArrow(p, QPointF(16, 16), 10, 30, 170, kBlue);
      circularArrow(p, QPointF(16, 16), 10, 210, 350, kBlue);
      break;
    case Glyph::SyncToRemote: syncFolders(p, true); break;
    case Glyph::SyncToLocal: syncFolders(p, false); break;
    case Glyph::Exit: {
      p.setPen(pen(QColor(0x6d, 0x4c, 0x2d), 1.3));
      p.setBrush(QColor(0xb9, 0x82, 0x4a));
      p.drawRect(QRectF(4, 3, 15, 26));
      p.setBrush(QColor(0x8a, 0x5d, 0x33));
      QPainterPath door;
      door.moveTo(4, 3);
      door.lineTo(13, 6);
      door.lineTo(13, 31);
      door.lineTo(4, 29);
      door.closeSubpath();
      p.drawPath(door);
      p.setPen(Qt::NoPen);
      p.setBrush(kSun);
      p.drawEllipse(QPointF(11, 18), 1.1, 1.1);
      arrow(p, QPointF(15, 16), QPointF(30, 16), kRed, kRedDark, 4.5, 11);
      break;
    }
    case Glyph::GoUp:
      folder(p, QRectF(2, 8, 28, 21));
      arrow(p, QPointF(16, 26), QPointF(16, 4), kGreen, kGreenDark, 5, 13);
      break;
    case Glyph::Delete:
      p.setPen(pen(kRedDark, 7.5));
      p.drawLine(QPointF(8, 8), QPointF(24, 24));
      p.drawLine(QPointF(24, 8), QPointF(8, 24));
      p.setPen(pen(kRed, 5.2));
      p.drawLine(QPointF(8, 8), QPointF(24, 24));
      p.drawLine(QPointF(24, 8), QPointF(8, 24));
      break;
    case Glyph::ViewLargeIcons:
      viewSquares(p, 11, {QPointF(4, 4), QPointF(17, 4), QPointF(4, 17), QPointF(17, 17)}, false, 0);
      break;
    case Glyph::ViewSmallIcons:
      viewSquares(p, 5,
                  {QPointF(3, 6), QPointF(17, 6), QPointF(3, 14), QPointF(17, 14), QPointF(3, 22), QPointF(17, 22)},
                  true, 5.5);
      break;
    case Glyph::ViewList:
      viewSquares(p, 4, {QPointF(4, 5), QPointF(4, 11), QPointF(4, 17), QPointF(4, 23)}, true, 18);
      break;
    case Glyph::ViewDetails: {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0xa7, 0xb1, 0xbd));
      p.drawRect(QRectF(3, 4, 26, 4.5));
      for (int i = 0; i < 4; ++i) {
        const double y = 12 + i * 5;
        p.setPen(pen(kBlueDark, 0.9));
        p.setBrush(kBlue);
        p.drawRect(QRectF(3, y - 1.6, 3.4, 3.4));
        p.setPen(pen(kInk, 1.7));
        p.drawLine(QPointF(9, y), QPointF(17, y));
        p.drawLine(QPointF(20, y), QPointF(23, y));
        p.drawLine(QPointF(25.5, y), QPointF(28.5, y));
      }
      break;
    }
    case Glyph::Document:
      paper(p);
      textLines(p, 10, 23, 12, 4);
      break;
    case Glyph::Save: {
      p.setPen(pen(kBlueDark, 1.4));
      p.setBrush(kBlue);
      QPainterPath disk;
      disk.moveTo(4, 4);
      disk.lineTo(24, 4);
      disk.lineTo(28, 8);
      disk.lineTo(28, 28);
      disk.lineTo(4, 28);
      disk.closeSubpath();
      p.drawPath(disk);
      p.setBrush(QColor(0xe8, 0xee, 0xf4));
      p.drawRect(QRectF(9, 4, 13, 8));
      p.setBrush(kBlueDark);
      p.setPen(Qt::NoPen);
      p.drawRect(QRectF(17, 5.5, 3, 5));
      p.setBrush(Qt::white);
      p.drawRoundedRect(QRectF(8, 17, 16, 10), 1, 1);
      textLines(p, 10.5, 21.5, 20, 2, 3.5);
      break;
    }
    case Glyph::Properties: {
      paper(p, 5, 2, 24, 29);
      textLines(p, 8.5, 19, 11, 4);
      p.setPen(pen(Qt::white, 1.5));
      p.setBrush(kBlue);
      p.drawEllipse(QPointF(23.5, 23.5), 7.5, 7.5);
      p.setPen(pen(Qt::white, 2.6));
      p.drawLine(QPointF(23.5, 22.5), QPointF(23.5, 27));
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(23.5, 19.3), 1.5, 1.5);
      break;
    }
    case Glyph::FindFiles:
      paper(p, 3, 2, 20, 26);
      textLines(p, 6.5, 16, 11, 3);
      magnifier(p, QPointF(19, 18), 6.5);
      break;
    case Glyph::Transfer:
      arrow(p, QPointF(10, 29), QPointF(10, 3), kGreen, kGreenDark, 5.5, 13);
      arrow(p, QPointF(22, 3), QPointF(22, 29), kBlue, kBlueDark, 5.5, 13);
      break;
    case Glyph::WindowButtons: {
      p.setPen(pen(kInk, 1.3));
      p.setBrush(Qt::white);
      p.drawRoundedRect(QRectF(2.5, 4, 27, 24), 2, 2);
      p.setBrush(kBlue);
      p.drawRect(QRectF(2.5, 4, 27, 5.5));
      p.setPen(pen(kPaperEdge, 1.0));
      p.setBrush(QColor(0xe4, 0xe8, 0xee));
      for (int i = 0; i < 3; ++i) p.drawRoundedRect(QRectF(5 + i * 8, 20, 6.5, 5), 1, 1);
      textLines(p, 6, 26, 13, 1);
      break;
    }
  }
}

void drawFileType(QPainter& p, int index) {
  switch (index) {
    case 1: { // picture
      paper(p);
      p.setPen(pen(kPaperEdge, 1.0));
      p.setBrush(kSky);
      p.drawRect(QRectF(9.5, 12, 14, 13));
      p.setPen(Qt::NoPen);
      p.setBrush(kSun);
      p.drawEllipse(QPointF(19.5, 15.5), 2, 2);
      QPainterPath hill;
      hill.moveTo(9.5, 25);
      hill.lineTo(9.5, 21);
      hill.lineTo(14, 17);
      hill.lineTo(18, 21);
      hill.lineTo(20, 19.5);
      hill.lineTo(23.5, 23);
      hill.lineTo(23.5, 25);
      hill.closeSubpath();
      p.setBrush(kGrass);
      p.drawPath(hill);
      break;
    }
    case 2: { // web page
      paper(p);
      const QPointF c(16.5, 19);
      const double r = 7.5;
      p.setPen(pen(kBlueDark, 1.2));
      p.setBrush(QColor(0x8c, 0xc4, 0xf2));
      p.drawEllipse(c, r, r);
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(c, r * 0.42, r);
      p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
      p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
      p.drawArc(QRectF(c.x() - r * 0.9, c.y() - r * 1.55, r * 1.8, r * 1.6), 200 * 16, 140 * 16);
      p.drawArc(QRectF(c.x() - r * 0.9, c.y() - r * 0.05, r * 1.8, r * 1.6), 20 * 16, 140 * 16);
      break;
    }
    case 3: // text or document
      paper(p);
      textLines(p, 10, 23, 12, 5, 3.6, QColor(0x7d, 0x8a, 0x99));
      break;
    case 4: { // GIF picture: a little palette of pixels
      paper(p);
      const QColor colours[] = {
          kRed, kSun, kGreen, kBlue, kPurple, kTeal, kOrange, kRed.lighter(130), kGreen.darker(120)};
      for (int i = 0; i < 9; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(colours[i]);
        p.drawRect(QRectF(10 + (i % 3) * 4.6, 12 + (i / 3) * 4.6, 4.2, 4.2));
      }
      p.setPen(pen(kPaperEdge, 0.8));
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRectF(10, 12, 13.4, 13.4));
      break;
    }
    case 5: { // script: </>
      paper(p);
      p.setPen(pen(kTeal, 2.2));
      p.setBrush(Qt::NoBrush);
      p.drawPolyline(QPolygonF({QPointF(13, 14), QPointF(9.5, 18.5), QPointF(13, 23)}));
      p.drawPolyline(QPolygonF({QPointF(20, 14), QPointF(23.5, 18.5), QPointF(20, 23)}));
      p.setPen(pen(kInk, 1.8));
      p.drawLine(QPointF(17.8, 13), QPointF(15.2, 24));
      break;
    }
    case 6: { // sound: a note
      paper(p);
      p.setPen(pen(kPurple, 2.0));
      p.drawLine(QPointF(14.5, 24), QPointF(14.5, 12.5));
      p.drawLine(QPointF(21.5, 22), QPointF(21.5, 10.5));
      p.setPen(pen(kPurple, 3.0));
      p.drawLine(QPointF(14.5, 12.5), QPointF(21.5, 10.5));
      p.setPen(Qt::NoPen);
      p.setBrush(kPurple);
      p.drawEllipse(QPointF(12.5, 24.2), 2.6, 2.1);
      p.drawEllipse(QPointF(19.5, 22.2), 2.6, 2.1);
      break;
    }
    case 7: { // archive: a zipped page
      paper(p);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0x9a, 0x6b, 0x3c));
      p.drawRect(QRectF(14, 3.8, 4, 25.2));
      p.setBrush(QColor(0xf1, 0xd2, 0x8a));
      for (int i = 0; i < 6; ++i) p.drawRect(QRectF(i % 2 ? 16 : 14, 5 + i * 2.6, 2, 1.5));
      p.setPen(pen(kInk, 1.0));
      p.setBrush(QColor(0xc9, 0xce, 0xd6));
      p.drawRoundedRect(QRectF(13, 20, 6, 7), 1.2, 1.2);
      p.drawLine(QPointF(16, 22), QPointF(16, 25));
      break;
    }
    case 8: { // video: a film frame with a play mark
      paper(p);
      p.setPen(Qt::NoPen);
      p.setBrush(kInk);
      p.drawRect(QRectF(9, 12, 15, 13));
      p.setBrush(Qt::white);
      for (int i = 0; i < 4; ++i) {
        p.drawRect(QRectF(10, 13.2 + i * 3.1, 1.6, 1.6));
        p.drawRect(QRectF(21.4, 13.2 + i * 3.1, 1.6, 1.6));
      }
      QPainterPath play;
      play.moveTo(14.3, 15);
      play.lineTo(19.5, 18.5);
      play.lineTo(14.3, 22);
      play.closeSubpath();
      p.setBrush(kOrange);
      p.drawPath(play);
      break;
    }
    case 9: { // program: an application window
      p.setPen(pen(kInk, 1.3));
      p.setBrush(QColor(0xf4, 0xf6, 0xf9));
      p.drawRoundedRect(QRectF(3, 5, 26, 22), 2, 2);
      p.setBrush(kBlue);
      p.drawRect(QRectF(3, 5, 26, 6));
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(24, 7, 3, 2));
      // A gear in the window.
      const QPointF c(16, 19);
      QPainterPath gear;
      for (int i = 0; i < 8; ++i) {
        const double a = i * std::numbers::pi / 4;
        const QPointF tooth(c.x() + 6 * std::cos(a), c.y() + 6 * std::sin(a));
        gear.addEllipse(tooth, 1.7, 1.7);
      }
      gear.addEllipse(c, 5, 5);
      gear.setFillRule(Qt::WindingFill);
      QPainterPath hole;
      hole.addEllipse(c, 2, 2);
      p.setBrush(kOrange);
      p.setPen(pen(QColor(0x9a, 0x5b, 0x13), 0.8));
      p.drawPath(gear.simplified().subtracted(hole));
      break;
    }
    case 11: // folder
      folder(p, QRectF(2, 6, 28, 22));
      break;
    default: // any other file
      paper(p);
      break;
  }
}

// Draws a painter function at any size; disabled pictures are greyed out.
class DrawnIconEngine final : public QIconEngine {
public:
  DrawnIconEngine(QString key, Painter draw) : m_key(std::move(key)), m_draw(std::move(draw)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    QPixmap pm = render(rect.size() * ratio, mode);
    pm.setDevicePixelRatio(ratio);
    painter->drawPixmap(rect, pm);
    (void)state;
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override { return render(size, mode); }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(size.width(), size.height());
    return QSize(side, side);
  }

  QIconEngine* clone() const override { return new DrawnIconEngine(m_key, m_draw); }
  QString key() const override { return QStringLiteral("tidewick-drawn"); }
  QString iconName() override { return m_key; }
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    return {QSize(16, 16), QSize(24, 24), QSize(32, 32), QSize(48, 48)};
  }

private:
  QPixmap render(const QSize& size, QIcon::Mode mode) const {
    const int side = std::max(1, std::min(size.width(), size.height()));
    const QString cacheKey = QStringLiteral("tw:%1:%2:%3").arg(m_key).arg(side).arg(int(mode));
    QPixmap cached;
    if (QPixmapCache::find(cacheKey, &cached)) return cached;

    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter p(&image);
      p.setRenderHint(QPainter::Antialiasing);
      p.scale(side / 32.0, side / 32.0);
      m_draw(p);
    }
    if (mode == QIcon::Disabled) {
      for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
          const QRgb c = line[x];
          const int a = qAlpha(c);
          if (!a) continue;
          // Premultiplied grey, lightened, at reduced opacity.
          const int grey = qGray(qRed(c), qGreen(c), qBlue(c));
          const int g = std::min(a, grey + (a - grey) / 3);
          const int na = a * 45 / 100;
          line[x] = qRgba(g * na / a, g * na / a, g * na / a, na);
        }
      }
    } else if (mode == QIcon::Selected || mode == QIcon::Active) {
      // Same picture: the view draws the selection around it.
    }
    QPixmap pm = QPixmap::fromImage(image);
    QPixmapCache::insert(cacheKey, pm);
    return pm;
  }

  QString m_key;
  Painter m_draw;
};

} // namespace

// Icons are made once and shared: views ask for a row's picture every time they paint it.
QIcon glyphIcon(Glyph glyph) {
  static QHash<int, QIcon> made;
  QIcon& icon = made[int(glyph)];
  if (icon.isNull())
    icon = QIcon(
        new DrawnIconEngine(QStringLiteral("glyph-%1").arg(int(glyph)), [glyph](QPainter& p) { drawGlyph(p, glyph); }));
  return icon;
}

QIcon fileTypeIcon(int index) {
  if (index < 1 || index > kFileTypeIconCount) index = 10;
  static QIcon made[kFileTypeIconCount + 1];
  QIcon& icon = made[index];
  if (icon.isNull())
    icon = QIcon(
        new DrawnIconEngine(QStringLiteral("file-%1").arg(index), [index](QPainter& p) { drawFileType(p, index); }));
  return icon;
}

} // namespace tidewick::ui
