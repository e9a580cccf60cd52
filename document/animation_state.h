#pragma once
// The animation's state, as plain values: the texts of
// its number fields, its colours, drawing mode and properties. The window
// turns what its controls show into this to render; a project read with no
// window is turned into it the way the window would hold it.
#include <QString>
#include <array>

#include "engine/path_table.h"
#include "engine/render_settings.h"
#include "framework/picture.h"
#include "document/number_field_rules.h"

// The text and picture slots (asciino).
enum TextSlot : int {
  kTextSlot = 0,
  kFontSlot = 1,
  kBoldSlot = 2,
  kItalicSlot = 3,
  kUnderlineSlot = 4,
  kObjectPictureSlot = 5,
  kBackgroundPictureSlot = 6,
};
constexpr int kTextSlots = 7;

// What the window's colour swatches hold when it opens.
constexpr Color kDefaultObjectColor = 0x000080;
constexpr Color kDefaultBackgroundColor = 0x66CCFF;

struct AnimationState {
  int oggetto = kFilledOval;
  int movimento = kLinearRight;
  std::array<QString, kTextSlots> asciino;
  NumberFieldTexts fields = DefaultNumberFieldTexts();
  Color objectColor = kDefaultObjectColor;
  Color backgroundColor = kDefaultBackgroundColor;
  DrawingMode mode = DrawingMode::Move;
  PicturePtr immagine;  // the object's picture (object kinds 5 and 6)
  PicturePtr sfondo;    // the background picture; nil for a plain colour
  PathTable percorso;
};

// The drawing modes by the index of their buttons ("Move", "Copy", "Copy
// Clear"), as the project file stores them.
inline int ModeIndex(DrawingMode mode) {
  return mode == DrawingMode::Move ? 0 : mode == DrawingMode::CopyClear ? 2 : 1;
}
inline DrawingMode ModeOfIndex(int index) {
  return index == 0 ? DrawingMode::Move : index == 2 ? DrawingMode::CopyClear : DrawingMode::Copy;
}

// The settings a render takes from that state: numbers read from the fields'
// texts as Val reads them, the styles "true" or not.
RenderSettings SettingsOf(const AnimationState& state);
