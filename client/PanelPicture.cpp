#include "client/PanelPicture.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QColor kBodyTop(74, 77, 82), kBodyBottom(44, 46, 50);
const QColor kLegend(236, 236, 230);
const QColor kHoldLegend(242, 178, 64);  // the alternate functions, as hold legends usually are
const QColor kBezel(18, 18, 20);

constexpr TPanelLayout kLayout = {
    {0, 0, 563, 235},
    {2, 2, 559, 231},
    {210, 28, 188, 44},
    {250, 88, 108, 108},
    {116, 44, 80, 12},
    {205, 5, 198, 16},
    {{507, 160, 30, 16}, "POWER"},
    {{124, 158, 40, 40}, "KEYER"},
    {{174, 158, 40, 40}, "POWER"},
    {{20, 158, 40, 40}, "AF GAIN"},
    {{70, 158, 40, 40}, "RF GAIN"},
    {{372, 104, 36, 36}, "RIT/XIT"},
    {
        {1, {26, 23, 30, 14}, TSwitchFace::Grey, "BAND+", "STORE"},
        {2, {70, 23, 30, 14}, TSwitchFace::Black, "BAND-", "RCL"},
        {3, {26, 68, 30, 14}, TSwitchFace::Grey, "PRE", "ATT"},
        {4, {70, 68, 30, 14}, TSwitchFace::Black, "AGC", "OFF"},
        {5, {26, 114, 30, 14}, TSwitchFace::Black, "MENU", "EDIT"},
        {6, {70, 114, 30, 14}, TSwitchFace::Black, "NB", "LEVEL"},
        {7, {378, 170, 24, 23}, TSwitchFace::Square, "RATE", "LOCK"},
        {8, {422, 23, 30, 14}, TSwitchFace::Black, "MODE", "REV"},
        {9, {464, 23, 30, 14}, TSwitchFace::Black, "A/B", "A=B"},
        {10, {508, 23, 30, 14}, TSwitchFace::Black, "SPLIT", "DISP"},
        {11, {422, 70, 30, 14}, TSwitchFace::Black, "RIT", "CLR"},
        {12, {464, 70, 30, 14}, TSwitchFace::Black, "XIT", "SCAN"},
        {13, {508, 70, 30, 14}, TSwitchFace::Black, "FIL", "AFIL"},
        {14, {422, 116, 30, 14}, TSwitchFace::Black, "ANT", "CAL"},
        {15, {464, 116, 30, 14}, TSwitchFace::Black, "MSG", "REC"},
        {16, {508, 116, 30, 14}, TSwitchFace::Black, "XMIT", "TUNE"},
    },
    {12, 32, 53, 74, 96, 117, 138, 159},
    {"NB", "ANT2", "PRE", "ATT", "A", "B", "RIT", "XIT"},
    36,
};

QFont LegendFont(int pixels, bool bold = true) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

void Legend(QPainter& p, const QRect& r, const char* text, const QColor& colour, int pixels,
            int flags = Qt::AlignCenter) {
  p.setFont(LegendFont(pixels));
  p.setPen(colour);
  p.drawText(r, flags, QString::fromLatin1(text));
}

