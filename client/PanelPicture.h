#pragma once

#include <QImage>
#include <QRect>

// The front panel's picture, drawn at start-up from one layout table: the body, the display's
// frame, the legends of each switch's tap (above it) and hold (below it, in amber), the knobs'
// labels, the dial's surround, the S-meter's scale, the power label and the annunciators'
// legends. The window takes its widgets' places from the same table. Fuchsia is the transparent
// colour: what is fuchsia in the picture is not part of the window.

enum class TSwitchFace { Grey, Black, Square };

struct TSwitchPlace {
  int Tag;  // the switch number, 1..16
  QRect Rect;
  TSwitchFace Face;
  const char* Tap;
  const char* Hold;
};

struct TLabelledPlace {
  QRect Rect;
  const char* Label;
};

struct TPanelLayout {
  QRect Window;        // 563 x 235
  QRect Body;          // the rounded panel inside the fuchsia margin
  QRect Display;       // the lime display panel (its frame drawn around it)
  QRect Dial;          // the tuning dial's image
  QRect Meter;         // the S-meter
  QRect StationLabel;  // the connected station's name, above the display
  TLabelledPlace Power;
  TLabelledPlace KeyerKnob, PowerKnob, AFGainKnob, RFGainKnob, RITKnob;
  TSwitchPlace Switches[16];
  // The annunciator marks inside the display panel, and their legends under its frame.
  int AnnunciatorLeft[8];
  const char* AnnunciatorLegend[8];
  int AnnunciatorTop;
};

const TPanelLayout& PanelLayout();

// The transparent colour of the picture.
inline constexpr QRgb kPanelTransparent = 0xFFFF00FF;

// The whole panel picture (K2Bitmap).
QImage DrawPanelPicture();
// The pictures of the panel's controls, each drawn over the part of the panel picture it covers
// (background), so that their corners show the panel.
// A switch face of its kind, up or pressed.
QImage DrawSwitchFace(TSwitchFace face, const QImage& background, bool down);
// The tuning dial: a large knob with a knurled rim and a finger dimple.
QImage DrawDialPicture(const QImage& background);
// A small knob for TKelmKnob (its pointer is drawn by the knob itself).
QImage DrawKnobPicture(const QImage& background);
// One annunciator mark.
QImage DrawAnnunciatorMark();
