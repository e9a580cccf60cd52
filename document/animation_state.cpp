#include "document/animation_state.h"

#include "framework/text.h"

RenderSettings SettingsOf(const AnimationState& a) {
  RenderSettings s;
  auto number = [&a](NumberField k) { return Val(a.fields[k]); };
  s.object = a.oggetto;
  s.width = number(kObjectWidth);
  s.height = number(kObjectHeight);
  s.border = number(kBorder);
  s.objectColor = a.objectColor;
  s.backgroundColor = a.backgroundColor;
  s.font = a.asciino[kFontSlot];
  s.bold = a.asciino[kBoldSlot] == "true";
  s.italic = a.asciino[kItalicSlot] == "true";
  s.underline = a.asciino[kUnderlineSlot] == "true";
  s.text = a.asciino[kTextSlot];
  s.objectPicture = a.immagine;
  s.backgroundPicture = a.sfondo;
  s.motion = a.movimento;
  s.startAngle = number(kStartAngle);
  s.sweepAngle = number(kSweepAngle);
  s.path = a.percorso;
  s.mode = a.mode;
  s.movieWidth = number(kMovieWidth);
  s.movieHeight = number(kMovieHeight);
  s.steps = number(kSteps);
  return s;
}