void DrawBody(QPainter& p, const QRect& body) {
  QPainterPath outline;
  outline.addRoundedRect(QRectF(body).adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
  QLinearGradient shade(body.topLeft(), body.bottomLeft());
  shade.setColorAt(0, kBodyTop);
  shade.setColorAt(1, kBodyBottom);
  p.fillPath(outline, shade);
  p.setPen(QPen(QColor(110, 114, 120), 1));
  p.drawPath(outline);
  p.setPen(QPen(QColor(20, 20, 22), 1));
  p.drawRoundedRect(QRectF(body).adjusted(2.5, 2.5, -2.5, -2.5), 12, 12);
}

void DrawDisplayFrame(QPainter& p, const TPanelLayout& l) {
  const QRect frame = l.Display.adjusted(-5, -5, 5, 5);
  p.setPen(QPen(QColor(100, 104, 110), 1));
  p.setBrush(kBezel);
  p.drawRoundedRect(QRectF(frame).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
  // The display panel is hidden while not connected: a dark glass shows in its place.
  p.fillRect(l.Display, QColor(28, 40, 30));
  for (int k = 0; k < 8; ++k) {
    const QRect under(l.Display.left() + l.AnnunciatorLeft[k] - 6, frame.bottom() + 1, 25, 8);
    Legend(p, under, l.AnnunciatorLegend[k], kLegend, 7);
  }
}

void DrawSwitchLegends(QPainter& p, const TSwitchPlace& s) {
  const QRect above(s.Rect.center().x() - 22, s.Rect.top() - 11, 45, 10);
  const QRect below(s.Rect.center().x() - 22, s.Rect.bottom() + 2, 45, 10);
  Legend(p, above, s.Tap, kLegend, 8);
  Legend(p, below, s.Hold, kHoldLegend, 8);
}

void DrawKnobLabel(QPainter& p, const TLabelledPlace& k) {
  const QRect under(k.Rect.center().x() - 30, k.Rect.bottom() + 3, 61, 10);
  Legend(p, under, k.Label, kLegend, 8);
}

void DrawDialSurround(QPainter& p, const QRect& dial) {
  const QPointF c = QRectF(dial).center();
  const double r = dial.width() / 2.0;
  QRadialGradient ring(c, r + 2);
  ring.setColorAt(0.85, QColor(24, 24, 26));
  ring.setColorAt(1.0, QColor(96, 100, 106));
  p.setPen(Qt::NoPen);
  p.setBrush(ring);
  p.drawEllipse(c, r + 2, r + 2);
  Legend(p, QRect(dial.center().x() - 20, dial.bottom() + 9, 41, 10), "VFO", kLegend, 8);
}

void DrawMeterScale(QPainter& p, const QRect& m) {
  p.setPen(QPen(kBezel, 1));
  p.setBrush(kBezel);
  p.drawRect(m.adjusted(-2, -2, 1, 1));
  const int cell = m.width() / 10;
  const char* marks[10] = {"1", "", "3", "", "5", "", "7", "", "9", "+"};
  for (int i = 0; i < 10; ++i)
    Legend(p, QRect(m.left() + i * cell - 2, m.top() - 13, cell + 4, 9), marks[i], kLegend, 7);
  Legend(p, QRect(m.left() - 12, m.top() - 1, 9, m.height() + 2), "S", kLegend, 9);
  Legend(p, QRect(m.left(), m.bottom() + 4, m.width(), 9), "SIGNAL", kLegend, 7);
}

void DrawNamePlate(QPainter& p, const TPanelLayout& l) {
  const int left = l.Meter.left() - 6, width = l.Meter.width() + 12;
  Legend(p, QRect(left, 84, width, 18), "TALVO", kLegend, 16);
  Legend(p, QRect(left, 104, width, 9), "REMOTE HF TRANSCEIVER", QColor(190, 190, 184), 6);
  Legend(p, QRect(left, 126, width, 9), "CTRL +/- STEP", QColor(150, 152, 156), 7);
  Legend(p, QRect(left, 136, width, 9), "CTRL R  RATE", QColor(150, 152, 156), 7);
}

}  // namespace

const TPanelLayout& PanelLayout() {
  return kLayout;
}

QImage DrawPanelPicture() {
  const TPanelLayout& l = kLayout;
  QImage drawn(l.Window.size(), QImage::Format_ARGB32);
  drawn.fill(Qt::transparent);
  QPainter p(&drawn);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  DrawBody(p, l.Body);
  DrawDisplayFrame(p, l);
  for (const TSwitchPlace& s : l.Switches) DrawSwitchLegends(p, s);
  for (const TLabelledPlace* k :
       {&l.KeyerKnob, &l.PowerKnob, &l.AFGainKnob, &l.RFGainKnob, &l.RITKnob})
    DrawKnobLabel(p, *k);
  DrawDialSurround(p, l.Dial);
  DrawMeterScale(p, l.Meter);
  DrawNamePlate(p, l);
  Legend(p, QRect(l.Power.Rect.center().x() - 22, l.Power.Rect.top() - 11, 45, 10), l.Power.Label,
         kLegend, 8);
  p.end();
  // The antialiased edge must not blend into the transparent colour: every pixel is either
  // fuchsia or part of the panel.
  QImage picture(drawn.size(), QImage::Format_RGB32);
  picture.fill(kBodyBottom);
  QPainter flat(&picture);
  flat.drawImage(0, 0, drawn);
  flat.end();
  for (int y = 0; y < drawn.height(); ++y)
    for (int x = 0; x < drawn.width(); ++x)
      if (qAlpha(drawn.pixel(x, y)) < 128) picture.setPixel(x, y, kPanelTransparent);
  return picture;
}

QImage DrawSwitchFace(TSwitchFace face, const QImage& background, bool down) {
  QImage image = background.convertToFormat(QImage::Format_RGB32);
  const QSize size = image.size();
  QColor top, bottom, edge;
  switch (face) {
    case TSwitchFace::Grey:
      top = QColor(206, 208, 204), bottom = QColor(150, 152, 150), edge = QColor(90, 92, 92);
      break;
    case TSwitchFace::Black:
      top = QColor(70, 72, 76), bottom = QColor(22, 22, 24), edge = QColor(8, 8, 8);
      break;
    case TSwitchFace::Square:
      top = QColor(96, 98, 104), bottom = QColor(40, 42, 46), edge = QColor(8, 8, 8);
      break;
  }
  if (down) std::swap(top, bottom);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient shade(0, 0, 0, size.height());
  shade.setColorAt(0, top);
  shade.setColorAt(1, bottom);
  p.setPen(QPen(edge, 1));
  p.setBrush(shade);
  p.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 3, 3);
  return image;
}

QImage DrawDialPicture(const QImage& background) {
  QImage image = background.convertToFormat(QImage::Format_RGB32);
  const QSize size = image.size();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(size.width() / 2.0, size.height() / 2.0);
  const double r = size.width() / 2.0 - 1;
  // The knurled rim, then the face, then the finger dimple.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(12, 12, 13));
  p.drawEllipse(c, r, r);
  p.setPen(QPen(QColor(58, 60, 64), 1.2));
  for (int i = 0; i < 72; ++i) {
    const double a = i * 3.14159265358979 / 36;
    p.drawLine(QPointF(c.x() + (r - 5) * std::cos(a), c.y() + (r - 5) * std::sin(a)),
               QPointF(c.x() + (r - 1) * std::cos(a), c.y() + (r - 1) * std::sin(a)));
  }
  QRadialGradient face(c.x() - r / 3, c.y() - r / 3, r * 1.3);
  face.setColorAt(0, QColor(88, 90, 96));
  face.setColorAt(1, QColor(26, 26, 28));
  p.setPen(QPen(QColor(10, 10, 10), 1));
  p.setBrush(face);
  p.drawEllipse(c, r - 6, r - 6);
  QRadialGradient dimple(c.x() + r * 0.38, c.y() - r * 0.38, r * 0.2);
  dimple.setColorAt(0, QColor(20, 20, 22));
  dimple.setColorAt(1, QColor(70, 72, 78));
  p.setBrush(dimple);
  p.drawEllipse(QPointF(c.x() + r * 0.4, c.y() - r * 0.4), r * 0.17, r * 0.17);
  return image;
}

QImage DrawKnobPicture(const QImage& background) {
  QImage image = background.convertToFormat(QImage::Format_RGB32);
  const QSize size = image.size();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(size.width() / 2.0, size.height() / 2.0);
  const double r = std::min(size.width(), size.height()) / 2.0 - 1;
  QRadialGradient face(c.x() - r / 3, c.y() - r / 3, r * 1.4);
  face.setColorAt(0, QColor(120, 122, 128));
  face.setColorAt(1, QColor(30, 30, 33));
  p.setPen(QPen(QColor(8, 8, 8), 1));
  p.setBrush(face);
  p.drawEllipse(c, r, r);
  p.setPen(QPen(QColor(60, 62, 66), 1));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, r - 4, r - 4);
  return image;
}

QImage DrawAnnunciatorMark() {
  QImage image(13, 6, QImage::Format_RGB32);
  image.fill(QColor(0, 255, 0));
  QPainter p(&image);
  p.fillRect(QRect(1, 1, 11, 4), QColor(0, 74, 0));
  return image;
}
